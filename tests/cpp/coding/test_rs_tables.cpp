// Reed-Solomon internals Python cannot see: the encoder may run in place, and the
// table-driven division agrees with a plain polynomial evaluation of every syndrome.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "coding/core/rs_codec.h"

namespace {

struct Field {
  std::vector<int> exp, log;
  int n;
  Field(int J, int poly) : exp(512), log(256, -1), n((1 << J) - 1) {
    int v = 1;
    for (int i = 0; i < n; ++i) {
      exp[i] = v;
      log[v] = i;
      v <<= 1;
      if (v & (1 << J)) v ^= (1 << J) | poly;
    }
  }
  int mul(int a, int b) const { return a && b ? exp[(log[a] + log[b]) % n] : 0; }
};

TEST(RsTables, SyndromesEqualHornerEvaluationAtEveryRoot) {
  std::mt19937 rng(5);
  struct Cfg { std::uint32_t nroots, J, poly, j0, s; };
  const Cfg cfgs[] = {{32, 8, 29, 1, 1}, {32, 8, 0x87, 112, 11}, {4, 4, 3, 0, 7}, {6, 6, 3, 5, 5},
                      {64, 8, 29, 200, 13}, {2, 3, 3, 1, 2}};
  for (const auto& c : cfgs) {
    rs_codec_t* rs = rs_codec_create(c.nroots, c.J, c.poly, c.j0, c.s);
    ASSERT_NE(rs, nullptr);
    Field f(static_cast<int>(c.J), static_cast<int>(c.poly));
    const std::uint32_t n = rs_codec_n(rs);
    for (int t = 0; t < 20; ++t) {
      std::vector<std::uint8_t> w(n);
      for (auto& x : w) x = static_cast<std::uint8_t>(rng() % (n + 1));
      std::vector<std::uint8_t> synd(c.nroots);
      ASSERT_EQ(rs_codec_syndromes(rs, w.data(), n, synd.data(), synd.size()), c.nroots);
      for (std::uint32_t i = 0; i < c.nroots; ++i) {
        const int r = f.exp[static_cast<std::uint64_t>((c.j0 + i) % n) * (c.s % n) % n];
        int s = 0;
        for (std::uint32_t j = 0; j < n; ++j) s = f.mul(s, r) ^ w[j];
        EXPECT_EQ(synd[i], s) << "root " << i;
      }
    }
    rs_codec_destroy(rs);
  }
}

TEST(RsTables, EncodeInPlaceEqualsEncodeIntoAnotherBuffer) {
  rs_codec_t* rs = rs_codec_create(32, 8, 29, 1, 1);
  ASSERT_NE(rs, nullptr);
  std::vector<std::uint8_t> buf(255), other(255);
  for (int i = 0; i < 223; ++i) buf[i] = static_cast<std::uint8_t>(i * 7 + 3);
  ASSERT_EQ(rs_codec_encode(rs, buf.data(), 223, other.data(), other.size()), 255u);
  ASSERT_EQ(rs_codec_encode(rs, buf.data(), 223, buf.data(), buf.size()), 255u);
  EXPECT_EQ(buf, other);
  EXPECT_EQ(rs_codec_codeword_ok(rs, buf.data(), 255), 1);
  rs_codec_destroy(rs);
}

TEST(RsTables, SymbolsOutsideTheFieldStayInsideTheTables) {
  // J = 4: byte values 16 ... 255 have no logarithm; decoding them must not read
  // outside the tables (run under a sanitizer to see it), whatever it returns.
  rs_codec_t* rs = rs_codec_create(4, 4, 3, 9, 7);
  ASSERT_NE(rs, nullptr);
  std::mt19937 rng(9);
  for (int t = 0; t < 2000; ++t) {
    std::vector<std::uint8_t> w(15);
    for (auto& x : w) x = static_cast<std::uint8_t>(rng());
    const int r = rs_codec_decode(rs, w.data(), w.size());
    EXPECT_GE(r, -1);
    EXPECT_LE(r, 2);
  }
  rs_codec_destroy(rs);
}

}  // namespace
