// Reed-Solomon internals Python cannot see: the encoder may run in place, the
// table-driven division agrees with a plain polynomial evaluation of every syndrome,
// and the shortened decoder loops give exactly the verdicts and corrections of a
// plain transcription of the decoding steps, also far beyond the correction radius.
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

// Plain decoder: Horner syndromes over the whole word, Berlekamp-Massey with
// full-length updates, Chien over every position, Forney.
int plain_decode(const Field& f, int nroots, int j0, int s, std::vector<std::uint8_t>& w) {
  const int n = f.n;
  auto mul = [&](int a, int b) { return f.mul(a, b); };
  auto inv = [&](int a) { return f.exp[(n - f.log[a]) % n]; };
  auto pw = [&](long long e) { return f.exp[((e % n) + n) % n]; };
  std::vector<int> S(nroots);
  bool zero = true;
  for (int i = 0; i < nroots; ++i) {
    const int r = pw(static_cast<long long>((j0 + i) % n) * (s % n));
    int acc = 0;
    for (int j = 0; j < n; ++j) acc = mul(acc, r) ^ w[j];
    S[i] = acc;
    zero = zero && acc == 0;
  }
  if (zero) return 0;
  std::vector<int> lam(nroots + 1, 0), B(nroots + 1, 0);
  lam[0] = B[0] = 1;
  int b = 1, L = 0, m = 1;
  for (int j = 0; j < nroots; ++j) {
    int d = S[j];
    for (int l = 1; l <= L; ++l) d ^= mul(lam[l], S[j - l]);
    if (d == 0) {
      ++m;
      continue;
    }
    const std::vector<int> T = lam;
    const int c = mul(d, inv(b));
    for (int l = m; l <= nroots; ++l) lam[l] ^= mul(c, B[l - m]);
    if (2 * L <= j) {
      B = T;
      b = d;
      L = j + 1 - L;
      m = 1;
    } else {
      ++m;
    }
  }
  if (L == 0 || L > nroots / 2) return -1;
  std::vector<int> loc;
  for (int p = 0; p < n; ++p) {
    const int x = pw(-static_cast<long long>(s % n) * p);
    int acc = 0;
    for (int l = nroots; l >= 0; --l) acc = mul(acc, x) ^ lam[l];
    if (acc == 0) {
      if (static_cast<int>(loc.size()) == L) return -1;
      loc.push_back(p);
    }
  }
  if (static_cast<int>(loc.size()) < L) return -1;
  std::vector<int> om(L);
  for (int t = 0; t < L; ++t) {
    int o = 0;
    for (int q = 0; q <= t; ++q) o ^= mul(lam[q], S[t - q]);
    om[t] = o;
  }
  std::vector<int> val;
  for (int p : loc) {
    const long long o = static_cast<long long>(s % n) * p % n;
    const int xi = pw(-o);
    int num = 0;
    for (int t = L - 1; t >= 0; --t) num = mul(num, xi) ^ om[t];
    int den = 0;
    for (int q = 1; q <= L; q += 2) {
      int term = lam[q];
      for (int e = 0; e < q - 1; ++e) term = mul(term, xi);
      den ^= term;
    }
    val.push_back(den == 0 ? 0 : mul(mul(num, inv(den)), pw((1 - j0 % n + n) % n * o)));
  }
  for (std::size_t e = 0; e < loc.size(); ++e) w[n - 1 - loc[e]] ^= static_cast<std::uint8_t>(val[e]);
  return L;
}

TEST(RsTables, DecoderMatchesPlainStepsAtAndBeyondTheRadius) {
  std::mt19937 rng(11);
  struct Cfg { int nroots, J, poly, j0, s; };
  const Cfg cfgs[] = {{32, 8, 0x87, 112, 11}, {16, 8, 29, 1, 1}, {4, 4, 3, 0, 7}, {6, 4, 3, 5, 2},
                      {8, 5, 5, 30, 3}, {2, 3, 3, 1, 2}, {10, 6, 3, 60, 5}};
  for (const auto& c : cfgs) {
    rs_codec_t* rs = rs_codec_create(c.nroots, c.J, c.poly, c.j0, c.s);
    ASSERT_NE(rs, nullptr);
    Field f(c.J, c.poly);
    const int n = f.n, k = n - c.nroots, E = c.nroots / 2;
    int outcomes[3] = {0, 0, 0};
    for (int t = 0; t < 400; ++t) {
      std::vector<std::uint8_t> w(n);
      for (int j = 0; j < k; ++j) w[j] = static_cast<std::uint8_t>(rng() % (n + 1));
      ASSERT_EQ(rs_codec_encode(rs, w.data(), k, w.data(), n), static_cast<std::uint64_t>(n));
      const int nerr = t % 4 == 3 ? n : 1 + static_cast<int>(rng() % (E + 4));
      for (int e = 0; e < nerr && e < n; ++e) w[rng() % n] ^= static_cast<std::uint8_t>(1 + rng() % n);
      std::vector<std::uint8_t> a = w, b = w;
      const int ra = rs_decode(rs, a.data());
      const int rb = plain_decode(f, c.nroots, c.j0, c.s, b);
      ASSERT_EQ(ra, rb) << "trial " << t;
      ASSERT_EQ(a, b) << "trial " << t;
      ++outcomes[ra < 0 ? 0 : ra == 0 ? 1 : 2];
    }
    EXPECT_GT(outcomes[0], 0);
    EXPECT_GT(outcomes[2], 0);
    rs_codec_destroy(rs);
  }
}

}  // namespace
