// Python and NumPy C APIs for binding code. Each extension module owns one
// copy of NumPy's API table (common/binding/numpy_api.cpp); every other
// translation unit of the module refers to it.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#ifndef KV_NUMPY_API_OWNER
#define NO_IMPORT_ARRAY
#endif
#include <numpy/arrayobject.h>
