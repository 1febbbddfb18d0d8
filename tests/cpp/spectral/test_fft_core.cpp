// What Python cannot see of the FFT engines: which precision path serves a
// length, the scratch path for capacities below the transform size, and that
// caller alignment never changes a result.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <random>
#include <vector>

#include "spectral/core/fft.h"

namespace {

std::vector<cf32_t> random_cf32(std::size_t n, unsigned seed) {
  std::mt19937 g(seed);
  std::normal_distribution<float> d;
  std::vector<cf32_t> v(n);
  for (auto& x : v) x = {d(g), d(g)};
  return v;
}

}  // namespace

TEST(FftEligibility, SelectsSinglePrecisionPathOnlyForEligibleLengths) {
  struct Case {
    std::uint64_t n;
    bool simd;
  };
  for (Case c : {Case{16, true}, Case{48, true}, Case{1024, true}, Case{48000, true},
                 Case{8, false}, Case{17, false}, Case{1000, false}, Case{16 * 7, false}}) {
    fft_state_t* e = fft_create(c.n, -1, 1);
    ASSERT_NE(e, nullptr) << c.n;
    EXPECT_EQ(fft_uses_simd(e), c.simd) << c.n;
    fft_destroy(e);
  }
  fft2d_state_t* e2 = fft2d_create(32, 48, -1, 1);
  EXPECT_TRUE(fft2d_uses_simd(e2));
  fft2d_destroy(e2);
  e2 = fft2d_create(32, 6, -1, 1);
  EXPECT_FALSE(fft2d_uses_simd(e2));
  fft2d_destroy(e2);
}

TEST(FftCreate, RefusesZeroAndUnplannableLengths) {
  EXPECT_EQ(fft_create(0, -1, 1), nullptr);
  EXPECT_EQ(fft_create(~std::uint64_t{0}, -1, 1), nullptr);
  EXPECT_EQ(fft2d_create(0, 4, -1, 1), nullptr);
  EXPECT_EQ(fft2d_create(4, 0, -1, 1), nullptr);
  fft_destroy(nullptr);
  fft2d_destroy(nullptr);
}

TEST(FftScratch, SmallCapacityReturnsLeadingBinsOfTheFullTransform) {
  for (std::uint64_t n : {64u, 100u}) {
    fft_state_t* e = fft_create(n, -1, 1);
    auto x = random_cf32(n, 7);
    std::vector<cf32_t> full(n), part(5);
    ASSERT_EQ(fft_execute_cf32(e, x.data(), n, full.data(), n), n);
    ASSERT_EQ(fft_execute_cf32(e, x.data(), n, part.data(), 5), 5u);
    EXPECT_EQ(std::memcmp(full.data(), part.data(), 5 * sizeof(cf32_t)), 0);
    std::vector<cf32_t> ip(3);
    ASSERT_EQ(fft_execute_inplace_cf32(e, x.data(), n, ip.data(), 3), 3u);
    EXPECT_EQ(std::memcmp(full.data(), ip.data(), 3 * sizeof(cf32_t)), 0);
    fft_destroy(e);
  }
}

TEST(FftAlignment, MisalignedBuffersGiveBitIdenticalResults) {
  for (std::uint64_t n : {48u, 1024u, 1000u}) {
    fft_state_t* e = fft_create(n, -1, 1);
    auto x = random_cf32(n, 3);
    // Offsets of one complex64 element (8 bytes) break 16-byte alignment.
    std::vector<cf32_t> in_buf(n + 1), out_buf(n + 1), ref(n);
    std::memcpy(in_buf.data() + 1, x.data(), n * sizeof(cf32_t));
    ASSERT_EQ(fft_execute_cf32(e, x.data(), n, ref.data(), n), n);
    for (int in_off : {0, 1})
      for (int out_off : {0, 1}) {
        const cf32_t* in = in_off ? in_buf.data() + 1 : x.data();
        cf32_t* out = out_buf.data() + out_off;
        ASSERT_EQ(fft_execute_cf32(e, in, n, out, n), n);
        EXPECT_EQ(std::memcmp(out, ref.data(), n * sizeof(cf32_t)), 0)
            << "n=" << n << " offsets " << in_off << "," << out_off;
      }
    // Aliased input and output take the same plan too.
    std::vector<cf32_t> same = x;
    fft_execute_cf32(e, same.data(), n, same.data(), n);
    EXPECT_EQ(std::memcmp(same.data(), ref.data(), n * sizeof(cf32_t)), 0);
    fft_destroy(e);
  }
}

TEST(FftDeterminism, TwoEnginesOfOneSizeAgreeExactly) {
  for (std::uint64_t n : {64u, 4096u, 1000u}) {
    fft_state_t* a = fft_create(n, -1, 1);
    fft_state_t* b = fft_create(n, -1, 1);
    auto x = random_cf32(n, 11);
    std::vector<cf32_t> ya(n), yb(n);
    fft_execute_cf32(a, x.data(), n, ya.data(), n);
    fft_execute_cf32(b, x.data(), n, yb.data(), n);
    EXPECT_EQ(std::memcmp(ya.data(), yb.data(), n * sizeof(cf32_t)), 0);
    fft_destroy(a);
    fft_destroy(b);
  }
}
