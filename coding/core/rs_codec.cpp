#include "coding/core/rs_codec.h"

#include <array>
#include <cstring>
#include <memory>
#include <utility>

#include "common/core/guard.h"

namespace {

constexpr int kMaxRoots = 64;
constexpr int kMaxWords = kMaxRoots / 8;
constexpr std::uint8_t kNoLog = 255;

}  // namespace

// The parity register (nroots symbols, register[0] the coefficient of x^(nroots-1))
// is carried in up to eight 64-bit words, symbol j in byte j % 8 of word j / 8, so
// one division step is a byte shift across the words and an XOR with one row of a
// table holding every feedback symbol times the generator.
struct rs_codec_t {
  std::uint32_t symbol_bits = 0;
  std::uint16_t field_poly = 0;
  std::uint32_t nroots = 0;
  std::uint32_t first_root = 0;
  std::uint32_t root_stride = 0;
  std::uint32_t n = 0, k = 0, E = 0;
  std::uint32_t words = 0;  // 64-bit words of the parity register
  std::uint8_t exp_table[510];
  std::uint8_t log_table[256];
  std::uint8_t genpoly[kMaxRoots + 1];
  std::uint32_t root_log[kMaxRoots];  // log of r_i
  std::uint64_t feedback[256][kMaxWords];  // row f: f * genpoly[nroots-1-j] in byte j
};

namespace {

inline std::uint8_t gf_mul(const rs_codec_t* rs, std::uint8_t a, std::uint8_t b) {
  if (a == 0 || b == 0) return 0;
  return rs->exp_table[rs->log_table[a] + rs->log_table[b]];
}

// a / b for b != 0. Symbols of 2^J or more are not validated; they have no
// logarithm (255), which keeps every product index inside the 510-entry table, and a
// divisor without one gives 0 rather than an index below the table.
inline std::uint8_t gf_div(const rs_codec_t* rs, std::uint8_t a, std::uint8_t b) {
  const std::uint32_t lb = rs->log_table[b];
  if (a == 0 || lb >= rs->n) return 0;
  return rs->exp_table[rs->log_table[a] + rs->n - lb];
}

// alpha^e for any e (reduced here).
inline std::uint8_t gf_pow_alpha(const rs_codec_t* rs, std::uint64_t e) {
  return rs->exp_table[e % rs->n];
}

std::uint32_t gcd_u32(std::uint32_t a, std::uint32_t b) {
  while (b != 0) {
    const std::uint32_t t = a % b;
    a = b;
    b = t;
  }
  return a;
}

// Runs the division register over `count` symbols starting from reg (W words).
template <int W>
void divide_run(const rs_codec_t* rs, const std::uint8_t* sym, std::uint64_t count,
                std::uint64_t* reg) {
  std::uint64_t w[W];
  for (int i = 0; i < W; ++i) w[i] = reg[i];
  for (std::uint64_t t = 0; t < count; ++t) {
    const std::uint8_t f = static_cast<std::uint8_t>(w[0]) ^ sym[t];
    const std::uint64_t* row = rs->feedback[f];
    for (int i = 0; i < W - 1; ++i) w[i] = ((w[i] >> 8) | (w[i + 1] << 56)) ^ row[i];
    w[W - 1] = (w[W - 1] >> 8) ^ row[W - 1];
  }
  for (int i = 0; i < W; ++i) reg[i] = w[i];
}

void divide(const rs_codec_t* rs, const std::uint8_t* sym, std::uint64_t count,
            std::uint64_t* reg) {
  switch (rs->words) {
    case 1: divide_run<1>(rs, sym, count, reg); break;
    case 2: divide_run<2>(rs, sym, count, reg); break;
    case 3: divide_run<3>(rs, sym, count, reg); break;
    case 4: divide_run<4>(rs, sym, count, reg); break;
    case 5: divide_run<5>(rs, sym, count, reg); break;
    case 6: divide_run<6>(rs, sym, count, reg); break;
    case 7: divide_run<7>(rs, sym, count, reg); break;
    default: divide_run<8>(rs, sym, count, reg); break;
  }
}

inline std::uint8_t reg_byte(const std::uint64_t* reg, std::uint32_t j) {
  return static_cast<std::uint8_t>(reg[j / 8] >> (8 * (j % 8)));
}

// Remainder of w(x) modulo g(x), coefficient of x^(nroots-1) first: the division
// register after the information part, plus the received parity.
void word_remainder(const rs_codec_t* rs, const std::uint8_t* word, std::uint8_t* rem) {
  std::uint64_t reg[kMaxWords] = {};
  divide(rs, word, rs->k, reg);
  for (std::uint32_t j = 0; j < rs->nroots; ++j) rem[j] = reg_byte(reg, j) ^ word[rs->k + j];
}

bool all_zero(const std::uint8_t* p, std::uint32_t count) {
  std::uint8_t acc = 0;
  for (std::uint32_t j = 0; j < count; ++j) acc |= p[j];
  return acc == 0;
}

// S_i = w(r_i) = rem(r_i), since g(r_i) = 0; Horner over the nroots coefficients,
// all roots advanced together so that their independent chains overlap.
void syndromes_from_remainder(const rs_codec_t* rs, const std::uint8_t* rem, std::uint8_t* synd) {
  const std::uint32_t nr = rs->nroots;
  std::uint8_t s[kMaxRoots] = {};
  for (std::uint32_t j = 0; j < nr; ++j) {
    const std::uint8_t c = rem[j];
    for (std::uint32_t i = 0; i < nr; ++i) {
      const std::uint8_t v = s[i];
      const std::uint8_t prod = v == 0 ? 0 : rs->exp_table[rs->log_table[v] + rs->root_log[i]];
      s[i] = static_cast<std::uint8_t>(prod ^ c);
    }
  }
  std::memcpy(synd, s, nr);
}

// Chien search over p = 0 ... n-1: the root positions, in increasing order, of
// lambda0 + sum of the terms, term t having logarithm log[t] at p = 0 and advancing
// by step[t] per position. Returns the number found (loc), or -1 when a root turns
// up after `limit` are known. With `stop`, the search ends at the limit-th root (no
// further root can exist). T: the number of terms when known at compile time (the
// logarithms then live in registers), or -1.
template <int T>
int chien_run(const rs_codec_t* rs, std::uint8_t lambda0, const std::uint32_t* log0,
              const std::uint32_t* step0, std::uint32_t terms, std::uint32_t limit, bool stop,
              std::uint32_t* loc) {
  constexpr std::uint32_t kCap = T >= 0 ? (T > 0 ? T : 1) : kMaxRoots + 1;
  const std::uint32_t count = T >= 0 ? static_cast<std::uint32_t>(T) : terms;
  std::uint32_t lg[kCap], st[kCap];
  for (std::uint32_t t = 0; t < count; ++t) {
    lg[t] = log0[t];
    st[t] = step0[t];
  }
  const std::uint32_t n = rs->n;
  std::uint32_t found = 0;
  for (std::uint32_t p = 0; p < n; ++p) {
    std::uint8_t sum = lambda0;
    for (std::uint32_t t = 0; t < count; ++t) {
      sum ^= rs->exp_table[lg[t]];
      const std::uint32_t next = lg[t] + st[t];
      lg[t] = next >= n ? next - n : next;
    }
    if (sum == 0) {
      if (found == limit) return -1;
      loc[found++] = p;
      if (stop && found == limit) break;
    }
  }
  return static_cast<int>(found);
}

using chien_fn = int (*)(const rs_codec_t*, std::uint8_t, const std::uint32_t*,
                         const std::uint32_t*, std::uint32_t, std::uint32_t, bool,
                         std::uint32_t*);

template <std::size_t... I>
constexpr std::array<chien_fn, sizeof...(I)> chien_table(std::index_sequence<I...>) {
  return {&chien_run<static_cast<int>(I)>...};
}

// Register-resident variants for up to 32 terms (every locator of at most 32 errors).
constexpr auto kChien = chien_table(std::make_index_sequence<33>());

int chien(const rs_codec_t* rs, std::uint8_t lambda0, const std::uint32_t* log0,
          const std::uint32_t* step0, std::uint32_t terms, std::uint32_t limit, bool stop,
          std::uint32_t* loc) {
  if (terms < kChien.size())
    return kChien[terms](rs, lambda0, log0, step0, terms, limit, stop, loc);
  return chien_run<-1>(rs, lambda0, log0, step0, terms, limit, stop, loc);
}

}  // namespace

rs_codec_t* rs_codec_create(std::uint32_t nroots, std::uint32_t symbol_bits,
                            std::uint32_t field_poly, std::uint32_t first_root,
                            std::uint32_t root_stride) {
  return kv::guard<rs_codec_t*>(nullptr, [&]() -> rs_codec_t* {
    if (symbol_bits < 2 || symbol_bits > 8) return nullptr;
    const std::uint16_t fp = static_cast<std::uint16_t>(field_poly);
    const std::uint32_t n = (1u << symbol_bits) - 1u;
    if (fp == 0 || (fp & 1u) == 0 || fp >= (1u << symbol_bits)) return nullptr;
    if (nroots % 2 != 0 || nroots < 2 || nroots > static_cast<std::uint32_t>(kMaxRoots) ||
        nroots >= n)
      return nullptr;
    if (root_stride == 0 || gcd_u32(root_stride % n, n) != 1) return nullptr;

    auto rs = std::make_unique<rs_codec_t>();
    rs->symbol_bits = symbol_bits;
    rs->field_poly = fp;
    rs->nroots = nroots;
    rs->first_root = first_root;
    rs->root_stride = root_stride;
    rs->n = n;
    rs->k = n - nroots;
    rs->E = nroots / 2;
    rs->words = (nroots + 7) / 8;
    std::memset(rs->exp_table, 0, sizeof rs->exp_table);
    std::memset(rs->log_table, kNoLog, sizeof rs->log_table);
    // Field tables; a polynomial whose powers of x revisit a value before n steps,
    // or do not return to 1 after n, is not primitive and is refused.
    std::uint32_t v = 1;
    for (std::uint32_t i = 0; i < n; ++i) {
      if (rs->log_table[v] != kNoLog) return nullptr;
      rs->exp_table[i] = static_cast<std::uint8_t>(v);
      rs->log_table[v] = static_cast<std::uint8_t>(i);
      v <<= 1;
      if (v & (1u << symbol_bits)) v ^= (1u << symbol_bits) | fp;
    }
    if (v != 1) return nullptr;
    for (std::uint32_t i = n; i < 2 * n; ++i) rs->exp_table[i] = rs->exp_table[i - n];

    // Root logarithms ((j0 + i) * s) mod n, reduced before multiplying so that the
    // products stay exact.
    const std::uint64_t j0 = first_root % n;
    const std::uint64_t s = root_stride % n;
    for (std::uint32_t i = 0; i < nroots; ++i)
      rs->root_log[i] = static_cast<std::uint32_t>(((j0 + i) % n) * s % n);

    std::memset(rs->genpoly, 0, sizeof rs->genpoly);
    rs->genpoly[0] = 1;
    for (std::uint32_t i = 0; i < nroots; ++i) {
      const std::uint8_t r = rs->exp_table[rs->root_log[i]];
      // g <- g * (x + r), highest coefficient first so each reads the old value below.
      for (std::uint32_t j = i + 1; j > 0; --j)
        rs->genpoly[j] = rs->genpoly[j - 1] ^ gf_mul(rs.get(), r, rs->genpoly[j]);
      rs->genpoly[0] = gf_mul(rs.get(), r, rs->genpoly[0]);
    }

    std::memset(rs->feedback, 0, sizeof rs->feedback);
    for (std::uint32_t f = 0; f < 256; ++f) {
      for (std::uint32_t j = 0; j < nroots; ++j) {
        const std::uint8_t c = gf_mul(rs.get(), static_cast<std::uint8_t>(f),
                                      rs->genpoly[nroots - 1 - j]);
        rs->feedback[f][j / 8] |= static_cast<std::uint64_t>(c) << (8 * (j % 8));
      }
    }
    return rs.release();
  });
}

void rs_codec_destroy(rs_codec_t* rs) { delete rs; }

std::uint32_t rs_codec_n(const rs_codec_t* rs) { return rs->n; }
std::uint32_t rs_codec_k(const rs_codec_t* rs) { return rs->k; }
std::uint32_t rs_codec_e(const rs_codec_t* rs) { return rs->E; }
std::uint32_t rs_codec_nroots(const rs_codec_t* rs) { return rs->nroots; }
std::uint32_t rs_codec_symbol_bits(const rs_codec_t* rs) { return rs->symbol_bits; }

void rs_encode(const rs_codec_t* rs, const std::uint8_t* info, std::uint8_t* parity) {
  std::uint64_t reg[kMaxWords] = {};
  divide(rs, info, rs->k, reg);
  for (std::uint32_t j = 0; j < rs->nroots; ++j) parity[j] = reg_byte(reg, j);
}

std::uint64_t rs_codec_encode(const rs_codec_t* rs, const std::uint8_t* in, std::uint64_t n_in,
                              std::uint8_t* out, std::uint64_t max_out) {
  if (!rs || !in || !out || n_in != rs->k || max_out < rs->n) return 0;
  // The information is moved into place first and the parity computed from there, so
  // out may be in, or overlap it anywhere.
  if (out != in) std::memmove(out, in, rs->k);
  rs_encode(rs, out, out + rs->k);
  return rs->n;
}

std::uint64_t rs_codec_encode_max_out(const rs_codec_t* rs, std::uint64_t) { return rs->n; }

int rs_decode(const rs_codec_t* rs, std::uint8_t* codeword) {
  const std::uint32_t n = rs->n;
  const std::uint32_t nroots = rs->nroots;
  std::uint8_t rem[kMaxRoots];
  word_remainder(rs, codeword, rem);
  if (all_zero(rem, nroots)) return 0;
  std::uint8_t S[kMaxRoots];
  syndromes_from_remainder(rs, rem, S);

  // Berlekamp-Massey.
  std::uint8_t lambda[kMaxRoots + 1] = {1};
  std::uint8_t B[kMaxRoots + 1] = {1};
  std::uint8_t T[kMaxRoots + 1];
  std::uint8_t b = 1;
  std::uint32_t L = 0, m = 1;
  // Degrees of Lambda and B: coefficients above them are zero, so the update and the
  // copies stop there (the result is the one of the full-length loops).
  std::uint32_t deg_l = 0, deg_b = 0;
  for (std::uint32_t j = 0; j < nroots; ++j) {
    std::uint8_t d = S[j];
    for (std::uint32_t l = 1; l <= L; ++l) d ^= gf_mul(rs, lambda[l], S[j - l]);
    if (d == 0) {
      ++m;
      continue;
    }
    std::memcpy(T, lambda, deg_l + 1);
    const std::uint32_t deg_t = deg_l;
    const std::uint8_t coef = gf_div(rs, d, b);
    const std::uint32_t top = m + deg_b < nroots ? m + deg_b : nroots;
    for (std::uint32_t l = m; l <= top; ++l) lambda[l] ^= gf_mul(rs, coef, B[l - m]);
    if (top > deg_l) deg_l = top;
    while (deg_l > 0 && lambda[deg_l] == 0) --deg_l;
    if (2 * L <= j) {
      std::memcpy(B, T, deg_t + 1);
      for (std::uint32_t l = deg_t + 1; l <= deg_b; ++l) B[l] = 0;
      deg_b = deg_t;
      b = d;
      L = j + 1 - L;
      m = 1;
    } else {
      ++m;
    }
  }
  if (L == 0 || L > rs->E) return -1;

  // Chien search over p = 0 ... n-1 at the points alpha^(-(s p) mod n): every
  // non-zero term lambda_l x^l advances its logarithm by -(s l) mod n per step.
  std::uint32_t deg = 0;
  for (std::uint32_t l = 0; l <= nroots; ++l)
    if (lambda[l] != 0) deg = l;
  const std::uint32_t s = rs->root_stride % n;
  std::uint32_t term_log[kMaxRoots + 1], term_step[kMaxRoots + 1];
  std::uint32_t terms = 0;
  for (std::uint32_t l = 1; l <= deg; ++l) {
    if (lambda[l] == 0) continue;
    term_log[terms] = rs->log_table[lambda[l]];
    term_step[terms] = static_cast<std::uint32_t>((n - static_cast<std::uint64_t>(s) * l % n) % n);
    ++terms;
  }
  std::uint32_t loc[kMaxRoots];
  const int found = chien(rs, lambda[0], term_log, term_step, terms, L, deg <= L, loc);
  if (found < 0) return -1;
  if (static_cast<std::uint32_t>(found) < L) return -1;

  // Forney: error evaluator Omega = Lambda * S mod x^L.
  std::uint8_t omega[kMaxRoots];
  for (std::uint32_t t = 0; t < L; ++t) {
    std::uint8_t o = 0;
    for (std::uint32_t f = 0; f <= t; ++f) o ^= gf_mul(rs, lambda[f], S[t - f]);
    omega[t] = o;
  }
  const std::uint64_t factor = (1u + n - rs->first_root % n) % n;
  std::uint8_t value[kMaxRoots];
  for (std::uint32_t e = 0; e < static_cast<std::uint32_t>(found); ++e) {
    const std::uint64_t o = static_cast<std::uint64_t>(s) * loc[e] % n;
    const std::uint8_t xinv = gf_pow_alpha(rs, n - o);
    std::uint8_t num = 0;
    for (std::uint32_t t = L; t-- > 0;)
      num = static_cast<std::uint8_t>(gf_mul(rs, num, xinv) ^ omega[t]);
    const std::uint8_t xinv2 = gf_mul(rs, xinv, xinv);
    // Sum over odd w <= L of lambda_w * xinv^(w-1), by Horner in xinv^2.
    std::uint8_t den = 0;
    for (std::uint32_t w = (L % 2 == 1 ? L : L - 1) + 2; w >= 3;) {
      w -= 2;
      den = static_cast<std::uint8_t>(gf_mul(rs, den, xinv2) ^ lambda[w]);
    }
    if (den == 0) {
      value[e] = 0;
    } else {
      value[e] = gf_mul(rs, gf_div(rs, num, den), gf_pow_alpha(rs, factor * o));
    }
  }
  for (std::uint32_t e = 0; e < static_cast<std::uint32_t>(found); ++e)
    codeword[n - 1 - loc[e]] ^= value[e];
  return static_cast<int>(L);
}

int rs_codec_decode(const rs_codec_t* rs, std::uint8_t* codeword, std::uint64_t codeword_len) {
  if (!rs || !codeword || codeword_len != rs->n) return -2;
  return rs_decode(rs, codeword);
}

std::uint64_t rs_codec_syndromes(const rs_codec_t* rs, const std::uint8_t* word,
                                 std::uint64_t n_in, std::uint8_t* out, std::uint64_t max_out) {
  if (!rs || !word || !out || n_in != rs->n || max_out < rs->nroots) return 0;
  std::uint8_t rem[kMaxRoots];
  word_remainder(rs, word, rem);
  syndromes_from_remainder(rs, rem, out);
  return rs->nroots;
}

std::uint64_t rs_codec_syndromes_max_out(const rs_codec_t* rs, std::uint64_t) {
  return rs->nroots;
}

int rs_codec_codeword_ok(const rs_codec_t* rs, const std::uint8_t* word,
                         std::uint64_t codeword_len) {
  if (!rs || !word || codeword_len != rs->n) return 0;
  std::uint8_t rem[kMaxRoots];
  word_remainder(rs, word, rem);
  return all_zero(rem, rs->nroots) ? 1 : 0;
}

std::uint64_t rs_codec_generator(const rs_codec_t* rs, std::uint8_t* out, std::uint64_t max_out) {
  if (!rs || !out || max_out <= rs->nroots) return 0;
  std::memcpy(out, rs->genpoly, rs->nroots + 1);
  return rs->nroots + 1;
}
