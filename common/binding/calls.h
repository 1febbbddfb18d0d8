// Convert-and-call wrappers for methods that are one core function: the
// arguments are parsed by the core function's own parameter types (vectorcall,
// positional or by keyword), the result converted back by its return type.
//
//   kv::method<T, &kv::array_call<psd_accumulate, kX, true>>("accumulate", doc)
//   kv::method<T, &kv::numbers_call<psd_snr, kLoHi>>("snr", doc)
//   kv::method<T, &kv::result_call<psd_noise_floor>>("noise_floor", doc)
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

#include "common/binding/protocol.h"

namespace kv {

// `method(<array>)`: Core(core, const In*, len); the result is the core's as a
// number, or None when Discard (a count the Python method does not report).
template <auto CoreFn, const char* const* Kw, bool Discard = false>
PyObject* array_call(typename Fn<decltype(CoreFn)>::Core* c, PyObject* const* args,
                     Py_ssize_t nargs, PyObject* kwnames) {
  using F = decltype(CoreFn);
  return [&]<class C, class R, class In>(R (*)(C*, const In*, std::uint64_t)) -> PyObject* {
    PyObject* x = nullptr;
    if (!parse_objects(args, nargs, kwnames, Kw, 1, &x)) return nullptr;
    Input in(x, npy_type_of<In>());
    if (!in) return nullptr;
    if constexpr (Discard) {
      CoreFn(c, in.data<In>(), in.size());
      Py_RETURN_NONE;
    } else {
      return to_python(CoreFn(c, in.data<In>(), in.size()));
    }
  }(static_cast<F>(CoreFn));
}

// `method(a, ...)` over float and double parameters, each taken as the "d" format
// takes it (then narrowed for a float parameter, as "f" does).
template <auto CoreFn, const char* const* Kw>
PyObject* numbers_call(typename Fn<decltype(CoreFn)>::Core* c, PyObject* const* args,
                       Py_ssize_t nargs, PyObject* kwnames) {
  using F = decltype(CoreFn);
  return [&]<class C, class R, class... A>(R (*)(C*, A...)) -> PyObject* {
    constexpr std::size_t n = sizeof...(A);
    PyObject* slots[n] = {};
    if (!parse_objects(args, nargs, kwnames, Kw, static_cast<int>(n), slots)) return nullptr;
    double v[n];
    for (std::size_t i = 0; i < n; ++i) {
      v[i] = PyFloat_AsDouble(slots[i]);
      if (v[i] == -1.0 && PyErr_Occurred()) return nullptr;
    }
    return [&]<std::size_t... I>(std::index_sequence<I...>) {
      return to_python(CoreFn(c, static_cast<A>(v[I])...));
    }(std::index_sequence_for<A...>{});
  }(static_cast<F>(CoreFn));
}

// `method()`: Core(core) -> a number.
template <auto CoreFn>
PyObject* result_call(typename Fn<decltype(CoreFn)>::Core* c) {
  return to_python(CoreFn(c));
}

}  // namespace kv
