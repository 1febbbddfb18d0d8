// Sample records exchanged at core boundaries: layout-compatible with NumPy's
// complex64 / complex128 (real then imaginary, no padding).
#pragma once

#include <cstdint>

struct cf32_t {
  float re, im;
};
struct cf64_t {
  double re, im;
};

static_assert(sizeof(cf32_t) == 8, "cf32_t must be two packed floats");
static_assert(sizeof(cf64_t) == 16, "cf64_t must be two packed doubles");

namespace kv {
// The smallest power of two >= x (1 for x <= 1); 0 when it would not fit 64 bits.
inline std::uint64_t next_pow_two(std::uint64_t x) {
  std::uint64_t p = 1;
  while (p < x) {
    if (p > (UINT64_MAX >> 1)) return 0;
    p <<= 1;
  }
  return p;
}
}  // namespace kv
