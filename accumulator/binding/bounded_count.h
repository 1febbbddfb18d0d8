// Bounded output sized by a `count` argument: `method(count=1, out=None)`, format
// "|nO". Used by the trace readers of the accumulator and spectral modules.
//
// The required capacity is max(MaxOut(core), count) compared as unsigned 64-bit
// numbers; Core(core, out, cap) -> produced count; nothing produced gives None.
#pragma once

#include <cstdint>

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

}  // namespace acc_binding
