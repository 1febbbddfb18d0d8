// spectral.FFT and spectral.FFT2D.
#include "spectral/binding/types.h"
#include "spectral/core/fft.h"

namespace {

constexpr kv::BoundedOpts kZeroFresh{.zero_fresh = true};

// Integer I/Q: a fresh complex64 array of max(n, L) samples (L = half the
// number of integers), n of them written, shrunk back to n when L > n.
template <class I, auto CoreFn>
PyObject* execute_int(fft_state_t* c, PyObject* args) {
  PyObject* iq;
  if (!PyArg_ParseTuple(args, "O", &iq)) return nullptr;
  kv::Input in(iq, kv::npy_type_of<I>());
  if (!in) return nullptr;
  kv::BoundedOut res(nullptr, NPY_COMPLEX64, kv::required(fft_max_out(c), in.size() / 2));
  if (!res) return nullptr;
  return res.finish(CoreFn(c, in.data<I>(), in.size(), res.data<cf32_t>()), false);
}

#define KV_FFT_EXAMPLE_SETUP ">>> import numpy as np\n>>> from korvana import spectral\n"

struct FftType {
  using Core = fft_state_t;
  static constexpr const char* name = "spectral.FFT";
  static constexpr const char* example = "spectral.FFT(n=8)";
  static constexpr auto destroy = fft_destroy;
  static constexpr kv::NoReset reset = kv::kNoReset;
  static constexpr const char* reset_doc = "No-op reset (plans are immutable after creation).";
  static constexpr const char* doc =
      "FFT(n=1024, sign=-1, nthreads=1)\n--\n\n"
      "Reusable 1-D complex FFT engine of fixed length and direction.\n\n"
      "Transforms are unnormalised both ways. complex64 and integer inputs of an eligible\n"
      "length (a multiple of 16 with no prime factor but 2, 3 and 5) run in single\n"
      "precision; every other length, and complex128, in double precision.\n\n"
      "Parameters\n----------\n"
      "n : int\n    Transform length, >= 1.\n"
      "sign : int\n    Negative for the forward transform exp(-2j*pi*k*m/n); zero or positive\n"
      "    for the backward transform.\n"
      "nthreads : int\n    Accepted and ignored: transforms run on the calling thread.\n\n"
      "Raises\n------\nMemoryError\n    \"fft_create returned NULL\" for n = 0 (or a negative n, which\n"
      "    wraps to a huge length) or when memory runs out.\n\n"
      "Examples\n--------\n" KV_FFT_EXAMPLE_SETUP
      ">>> f = spectral.FFT(n=4)\n"
      ">>> f.execute_cf64(np.array([1, 0, 0, 0], dtype=np.complex128))\n"
      "array([1.+0.j, 1.+0.j, 1.+0.j, 1.+0.j])\n";

  static Core* create(PyObject* args, PyObject* kw) {
    static const char* kwlist[] = {"n", "sign", "nthreads", nullptr};
    unsigned long long n = 1024;
    int sign = -1, nthreads = 1;
    if (!PyArg_ParseTupleAndKeywords(args, kw, "|Kii", const_cast<char**>(kwlist), &n, &sign,
                                     &nthreads))
      return nullptr;
    return kv::created(fft_create(n, sign, nthreads), "fft_create");
  }

  static inline PyMethodDef methods[] = {
      kv::bounded_x<FftType, fft_execute_cf64, fft_max_out>(
          "execute_cf64",
          "Transform complex128 samples in double precision.\n\n"
          "Parameters\n----------\n"
          "x : array_like\n    n samples, converted to complex128 (read flat). Extra samples are\n"
          "    ignored; missing ones are taken as zeros.\n"
          "out : ndarray, optional\n    Writable C-contiguous complex128 array of at least\n"
          "    max(n, len(x)) elements.\n\n"
          "Returns\n-------\nndarray\n    The n transform bins (a view of out when given).\n\n"
          "Examples\n--------\n" KV_FFT_EXAMPLE_SETUP
          ">>> spectral.FFT(n=2).execute_cf64([1, 1])\narray([2.+0.j, 0.+0.j])\n"),
      kv::bounded_x<FftType, fft_execute_cf32, fft_max_out>(
          "execute_cf32",
          "Transform complex64 samples.\n\n"
          "Eligible lengths run in single precision, the others in double precision with the\n"
          "result narrowed to complex64.\n\n"
          "Parameters\n----------\n"
          "x : array_like\n    n samples, converted to complex64 (safe casts only; read flat).\n"
          "    Extra samples are ignored; missing ones are taken as zeros.\n"
          "out : ndarray, optional\n    Writable C-contiguous complex64 array of at least\n"
          "    max(n, len(x)) elements.\n\n"
          "Returns\n-------\nndarray\n    The n transform bins (a view of out when given).\n\n"
          "Examples\n--------\n" KV_FFT_EXAMPLE_SETUP
          ">>> spectral.FFT(n=4).execute_cf32(np.ones(4, np.complex64))\n"
          "array([4.+0.j, 0.+0.j, 0.+0.j, 0.+0.j], dtype=complex64)\n"),
      kv::bounded_x<FftType, fft_execute_inplace_cf64, fft_max_out, kZeroFresh>(
          "execute_inplace_cf64",
          "Copy complex128 samples into the output, then transform it there.\n\n"
          "The input is never modified. With out given, only min(len(x), n) samples are\n"
          "copied and the rest of out's first n elements is transformed as it stands; a\n"
          "fresh result starts from zeros.\n\n"
          "Parameters\n----------\n"
          "x : array_like\n    Samples, converted to complex128.\n"
          "out : ndarray, optional\n    Writable C-contiguous complex128 array of at least\n"
          "    max(n, len(x)) elements.\n\n"
          "Returns\n-------\nndarray\n    The n transform bins.\n\n"
          "Examples\n--------\n" KV_FFT_EXAMPLE_SETUP
          ">>> buf = np.zeros(4, np.complex128)\n"
          ">>> spectral.FFT(n=4).execute_inplace_cf64([1], out=buf)\n"
          "array([1.+0.j, 1.+0.j, 1.+0.j, 1.+0.j])\n"),
      kv::bounded_x<FftType, fft_execute_inplace_cf32, fft_max_out, kZeroFresh>(
          "execute_inplace_cf32",
          "Copy complex64 samples into the output, then transform it there.\n\n"
          "As execute_inplace_cf64, for complex64.\n\n"
          "Parameters\n----------\n"
          "x : array_like\n    Samples, converted to complex64.\n"
          "out : ndarray, optional\n    Writable C-contiguous complex64 array of at least\n"
          "    max(n, len(x)) elements.\n\n"
          "Returns\n-------\nndarray\n    The n transform bins.\n\n"
          "Examples\n--------\n" KV_FFT_EXAMPLE_SETUP
          ">>> spectral.FFT(n=2).execute_inplace_cf32([1, 1])\n"
          "array([2.+0.j, 0.+0.j], dtype=complex64)\n"),
      kv::method<FftType, &execute_int<std::int16_t, fft_execute_ci16>>(
          "execute_ci16",
          "Transform interleaved int16 I/Q straight into complex64.\n\n"
          "Each integer is scaled by 2**-15 (full scale +-1.0) while it is staged for the\n"
          "transform; no intermediate float array is made.\n\n"
          "Parameters\n----------\n"
          "iq : array_like\n    I0, Q0, I1, Q1, ... converted to int16. An odd trailing value is\n"
          "    ignored; missing samples are taken as zeros.\n\n"
          "Returns\n-------\nndarray\n    New complex64 array of the n transform bins.\n\n"
          "Examples\n--------\n" KV_FFT_EXAMPLE_SETUP
          ">>> spectral.FFT(n=2).execute_ci16(np.array([16384, 0, 0, 0], np.int16))\n"
          "array([0.5+0.j, 0.5+0.j], dtype=complex64)\n"),
      kv::method<FftType, &execute_int<std::int8_t, fft_execute_ci8>>(
          "execute_ci8",
          "Transform interleaved int8 I/Q straight into complex64.\n\n"
          "Each integer is scaled by 2**-7 (full scale +-1.0) while it is staged.\n\n"
          "Parameters\n----------\n"
          "iq : array_like\n    I0, Q0, I1, Q1, ... converted to int8. An odd trailing value is\n"
          "    ignored; missing samples are taken as zeros.\n\n"
          "Returns\n-------\nndarray\n    New complex64 array of the n transform bins.\n\n"
          "Examples\n--------\n" KV_FFT_EXAMPLE_SETUP
          ">>> spectral.FFT(n=2).execute_ci8(np.array([-128, 0, 0, 0], np.int8))\n"
          "array([-1.+0.j, -1.+0.j], dtype=complex64)\n"),
      kv::max_out<FftType, fft_max_out>("execute_cf64_max_out",
                                        "Capacity of execute_cf64's output: n.\n\n"
                                        "Returns\n-------\nint\n\n"
                                        "Examples\n--------\n" KV_FFT_EXAMPLE_SETUP
                                        ">>> spectral.FFT(n=8).execute_cf64_max_out()\n8\n"),
      kv::max_out<FftType, fft_max_out>("execute_cf32_max_out",
                                        "Capacity of execute_cf32's output: n.\n\n"
                                        "Returns\n-------\nint\n\n"
                                        "Examples\n--------\n" KV_FFT_EXAMPLE_SETUP
                                        ">>> spectral.FFT(n=8).execute_cf32_max_out()\n8\n"),
      kv::max_out<FftType, fft_max_out>(
          "execute_inplace_cf64_max_out",
          "Capacity of execute_inplace_cf64's output: n.\n\n"
          "Returns\n-------\nint\n\n"
          "Examples\n--------\n" KV_FFT_EXAMPLE_SETUP
          ">>> spectral.FFT(n=8).execute_inplace_cf64_max_out()\n8\n"),
      kv::max_out<FftType, fft_max_out>(
          "execute_inplace_cf32_max_out",
          "Capacity of execute_inplace_cf32's output: n.\n\n"
          "Returns\n-------\nint\n\n"
          "Examples\n--------\n" KV_FFT_EXAMPLE_SETUP
          ">>> spectral.FFT(n=8).execute_inplace_cf32_max_out()\n8\n"),
      {},
  };

  static inline PyGetSetDef getset[] = {
      kv::getter<FftType, fft_len>("n",
                                   "Transform length.\n\nReturns\n-------\nint\n\n"
                                   "Examples\n--------\n" KV_FFT_EXAMPLE_SETUP
                                   ">>> spectral.FFT(n=8).n\n8\n"),
      kv::getter<FftType, fft_sign>("sign",
                                    "The constructor's sign (negative: forward).\n\n"
                                    "Returns\n-------\nint\n\n"
                                    "Examples\n--------\n" KV_FFT_EXAMPLE_SETUP
                                    ">>> spectral.FFT(n=8, sign=1).sign\n1\n"),
      {},
  };
};

struct Fft2dType {
  using Core = fft2d_state_t;
  static constexpr const char* name = "spectral.FFT2D";
  static constexpr const char* example = "spectral.FFT2D(ny=4, nx=4)";
  static constexpr auto destroy = fft2d_destroy;
  static constexpr kv::NoReset reset = kv::kNoReset;
  static constexpr const char* reset_doc = "No-op reset (plans are immutable after creation).";
  static constexpr const char* doc =
      "FFT2D(ny=64, nx=64, sign=-1, nthreads=1)\n--\n\n"
      "Reusable 2-D complex FFT engine over a row-major grid of ny rows of nx values.\n\n"
      "Inputs are read flat (a (ny, nx) array is accepted); results are flat 1-D arrays of\n"
      "ny*nx values. complex64 grids whose two sides are both eligible lengths run in single\n"
      "precision; otherwise rows and columns are transformed in double precision with the\n"
      "grid narrowed to complex64 between the two passes.\n\n"
      "Parameters\n----------\n"
      "ny : int\n    Rows (outer dimension), >= 1.\n"
      "nx : int\n    Columns (inner dimension), >= 1.\n"
      "sign : int\n    Negative for the forward transform, otherwise backward.\n"
      "nthreads : int\n    Accepted and ignored.\n\n"
      "Raises\n------\nMemoryError\n    \"fft2d_create returned NULL\" for a zero side or when memory\n"
      "    runs out.\n\n"
      "Examples\n--------\n" KV_FFT_EXAMPLE_SETUP
      ">>> f = spectral.FFT2D(ny=2, nx=2)\n"
      ">>> f.execute_cf64(np.array([[1, 0], [0, 0]], np.complex128))\n"
      "array([1.+0.j, 1.+0.j, 1.+0.j, 1.+0.j])\n";

  static Core* create(PyObject* args, PyObject* kw) {
    static const char* kwlist[] = {"ny", "nx", "sign", "nthreads", nullptr};
    unsigned long long ny = 64, nx = 64;
    int sign = -1, nthreads = 1;
    if (!PyArg_ParseTupleAndKeywords(args, kw, "|KKii", const_cast<char**>(kwlist), &ny, &nx,
                                     &sign, &nthreads))
      return nullptr;
    return kv::created(fft2d_create(ny, nx, sign, nthreads), "fft2d_create");
  }

  static inline PyMethodDef methods[] = {
      kv::bounded_x<Fft2dType, fft2d_execute_cf64, fft2d_max_out>(
          "execute_cf64",
          "Transform a complex128 grid in double precision.\n\n"
          "Parameters\n----------\n"
          "x : array_like\n    ny*nx samples in row-major order, converted to complex128.\n"
          "    Missing samples are taken as zeros.\n"
          "out : ndarray, optional\n    Writable C-contiguous complex128 array of at least\n"
          "    max(ny*nx, x.size) elements.\n\n"
          "Returns\n-------\nndarray\n    The ny*nx bins, flat and row-major.\n\n"
          "Examples\n--------\n" KV_FFT_EXAMPLE_SETUP
          ">>> spectral.FFT2D(ny=1, nx=2).execute_cf64([1, 1])\narray([2.+0.j, 0.+0.j])\n"),
      kv::bounded_x<Fft2dType, fft2d_execute_cf32, fft2d_max_out>(
          "execute_cf32",
          "Transform a complex64 grid.\n\n"
          "Parameters\n----------\n"
          "x : array_like\n    ny*nx samples in row-major order, converted to complex64.\n"
          "    Missing samples are taken as zeros.\n"
          "out : ndarray, optional\n    Writable C-contiguous complex64 array of at least\n"
          "    max(ny*nx, x.size) elements.\n\n"
          "Returns\n-------\nndarray\n    The ny*nx bins, flat and row-major.\n\n"
          "Examples\n--------\n" KV_FFT_EXAMPLE_SETUP
          ">>> spectral.FFT2D(ny=1, nx=2).execute_cf32([1, 1])\n"
          "array([2.+0.j, 0.+0.j], dtype=complex64)\n"),
      kv::bounded_x<Fft2dType, fft2d_execute_inplace_cf64, fft2d_max_out, kZeroFresh>(
          "execute_inplace_cf64",
          "Copy a complex128 grid into the output, then transform it there.\n\n"
          "Parameters\n----------\n"
          "x : array_like\n    Samples, converted to complex128; with out given only\n"
          "    min(x.size, ny*nx) are copied and the rest of out is used as it stands.\n"
          "out : ndarray, optional\n    Writable C-contiguous complex128 array.\n\n"
          "Returns\n-------\nndarray\n    The ny*nx bins.\n\n"
          "Examples\n--------\n" KV_FFT_EXAMPLE_SETUP
          ">>> spectral.FFT2D(ny=1, nx=2).execute_inplace_cf64([1, 1])\n"
          "array([2.+0.j, 0.+0.j])\n"),
      kv::bounded_x<Fft2dType, fft2d_execute_inplace_cf32, fft2d_max_out, kZeroFresh>(
          "execute_inplace_cf32",
          "Copy a complex64 grid into the output, then transform it there.\n\n"
          "Parameters\n----------\n"
          "x : array_like\n    Samples, converted to complex64.\n"
          "out : ndarray, optional\n    Writable C-contiguous complex64 array.\n\n"
          "Returns\n-------\nndarray\n    The ny*nx bins.\n\n"
          "Examples\n--------\n" KV_FFT_EXAMPLE_SETUP
          ">>> spectral.FFT2D(ny=1, nx=2).execute_inplace_cf32([1, 1])\n"
          "array([2.+0.j, 0.+0.j], dtype=complex64)\n"),
      kv::max_out<Fft2dType, fft2d_max_out>("execute_cf64_max_out",
                                            "Capacity of execute_cf64's output: ny*nx.\n\n"
                                            "Returns\n-------\nint\n\n"
                                            "Examples\n--------\n" KV_FFT_EXAMPLE_SETUP
                                            ">>> spectral.FFT2D(ny=2, nx=3).execute_cf64_max_out()\n6\n"),
      kv::max_out<Fft2dType, fft2d_max_out>("execute_cf32_max_out",
                                            "Capacity of execute_cf32's output: ny*nx.\n\n"
                                            "Returns\n-------\nint\n\n"
                                            "Examples\n--------\n" KV_FFT_EXAMPLE_SETUP
                                            ">>> spectral.FFT2D(ny=2, nx=3).execute_cf32_max_out()\n6\n"),
      kv::max_out<Fft2dType, fft2d_max_out>(
          "execute_inplace_cf64_max_out",
          "Capacity of execute_inplace_cf64's output: ny*nx.\n\n"
          "Returns\n-------\nint\n\n"
          "Examples\n--------\n" KV_FFT_EXAMPLE_SETUP
          ">>> spectral.FFT2D(ny=2, nx=3).execute_inplace_cf64_max_out()\n6\n"),
      kv::max_out<Fft2dType, fft2d_max_out>(
          "execute_inplace_cf32_max_out",
          "Capacity of execute_inplace_cf32's output: ny*nx.\n\n"
          "Returns\n-------\nint\n\n"
          "Examples\n--------\n" KV_FFT_EXAMPLE_SETUP
          ">>> spectral.FFT2D(ny=2, nx=3).execute_inplace_cf32_max_out()\n6\n"),
      {},
  };

  static inline PyGetSetDef getset[] = {
      kv::getter<Fft2dType, fft2d_ny>("ny",
                                      "Rows of the grid.\n\nReturns\n-------\nint\n\n"
                                      "Examples\n--------\n" KV_FFT_EXAMPLE_SETUP
                                      ">>> spectral.FFT2D(ny=2, nx=3).ny\n2\n"),
      kv::getter<Fft2dType, fft2d_nx>("nx",
                                      "Columns of the grid.\n\nReturns\n-------\nint\n\n"
                                      "Examples\n--------\n" KV_FFT_EXAMPLE_SETUP
                                      ">>> spectral.FFT2D(ny=2, nx=3).nx\n3\n"),
      kv::getter<Fft2dType, fft2d_sign>("sign",
                                        "The constructor's sign (negative: forward).\n\n"
                                        "Returns\n-------\nint\n\n"
                                        "Examples\n--------\n" KV_FFT_EXAMPLE_SETUP
                                        ">>> spectral.FFT2D(sign=0).sign\n0\n"),
      {},
  };
};

}  // namespace

kv::TypeSlot fft_type_slot() { return kv::slot<FftType>(); }
kv::TypeSlot fft2d_type_slot() { return kv::slot<Fft2dType>(); }
