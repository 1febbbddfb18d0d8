// The decoder's vectorised add-compare-select and its path-merging traceback against
// a plain transcription of the algorithm: every emitted bit and every state blob
// must agree byte for byte (NaN metrics up to their sign and payload), over random
// codes, depths, soft inputs full of ties, signed zeros, infinities and NaNs, and
// random block boundaries.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "coding/core/conv_code.h"
#include "coding/core/viterbi.h"
#include "common/core/state_header.h"

namespace {

// Straightforward decoder: tables of predecessors, expected patterns and input bits,
// a 2^n branch-metric table per branch, a full traceback per emitted bit.
struct RefViterbi {
  conv_code_t code{};
  std::uint64_t depth = 0;
  std::uint32_t S = 0;
  std::vector<float> metric, metric_next;
  std::vector<std::uint8_t> decisions;
  std::uint64_t pos = 0, filled = 0;
  std::vector<std::uint32_t> pred0, pred1, sym0, sym1, state_bit;

  RefViterbi(const std::vector<std::uint32_t>& poly, std::uint32_t k, std::uint32_t invert,
             std::uint64_t d) {
    EXPECT_TRUE(conv_code_init(&code, poly.data(), poly.size(), k, invert));
    depth = d;
    S = 1u << (k - 1);
    metric.assign(S, 0.0f);
    metric_next.assign(S, 0.0f);
    decisions.assign(depth * S, 0);
    for (std::uint32_t s = 0; s < S; ++s) {
      pred0.push_back((2 * s) & (S - 1));
      pred1.push_back(((2 * s) & (S - 1)) + 1);
      state_bit.push_back((s >> (k - 2)) & 1u);
    }
    for (std::uint32_t s = 0; s < S; ++s) {
      sym0.push_back(conv_pattern(&code, pred0[s] | (state_bit[s] << (k - 1))));
      sym1.push_back(conv_pattern(&code, pred1[s] | (state_bit[s] << (k - 1))));
    }
    reset();
  }

  void reset() {
    for (auto& m : metric) m = -FLT_MAX / 4.0f;
    metric[0] = 0.0f;
    std::fill(decisions.begin(), decisions.end(), 0);
    pos = filled = 0;
  }

  std::vector<std::uint8_t> decode(const float* x, std::uint64_t n_in) {
    std::vector<std::uint8_t> out;
    const std::uint64_t n = static_cast<std::uint64_t>(code.n);
    for (std::uint64_t b = 0; b + n <= n_in; b += n) {
      std::vector<float> BM(1u << n);
      for (std::uint32_t q = 0; q < (1u << n); ++q) {
        float sum = (q & 1u) ? -x[b] : x[b];
        for (std::uint64_t l = 1; l < n; ++l) sum = sum + (((q >> l) & 1u) ? -x[b + l] : x[b + l]);
        BM[q] = sum;
      }
      for (std::uint32_t s = 0; s < S; ++s) {
        const float p0 = BM[sym0[s]] + metric[pred0[s]];
        const float p1 = BM[sym1[s]] + metric[pred1[s]];
        decisions[pos * S + s] = p1 > p0 ? 1 : 0;
        metric_next[s] = p1 > p0 ? p1 : p0;
      }
      float best = -3.4028235e38f;
      std::uint32_t best_s = 0;
      for (std::uint32_t s = 0; s < S; ++s)
        if (metric_next[s] > best) {
          best = metric_next[s];
          best_s = s;
        }
      for (std::uint32_t s = 0; s < S; ++s) metric_next[s] = metric_next[s] - best;
      std::swap(metric, metric_next);
      const std::uint64_t written = pos;
      pos = pos + 1 == depth ? 0 : pos + 1;
      if (filled < depth) ++filled;
      if (filled == depth) {
        std::uint32_t s = best_s;
        std::uint64_t c = written;
        for (std::uint64_t step = 0; step + 1 < depth; ++step) {
          s = decisions[c * S + s] ? pred1[s] : pred0[s];
          c = c == 0 ? depth - 1 : c - 1;
        }
        out.push_back(static_cast<std::uint8_t>(state_bit[s]));
      }
    }
    return out;
  }

  std::vector<std::uint8_t> state() const {
    std::vector<std::uint8_t> b(80 + 4 * S + depth * S);
    kv::state_put_header(b.data(), "VTRB", 1, static_cast<std::uint32_t>(b.size()));
    kv::put_u64(&b[16], depth);
    kv::put_u64(&b[24], pos);
    kv::put_u64(&b[32], filled);
    kv::put_u32(&b[40], static_cast<std::uint32_t>(code.k));
    kv::put_u32(&b[44], static_cast<std::uint32_t>(code.n));
    kv::put_u32(&b[48], conv_invert_mask(&code));
    for (int j = 0; j < 6; ++j) kv::put_u32(&b[52 + 4 * j], code.poly[j]);
    for (std::uint32_t s = 0; s < S; ++s) kv::put_f32(&b[80 + 4 * s], metric[s]);
    std::memcpy(&b[80 + 4 * S], decisions.data(), depth * S);
    return b;
  }
};

std::vector<std::uint8_t> blob_of(const viterbi_t* v) {
  std::vector<std::uint8_t> b(viterbi_state_size(v));
  viterbi_get_state(v, b.data());
  return b;
}

// Byte equality, except that two NaN metrics count as equal whatever their sign and
// payload: which operand's NaN an addition passes on is the compiler's choice.
::testing::AssertionResult SameBlob(const std::vector<std::uint8_t>& a,
                                    const std::vector<std::uint8_t>& b, std::uint32_t S) {
  if (a.size() != b.size()) return ::testing::AssertionFailure() << "sizes differ";
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (i >= 80 && i < 80 + 4ull * S) {
      const std::size_t at = 80 + (i - 80) / 4 * 4;
      if (std::isnan(kv::get_f32(&a[at])) && std::isnan(kv::get_f32(&b[at]))) continue;
    }
    if (a[i] != b[i])
      return ::testing::AssertionFailure() << "byte " << i << ": " << int(a[i]) << " vs " << int(b[i]);
  }
  return ::testing::AssertionSuccess();
}

struct Code {
  std::vector<std::uint32_t> poly;
  std::uint32_t k, invert;
  std::uint64_t depth;
};

Code random_code(std::mt19937_64& rng) {
  Code c;
  c.k = 2 + static_cast<std::uint32_t>(rng() % 8);
  const std::uint32_t n = 1 + static_cast<std::uint32_t>(rng() % 6);
  for (std::uint32_t j = 0; j < n; ++j) c.poly.push_back(1 + static_cast<std::uint32_t>(rng() % ((1u << c.k) - 1)));
  c.invert = static_cast<std::uint32_t>(rng() % 256);
  const std::uint64_t depths[] = {1, 2, 3, 7, 35, 45, 64, 100};
  c.depth = depths[rng() % 8];
  return c;
}

// Soft values drawn from a few levels, so that path metrics tie often; some runs add
// zeros of both signs, infinities and NaNs.
std::vector<float> soft_input(std::mt19937_64& rng, std::size_t count, int flavour) {
  std::vector<float> x(count);
  for (auto& v : x) {
    switch (flavour) {
      case 0: v = static_cast<float>(static_cast<int>(rng() % 5) - 2); break;
      case 1: v = std::uniform_real_distribution<float>(-3.0f, 3.0f)(rng); break;
      default: {
        const int r = static_cast<int>(rng() % 40);
        v = r == 0 ? -0.0f : r == 1 ? 0.0f : r == 2 ? INFINITY : r == 3 ? -INFINITY
          : r == 4 ? NAN : static_cast<float>(r % 9 - 4) * 0.75f;
      }
    }
  }
  return x;
}

// Both kernels: the one this processor gets, and the portable one.
class ViterbiKernels : public ::testing::TestWithParam<bool> {};
INSTANTIATE_TEST_SUITE_P(Kernel, ViterbiKernels, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "portable" : "native"; });

viterbi_t* make_decoder(const Code& c, bool portable) {
  viterbi_t* v = viterbi_create(c.poly.data(), c.poly.size(), c.k, c.invert, c.depth);
  if (v && portable) viterbi_use_portable_kernel(v);
  return v;
}

TEST_P(ViterbiKernels, RandomCodesMatchBitsAndBlobs) {
  std::mt19937_64 rng(20261211);
  for (int trial = 0; trial < 300; ++trial) {
    const Code c = random_code(rng);
    SCOPED_TRACE(::testing::Message() << "trial " << trial << " k " << c.k << " n " << c.poly.size()
                                      << " depth " << c.depth);
    viterbi_t* v = make_decoder(c, GetParam());
    ASSERT_NE(v, nullptr);
    RefViterbi ref(c.poly, c.k, c.invert, c.depth);
    const std::size_t n = c.poly.size();
    const auto x = soft_input(rng, n * (50 + rng() % 400), trial % 3);
    std::size_t at = 0;
    while (at < x.size()) {
      const std::size_t chunk = std::min<std::size_t>(x.size() - at, n * (1 + rng() % 90));
      std::vector<std::uint8_t> out(viterbi_decode_max_out(v, chunk) + 1);
      const std::uint64_t got = viterbi_decode(v, x.data() + at, chunk, out.data(), out.size());
      const auto want = ref.decode(x.data() + at, chunk);
      ASSERT_EQ(got, want.size());
      for (std::size_t i = 0; i < want.size(); ++i) ASSERT_EQ(out[i], want[i]) << "bit " << i;
      at += chunk;
    }
    EXPECT_TRUE(SameBlob(blob_of(v), ref.state(), ref.S));
    viterbi_destroy(v);
  }
}

TEST_P(ViterbiKernels, RestoredDecoderContinuesLikeTheReference) {
  std::mt19937_64 rng(7);
  for (int trial = 0; trial < 60; ++trial) {
    const Code c = random_code(rng);
    const std::size_t n = c.poly.size();
    // The snapshot is taken from one kernel and resumed by the other.
    viterbi_t* a = make_decoder(c, !GetParam());
    viterbi_t* b = make_decoder(c, GetParam());
    ASSERT_NE(a, nullptr);
    RefViterbi ref(c.poly, c.k, c.invert, c.depth);
    const auto x = soft_input(rng, n * 600, trial % 3);
    const std::size_t cut = n * (rng() % 600);
    std::vector<std::uint8_t> out(x.size());
    viterbi_decode(a, x.data(), cut, out.data(), out.size());
    ref.decode(x.data(), cut);
    const auto blob = blob_of(a);
    ASSERT_EQ(viterbi_set_state(b, blob.data()), 0);
    const std::size_t rest = x.size() - cut;
    std::vector<std::uint8_t> ob(x.size());
    const std::uint64_t gb = viterbi_decode(b, x.data() + cut, rest, ob.data(), ob.size());
    const auto want = ref.decode(x.data() + cut, rest);
    ASSERT_EQ(gb, want.size());
    for (std::size_t i = 0; i < want.size(); ++i) ASSERT_EQ(ob[i], want[i]);
    EXPECT_TRUE(SameBlob(blob_of(b), ref.state(), ref.S));
    viterbi_destroy(a);
    viterbi_destroy(b);
  }
}

TEST(ViterbiReference, RestoringNonBinaryDecisionBytesReadsThemAsOnes) {
  const std::uint32_t poly[2] = {0171, 0133};
  viterbi_t* v = viterbi_create(poly, 2, 7, 0, 10);
  viterbi_t* w = viterbi_create(poly, 2, 7, 0, 10);
  ASSERT_NE(v, nullptr);
  std::mt19937_64 rng(3);
  const auto x = soft_input(rng, 100, 1);
  std::vector<std::uint8_t> o1(64), o2(64);
  viterbi_decode(v, x.data(), 100, o1.data(), o1.size());
  auto blob = blob_of(v);
  auto loud = blob;
  for (std::size_t i = 80 + 4 * 64; i < loud.size(); ++i) loud[i] = loud[i] ? 0xA5 : 0;
  ASSERT_EQ(viterbi_set_state(w, loud.data()), 0);
  EXPECT_EQ(blob_of(w), blob);
  viterbi_destroy(v);
  viterbi_destroy(w);
}

TEST(ViterbiCreate, RefusesDepthsWhoseBlobSizeWouldNotFit32Bits) {
  const std::uint32_t poly[2] = {0171, 0133};
  // S = 64: S * (depth + 4) + 80 must stay below 2^32.
  const std::uint64_t limit = (UINT32_MAX - 80ull) / 64 - 4;
  EXPECT_EQ(viterbi_create(poly, 2, 7, 0, limit + 1), nullptr);
  EXPECT_EQ(viterbi_create(poly, 2, 7, 0, UINT64_MAX), nullptr);
}

}  // namespace
