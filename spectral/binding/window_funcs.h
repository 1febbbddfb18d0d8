// Module functions of spectral for the windows and spectrum utilities.
#pragma once

#include "common/binding/protocol.h"

namespace window_funcs {

PyObject* kaiser_enbw(PyObject*, PyObject* args, PyObject* kw);
PyObject* kaiser_window(PyObject*, PyObject* args, PyObject* kw);
PyObject* kaiser_beta_for_sidelobe(PyObject*, PyObject* args, PyObject* kw);
PyObject* hann_window(PyObject*, PyObject* args, PyObject* kw);
PyObject* blackman_harris_window(PyObject*, PyObject* args, PyObject* kw);
PyObject* magnitude_db_cf32(PyObject*, PyObject* args, PyObject* kw);
PyObject* magnitude_db_cf64(PyObject*, PyObject* args, PyObject* kw);
PyObject* find_peaks_f32(PyObject*, PyObject* args, PyObject* kw);
PyObject* obw_from_power(PyObject*, PyObject* args, PyObject* kw);
PyObject* noise_floor_db(PyObject*, PyObject* args, PyObject* kw);

extern const char kaiser_enbw_doc[];
extern const char kaiser_window_doc[];
extern const char kaiser_beta_for_sidelobe_doc[];
extern const char hann_window_doc[];
extern const char blackman_harris_window_doc[];
extern const char magnitude_db_cf32_doc[];
extern const char magnitude_db_cf64_doc[];
extern const char find_peaks_f32_doc[];
extern const char obw_from_power_doc[];
extern const char noise_floor_db_doc[];

}  // namespace window_funcs

#define KV_WINDOW_FN(name)                                                                 \
  {#name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&window_funcs::name)), \
   METH_VARARGS | METH_KEYWORDS, window_funcs::name##_doc}

// The entries of the module-function table, in registration order.
#define KV_WINDOW_FUNCTIONS                                                              \
  KV_WINDOW_FN(kaiser_enbw), KV_WINDOW_FN(kaiser_window),                                \
      KV_WINDOW_FN(kaiser_beta_for_sidelobe), KV_WINDOW_FN(hann_window),                 \
      KV_WINDOW_FN(blackman_harris_window), KV_WINDOW_FN(magnitude_db_cf32),             \
      KV_WINDOW_FN(magnitude_db_cf64), KV_WINDOW_FN(find_peaks_f32),                     \
      KV_WINDOW_FN(obw_from_power), KV_WINDOW_FN(noise_floor_db)
