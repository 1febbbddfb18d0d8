// Protocol pieces the channel-coding types share beyond common/binding: their
// constructors report a null record as one fixed ValueError per type, and their
// bounded outputs are sized by a capacity query of the input length alone
// (need = MaxOut(core, len(x)), not max(MaxOut, len(x))).
#pragma once

#include <cstdint>

#include "common/binding/protocol.h"

namespace kv_coding {

// p, or null with ValueError `message` when p is null.
template <class P>
P* created_or(P* p, const char* message) {
  if (!p) PyErr_SetString(PyExc_ValueError, message);
  return p;
}

// `method(x, out=None)`, format "O|O": x converted to In, required capacity
// MaxOut(core, len(x)), CoreFn(core, in, len, out, cap) -> produced count. A count
// of 0 gives an empty array (or an empty view of out).
template <auto CoreFn, auto MaxOut>
PyObject* bounded_n_impl(typename kv::Fn<decltype(CoreFn)>::Core* c, PyObject* args,
                         PyObject* kw) {
  using F = decltype(CoreFn);
  return [&]<class C, class R, class In, class Out>(R (*)(C*, const In*, std::uint64_t, Out*,
                                                          std::uint64_t)) -> PyObject* {
    PyObject* x = nullptr;
    PyObject* out = Py_None;
    if (!PyArg_ParseTupleAndKeywords(args, kw, "O|O", const_cast<char**>(kv::kXOut), &x, &out))
      return nullptr;
    kv::Input in(x, kv::npy_type_of<In>());
    if (!in) return nullptr;
    kv::BoundedOut res(out, kv::npy_type_of<Out>(), MaxOut(c, in.size()));
    if (!res) return nullptr;
    const std::uint64_t k = CoreFn(c, in.data<In>(), in.size(), res.data<Out>(), res.capacity());
    return res.finish(k, false);
  }(static_cast<F>(CoreFn));
}

template <class T, auto CoreFn, auto MaxOut>
constexpr PyMethodDef bounded_n(const char* name, const char* doc) {
  return kv::method<T, &bounded_n_impl<CoreFn, MaxOut>>(name, doc);
}

}  // namespace kv_coding
