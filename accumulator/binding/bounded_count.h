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

template <auto CoreFn, auto MaxOut>
PyObject* bounded_count_impl(typename kv::Fn<decltype(CoreFn)>::Core* c, PyObject* args,
                             PyObject* kw) {
  using F = decltype(CoreFn);
  return [&]<class C, class R, class Out>(R (*)(C*, Out*, std::uint64_t)) -> PyObject* {
    Py_ssize_t count = 1;
    PyObject* out = Py_None;
    if (!PyArg_ParseTupleAndKeywords(args, kw, "|nO", const_cast<char**>(kCountOut), &count,
                                     &out))
      return nullptr;
    kv::BoundedOut res(out, kv::npy_type_of<Out>(),
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
