// coding.ReedSolomon.
#include "coding/binding/coding_types.h"
#include "coding/core/rs_codec.h"

namespace {

#define KV_CODING_SETUP ">>> import numpy as np\n>>> from korvana import coding\n"

constexpr const char* kRsRefused =
    "ReedSolomon: not a usable code \xe2\x80\x94 need an even nroots in 2..64 leaving at least one "
    "information symbol, 2 <= symbol_bits <= 8, a PRIMITIVE field_poly, and a root_stride coprime "
    "with 2**symbol_bits - 1";

// decode(codeword): corrects a caller's uint8 array in place; no conversion.
PyObject* rs_decode_method(rs_codec_t* rs, kv::Arg arg) {
  PyObject* cw = arg.obj;
  if (!kv::check_target(cw, NPY_UINT8, "codeword")) return nullptr;
  auto* a = reinterpret_cast<PyArrayObject*>(cw);
  const int r = rs_codec_decode(rs, static_cast<std::uint8_t*>(PyArray_DATA(a)),
                                static_cast<std::uint64_t>(PyArray_SIZE(a)));
  return PyLong_FromLong(r);
}

PyObject* rs_codeword_ok_method(rs_codec_t* rs, kv::Arg arg) {
  PyObject* cw = arg.obj;
  kv::Input in(cw, NPY_UINT8);
  if (!in) return nullptr;
  return PyLong_FromLong(rs_codec_codeword_ok(rs, in.data<std::uint8_t>(), in.size()));
}

PyObject* rs_generator_method(rs_codec_t* rs, kv::Arg arg) {
  PyObject* out = arg.obj;
  if (!kv::check_target(out, NPY_UINT8, "out")) return nullptr;
  auto* a = reinterpret_cast<PyArrayObject*>(out);
  const std::uint64_t r = rs_codec_generator(rs, static_cast<std::uint8_t*>(PyArray_DATA(a)),
                                             static_cast<std::uint64_t>(PyArray_SIZE(a)));
  return PyLong_FromUnsignedLongLong(r);
}

struct ReedSolomonType {
  using Core = rs_codec_t;
  static constexpr const char* name = "coding.ReedSolomon";
  static constexpr const char* example = "coding.ReedSolomon(nroots=32)";
  static constexpr auto destroy = rs_codec_destroy;
  static constexpr const char* doc =
      "ReedSolomon(nroots, symbol_bits=8, field_poly=29, first_root=1, root_stride=1)\n--\n\n"
      "Reed-Solomon codec over GF(2**symbol_bits), n = 2**symbol_bits - 1 symbols per word.\n\n"
      "The generator's roots are alpha**(((first_root + i) * root_stride) mod n) for\n"
      "i < nroots, alpha being x modulo the field polynomial. Words are whole (no\n"
      "shortening, no erasures), one symbol per byte, highest-degree coefficient first;\n"
      "codewords are systematic: k information symbols, then nroots parity symbols. The\n"
      "decoder corrects up to e = nroots / 2 symbol errors; beyond that it may fail (-1) or\n"
      "land on another codeword. No dual-basis or other symbol conversion is applied.\n\n"
      "Parameters\n----------\n"
      "nroots : int\n    Parity symbols: even, 2 ... 64, below n.\n"
      "symbol_bits : int\n    J, 2 ... 8.\n"
      "field_poly : int\n    The field polynomial without its x**J term (low 16 bits kept): odd,\n"
      "    below 2**J and primitive. 29 is x^8 + x^4 + x^3 + x^2 + 1.\n"
      "first_root : int\n    First consecutive root exponent j0.\n"
      "root_stride : int\n    Root stride s, coprime with n.\n\n"
      "Raises\n------\nValueError\n    The parameters do not name a usable code.\n\n"
      "Examples\n--------\n" KV_CODING_SETUP
      ">>> rs = coding.ReedSolomon(nroots=4, symbol_bits=4, field_poly=3)\n"
      ">>> rs.encode(np.arange(11, dtype=np.uint8))[11:]\n"
      "array([12, 14,  8,  3], dtype=uint8)\n";

  static Core* create(PyObject* args, PyObject* kw) {
    static const char* kwlist[] = {"nroots", "symbol_bits", "field_poly", "first_root",
                                   "root_stride", nullptr};
    unsigned long nroots = 0, symbol_bits = 8, field_poly = 29, first_root = 1, root_stride = 1;
    if (!PyArg_ParseTupleAndKeywords(args, kw, "k|kkkk", const_cast<char**>(kwlist), &nroots,
                                     &symbol_bits, &field_poly, &first_root, &root_stride))
      return nullptr;
    return kv::created_or(
        rs_codec_create(static_cast<std::uint32_t>(nroots), static_cast<std::uint32_t>(symbol_bits),
                        static_cast<std::uint32_t>(field_poly),
                        static_cast<std::uint32_t>(first_root),
                        static_cast<std::uint32_t>(root_stride)),
        PyExc_ValueError, kRsRefused);
  }

  static inline PyMethodDef methods[] = {
      kv::bounded_x<ReedSolomonType, rs_codec_encode, rs_codec_encode_max_out>(
          "encode",
          "Encode k information symbols into a systematic codeword.\n\n"
          "Parameters\n----------\n"
          "x : array_like\n    k information symbols, converted to uint8.\n"
          "out : ndarray, optional\n    Writable C-contiguous uint8 array of at least n elements.\n\n"
          "Returns\n-------\nndarray\n    The n-symbol codeword (a view of out when given); empty when\n"
          "    len(x) != k.\n\n"
          "Examples\n--------\n" KV_CODING_SETUP
          ">>> rs = coding.ReedSolomon(nroots=32)\n"
          ">>> int(rs.encode(np.zeros(223, np.uint8)).sum())\n0\n"),
      kv::max_out_n<ReedSolomonType, rs_codec_encode_max_out>(
          "encode_max_out",
          "Capacity of encode's output: n, whatever n_in.\n\n"
          "Parameters\n----------\nn_in : int\n    Number of input symbols (not used).\n\n"
          "Returns\n-------\nint\n    n.\n\n"
          "Examples\n--------\n" KV_CODING_SETUP
          ">>> coding.ReedSolomon(nroots=32).encode_max_out(223)\n255\n"),
      kv::method<ReedSolomonType, &rs_decode_method>(
          "decode",
          "Correct a received word in place.\n\n"
          "Parameters\n----------\n"
          "codeword : ndarray\n    Writable C-contiguous uint8 array of n symbols (not converted).\n\n"
          "Returns\n-------\nint\n    Symbols corrected (>= 1), 0 for a codeword, -1 when no codeword lies\n"
          "    within e symbols (the array is then untouched), -2 for a length other than n.\n\n"
          "Raises\n------\nTypeError\n    codeword is not a writable, C-contiguous uint8 ndarray.\n\n"
          "Examples\n--------\n" KV_CODING_SETUP
          ">>> rs = coding.ReedSolomon(nroots=32)\n"
          ">>> cw = rs.encode(np.arange(223, dtype=np.uint8))\n"
          ">>> cw[3] ^= 0xFF; cw[40] ^= 0x01\n"
          ">>> rs.decode(cw), bool((cw[:223] == np.arange(223)).all())\n"
          "(2, True)\n"),
      kv::bounded_x<ReedSolomonType, rs_codec_syndromes, rs_codec_syndromes_max_out>(
          "syndromes",
          "Syndromes S_i = w(r_i) of a received word.\n\n"
          "Parameters\n----------\n"
          "x : array_like\n    n symbols, converted to uint8.\n"
          "out : ndarray, optional\n    Writable C-contiguous uint8 array of at least nroots elements.\n\n"
          "Returns\n-------\nndarray\n    nroots uint8 syndromes, all zero for a codeword; empty when\n"
          "    len(x) != n.\n\n"
          "Examples\n--------\n" KV_CODING_SETUP
          ">>> coding.ReedSolomon(nroots=4, symbol_bits=4, field_poly=3).syndromes(np.zeros(15, np.uint8))\n"
          "array([0, 0, 0, 0], dtype=uint8)\n"),
      kv::max_out_n<ReedSolomonType, rs_codec_syndromes_max_out>(
          "syndromes_max_out",
          "Capacity of syndromes' output: nroots, whatever n_in.\n\n"
          "Parameters\n----------\nn_in : int\n    Number of input symbols (not used).\n\n"
          "Returns\n-------\nint\n    nroots.\n\n"
          "Examples\n--------\n" KV_CODING_SETUP
          ">>> coding.ReedSolomon(nroots=32).syndromes_max_out(255)\n32\n"),
      kv::method<ReedSolomonType, &rs_codeword_ok_method>(
          "codeword_ok",
          "Whether a word is a codeword.\n\n"
          "Parameters\n----------\n"
          "codeword : array_like\n    Symbols, converted to uint8.\n\n"
          "Returns\n-------\nint\n    1 when it has n symbols and every syndrome is zero, else 0.\n\n"
          "Examples\n--------\n" KV_CODING_SETUP
          ">>> rs = coding.ReedSolomon(nroots=32)\n"
          ">>> rs.codeword_ok(np.zeros(255, np.uint8)), rs.codeword_ok(np.zeros(254, np.uint8))\n"
          "(1, 0)\n"),
      kv::method<ReedSolomonType, &rs_generator_method>(
          "generator",
          "Copy the generator polynomial's coefficients into out, out[i] for x**i.\n\n"
          "Parameters\n----------\n"
          "out : ndarray\n    Writable C-contiguous uint8 array (not converted).\n\n"
          "Returns\n-------\nint\n    nroots + 1 coefficients written, or 0 when out has nroots\n"
          "    elements or fewer.\n\n"
          "Examples\n--------\n" KV_CODING_SETUP
          ">>> g = np.zeros(5, np.uint8)\n"
          ">>> coding.ReedSolomon(nroots=4, symbol_bits=4, field_poly=3).generator(g), g\n"
          "(5, array([ 7,  8, 12, 13,  1], dtype=uint8))\n"),
      {},
  };

  static inline PyGetSetDef getset[] = {
      kv::getter<ReedSolomonType, rs_codec_n>("n",
                                              "Codeword length 2**symbol_bits - 1.\n\n"
                                              "Returns\n-------\nint\n\n"
                                              "Examples\n--------\n" KV_CODING_SETUP
                                              ">>> coding.ReedSolomon(nroots=32).n\n255\n"),
      kv::getter<ReedSolomonType, rs_codec_k>("k",
                                              "Information symbols per codeword, n - nroots.\n\n"
                                              "Returns\n-------\nint\n\n"
                                              "Examples\n--------\n" KV_CODING_SETUP
                                              ">>> coding.ReedSolomon(nroots=32).k\n223\n"),
      kv::getter<ReedSolomonType, rs_codec_e>("e",
                                              "Correctable symbol errors, nroots / 2.\n\n"
                                              "Returns\n-------\nint\n\n"
                                              "Examples\n--------\n" KV_CODING_SETUP
                                              ">>> coding.ReedSolomon(nroots=32).e\n16\n"),
      kv::getter<ReedSolomonType, rs_codec_nroots>("nroots",
                                                   "Parity symbols per codeword.\n\n"
                                                   "Returns\n-------\nint\n\n"
                                                   "Examples\n--------\n" KV_CODING_SETUP
                                                   ">>> coding.ReedSolomon(nroots=32).nroots\n32\n"),
      kv::getter<ReedSolomonType, rs_codec_symbol_bits>(
          "symbol_bits",
          "Bits per symbol, J.\n\n"
          "Returns\n-------\nint\n\n"
          "Examples\n--------\n" KV_CODING_SETUP
          ">>> coding.ReedSolomon(nroots=4, symbol_bits=4, field_poly=3).symbol_bits\n4\n"),
      {},
  };
};

}  // namespace

kv::TypeSlot reed_solomon_type_slot() { return kv::slot<ReedSolomonType>(); }
