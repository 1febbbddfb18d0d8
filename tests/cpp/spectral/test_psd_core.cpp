// What Python cannot reach of the PSD core: readers given less room than they
// could fill (the binding always passes enough), and refusals of indices the
// binding's name check never lets through.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "spectral/core/psd_core.h"

namespace {

struct Psd {
  psd_t* p;
  explicit Psd(std::uint64_t n, std::uint32_t window = 2) {
    p = psd_create(n, 1.0, window, 0.0f, 1, 1.0, 0, 0, 0.1);
  }
  ~Psd() { psd_destroy(p); }
};

void feed(psd_t* p, std::uint64_t n, unsigned seed) {
  std::mt19937 g(seed);
  std::normal_distribution<float> d;
  std::vector<cf32_t> x(n);
  for (auto& v : x) v = {d(g), d(g)};
  ASSERT_EQ(psd_accumulate(p, x.data(), n), 1u);
}

}  // namespace

TEST(PsdReaders, SmallCapacityWritesAPrefixAndNothingBeyond) {
  Psd e(64);
  ASSERT_NE(e.p, nullptr);
  feed(e.p, 64, 1);
  using Reader = std::uint64_t (*)(psd_t*, float*, std::uint64_t);
  for (Reader r : {Reader(psd_db), Reader(psd_dbhz), Reader(psd_power_twosided)}) {
    std::vector<float> full(64), part(10, 123.0f);
    ASSERT_EQ(r(e.p, full.data(), 64), 64u);
    ASSERT_EQ(r(e.p, part.data(), 7), 7u);
    for (int i = 0; i < 7; ++i) EXPECT_EQ(part[i], full[i]);
    for (int i = 7; i < 10; ++i) EXPECT_EQ(part[i], 123.0f);
    EXPECT_EQ(r(e.p, part.data(), 0), 0u);
  }
}

TEST(PsdReaders, OneSidedCapacityBelowTheNyquistBinLeavesItOut) {
  Psd e(8);
  ASSERT_NE(e.p, nullptr);
  feed(e.p, 8, 2);
  std::vector<float> q(8), one(6, -1.0f);
  ASSERT_EQ(psd_power_twosided(e.p, q.data(), 8), 8u);
  ASSERT_EQ(psd_power_onesided(e.p, one.data(), 4), 4u);
  const double want[4] = {q[4], double(q[3]) + q[5], double(q[2]) + q[6], double(q[1]) + q[7]};
  for (int i = 0; i < 4; ++i) EXPECT_FLOAT_EQ(one[i], static_cast<float>(want[i]));
  EXPECT_EQ(one[4], -1.0f);
  ASSERT_EQ(psd_power_onesided(e.p, one.data(), 6), 5u);
  EXPECT_FLOAT_EQ(one[4], q[0]);
  EXPECT_EQ(one[5], -1.0f);
  EXPECT_EQ(psd_power_onesided(e.p, one.data(), 0), 0u);
}

TEST(PsdReaders, BandPowerStopsAtTheCapacity) {
  Psd e(64);
  feed(e.p, 64, 3);
  const double bands[6] = {-0.1, 0.1, -0.5, 0.5, 0.2, 0.3};
  float out[3] = {0, 0, 7.0f};
  EXPECT_EQ(psd_band_power(e.p, bands, 6, out, 2), 2u);
  EXPECT_EQ(out[2], 7.0f);
}

TEST(PsdCreate, RefusesIndicesAndSizesOutOfRange) {
  EXPECT_EQ(psd_create(64, 1.0, 3, 0.0f, 1, 1.0, 0, 0, 0.1), nullptr);   // window index
  EXPECT_EQ(psd_create(64, 1.0, 0, 0.0f, 1, 1.0, 0, 4, 0.1), nullptr);   // mode index
  EXPECT_EQ(psd_create(1ull << 40, 1.0, 0, 0.0f, 1ull << 30, 1.0, 0, 0, 0.1), nullptr);  // n*pad
  EXPECT_EQ(psd_create(64, 1.0, 0, 0.0f, ~0ull, 1.0, 0, 0, 0.1), nullptr);  // n*pad wraps
  psd_t* p = psd_create(64, 1.0, 0, 0.0f, 1, -1.0, 12, 0, 0.1);  // bits overrides full_scale
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(psd_full_scale(p), 2048.0);
  psd_destroy(p);
  psd_destroy(nullptr);
}
