// coding.Interleaver and coding.Deinterleaver: two faces of one record and one set
// of kernels.
#include "coding/binding/coding_types.h"
#include "coding/core/interleaver.h"

namespace {

#define KV_CODING_SETUP ">>> import numpy as np\n>>> from korvana import coding\n"

constexpr const char* kIlRefused =
    "Interleaver: rows, cols and unit_bits must all be non-zero, and their product must fit a "
    "size_t";

constexpr char kInterleaveMsg[] =
    "interleave: length %zd is not a whole number of blocks of block_bits = %zu";
constexpr char kDeinterleaveMsg[] =
    "deinterleave: length %zd is not a whole number of blocks of block_bits = %zu";
constexpr char kDeinterleaveSoftMsg[] =
    "deinterleave_soft: length %zd is not a whole number of blocks of block_bits = %zu";

// `method(x, out=None)`: an output of len(x) elements; a refusal by the kernel (a
// length that is not a positive whole number of blocks) raises ValueError Msg. The
// kernels must not write over what they read: an x sharing out's memory (out=x, for
// instance) is read from a private copy.
template <auto CoreFn, const char* Msg>
PyObject* permute_method(interleaver_t* il, PyObject* const* args, Py_ssize_t nargs,
                         PyObject* kwnames) {
  using F = decltype(CoreFn);
  return [&]<class E>(std::uint64_t (*)(const interleaver_t*, const E*, std::uint64_t, E*,
                                        std::uint64_t)) -> PyObject* {
    PyObject* slots[2] = {nullptr, Py_None};  // x, out
    if (!kv::parse_objects(args, nargs, kwnames, kv::kXOut, 1, slots)) return nullptr;
    kv::Input in(slots[0], kv::npy_type_of<E>());
    if (!in) return nullptr;
    kv::BoundedOut res(slots[1], kv::npy_type_of<E>(), in.size());
    if (!res) return nullptr;
    std::vector<unsigned char> copy;
    const E* src = kv::unaliased<E, E>(in, res, copy);
    if (!src) return nullptr;
    const std::uint64_t k = CoreFn(il, src, in.size(), res.data<E>(), res.capacity());
    if (k == 0) {
      PyErr_Format(PyExc_ValueError, Msg, static_cast<Py_ssize_t>(in.size()),
                   static_cast<std::size_t>(interleaver_block_bits(il)));
      return nullptr;
    }
    return res.finish(k, false);
  }(static_cast<F>(CoreFn));
}

interleaver_t* create_interleaver(PyObject* args, PyObject* kw) {
  static const char* kwlist[] = {"rows", "cols", "unit_bits", nullptr};
  unsigned long long rows = 0, cols = 0, unit_bits = 1;
  if (!PyArg_ParseTupleAndKeywords(args, kw, "|KKK", const_cast<char**>(kwlist), &rows, &cols,
                                   &unit_bits))
    return nullptr;
  return kv::created_or(interleaver_create(rows, cols, unit_bits), PyExc_ValueError, kIlRefused);
}

#define KV_IL_PARAMS                                                                          \
  "Parameters\n----------\n"                                                                  \
  "rows : int\n    Rows of the block, >= 1 (also the burst length it spreads).\n"             \
  "cols : int\n    Columns of the block, >= 1 (the separation of neighbours on the wire).\n"  \
  "unit_bits : int\n    Elements per unit, >= 1: 1 moves single bits, 8 moves octets.\n\n"    \
  "Raises\n------\nValueError\n    A zero argument, or a product that does not fit 64 bits.\n\n"

#define KV_IL_DEINTERLEAVE(T, EX)                                                              \
  kv::method<T, &permute_method<interleaver_deinterleave, kDeinterleaveMsg>>(                  \
      "deinterleave",                                                                          \
      "Undo the interleave: input unit j*rows + i goes to output unit i*cols + j.\n\n"         \
      "Parameters\n----------\n"                                                               \
      "x : array_like\n    Bits (uint8), a positive whole number of blocks.\n"                 \
      "out : ndarray, optional\n    Writable C-contiguous uint8 array of at least len(x)\n"    \
      "    elements.\n\n"                                                                      \
      "Returns\n-------\nndarray\n    len(x) uint8 elements in codeword order.\n\n"            \
      "Raises\n------\nValueError\n    len(x) is not a positive multiple of block_bits.\n\n"   \
      "Examples\n--------\n" KV_CODING_SETUP ">>> " EX                                          \
      ".deinterleave([0, 4, 8, 1, 5, 9, 2, 6, 10, 3, 7, 11])\n"                               \
      "array([ 0,  1,  2,  3,  4,  5,  6,  7,  8,  9, 10, 11], dtype=uint8)\n"),               \
      kv::method<T, &permute_method<interleaver_deinterleave_soft, kDeinterleaveSoftMsg>>(     \
          "deinterleave_soft",                                                                 \
          "Undo the interleave on float32 soft values.\n\n"                                    \
          "Parameters\n----------\n"                                                           \
          "x : array_like\n    Soft values (float32), a positive whole number of blocks.\n"    \
          "out : ndarray, optional\n    Writable C-contiguous float32 array of at least\n"     \
          "    len(x) elements.\n\n"                                                           \
          "Returns\n-------\nndarray\n    len(x) float32 values in codeword order.\n\n"        \
          "Raises\n------\nValueError\n    len(x) is not a positive multiple of block_bits.\n\n" \
          "Examples\n--------\n" KV_CODING_SETUP ">>> " EX                                      \
          ".deinterleave_soft(np.arange(12, dtype=np.float32))[:4]\n"                          \
          "array([0., 3., 6., 9.], dtype=float32)\n"),                                        \
      kv::max_out_n<T, interleaver_deinterleave_max_out>(                                      \
          "deinterleave_max_out",                                                              \
          "Capacity of deinterleave's output: n_in itself.\n\n"                                \
          "Parameters\n----------\nn_in : int\n    Input length.\n\n"                          \
          "Returns\n-------\nint\n    n_in.\n\n"                                               \
          "Examples\n--------\n" KV_CODING_SETUP ">>> " EX ".deinterleave_max_out(24)\n24\n"),  \
      kv::max_out_n<T, interleaver_deinterleave_soft_max_out>(                                 \
          "deinterleave_soft_max_out",                                                         \
          "Capacity of deinterleave_soft's output: n_in itself.\n\n"                           \
          "Parameters\n----------\nn_in : int\n    Input length.\n\n"                          \
          "Returns\n-------\nint\n    n_in.\n\n"                                               \
          "Examples\n--------\n" KV_CODING_SETUP ">>> " EX                                      \
          ".deinterleave_soft_max_out(24)\n24\n")

#define KV_IL_GETTERS(T, EX)                                                                   \
  kv::getter<T, interleaver_rows>("rows", "Rows of the block.\n\nReturns\n-------\nint\n\n"    \
                                          "Examples\n--------\n" KV_CODING_SETUP ">>> " EX     \
                                          ".rows\n3\n"),                                       \
      kv::getter<T, interleaver_cols>("cols", "Columns of the block.\n\nReturns\n-------\nint\n\n" \
                                              "Examples\n--------\n" KV_CODING_SETUP ">>> " EX \
                                              ".cols\n4\n"),                                   \
      kv::getter<T, interleaver_unit_bits>(                                                    \
          "unit_bits", "Elements per unit.\n\nReturns\n-------\nint\n\n"                       \
                       "Examples\n--------\n" KV_CODING_SETUP ">>> " EX ".unit_bits\n1\n"),    \
      kv::getter<T, interleaver_block_bits>(                                                   \
          "block_bits", "Elements per block, rows * cols * unit_bits.\n\nReturns\n-------\nint\n\n" \
                        "Examples\n--------\n" KV_CODING_SETUP ">>> " EX ".block_bits\n12\n"), \
      kv::getter<T, interleaver_burst_len>(                                                    \
          "burst_len",                                                                         \
          "Longest run of consecutive wire units that touches each codeword at most once:\n"   \
          "rows.\n\nReturns\n-------\nint\n\n"                                                 \
          "Examples\n--------\n" KV_CODING_SETUP ">>> " EX ".burst_len\n3\n"),                 \
      kv::getter<T, interleaver_separation>(                                                   \
          "separation", "Wire distance between neighbouring units of a codeword: cols.\n\n"    \
                        "Returns\n-------\nint\n\n"                                            \
                        "Examples\n--------\n" KV_CODING_SETUP ">>> " EX ".separation\n4\n")

struct InterleaverType {
  using Core = interleaver_t;
  static constexpr const char* name = "coding.Interleaver";
  static constexpr const char* example = "coding.Interleaver(rows=3, cols=4)";
  static constexpr auto destroy = interleaver_destroy;
  static constexpr kv::NoReset reset = kv::kNoReset;
  static constexpr const char* reset_doc =
      "Nothing to clear (the geometry is all there is); raises once destroyed.";
  static constexpr const char* doc =
      "Interleaver(rows, cols, unit_bits=1)\n--\n\n"
      "Block interleaver: each block of rows x cols units is written by rows and read by\n"
      "columns, spreading a burst of up to rows wire units over rows codewords. A unit is\n"
      "unit_bits consecutive elements and moves whole. Lengths are preserved and must be\n"
      "whole blocks; nothing is padded.\n\n" KV_IL_PARAMS
      "Examples\n--------\n" KV_CODING_SETUP
      ">>> coding.Interleaver(rows=3, cols=4).interleave(np.arange(12, dtype=np.uint8))\n"
      "array([ 0,  4,  8,  1,  5,  9,  2,  6, 10,  3,  7, 11], dtype=uint8)\n";

  static Core* create(PyObject* args, PyObject* kw) { return create_interleaver(args, kw); }

  static inline PyMethodDef methods[] = {
      kv::method<InterleaverType, &permute_method<interleaver_interleave, kInterleaveMsg>>(
          "interleave",
          "Interleave bits: input unit i*cols + j goes to output unit j*rows + i.\n\n"
          "Parameters\n----------\n"
          "x : array_like\n    Bits (uint8), a positive whole number of blocks.\n"
          "out : ndarray, optional\n    Writable C-contiguous uint8 array of at least len(x)\n"
          "    elements.\n\n"
          "Returns\n-------\nndarray\n    len(x) uint8 elements in wire order.\n\n"
          "Raises\n------\nValueError\n    len(x) is not a positive multiple of block_bits.\n\n"
          "Examples\n--------\n" KV_CODING_SETUP
          ">>> coding.Interleaver(rows=2, cols=2, unit_bits=2).interleave([1, 1, 2, 2, 3, 3, 4, 4])\n"
          "array([1, 1, 3, 3, 2, 2, 4, 4], dtype=uint8)\n"),
      kv::max_out_n<InterleaverType, interleaver_interleave_max_out>(
          "interleave_max_out",
          "Capacity of interleave's output: n_in itself.\n\n"
          "Parameters\n----------\nn_in : int\n    Input length.\n\n"
          "Returns\n-------\nint\n    n_in.\n\n"
          "Examples\n--------\n" KV_CODING_SETUP
          ">>> coding.Interleaver(rows=3, cols=4).interleave_max_out(24)\n24\n"),
      KV_IL_DEINTERLEAVE(InterleaverType, "coding.Interleaver(rows=3, cols=4)"),
      {},
  };

  static inline PyGetSetDef getset[] = {
      KV_IL_GETTERS(InterleaverType, "coding.Interleaver(rows=3, cols=4)"),
      {},
  };
};

struct DeinterleaverType {
  using Core = interleaver_t;
  static constexpr const char* name = "coding.Deinterleaver";
  static constexpr const char* example = "coding.Deinterleaver(rows=3, cols=4)";
  static constexpr auto destroy = interleaver_destroy;
  static constexpr kv::NoReset reset = kv::kNoReset;
  static constexpr const char* reset_doc =
      "Nothing to clear (the geometry is all there is); raises once destroyed.";
  static constexpr const char* doc =
      "Deinterleaver(rows, cols, unit_bits=1)\n--\n\n"
      "Receive face of the block interleaver: de-interleaves bits or float32 soft values\n"
      "back into codeword order, so an outer decoder gets them without slicing first.\n\n"
      KV_IL_PARAMS
      "Examples\n--------\n" KV_CODING_SETUP
      ">>> coding.Deinterleaver(rows=2, cols=3).deinterleave_soft([1, 2, 3, 4, 5, 6])\n"
      "array([1., 3., 5., 2., 4., 6.], dtype=float32)\n";

  static Core* create(PyObject* args, PyObject* kw) { return create_interleaver(args, kw); }

  static inline PyMethodDef methods[] = {
      KV_IL_DEINTERLEAVE(DeinterleaverType, "coding.Deinterleaver(rows=3, cols=4)"),
      {},
  };

  static inline PyGetSetDef getset[] = {
      KV_IL_GETTERS(DeinterleaverType, "coding.Deinterleaver(rows=3, cols=4)"),
      {},
  };
};

}  // namespace

kv::TypeSlot interleaver_type_slot() { return kv::slot<InterleaverType>(); }
kv::TypeSlot deinterleaver_type_slot() { return kv::slot<DeinterleaverType>(); }
