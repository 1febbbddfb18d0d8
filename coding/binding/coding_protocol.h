// The one protocol piece the channel-coding types need beyond common/binding: a
// bounded output whose kernel must not write over its input. Their kernels write
// output while still reading input (an encoder spreads each input bit over n
// symbols), so an input that shares memory with out= is read from a private copy.
#pragma once

#include <cstdint>
#include <new>
#include <vector>

#include "common/binding/protocol.h"

namespace kv_coding {

// True when the byte ranges [a, a + an) and [b, b + bn) share memory.
inline bool overlaps(const void* a, std::size_t an, const void* b, std::size_t bn) {
  const auto pa = reinterpret_cast<std::uintptr_t>(a);
  const auto pb = reinterpret_cast<std::uintptr_t>(b);
  return an != 0 && bn != 0 && pa < pb + bn && pb < pa + an;
}

// The input as the kernel should read it: the converted array itself, or a private
// copy when it shares memory with the output (an out= view of the same buffer).
// Null with MemoryError when the copy cannot be made.
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

// `method(x, out=None)` as kv::bounded_x (required capacity MaxOut(core, len(x)),
// a count of 0 gives an empty array or an empty view of out), reading an input that
// shares out's memory from a private copy.
template <auto CoreFn, auto MaxOut>
PyObject* bounded_unaliased_impl(typename kv::Fn<decltype(CoreFn)>::Core* c,
                                 PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  using F = decltype(CoreFn);
  return [&]<class C, class R, class In, class Out>(R (*)(C*, const In*, std::uint64_t, Out*,
                                                          std::uint64_t)) -> PyObject* {
    PyObject* slots[2] = {nullptr, Py_None};  // x, out
    if (!kv::parse_objects(args, nargs, kwnames, kv::kXOut, 1, slots)) return nullptr;
    kv::Input in(slots[0], kv::npy_type_of<In>());
    if (!in) return nullptr;
    kv::BoundedOut res(slots[1], kv::npy_type_of<Out>(), kv::need_for<MaxOut>(c, in.size()));
    if (!res) return nullptr;
    std::vector<In> copy;
    const In* src = unaliased_input<In, Out>(in, res, copy);
    if (!src) return nullptr;
    const std::uint64_t k = CoreFn(c, src, in.size(), res.data<Out>(), res.capacity());
    return res.finish(k, false);
  }(static_cast<F>(CoreFn));
}

template <class T, auto CoreFn, auto MaxOut>
constexpr PyMethodDef bounded_unaliased(const char* name, const char* doc) {
  return kv::method<T, &bounded_unaliased_impl<CoreFn, MaxOut>>(name, doc);
}

}  // namespace kv_coding
