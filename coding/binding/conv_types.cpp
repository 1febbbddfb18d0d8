// coding.ConvEncoder and coding.Viterbi.
#include "coding/binding/coding_types.h"
#include "coding/core/conv_code.h"
#include "coding/core/viterbi.h"

namespace {

#define KV_CODING_SETUP ">>> import numpy as np\n>>> from korvana import coding\n"

constexpr const char* kEncRefused =
    "ConvEncoder: not a usable code (need 1 to 6 non-zero polynomials, each under 2**k, and "
    "2 <= k <= 9)";
constexpr const char* kVitRefused =
    "Viterbi: not a usable code (need 1 to 6 non-zero polynomials, each under 2**k, 2 <= k <= 9, "
    "and depth >= 1)";

struct ConvEncoderType {
  using Core = conv_enc_t;
  static constexpr const char* name = "coding.ConvEncoder";
  static constexpr const char* example = "coding.ConvEncoder([0o171, 0o133], k=7)";
  static constexpr auto destroy = conv_enc_destroy;
  static constexpr auto reset = conv_enc_reset;
  static constexpr const char* reset_doc =
      "Clear the shift register: the next output equals a fresh encoder's.";
  static constexpr kv::StateFns state{conv_enc_state_size, conv_enc_get_state,
                                      conv_enc_set_state};
  static constexpr const char* doc =
      "ConvEncoder(poly, k=7, invert=0)\n--\n\n"
      "Streaming rate-1/n convolutional encoder.\n\n"
      "The k-bit register holds the current input bit in bit k-1 and the previous k-1\n"
      "bits below it, newest first; output j is the parity of register AND poly[j],\n"
      "complemented when bit j of invert is set. The register carries across calls, so a\n"
      "record encoded in pieces gives the symbols of one call.\n\n"
      "Parameters\n----------\n"
      "poly : array_like\n    1 to 6 generator polynomials (converted to uint32), each non-zero and\n"
      "    below 2**k; bit k-1 taps the current input, bit 0 the oldest.\n"
      "k : int\n    Constraint length, 2 ... 9.\n"
      "invert : int\n    Bit j complements output j; bits from n up are ignored.\n\n"
      "Raises\n------\nValueError\n    The description is not a usable code.\n\n"
      "Examples\n--------\n" KV_CODING_SETUP
      ">>> enc = coding.ConvEncoder([0o171, 0o133], k=7)\n"
      ">>> enc.encode([1, 0, 1, 1])\n"
      "array([1, 1, 1, 0, 0, 0, 1, 0], dtype=uint8)\n";

  static Core* create(PyObject* args, PyObject* kw) {
    static const char* kwlist[] = {"poly", "k", "invert", nullptr};
    PyObject* poly_obj = nullptr;
    unsigned long k = 7, invert = 0;
    if (!PyArg_ParseTupleAndKeywords(args, kw, "O|kk", const_cast<char**>(kwlist), &poly_obj, &k,
                                     &invert))
      return nullptr;
    kv::Input poly(poly_obj, NPY_UINT32);
    if (!poly) return nullptr;
    return kv::created_or(
        conv_enc_create(poly.data<std::uint32_t>(), poly.size(), static_cast<std::uint32_t>(k),
                        static_cast<std::uint32_t>(invert)),
        PyExc_ValueError, kEncRefused);
  }

  static inline PyMethodDef methods[] = {
      kv::bounded_x<ConvEncoderType, conv_enc_encode, conv_enc_encode_max_out>(
          "encode",
          "Encode bits into channel symbols.\n\n"
          "Parameters\n----------\n"
          "x : array_like\n    Input bits, converted to uint8; only bit 0 of each byte is used.\n"
          "out : ndarray, optional\n    Writable C-contiguous uint8 array of at least\n"
          "    encode_max_out(len(x)) elements.\n\n"
          "Returns\n-------\nndarray\n    uint8 symbols, n per input bit in polynomial order (a view of\n"
          "    out when given); empty for an empty input.\n\n"
          "Examples\n--------\n" KV_CODING_SETUP
          ">>> enc = coding.ConvEncoder([0o171, 0o133], k=7, invert=0x2)\n"
          ">>> enc.encode(np.zeros(2, np.uint8))\n"
          "array([0, 1, 0, 1], dtype=uint8)\n"),
      kv::max_out_n<ConvEncoderType, conv_enc_encode_max_out>(
          "encode_max_out",
          "Symbols that encode writes for n_in input bits.\n\n"
          "Parameters\n----------\nn_in : int\n    Number of input bits.\n\n"
          "Returns\n-------\nint\n    n_in * n.\n\n"
          "Examples\n--------\n" KV_CODING_SETUP
          ">>> coding.ConvEncoder([0o171, 0o133]).encode_max_out(100)\n200\n"),
      {},
  };
};

struct ViterbiType {
  using Core = viterbi_t;
  static constexpr const char* name = "coding.Viterbi";
  static constexpr const char* example = "coding.Viterbi([0o171, 0o133], k=7, depth=35)";
  static constexpr auto destroy = viterbi_destroy;
  static constexpr auto reset = viterbi_reset;
  static constexpr const char* reset_doc =
      "Start a new capture: metrics favour state 0 and the traceback is refilled before\n"
      "bits come out again.";
  static constexpr kv::StateFns state{viterbi_state_size, viterbi_get_state, viterbi_set_state};
  static constexpr const char* doc =
      "Viterbi(poly, k=7, invert=0, depth=35)\n--\n\n"
      "Streaming soft-decision Viterbi decoder for the codes of ConvEncoder.\n\n"
      "Built with an encoder's arguments it decodes that encoder's output. Soft input is one\n"
      "float32 per channel symbol, log(P(0)/P(1)) (positive means 0; any positive scale\n"
      "decodes alike). Decisions come from a fixed-depth traceback: the first depth-1\n"
      "branches after construction or reset emit nothing, then every branch emits the bit\n"
      "of the branch depth-1 back. There is no flush: the last depth-1 bits of a stream\n"
      "wait for more symbols. Streaming in blocks gives the bits of one call.\n\n"
      "Parameters\n----------\n"
      "poly : array_like\n    1 to 6 generator polynomials (uint32), as for ConvEncoder.\n"
      "k : int\n    Constraint length, 2 ... 9.\n"
      "invert : int\n    Output complement mask, as for ConvEncoder.\n"
      "depth : int\n    Traceback depth, >= 1 (about 5*k is usual).\n\n"
      "Raises\n------\nValueError\n    The description is not a usable code, or depth is 0.\n\n"
      "Examples\n--------\n" KV_CODING_SETUP
      ">>> bits = np.tile(np.array([1, 0, 1, 1, 0, 0, 1, 0], np.uint8), 40)\n"
      ">>> sym = coding.ConvEncoder([0o171, 0o133], k=7).encode(bits)\n"
      ">>> soft = np.where(sym == 1, -8.0, 8.0).astype(np.float32)\n"
      ">>> dec = coding.Viterbi([0o171, 0o133], k=7, depth=35).decode(soft)\n"
      ">>> len(dec), bool((dec == bits[:286]).all())\n"
      "(286, True)\n";

  static Core* create(PyObject* args, PyObject* kw) {
    static const char* kwlist[] = {"poly", "k", "invert", "depth", nullptr};
    PyObject* poly_obj = nullptr;
    unsigned long k = 7, invert = 0;
    unsigned long long depth = 35;
    if (!PyArg_ParseTupleAndKeywords(args, kw, "O|kkK", const_cast<char**>(kwlist), &poly_obj, &k,
                                     &invert, &depth))
      return nullptr;
    kv::Input poly(poly_obj, NPY_UINT32);
    if (!poly) return nullptr;
    return kv::created_or(
        viterbi_create(poly.data<std::uint32_t>(), poly.size(), static_cast<std::uint32_t>(k),
                       static_cast<std::uint32_t>(invert), depth),
        PyExc_ValueError, kVitRefused);
  }

  static inline PyMethodDef methods[] = {
      kv::bounded_x<ViterbiType, viterbi_decode, viterbi_decode_max_out>(
          "decode",
          "Decode soft symbols, emitting the bits whose traceback is complete.\n\n"
          "A call whose length is not a positive multiple of n is refused silently: it\n"
          "returns an empty array and leaves the decoder as it was.\n\n"
          "Parameters\n----------\n"
          "x : array_like\n    Soft values, converted to float32, n per branch in polynomial order.\n"
          "out : ndarray, optional\n    Writable C-contiguous uint8 array of at least\n"
          "    decode_max_out(len(x)) elements.\n\n"
          "Returns\n-------\nndarray\n    Decoded uint8 bits (a view of out when given).\n\n"
          "Examples\n--------\n" KV_CODING_SETUP
          ">>> v = coding.Viterbi([0o171, 0o133], k=7, depth=1)\n"
          ">>> v.decode(np.array([-1, -1, 1, 1], np.float32))\n"
          "array([1, 0], dtype=uint8)\n"),
      kv::max_out_n<ViterbiType, viterbi_decode_max_out>(
          "decode_max_out",
          "Bits that the next decode call writes for n_in soft values.\n\n"
          "Parameters\n----------\nn_in : int\n    Number of soft values.\n\n"
          "Returns\n-------\nint\n    max(0, n_in // n - fill), fill being the branches the traceback\n"
          "    still needs.\n\n"
          "Examples\n--------\n" KV_CODING_SETUP
          ">>> coding.Viterbi([0o171, 0o133], k=7, depth=35).decode_max_out(640)\n286\n"),
      {},
  };
};

}  // namespace

kv::TypeSlot conv_encoder_type_slot() { return kv::slot<ConvEncoderType>(); }
kv::TypeSlot viterbi_type_slot() { return kv::slot<ViterbiType>(); }
