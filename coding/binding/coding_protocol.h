// Protocol pieces the channel-coding types share beyond common/binding: their
// constructors report a null record as one fixed ValueError per type, and their
// bounded outputs are sized by a capacity query of the input length alone
// (need = MaxOut(core, len(x)), not max(MaxOut, len(x))).
#pragma once

#include <cstdint>
#include <new>
#include <vector>

#include "common/binding/protocol.h"

namespace kv_coding {

// p, or null with ValueError `message` when p is null.
template <class P>
P* created_or(P* p, const char* message) {
  if (!p) PyErr_SetString(PyExc_ValueError, message);
  return p;
}

// True when the byte ranges [a, a + an) and [b, b + bn) share memory.
inline bool overlaps(const void* a, std::size_t an, const void* b, std::size_t bn) {
  const auto pa = reinterpret_cast<std::uintptr_t>(a);
  const auto pb = reinterpret_cast<std::uintptr_t>(b);
  return an != 0 && bn != 0 && pa < pb + bn && pb < pa + an;
}

// The input as the core should read it: the converted array itself, or a private copy
// when it shares memory with the output (an out= view of the same buffer), since the
// kernels write their output while they still read their input. Null with
// MemoryError when the copy cannot be made.
template <class In, class Out>
const In* unaliased_input(const kv::Input& in, const kv::BoundedOut& res, std::vector<In>& copy) {
  const In* p = in.data<In>();
  if (!overlaps(p, in.size() * sizeof(In), res.data<Out>(), res.capacity() * sizeof(Out)))
    return p;
  try {
    copy.assign(p, p + in.size());
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
    return nullptr;
  }
  return copy.data();
}

// `method(x, out=None)`, format "O|O": x converted to In, required capacity
// MaxOut(core, len(x)), CoreFn(core, in, len, out, cap) -> produced count. A count
// of 0 gives an empty array (or an empty view of out). An input that shares memory
// with out is read from a private copy.
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
    std::vector<In> copy;
    const In* src = unaliased_input<In, Out>(in, res, copy);
    if (!src) return nullptr;
    const std::uint64_t k = CoreFn(c, src, in.size(), res.data<Out>(), res.capacity());
    return res.finish(k, false);
  }(static_cast<F>(CoreFn));
}

template <class T, auto CoreFn, auto MaxOut>
constexpr PyMethodDef bounded_n(const char* name, const char* doc) {
  return kv::method<T, &bounded_n_impl<CoreFn, MaxOut>>(name, doc);
}

}  // namespace kv_coding
