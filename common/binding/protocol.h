// The object protocol shared by every korvana type.
//
// A type is declared by a traits struct; TypeObject<T> turns it into a static
// Python type with allocation, deallocation, initialisation, `destroy`,
// `__enter__`, `__exit__`, `reset` and the state-blob methods. The traits name:
//
//   using Core = fft_state_t;                       core record type
//   static constexpr const char* name = "spectral.FFT";
//   static constexpr const char* doc = "...";       numpydoc docstring of the type
//   static constexpr const char* example = "spectral.FFT(n=8)";   used in generated docstrings
//   static constexpr auto destroy = fft_destroy;
//   static Core* create(PyObject* args, PyObject* kw);  parse, call the core create;
//                                                   null with an exception set on failure
//   static constexpr auto reset = psd_reset;        optional: Core* -> void, or
//                                                   kv::kNoReset for a check-only no-op
//   static constexpr const char* reset_doc = "...";  optional summary line of `reset`
//   static constexpr kv::StateFns state{size, get, set};   optional: state-blob methods
//   static inline PyMethodDef methods[] = {...};    own methods, ending with {}
//   static inline PyGetSetDef getset[] = {...};     optional getters, ending with {}
//
// Own methods are written as functions of the live core record and wrapped by
// kv::method<T, fn>(...), which checks the core handle ("destroyed") before any
// argument is looked at; the calling convention follows fn's parameters (none,
// kv::Arg, a tuple, a tuple and a dict, or vectorcall arguments). Generic
// one-line wrappers cover the common shapes: kv::bounded_x (input array ->
// bounded output), kv::bounded_count (count-sized output), kv::max_out,
// kv::max_out_n, kv::getter, kv::getset_double, and in common/binding/calls.h
// kv::array_call, kv::numbers_call, kv::result_call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <type_traits>
#include <vector>

#include "common/binding/numpy.h"
#include "common/core/samples.h"

namespace kv {

// ---------------------------------------------------------------- references

// Owning reference: every error path releases what it took.
class Ref {
 public:
  Ref() = default;
  explicit Ref(PyObject* owned) : p_(owned) {}
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  Ref(Ref&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
  Ref& operator=(Ref&& o) noexcept {
    if (this != &o) {
      Py_XDECREF(p_);
      p_ = o.p_;
      o.p_ = nullptr;
    }
    return *this;
  }
  ~Ref() { Py_XDECREF(p_); }
  PyObject* get() const { return p_; }
  PyObject* release() {
    PyObject* p = p_;
    p_ = nullptr;
    return p;
  }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  PyObject* p_ = nullptr;
};

// ---------------------------------------------------------------- instances

struct Instance {
  PyObject_HEAD
  void* core;
};

template <class T>
typename T::Core* core_of(PyObject* self) {
  return static_cast<typename T::Core*>(reinterpret_cast<Instance*>(self)->core);
}

// The live core record, or null with RuntimeError "destroyed".
template <class T>
typename T::Core* live(PyObject* self) {
  auto* c = core_of<T>(self);
  if (!c) PyErr_SetString(PyExc_RuntimeError, "destroyed");
  return c;
}

// ---------------------------------------------------------------- errors

// MemoryError "<create_name> returned NULL" when p is null; returns p.
template <class P>
P* created(P* p, const char* create_name) {
  if (!p) PyErr_Format(PyExc_MemoryError, "%s returned NULL", create_name);
  return p;
}

// p, or null with `exc` carrying a fixed message (types whose refusal is a
// ValueError naming the usable parameters rather than a MemoryError).
template <class P>
P* created_or(P* p, PyObject* exc, const char* message) {
  if (!p) PyErr_SetString(exc, message);
  return p;
}

// "<what> (rc=<rc>)", e.g. rc_error("flush failed", -3, PyExc_OSError). Returns null.
PyObject* rc_error(const char* what, long long rc, PyObject* exc = PyExc_ValueError);

// Index of value among names; otherwise -1 with ValueError
// "<keyword> must be one of \"a\", \"b\", got '<value>'".
int parse_enum(const char* keyword, const char* value, std::initializer_list<const char*> names);

// ---------------------------------------------------------------- dtypes

template <class E>
constexpr int npy_type_of() {
  if constexpr (std::is_same_v<E, cf32_t>) return NPY_COMPLEX64;
  else if constexpr (std::is_same_v<E, cf64_t>) return NPY_COMPLEX128;
  else if constexpr (std::is_same_v<E, float>) return NPY_FLOAT32;
  else if constexpr (std::is_same_v<E, double>) return NPY_FLOAT64;
  else if constexpr (std::is_same_v<E, std::int8_t>) return NPY_INT8;
  else if constexpr (std::is_same_v<E, std::uint8_t>) return NPY_UINT8;
  else if constexpr (std::is_same_v<E, std::int16_t>) return NPY_INT16;
  else if constexpr (std::is_same_v<E, std::uint16_t>) return NPY_UINT16;
  else if constexpr (std::is_same_v<E, std::int32_t>) return NPY_INT32;
  else if constexpr (std::is_same_v<E, std::uint32_t>) return NPY_UINT32;
  else if constexpr (std::is_same_v<E, std::int64_t>) return NPY_INT64;
  else if constexpr (std::is_same_v<E, std::uint64_t>) return NPY_UINT64;
  else static_assert(sizeof(E) == 0, "no NumPy dtype for this element type");
}

// ---------------------------------------------------------------- arrays in

// An array-like converted to a C-contiguous array of one dtype (safe casts
// only; an array that already fits is used in place). Read flat: its size is
// the product of its dimensions.
class Input {
 public:
  Input(PyObject* obj, int typenum);
  explicit operator bool() const { return bool(arr_); }
  template <class E>
  const E* data() const {
    return static_cast<const E*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(arr_.get())));
  }
  std::uint64_t size() const { return size_; }

 private:
  Ref arr_;
  std::uint64_t size_ = 0;
};

// True for an ndarray (or subclass) of typenum, C-contiguous, writeable,
// aligned and in native byte order; otherwise TypeError
// "<name> must be a writable, C-contiguous ndarray of the output dtype".
bool check_target(PyObject* obj, int typenum, const char* name);

// ---------------------------------------------------------------- outputs

// Bounded output: a caller's `out` of at least `need` elements, or a fresh
// 1-D array of exactly `need` elements.
class BoundedOut {
 public:
  // out_obj: None/null for a fresh array. On failure the object is false and
  // an exception is set.
  BoundedOut(PyObject* out_obj, int typenum, std::uint64_t need, bool zero_fresh = false);
  explicit operator bool() const { return ok_; }
  template <class E>
  E* data() const {
    return static_cast<E*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(arr_.get())));
  }
  std::uint64_t capacity() const { return cap_; }
  // The result for k produced elements: None when k = 0 and none_on_zero; the
  // fresh array, resized in place to k; or a view of out's first k elements.
  PyObject* finish(std::uint64_t k, bool none_on_zero);

 private:
  Ref arr_;
  int typenum_;
  std::uint64_t cap_ = 0;
  bool fresh_ = true;
  bool ok_ = false;
};

// The input as a kernel may read it while writing `out`: in itself, or a private
// copy in `copy` when the two byte ranges share memory (an out= view over the
// input's buffer). Null with MemoryError when the copy cannot be made.
const void* unaliased(const void* in, std::size_t in_bytes, const void* out,
                      std::size_t out_bytes, std::vector<unsigned char>& copy);

template <class In, class Out>
const In* unaliased(const Input& in, const BoundedOut& res, std::vector<unsigned char>& copy) {
  return static_cast<const In*>(unaliased(in.data<In>(), in.size() * sizeof(In), res.data<Out>(),
                                          res.capacity() * sizeof(Out), copy));
}

// Matched output: exactly one element per input element.
class MatchedOut {
 public:
  MatchedOut(PyObject* out_obj, int typenum, std::uint64_t n_in);
  explicit operator bool() const { return bool(arr_); }
  template <class E>
  E* data() const {
    return static_cast<E*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(arr_.get())));
  }
  PyObject* finish() { return arr_.release(); }

 private:
  Ref arr_;
};

// Fill-in-place target: the whole of `obj` is written.
class FillTarget {
 public:
  FillTarget(PyObject* obj, int typenum, const char* name);
  explicit operator bool() const { return ok_; }
  template <class E>
  E* data() const {
    return static_cast<E*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(obj_)));
  }
  std::uint64_t size() const { return size_; }

 private:
  PyObject* obj_;
  std::uint64_t size_ = 0;
  bool ok_ = false;
};

// ---------------------------------------------------------------- methods

template <class F>
struct Fn;
template <class C, class R, class... A>
struct Fn<R (*)(C*, A...)> {
  using Core = C;
  using Ret = R;
};
template <class C, class R, class... A>
struct Fn<R (*)(const C*, A...)> {
  using Core = C;
  using Ret = R;
};

// The one positional argument of a single-argument method (METH_O).
struct Arg {
  PyObject* obj;
};

// Function-pointer shapes of own methods, by calling convention.
template <class T>
using NoArgs = PyObject* (*)(typename T::Core*);
template <class T>
using OneArg = PyObject* (*)(typename T::Core*, Arg arg);
template <class T>
using VarArgs = PyObject* (*)(typename T::Core*, PyObject* args);
template <class T>
using KwArgs = PyObject* (*)(typename T::Core*, PyObject* args, PyObject* kw);
template <class T>
using FastArgs = PyObject* (*)(typename T::Core*, PyObject* const* args, Py_ssize_t nargs,
                               PyObject* kwnames);

template <class T, auto F>
PyObject* call_noargs(PyObject* self, PyObject*) {
  auto* c = live<T>(self);
  return c ? F(c) : nullptr;
}
template <class T, auto F>
PyObject* call_varargs(PyObject* self, PyObject* args) {
  auto* c = live<T>(self);
  return c ? F(c, args) : nullptr;
}
template <class T, auto F>
PyObject* call_kwargs(PyObject* self, PyObject* args, PyObject* kw) {
  auto* c = live<T>(self);
  return c ? F(c, args, kw) : nullptr;
}
template <class T, auto F>
PyObject* call_one(PyObject* self, PyObject* arg) {
  auto* c = live<T>(self);
  return c ? F(c, Arg{arg}) : nullptr;
}
template <class T, auto F>
PyObject* call_fast(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  auto* c = live<T>(self);
  return c ? F(c, args, nargs, kwnames) : nullptr;
}

// Object arguments of a vectorcall method (METH_FASTCALL | METH_KEYWORDS):
// positional or by keyword name, the first n_required required, the others
// left untouched when absent. Errors read as CPython's own argument errors.
bool parse_objects(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                   const char* const* kwlist, int n_required, PyObject** slots);

// A method-table entry for F, called with the live core record.
template <class T, auto F>
constexpr PyMethodDef method(const char* name, const char* doc) {
  using P = decltype(F);
  if constexpr (std::is_convertible_v<P, FastArgs<T>>)
    return {name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&call_fast<T, F>)),
            METH_FASTCALL | METH_KEYWORDS, doc};
  else if constexpr (std::is_convertible_v<P, KwArgs<T>>)
    return {name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&call_kwargs<T, F>)),
            METH_VARARGS | METH_KEYWORDS, doc};
  else if constexpr (std::is_convertible_v<P, VarArgs<T>>)
    return {name, &call_varargs<T, F>, METH_VARARGS, doc};
  else if constexpr (std::is_convertible_v<P, OneArg<T>>)
    return {name, &call_one<T, F>, METH_O, doc};
  else
    return {name, &call_noargs<T, F>, METH_NOARGS, doc};
}

// Unsigned capacity query taking no arguments: F(core) -> count.
template <auto F>
PyObject* max_out_impl(typename Fn<decltype(F)>::Core* c) {
  return PyLong_FromUnsignedLongLong(static_cast<unsigned long long>(F(c)));
}
template <class T, auto F>
constexpr PyMethodDef max_out(const char* name, const char* doc) {
  return method<T, &max_out_impl<F>>(name, doc);
}

// Capacity query taking one positional integer n_in (format "n"): F(core, n_in).
template <auto F>
PyObject* max_out_n_impl(typename Fn<decltype(F)>::Core* c, PyObject* args) {
  Py_ssize_t n_in;
  if (!PyArg_ParseTuple(args, "n", &n_in)) return nullptr;
  return PyLong_FromUnsignedLongLong(static_cast<unsigned long long>(F(c, n_in)));
}
template <class T, auto F>
constexpr PyMethodDef max_out_n(const char* name, const char* doc) {
  return method<T, &max_out_n_impl<F>>(name, doc);
}

// Keyword lists of the bounded-output wrapper: the input's name, then "out".
inline constexpr const char* kXOut[] = {"x", "out", nullptr};

// Options of the bounded-output wrapper.
struct BoundedOpts {
  // The core may produce nothing (k = 0): the result is then None.
  bool none_on_zero = false;
  // A fresh result array is zeroed first, so elements the core leaves alone
  // never expose uninitialised memory.
  bool zero_fresh = false;
};

// Number of samples a bounded output needs: max(m, l), unsigned.
inline std::uint64_t required(std::uint64_t m, std::uint64_t l) { return m > l ? m : l; }

// Required capacity of a bounded output for an input of n_in elements: the
// capacity query itself when it takes the input length (MaxOut(core, n_in)),
// otherwise max(MaxOut(core), n_in).
template <auto MaxOut, class C>
std::uint64_t need_for(C* c, std::uint64_t n_in) {
  if constexpr (requires { MaxOut(c, n_in); })
    return static_cast<std::uint64_t>(MaxOut(c, n_in));
  else
    return required(static_cast<std::uint64_t>(MaxOut(c)), n_in);
}

// `method(x, out=None)`, format "O|O": x converted to In, required capacity
// need_for<MaxOut>(core, len(x)), Core(core, in, len, out, cap) -> produced count.
// An x that shares memory with out is read from a private copy, so no kernel
// ever reads what it has already overwritten.
template <auto CoreFn, auto MaxOut, BoundedOpts Opts = BoundedOpts{},
          const char* const* Kw = kXOut>
PyObject* bounded_x_impl(typename Fn<decltype(CoreFn)>::Core* c, PyObject* const* args,
                         Py_ssize_t nargs, PyObject* kwnames);

template <class T, auto CoreFn, auto MaxOut, BoundedOpts Opts = BoundedOpts{},
          const char* const* Kw = kXOut>
constexpr PyMethodDef bounded_x(const char* name, const char* doc) {
  return method<T, &bounded_x_impl<CoreFn, MaxOut, Opts, Kw>>(name, doc);
}

inline constexpr const char* kCountOut[] = {"count", "out", nullptr};

// `method(count=1, out=None)`, format "|nO": required capacity
// max(MaxOut(core), count), unsigned; Core(core, out, cap) -> produced count;
// nothing produced gives None (and leaves a given out untouched).
template <auto CoreFn, auto MaxOut>
PyObject* bounded_count_impl(typename Fn<decltype(CoreFn)>::Core* c, PyObject* const* args,
                             Py_ssize_t nargs, PyObject* kwnames);

template <class T, auto CoreFn, auto MaxOut>
constexpr PyMethodDef bounded_count(const char* name, const char* doc) {
  return method<T, &bounded_count_impl<CoreFn, MaxOut>>(name, doc);
}

// A signed size argument (format "n"): an integer, OverflowError when it does
// not fit. False with the exception set.
bool as_ssize(PyObject* obj, Py_ssize_t* v);

// ---------------------------------------------------------------- getters

template <class V>
PyObject* to_python(V v) {
  if constexpr (std::is_same_v<V, bool>) return PyBool_FromLong(v);
  else if constexpr (std::is_floating_point_v<V>) return PyFloat_FromDouble(static_cast<double>(v));
  else if constexpr (std::is_unsigned_v<V>) return PyLong_FromUnsignedLongLong(v);
  else return PyLong_FromLongLong(v);
}

template <class T, auto F>
PyObject* get_impl(PyObject* self, void*) {
  auto* c = live<T>(self);
  return c ? to_python(F(c)) : nullptr;
}

// A read-only property reading F(core).
template <class T, auto F>
constexpr PyGetSetDef getter(const char* name, const char* doc) {
  return {name, &get_impl<T, F>, nullptr, doc, nullptr};
}

// A float property with setter S(core, double) (format "d": any real number).
template <class T, auto S>
int set_double_impl(PyObject* self, PyObject* value, void*) {
  auto* c = live<T>(self);
  if (!c) return -1;
  if (!value) {
    PyErr_SetString(PyExc_TypeError, "cannot delete this attribute");
    return -1;
  }
  double v = PyFloat_AsDouble(value);
  if (v == -1.0 && PyErr_Occurred()) return -1;
  S(c, v);
  return 0;
}
template <class T, auto F, auto S>
constexpr PyGetSetDef getset_double(const char* name, const char* doc) {
  return {name, &get_impl<T, F>, &set_double_impl<T, S>, doc, nullptr};
}

// ---------------------------------------------------------------- state

template <class SizeF, class GetF, class SetF>
struct StateFns {
  SizeF size;  // (const Core*) -> byte length
  GetF get;    // (const Core*, uint8_t* buf): writes exactly size bytes
  SetF set;    // (Core*, const uint8_t* buf) -> 0, or non-zero when rejected
};
template <class SizeF, class GetF, class SetF>
StateFns(SizeF, GetF, SetF) -> StateFns<SizeF, GetF, SetF>;

struct NoReset {};
inline constexpr NoReset kNoReset{};

// ---------------------------------------------------------------- type objects

// Shared docstrings, completed per type with its example constructor.
std::string common_doc(const char* method, const char* type_name, const char* example,
                       const char* summary = nullptr);

template <class T>
class TypeObject {
 public:
  static PyTypeObject* get() { return &type_; }

  // Fills the static type and readies it; -1 with an exception on failure.
  static int ready() {
    build_methods();
    type_.tp_name = T::name;
    type_.tp_doc = T::doc;
    type_.tp_basicsize = sizeof(Instance);
    type_.tp_itemsize = 0;
    type_.tp_flags = Py_TPFLAGS_DEFAULT;
    type_.tp_new = &tp_new;
    type_.tp_init = &tp_init;
    type_.tp_dealloc = &tp_dealloc;
    type_.tp_methods = methods_.data();
    if constexpr (requires { T::getset; }) type_.tp_getset = T::getset;
    return PyType_Ready(&type_);
  }

 private:
  using Core = typename T::Core;

  static PyObject* tp_new(PyTypeObject* type, PyObject*, PyObject*) {
    PyObject* self = type->tp_alloc(type, 0);
    if (self) reinterpret_cast<Instance*>(self)->core = nullptr;
    return self;
  }

  // Running __init__ again on a live object replaces its record once the new
  // one exists; a failed re-initialisation keeps the old record.
  static int tp_init(PyObject* self, PyObject* args, PyObject* kw) {
    Core* c = T::create(args, kw);
    if (!c) return -1;
    auto* inst = reinterpret_cast<Instance*>(self);
    if (inst->core) T::destroy(static_cast<Core*>(inst->core));
    inst->core = c;
    return 0;
  }

  static void tp_dealloc(PyObject* self) {
    auto* inst = reinterpret_cast<Instance*>(self);
    if (inst->core) T::destroy(static_cast<Core*>(inst->core));
    inst->core = nullptr;
    Py_TYPE(self)->tp_free(self);
  }

  static PyObject* destroy(PyObject* self, PyObject* = nullptr) {
    auto* inst = reinterpret_cast<Instance*>(self);
    if (inst->core) {
      T::destroy(static_cast<Core*>(inst->core));
      inst->core = nullptr;
    }
    Py_RETURN_NONE;
  }
  static PyObject* enter(PyObject* self, PyObject*) {
    Py_INCREF(self);
    return self;
  }
  static PyObject* exit(PyObject* self, PyObject*) { return destroy(self); }

  static PyObject* reset(PyObject* self, PyObject*) {
    auto* c = live<T>(self);
    if (!c) return nullptr;
    if constexpr (!std::is_same_v<std::remove_cv_t<decltype(T::reset)>, NoReset>) T::reset(c);
    Py_RETURN_NONE;
  }

  static PyObject* state_bytes(PyObject* self, PyObject*) {
    auto* c = live<T>(self);
    if (!c) return nullptr;
    return PyLong_FromSize_t(static_cast<std::size_t>(T::state.size(c)));
  }
  static PyObject* get_state(PyObject* self, PyObject*) {
    auto* c = live<T>(self);
    if (!c) return nullptr;
    auto size = static_cast<Py_ssize_t>(T::state.size(c));
    PyObject* b = PyBytes_FromStringAndSize(nullptr, size);
    if (!b) return nullptr;
    T::state.get(c, reinterpret_cast<std::uint8_t*>(PyBytes_AS_STRING(b)));
    return b;
  }
  static PyObject* set_state(PyObject* self, PyObject* blob) {
    auto* c = live<T>(self);
    if (!c) return nullptr;
    if (!PyBytes_Check(blob)) {
      PyErr_SetString(PyExc_TypeError, "set_state expects bytes");
      return nullptr;
    }
    if (static_cast<std::uint64_t>(PyBytes_GET_SIZE(blob)) !=
        static_cast<std::uint64_t>(T::state.size(c))) {
      PyErr_SetString(PyExc_ValueError, "state blob size mismatch");
      return nullptr;
    }
    if (T::state.set(c, reinterpret_cast<const std::uint8_t*>(PyBytes_AS_STRING(blob))) != 0) {
      PyErr_SetString(PyExc_ValueError, "set_state rejected the blob");
      return nullptr;
    }
    Py_RETURN_NONE;
  }

  static void add(const char* name, PyCFunction f, int flags, const char* method_name,
                  const char* summary = nullptr) {
    docs_.push_back(common_doc(method_name, T::name, T::example, summary));
    methods_.push_back({name, f, flags, nullptr});
  }

  static void build_methods() {
    methods_.clear();
    docs_.clear();
    docs_.reserve(8);
    for (const PyMethodDef* m = T::methods; m->ml_name; ++m) methods_.push_back(*m);
    std::size_t own = methods_.size();
    if constexpr (requires { T::reset; }) {
      const char* summary = nullptr;
      if constexpr (requires { T::reset_doc; }) summary = T::reset_doc;
      add("reset", &reset, METH_NOARGS, "reset", summary);
    }
    if constexpr (requires { T::state; }) {
      add("state_bytes", &state_bytes, METH_NOARGS, "state_bytes");
      add("get_state", &get_state, METH_NOARGS, "get_state");
      add("set_state", &set_state, METH_O, "set_state");
    }
    add("destroy", &destroy, METH_NOARGS, "destroy");
    add("__enter__", &enter, METH_NOARGS, "__enter__");
    add("__exit__", &exit, METH_VARARGS, "__exit__");
    for (std::size_t i = own; i < methods_.size(); ++i) methods_[i].ml_doc = docs_[i - own].c_str();
    methods_.push_back({nullptr, nullptr, 0, nullptr});
  }

  static inline PyTypeObject type_ = {PyVarObject_HEAD_INIT(nullptr, 0) nullptr};
  static inline std::vector<PyMethodDef> methods_;
  static inline std::vector<std::string> docs_;
};

// ---------------------------------------------------------------- modules

// One type of a module, in registration order: kv::slot<FftType>().
struct TypeSlot {
  int (*ready)();
  PyTypeObject* type;
};
template <class T>
TypeSlot slot() {
  return {&TypeObject<T>::ready, TypeObject<T>::get()};
}

// A single-phase module definition (per-module state size -1) with its
// docstring and table of module functions (null for none).
constexpr PyModuleDef module_def(const char* name, const char* doc,
                                 PyMethodDef* functions = nullptr) {
  return {PyModuleDef_HEAD_INIT, name, doc, -1, functions, nullptr, nullptr, nullptr, nullptr};
}

// Module initialisation: NumPy's array-API import, types readied in order,
// module created, each type added under its short name in the same order.
PyObject* module_init(PyModuleDef* def, std::initializer_list<TypeSlot> types);

// ---------------------------------------------------------------- templates

template <auto CoreFn, auto MaxOut, BoundedOpts Opts, const char* const* Kw>
PyObject* bounded_x_impl(typename Fn<decltype(CoreFn)>::Core* c, PyObject* const* args,
                         Py_ssize_t nargs, PyObject* kwnames) {
  using F = decltype(CoreFn);
  return [&]<class C, class R, class In, class Out>(R (*)(C*, const In*, std::uint64_t, Out*,
                                                          std::uint64_t)) -> PyObject* {
    PyObject* slots[2] = {nullptr, Py_None};  // x, out
    if (!parse_objects(args, nargs, kwnames, Kw, 1, slots)) return nullptr;
    PyObject *x = slots[0], *out = slots[1];
    Input in(x, npy_type_of<In>());
    if (!in) return nullptr;
    BoundedOut res(out, npy_type_of<Out>(), need_for<MaxOut>(c, in.size()), Opts.zero_fresh);
    if (!res) return nullptr;
    std::vector<unsigned char> copy;
    const In* src = unaliased<In, Out>(in, res, copy);
    if (!src) return nullptr;
    std::uint64_t k = CoreFn(c, src, in.size(), res.data<Out>(), res.capacity());
    return res.finish(k, Opts.none_on_zero);
  }(static_cast<F>(CoreFn));
}

template <auto CoreFn, auto MaxOut>
PyObject* bounded_count_impl(typename Fn<decltype(CoreFn)>::Core* c, PyObject* const* args,
                             Py_ssize_t nargs, PyObject* kwnames) {
  using F = decltype(CoreFn);
  return [&]<class C, class R, class Out>(R (*)(C*, Out*, std::uint64_t)) -> PyObject* {
    PyObject* slots[2] = {nullptr, Py_None};  // count, out
    if (!parse_objects(args, nargs, kwnames, kCountOut, 0, slots)) return nullptr;
    Py_ssize_t count = 1;
    if (slots[0] && !as_ssize(slots[0], &count)) return nullptr;
    BoundedOut res(slots[1], npy_type_of<Out>(),
                   required(static_cast<std::uint64_t>(MaxOut(c)), static_cast<std::uint64_t>(count)));
    if (!res) return nullptr;
    return res.finish(CoreFn(c, res.data<Out>(), res.capacity()), true);
  }(static_cast<F>(CoreFn));
}

}  // namespace kv
