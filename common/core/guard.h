// Exception firewall for core entry points: nothing thrown inside a core crosses
// its C-style boundary. Allocation failure (or any other exception) becomes the
// documented failure value of the entry point.
#pragma once

#include <utility>

namespace kv {

template <class R, class F>
R guard(R on_failure, F&& body) noexcept {
  try {
    return std::forward<F>(body)();
  } catch (...) {
    return on_failure;
  }
}

}  // namespace kv
