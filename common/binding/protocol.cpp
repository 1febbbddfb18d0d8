#include "common/binding/protocol.h"

#include <cstring>
#include <new>
#include <string>

namespace kv {

int import_numpy();  // common/binding/numpy_api.cpp, one per module

PyObject* rc_error(const char* what, long long rc, PyObject* exc) {
  PyErr_Format(exc, "%s (rc=%lld)", what, rc);
  return nullptr;
}

int parse_enum(const char* keyword, const char* value, std::initializer_list<const char*> names) {
  int i = 0;
  for (const char* n : names) {
    if (std::strcmp(n, value) == 0) return i;
    ++i;
  }
  std::string msg = std::string(keyword) + " must be one of ";
  bool first = true;
  for (const char* n : names) {
    if (!first) msg += ", ";
    msg += '"';
    msg += n;
    msg += '"';
    first = false;
  }
  PyErr_Format(PyExc_ValueError, "%s, got '%s'", msg.c_str(), value);
  return -1;
}

bool parse_objects(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                   const char* const* kwlist, int n_required, PyObject** slots) {
  int n_params = 0;
  while (kwlist[n_params]) ++n_params;
  constexpr int kMaxParams = 8;
  if (n_params > kMaxParams) {
    PyErr_SetString(PyExc_SystemError, "parse_objects: too many parameters");
    return false;
  }
  if (nargs > n_params) {
    PyErr_Format(PyExc_TypeError, "function takes at most %d arguments (%zd given)", n_params,
                 nargs);
    return false;
  }
  bool given[kMaxParams] = {};
  for (Py_ssize_t i = 0; i < nargs; ++i) {
    slots[i] = args[i];
    given[i] = true;
  }
  Py_ssize_t nkw = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
  for (Py_ssize_t k = 0; k < nkw; ++k) {
    PyObject* key = PyTuple_GET_ITEM(kwnames, k);
    int i = 0;
    while (i < n_params && PyUnicode_CompareWithASCIIString(key, kwlist[i]) != 0) ++i;
    if (i == n_params) {
      PyErr_Format(PyExc_TypeError, "'%U' is an invalid keyword argument for this function", key);
      return false;
    }
    if (given[i]) {
      PyErr_Format(PyExc_TypeError, "argument for function given by name ('%s') and position (%d)",
                   kwlist[i], i + 1);
      return false;
    }
    slots[i] = args[nargs + k];
    given[i] = true;
  }
  for (int i = 0; i < n_required; ++i)
    if (!given[i]) {
      PyErr_Format(PyExc_TypeError, "function missing required argument '%s' (pos %d)",
                   kwlist[i], i + 1);
      return false;
    }
  return true;
}

bool as_ssize(PyObject* obj, Py_ssize_t* v) {
  *v = PyNumber_AsSsize_t(obj, PyExc_OverflowError);
  return !(*v == -1 && PyErr_Occurred());
}

Input::Input(PyObject* obj, int typenum) {
  // The common case first: an exact ndarray that already fits is used as it is.
  if (PyArray_CheckExact(obj)) {
    auto* a = reinterpret_cast<PyArrayObject*>(obj);
    if (PyArray_TYPE(a) == typenum && PyArray_IS_C_CONTIGUOUS(a) && PyArray_ISALIGNED(a) &&
        PyArray_ISNOTSWAPPED(a)) {
      Py_INCREF(obj);
      arr_ = Ref(obj);
      size_ = static_cast<std::uint64_t>(PyArray_SIZE(a));
      return;
    }
  }
  // Safe casting only (no NPY_ARRAY_FORCECAST); aligned so cores may read
  // their element type directly. An array that already fits is not copied.
  arr_ = Ref(PyArray_FromAny(obj, PyArray_DescrFromType(typenum), 0, 0,
                             NPY_ARRAY_C_CONTIGUOUS | NPY_ARRAY_ALIGNED, nullptr));
  if (arr_) size_ = static_cast<std::uint64_t>(
                PyArray_SIZE(reinterpret_cast<PyArrayObject*>(arr_.get())));
}

bool check_target(PyObject* obj, int typenum, const char* name) {
  if (obj && PyArray_Check(obj)) {
    auto* a = reinterpret_cast<PyArrayObject*>(obj);
    // Byte-swapped arrays share the type number but not the layout the cores write.
    if (PyArray_TYPE(a) == typenum && PyArray_IS_C_CONTIGUOUS(a) && PyArray_ISWRITEABLE(a) &&
        PyArray_ISALIGNED(a) && PyArray_ISNOTSWAPPED(a))
      return true;
  }
  PyErr_Format(PyExc_TypeError, "%s must be a writable, C-contiguous ndarray of the output dtype",
               name);
  return false;
}

namespace {

PyObject* new_1d(int typenum, std::uint64_t n, bool zero) {
  if (n > static_cast<std::uint64_t>(NPY_MAX_INTP) / 16) {
    PyErr_Format(PyExc_MemoryError, "cannot allocate an array of %llu elements",
                 static_cast<unsigned long long>(n));
    return nullptr;
  }
  npy_intp dim = static_cast<npy_intp>(n);
  return zero ? PyArray_ZEROS(1, &dim, typenum, 0) : PyArray_SimpleNew(1, &dim, typenum);
}

// A 1-D array of k elements over base's memory from its start, holding base.
PyObject* view_of(PyObject* base, int typenum, std::uint64_t k) {
  auto* b = reinterpret_cast<PyArrayObject*>(base);
  npy_intp dim = static_cast<npy_intp>(k);
  PyObject* v = PyArray_NewFromDescr(&PyArray_Type, PyArray_DescrFromType(typenum), 1, &dim,
                                     nullptr, PyArray_DATA(b), NPY_ARRAY_CARRAY, nullptr);
  if (!v) return nullptr;
  Py_INCREF(base);
  if (PyArray_SetBaseObject(reinterpret_cast<PyArrayObject*>(v), base) < 0) {
    Py_DECREF(v);
    return nullptr;
  }
  return v;
}

}  // namespace

BoundedOut::BoundedOut(PyObject* out_obj, int typenum, std::uint64_t need, bool zero_fresh)
    : typenum_(typenum) {
  if (!out_obj || out_obj == Py_None) {
    arr_ = Ref(new_1d(typenum, need, zero_fresh));
    cap_ = need;
    ok_ = bool(arr_);
    return;
  }
  if (!check_target(out_obj, typenum, "out")) return;
  auto have = static_cast<std::uint64_t>(PyArray_SIZE(reinterpret_cast<PyArrayObject*>(out_obj)));
  if (have < need) {
    PyErr_Format(PyExc_ValueError, "out has %zu elements, need >= %zu", static_cast<size_t>(have),
                 static_cast<size_t>(need));
    return;
  }
  Py_INCREF(out_obj);
  arr_ = Ref(out_obj);
  cap_ = have;
  fresh_ = false;
  ok_ = true;
}

PyObject* BoundedOut::finish(std::uint64_t k, bool none_on_zero) {
  if (k == 0 && none_on_zero) Py_RETURN_NONE;
  if (!fresh_) return view_of(arr_.get(), typenum_, k);
  if (k != cap_) {
    npy_intp dim = static_cast<npy_intp>(k);
    PyArray_Dims dims = {&dim, 1};
    PyObject* r = PyArray_Resize(reinterpret_cast<PyArrayObject*>(arr_.get()), &dims, 0, NPY_CORDER);
    if (!r) return nullptr;
    Py_DECREF(r);
  }
  return arr_.release();
}

const void* unaliased(const void* in, std::size_t in_bytes, const void* out,
                      std::size_t out_bytes, std::vector<unsigned char>& copy) {
  auto pa = reinterpret_cast<std::uintptr_t>(in);
  auto pb = reinterpret_cast<std::uintptr_t>(out);
  if (in_bytes == 0 || out_bytes == 0 || pa >= pb + out_bytes || pb >= pa + in_bytes) return in;
  try {
    copy.assign(static_cast<const unsigned char*>(in),
                static_cast<const unsigned char*>(in) + in_bytes);
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
    return nullptr;
  }
  return copy.data();
}

MatchedOut::MatchedOut(PyObject* out_obj, int typenum, std::uint64_t n_in) {
  if (!out_obj || out_obj == Py_None) {
    arr_ = Ref(new_1d(typenum, n_in, false));
    return;
  }
  if (!check_target(out_obj, typenum, "out")) return;
  auto have = PyArray_SIZE(reinterpret_cast<PyArrayObject*>(out_obj));
  if (static_cast<std::uint64_t>(have) != n_in) {
    PyErr_Format(PyExc_ValueError, "out length %zd != input length %zd",
                 static_cast<Py_ssize_t>(have), static_cast<Py_ssize_t>(n_in));
    return;
  }
  Py_INCREF(out_obj);
  arr_ = Ref(out_obj);
}

FillTarget::FillTarget(PyObject* obj, int typenum, const char* name) : obj_(obj) {
  if (!check_target(obj, typenum, name)) return;
  size_ = static_cast<std::uint64_t>(PyArray_SIZE(reinterpret_cast<PyArrayObject*>(obj)));
  ok_ = true;
}

namespace {

std::string module_of(const char* type_name) {
  const char* dot = std::strrchr(type_name, '.');
  return dot ? std::string(type_name, dot) : std::string(type_name);
}

}  // namespace

std::string common_doc(const char* method, const char* type_name, const char* example,
                       const char* summary) {
  std::string setup = ">>> from korvana import " + module_of(type_name) + "\n>>> obj = " + example +
                      "\n";
  std::string m = method;
  if (m == "destroy")
    return "Release the core record now.\n\nLater calls of any other method or getter raise "
           "RuntimeError(\"destroyed\"); calling destroy again does nothing.\n\nReturns\n-------\n"
           "None\n\nExamples\n--------\n" +
           setup + ">>> obj.destroy()\n>>> obj.destroy()\n";
  if (m == "__enter__")
    return "Enter a with-block: the object itself.\n\nReturns\n-------\nobject\n    This very "
           "object.\n\nExamples\n--------\n>>> from korvana import " +
           module_of(type_name) + "\n>>> with " + example + " as obj:\n...     pass\n";
  if (m == "__exit__")
    return "Leave a with-block: destroy the core record; exceptions are not suppressed.\n\n"
           "Parameters\n----------\n*args\n    Ignored.\n\nReturns\n-------\nNone\n\nExamples\n"
           "--------\n" +
           setup + ">>> obj.__exit__(None, None, None)\n";
  if (m == "reset")
    return std::string(summary ? summary : "Return to the state right after construction.") +
           "\n\nReturns\n-------\nNone\n\nExamples\n--------\n" + setup + ">>> obj.reset()\n";
  if (m == "state_bytes")
    return "Byte length of this object's state blob.\n\nReturns\n-------\nint\n    Length of "
           "what get_state returns; fixed by the construction parameters.\n\nExamples\n"
           "--------\n" +
           setup + ">>> obj.state_bytes() == len(obj.get_state())\nTrue\n";
  if (m == "get_state")
    return "Snapshot of the evolving state as an opaque blob.\n\nReturns\n-------\nbytes\n    "
           "state_bytes() bytes; restore them with set_state into an object built with the same "
           "parameters.\n\nExamples\n--------\n" +
           setup + ">>> blob = obj.get_state()\n";
  if (m == "set_state")
    return "Restore a blob taken by get_state.\n\nParameters\n----------\nblob : bytes\n    A "
           "blob of exactly state_bytes() bytes from an object built with the same parameters.\n\n"
           "Returns\n-------\nNone\n\nRaises\n------\nTypeError\n    blob is not bytes.\n"
           "ValueError\n    Wrong length, or a blob this object refuses (state unchanged).\n\n"
           "Examples\n--------\n" +
           setup + ">>> obj.set_state(obj.get_state())\n";
  return {};
}

PyObject* module_init(PyModuleDef* def, std::initializer_list<TypeSlot> types) {
  if (import_numpy() < 0) return nullptr;
  for (const TypeSlot& s : types)
    if (s.ready() < 0) return nullptr;
  PyObject* m = PyModule_Create2(def, 1013);
  if (!m) return nullptr;
  for (const TypeSlot& s : types) {
    PyTypeObject* t = s.type;
    const char* dot = std::strrchr(t->tp_name, '.');
    const char* short_name = dot ? dot + 1 : t->tp_name;
    Py_INCREF(t);
    if (PyModule_AddObject(m, short_name, reinterpret_cast<PyObject*>(t)) < 0) {
      Py_DECREF(t);
      Py_DECREF(m);
      return nullptr;
    }
  }
  return m;
}

}  // namespace kv
