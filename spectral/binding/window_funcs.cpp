// spectral's window generators and spectrum utilities.
#include "spectral/binding/window_funcs.h"

#include <algorithm>
#include <new>
#include <vector>

#include "spectral/core/window.h"

#define KV_WIN_SETUP ">>> import numpy as np\n>>> from korvana import spectral\n"

namespace window_funcs {

namespace {

// Fill-in-place generator: every element of the float32 array w is written.
template <class Gen>
PyObject* fill_window(PyObject* w_obj, Gen gen) {
  kv::FillTarget w(w_obj, NPY_FLOAT32, "w");
  if (!w) return nullptr;
  gen(w.data<float>(), w.size());
  Py_RETURN_NONE;
}

// One float32 value per input element, in a new 1-D array.
template <class In, class Fill>
PyObject* per_element(PyObject* x_obj, Fill fill) {
  kv::Input x(x_obj, kv::npy_type_of<In>());
  if (!x) return nullptr;
  kv::MatchedOut res(nullptr, NPY_FLOAT32, x.size());
  if (!res) return nullptr;
  fill(x.data<In>(), x.size(), res.data<float>());
  return res.finish();
}

}  // namespace

const char kaiser_enbw_doc[] =
    "kaiser_enbw(w)\n--\n\n"
    "Equivalent noise bandwidth of a window, in bins: N * sum(w**2) / sum(w)**2.\n\n"
    "Works for any window, not only Kaiser. Sums are taken in double precision and\n"
    "the result is narrowed to float32.\n\n"
    "Parameters\n----------\n"
    "w : array_like\n    Window coefficients, converted to float32 and read flat.\n\n"
    "Returns\n-------\nfloat\n    ENBW in bins; 1.0 for a rectangular window, NaN for an empty one.\n\n"
    "Examples\n--------\n" KV_WIN_SETUP
    ">>> spectral.kaiser_enbw(np.ones(5, np.float32))\n1.0\n";

PyObject* kaiser_enbw(PyObject*, PyObject* args, PyObject* kw) {
  static const char* kwlist[] = {"w", nullptr};
  PyObject* w_obj;
  if (!PyArg_ParseTupleAndKeywords(args, kw, "O", const_cast<char**>(kwlist), &w_obj))
    return nullptr;
  kv::Input w(w_obj, NPY_FLOAT32);
  if (!w) return nullptr;
  return PyFloat_FromDouble(::kaiser_enbw(w.data<float>(), w.size()));
}

const char kaiser_window_doc[] =
    "kaiser_window(w, beta)\n--\n\n"
    "Fill w with a symmetric Kaiser window, I0(beta*sqrt(1 - r**2)) / I0(beta).\n\n"
    "Parameters\n----------\n"
    "w : ndarray\n    Writable C-contiguous float32 array of any shape; all its elements are\n"
    "    written in row-major order.\n"
    "beta : float\n    Shape parameter (single precision); 0 gives the rectangular window.\n\n"
    "Returns\n-------\nNone\n\n"
    "Raises\n------\nTypeError\n    w is not a writable, C-contiguous float32 ndarray.\n\n"
    "Examples\n--------\n" KV_WIN_SETUP
    ">>> w = np.empty(3, np.float32)\n"
    ">>> spectral.kaiser_window(w, 0.0)\n"
    ">>> w\narray([1., 1., 1.], dtype=float32)\n";

PyObject* kaiser_window(PyObject*, PyObject* args, PyObject* kw) {
  static const char* kwlist[] = {"w", "beta", nullptr};
  PyObject* w;
  float beta;
  if (!PyArg_ParseTupleAndKeywords(args, kw, "Of", const_cast<char**>(kwlist), &w, &beta))
    return nullptr;
  return fill_window(w, [beta](float* p, std::uint64_t n) { ::kaiser_window(p, n, beta); });
}

const char kaiser_beta_for_sidelobe_doc[] =
    "kaiser_beta_for_sidelobe(atten_db)\n--\n\n"
    "Kaiser window shape for a wanted peak-sidelobe attenuation.\n\n"
    "0.12438*(A + 6.3) above 60 dB, 0.76609*(A - 13.26)**0.4 + 0.09834*(A - 13.26) above\n"
    "13.26 dB, else 0 (also for NaN).\n\n"
    "Parameters\n----------\n"
    "atten_db : float\n    Peak-sidelobe attenuation A in dB.\n\n"
    "Returns\n-------\nfloat\n    beta for kaiser_window.\n\n"
    "Examples\n--------\n" KV_WIN_SETUP
    ">>> round(spectral.kaiser_beta_for_sidelobe(90.0), 6)\n11.977794\n";

PyObject* kaiser_beta_for_sidelobe(PyObject*, PyObject* args, PyObject* kw) {
  static const char* kwlist[] = {"atten_db", nullptr};
  double a;
  if (!PyArg_ParseTupleAndKeywords(args, kw, "d", const_cast<char**>(kwlist), &a)) return nullptr;
  return PyFloat_FromDouble(::kaiser_beta_for_sidelobe(a));
}

const char hann_window_doc[] =
    "hann_window(w)\n--\n\n"
    "Fill w with a symmetric Hann window, 0.5 - 0.5*cos(2*pi*k/(N - 1)).\n\n"
    "Parameters\n----------\n"
    "w : ndarray\n    Writable C-contiguous float32 array of any shape; all its elements are\n"
    "    written in row-major order. One element gives [1].\n\n"
    "Returns\n-------\nNone\n\n"
    "Raises\n------\nTypeError\n    w is not a writable, C-contiguous float32 ndarray.\n\n"
    "Examples\n--------\n" KV_WIN_SETUP
    ">>> w = np.empty(5, np.float32)\n"
    ">>> spectral.hann_window(w)\n"
    ">>> w\narray([0. , 0.5, 1. , 0.5, 0. ], dtype=float32)\n";

PyObject* hann_window(PyObject*, PyObject* args, PyObject* kw) {
  static const char* kwlist[] = {"w", nullptr};
  PyObject* w;
  if (!PyArg_ParseTupleAndKeywords(args, kw, "O", const_cast<char**>(kwlist), &w)) return nullptr;
  return fill_window(w, [](float* p, std::uint64_t n) { ::hann_window(p, n); });
}

const char blackman_harris_window_doc[] =
    "blackman_harris_window(w)\n--\n\n"
    "Fill w with a symmetric minimum 4-term Blackman-Harris window.\n\n"
    "w[k] = 0.35875 - 0.48829 cos(t) + 0.14128 cos(2t) - 0.01168 cos(3t), t = 2*pi*k/(N - 1).\n\n"
    "Parameters\n----------\n"
    "w : ndarray\n    Writable C-contiguous float32 array of any shape; all its elements are\n"
    "    written in row-major order.\n\n"
    "Returns\n-------\nNone\n\n"
    "Raises\n------\nTypeError\n    w is not a writable, C-contiguous float32 ndarray.\n\n"
    "Examples\n--------\n" KV_WIN_SETUP
    ">>> w = np.empty(3, np.float32)\n"
    ">>> spectral.blackman_harris_window(w)\n"
    ">>> w.round(5)\narray([6.e-05, 1.e+00, 6.e-05], dtype=float32)\n";

PyObject* blackman_harris_window(PyObject*, PyObject* args, PyObject* kw) {
  static const char* kwlist[] = {"w", nullptr};
  PyObject* w;
  if (!PyArg_ParseTupleAndKeywords(args, kw, "O", const_cast<char**>(kwlist), &w)) return nullptr;
  return fill_window(w, [](float* p, std::uint64_t n) { ::blackman_harris_window(p, n); });
}

const char magnitude_db_cf32_doc[] =
    "magnitude_db_cf32(x, lin_floor, offset_db)\n--\n\n"
    "Magnitudes in dB: 20*log10(max(lin_floor, abs(x))) + offset_db, in float32.\n\n"
    "NaN magnitudes stay NaN.\n\n"
    "Parameters\n----------\n"
    "x : array_like\n    Samples, converted to complex64 and read flat.\n"
    "lin_floor : float\n    Smallest magnitude taken (not validated).\n"
    "offset_db : float\n    Added to every value.\n\n"
    "Returns\n-------\nndarray\n    New float32 array, one value per element of x.\n\n"
    "Examples\n--------\n" KV_WIN_SETUP
    ">>> spectral.magnitude_db_cf32([1, 0.1, 0], 1e-12, 0.0)\n"
    "array([   0.,  -20., -240.], dtype=float32)\n";

PyObject* magnitude_db_cf32(PyObject*, PyObject* args, PyObject* kw) {
  static const char* kwlist[] = {"x", "lin_floor", "offset_db", nullptr};
  PyObject* x;
  float lin_floor, offset_db;
  if (!PyArg_ParseTupleAndKeywords(args, kw, "Off", const_cast<char**>(kwlist), &x, &lin_floor,
                                   &offset_db))
    return nullptr;
  return per_element<cf32_t>(x, [=](const cf32_t* in, std::uint64_t n, float* out) {
    ::magnitude_db_cf32(in, n, out, lin_floor, offset_db);
  });
}

const char magnitude_db_cf64_doc[] =
    "magnitude_db_cf64(x, lin_floor, offset_db)\n--\n\n"
    "Magnitudes in dB of complex128 samples: the magnitude and logarithm in double, the\n"
    "result narrowed to float32 before offset_db is added.\n\n"
    "Parameters\n----------\n"
    "x : array_like\n    Samples, converted to complex128 and read flat.\n"
    "lin_floor : float\n    Smallest magnitude taken (double, not validated).\n"
    "offset_db : float\n    Added to every value (single precision).\n\n"
    "Returns\n-------\nndarray\n    New float32 array, one value per element of x.\n\n"
    "Examples\n--------\n" KV_WIN_SETUP
    ">>> spectral.magnitude_db_cf64([10, 1j], 1e-12, 1.0)\n"
    "array([21.,  1.], dtype=float32)\n";

PyObject* magnitude_db_cf64(PyObject*, PyObject* args, PyObject* kw) {
  static const char* kwlist[] = {"x", "lin_floor", "offset_db", nullptr};
  PyObject* x;
  double lin_floor;
  float offset_db;
  if (!PyArg_ParseTupleAndKeywords(args, kw, "Odf", const_cast<char**>(kwlist), &x, &lin_floor,
                                   &offset_db))
    return nullptr;
  return per_element<cf64_t>(x, [=](const cf64_t* in, std::uint64_t n, float* out) {
    ::magnitude_db_cf64(in, n, out, lin_floor, offset_db);
  });
}

const char find_peaks_f32_doc[] =
    "find_peaks_f32(db, n_peaks, min_db)\n--\n\n"
    "Local maxima of a DC-centred dB spectrum, parabolically interpolated, strongest first.\n\n"
    "A bin k (never the first or last) qualifies when db[k] > min_db, db[k] > db[k-1] and\n"
    "db[k] >= db[k+1]; a plateau is reported at its first bin. The offset d from the\n"
    "parabola through the three bins (clamped to +-0.5) gives freq_norm = (k - N//2 + d)/N\n"
    "cycles per sample and level_db = db[k] - 0.25*(db[k-1] - db[k+1])*d. Peaks of equal\n"
    "level come out in no particular order.\n\n"
    "Parameters\n----------\n"
    "db : array_like\n    N dB values, converted to float32 and read flat.\n"
    "n_peaks : int\n    Most peaks returned.\n"
    "min_db : float\n    Peaks must lie strictly above this level.\n\n"
    "Returns\n-------\nlist of tuple of float\n    (freq_norm, level_db) pairs, strongest first.\n\n"
    "Examples\n--------\n" KV_WIN_SETUP
    ">>> db = np.full(32, -60.0, np.float32)\n"
    ">>> db[7:10] = [-15, -10, -15]\n"
    ">>> spectral.find_peaks_f32(db, 2, -30.0)\n"
    "[(-0.25, -10.0)]\n";

PyObject* find_peaks_f32(PyObject*, PyObject* args, PyObject* kw) {
  static const char* kwlist[] = {"db", "n_peaks", "min_db", nullptr};
  PyObject* db_obj;
  unsigned long long n_peaks;
  float min_db;
  if (!PyArg_ParseTupleAndKeywords(args, kw, "OKf", const_cast<char**>(kwlist), &db_obj,
                                   &n_peaks, &min_db))
    return nullptr;
  kv::Input db(db_obj, NPY_FLOAT32);
  if (!db) return nullptr;
  // No spectrum has more than N/2 + 1 peaks: room beyond that would never be used.
  // The candidate list is made here too, so that running out of memory raises
  // instead of reading as "no peaks".
  const std::uint64_t most = db.size() / 2 + 1;
  const std::uint64_t room = std::min<std::uint64_t>(n_peaks, most);
  std::vector<zr_peak_t> peaks, cand;
  try {
    peaks.resize(room);
    cand.resize(most);
  } catch (const std::bad_alloc&) {
    return PyErr_NoMemory();
  }
  const std::uint64_t k = find_peaks_f32_into(db.data<float>(), db.size(), room, min_db,
                                              peaks.data(), cand.data());
  kv::Ref list(PyList_New(static_cast<Py_ssize_t>(k)));
  if (!list) return nullptr;
  for (std::uint64_t i = 0; i < k; ++i) {
    PyObject* t = Py_BuildValue("(dd)", static_cast<double>(peaks[i].freq_norm),
                                static_cast<double>(peaks[i].level_db));
    if (!t) return nullptr;
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), t);
  }
  return list.release();
}

const char obw_from_power_doc[] =
    "obw_from_power(pwr, fs, frac)\n--\n\n"
    "Occupied bandwidth: the width of the bins holding the central fraction of the power.\n\n"
    "Walking the running sum of pwr, the lower edge is the first bin where it reaches\n"
    "(0.5 - frac/2) of the total and the upper edge the first where it reaches\n"
    "(0.5 + frac/2) (or the last bin); both edges count.\n\n"
    "Parameters\n----------\n"
    "pwr : array_like\n    N linear powers, converted to float64 and read flat.\n"
    "fs : float\n    Sample rate in Hz; one bin is fs/N wide.\n"
    "frac : float\n    Fraction of the power, not validated.\n\n"
    "Returns\n-------\nfloat\n    Bandwidth in Hz, a whole number of bins; 0 for an empty input or a\n"
    "    total that is not positive.\n\n"
    "Examples\n--------\n" KV_WIN_SETUP
    ">>> spectral.obw_from_power(np.ones(8), 8.0, 1.0)\n8.0\n";

PyObject* obw_from_power(PyObject*, PyObject* args, PyObject* kw) {
  static const char* kwlist[] = {"pwr", "fs", "frac", nullptr};
  PyObject* p_obj;
  double fs, frac;
  if (!PyArg_ParseTupleAndKeywords(args, kw, "Odd", const_cast<char**>(kwlist), &p_obj, &fs,
                                   &frac))
    return nullptr;
  kv::Input p(p_obj, NPY_FLOAT64);
  if (!p) return nullptr;
  return PyFloat_FromDouble(::obw_from_power(p.data<double>(), p.size(), fs, frac));
}

const char noise_floor_db_doc[] =
    "noise_floor_db(db)\n--\n\n"
    "Median of dB values: the middle value, or the mean of the two middle ones for an even\n"
    "count. NaN values sort above every number.\n\n"
    "Parameters\n----------\n"
    "db : array_like\n    Values, converted to float32 and read flat.\n\n"
    "Returns\n-------\nfloat\n    The median; 0.0 for an empty input.\n\n"
    "Examples\n--------\n" KV_WIN_SETUP
    ">>> spectral.noise_floor_db([3, 1, 2, 4])\n2.5\n";

PyObject* noise_floor_db(PyObject*, PyObject* args, PyObject* kw) {
  static const char* kwlist[] = {"db", nullptr};
  PyObject* db_obj;
  if (!PyArg_ParseTupleAndKeywords(args, kw, "O", const_cast<char**>(kwlist), &db_obj))
    return nullptr;
  kv::Input db(db_obj, NPY_FLOAT32);
  if (!db) return nullptr;
  // Work on a private copy so that memory exhaustion is reported rather than read as 0.
  std::vector<float> work;
  try {
    work.assign(db.data<float>(), db.data<float>() + db.size());
  } catch (const std::bad_alloc&) {
    return PyErr_NoMemory();
  }
  return PyFloat_FromDouble(noise_floor_db_inplace(work.data(), work.size()));
}

}  // namespace window_funcs
