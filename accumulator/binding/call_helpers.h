// Convert-and-call method wrappers used by the trace accumulator and the PSD
// estimator: each method is one core function, its arguments parsed by the core's
// own parameter types (vectorcall, positional or by keyword).
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

#include "common/binding/protocol.h"

namespace acc_binding {

inline constexpr const char* kCountOut[] = {"count", "out", nullptr};

// `count` as the "n" format takes it: any integer (through __index__) that fits a
// signed size; false with CPython's error otherwise.
inline bool count_arg(PyObject* obj, Py_ssize_t& count) {
  if (!obj) return true;
  count = PyNumber_AsSsize_t(obj, PyExc_OverflowError);
  return !(count == -1 && PyErr_Occurred());
}

// Bounded output sized by a `count` argument: `method(count=1, out=None)`, format
// "|nO". The required capacity is max(MaxOut(core), count) compared as unsigned
// 64-bit numbers; Core(core, out, cap) -> produced count; nothing produced gives None.
template <auto CoreFn, auto MaxOut>
PyObject* bounded_count_impl(typename kv::Fn<decltype(CoreFn)>::Core* c, PyObject* const* args,
                             Py_ssize_t nargs, PyObject* kwnames) {
  using F = decltype(CoreFn);
  return [&]<class C, class R, class Out>(R (*)(C*, Out*, std::uint64_t)) -> PyObject* {
    PyObject* slots[2] = {nullptr, Py_None};  // count, out
    if (!kv::parse_objects(args, nargs, kwnames, kCountOut, 0, slots)) return nullptr;
    Py_ssize_t count = 1;
    if (!count_arg(slots[0], count)) return nullptr;
    kv::BoundedOut res(slots[1], kv::npy_type_of<Out>(),
                       kv::required(MaxOut(c), static_cast<std::uint64_t>(count)));
    if (!res) return nullptr;
    std::uint64_t k = CoreFn(c, res.data<Out>(), res.capacity());
    return res.finish(k, true);
  }(static_cast<F>(CoreFn));
}

template <class T, auto CoreFn, auto MaxOut>
constexpr PyMethodDef bounded_count(const char* name, const char* doc) {
  return kv::method<T, &bounded_count_impl<CoreFn, MaxOut>>(name, doc);
}

// `method(<array>)`: Core(core, const In*, len); the result is the core's as a
// number, or None when Discard (a count the Python method does not report).
template <auto CoreFn, const char* const* Kw, bool Discard = false>
PyObject* array_impl(typename kv::Fn<decltype(CoreFn)>::Core* c, PyObject* const* args,
                     Py_ssize_t nargs, PyObject* kwnames) {
  using F = decltype(CoreFn);
  return [&]<class C, class R, class In>(R (*)(C*, const In*, std::uint64_t)) -> PyObject* {
    PyObject* x = nullptr;
    if (!kv::parse_objects(args, nargs, kwnames, Kw, 1, &x)) return nullptr;
    kv::Input in(x, kv::npy_type_of<In>());
    if (!in) return nullptr;
    if constexpr (Discard) {
      CoreFn(c, in.data<In>(), in.size());
      Py_RETURN_NONE;
    } else {
      return kv::to_python(CoreFn(c, in.data<In>(), in.size()));
    }
  }(static_cast<F>(CoreFn));
}

// `method(a, ...)` over float and double parameters, each taken as the "d" format
// takes it (then narrowed for a float parameter, as "f" does).
template <auto CoreFn, const char* const* Kw>
PyObject* numbers_impl(typename kv::Fn<decltype(CoreFn)>::Core* c, PyObject* const* args,
                       Py_ssize_t nargs, PyObject* kwnames) {
  using F = decltype(CoreFn);
  return [&]<class C, class R, class... A>(R (*)(C*, A...)) -> PyObject* {
    constexpr std::size_t n = sizeof...(A);
    PyObject* slots[n] = {};
    if (!kv::parse_objects(args, nargs, kwnames, Kw, static_cast<int>(n), slots)) return nullptr;
    double v[n];
    for (std::size_t i = 0; i < n; ++i) {
      v[i] = PyFloat_AsDouble(slots[i]);
      if (v[i] == -1.0 && PyErr_Occurred()) return nullptr;
    }
    return [&]<std::size_t... I>(std::index_sequence<I...>) {
      return kv::to_python(CoreFn(c, static_cast<A>(v[I])...));
    }(std::index_sequence_for<A...>{});
  }(static_cast<F>(CoreFn));
}

// `method()`: Core(core) -> a number.
template <auto CoreFn>
PyObject* result_impl(typename kv::Fn<decltype(CoreFn)>::Core* c) {
  return kv::to_python(CoreFn(c));
}

}  // namespace acc_binding
