#include "coding/core/viterbi.h"

#include <bit>
#include <cfloat>
#include <cstring>
#include <memory>

#include "common/core/aligned.h"
#include "common/core/guard.h"
#include "common/core/state_header.h"

namespace {

constexpr char kTag[] = "VTRB";
constexpr std::uint16_t kVersion = 1;
constexpr std::uint64_t kFixedBytes = 80;
// Start metric of every state but 0: the most negative finite float over 4, so that
// several branch metrics can be added without reaching -inf.
constexpr float kUnreached = -FLT_MAX / 4.0f;
constexpr std::uint32_t kSign = 0x80000000u;

using decode_fn = std::uint64_t (*)(viterbi_t*, const float*, std::uint64_t, std::uint8_t*);
decode_fn choose_kernel(const conv_code_t& code);

}  // namespace

// States are processed as butterflies: states i and i + H (H = S/2) share the
// predecessors 2i and 2i + 1. For butterfly i the four branches are
//   A: 2i -> i, B: 2i+1 -> i, C: 2i -> i+H, D: 2i+1 -> i+H,
// and each branch's output pattern is kept twice: as an index into the 2^n-entry
// branch-metric table of the column (picked by a register permute when the table
// fits one register), and as n sign masks (0 or the float sign bit per symbol), so
// that wider tables become a few vector XORs and adds instead of a gather. Flipping
// the sign bit is exactly the negation the table uses (NaNs included) and the sums
// run in the table's order, so both give the table's entries bit for bit.
struct viterbi_t {
  conv_code_t code;
  std::uint64_t depth = 0;
  std::uint32_t S = 0;
  std::uint32_t H = 0;
  std::uint32_t top = 0;  // k - 2: position of the newest input bit in a state
  kv::AlignedBuf<float> metric, metric_next;
  kv::AlignedBuf<std::uint8_t> decisions;  // depth columns of S bytes
  std::uint64_t pos = 0;
  std::uint64_t filled = 0;
  kv::AlignedBuf<std::uint32_t> coef;  // [branch A..D][symbol l][butterfly i]: sign mask
  kv::AlignedBuf<float> bm;     // [branch A..D][butterfly i], per-column scratch
  kv::AlignedBuf<std::int32_t> mask;  // per-column compare masks, state order
  kv::AlignedBuf<std::int32_t> pattern;  // [branch A..D][butterfly i]: output pattern
  // The metrics of the last column are metric[s] - pending: the subtraction of the
  // best metric is left to the next column's loads (0 after reset and restore).
  float pending = 0.0f;
  // States of the most recent traceback, indexed by ring column; lets the next
  // traceback stop where it meets that path, since from there on both coincide.
  kv::AlignedBuf<std::uint16_t> path;
  bool path_valid = false;
  // The decoding loop for this code on this processor, chosen at creation.
  decode_fn kernel = nullptr;
};

viterbi_t* viterbi_create(const std::uint32_t* poly, std::uint64_t poly_len, std::uint32_t k,
                          std::uint32_t invert, std::uint64_t depth) {
  return kv::guard<viterbi_t*>(nullptr, [&]() -> viterbi_t* {
    conv_code_t code;
    if (!conv_code_init(&code, poly, poly_len, k, invert)) return nullptr;
    if (depth == 0) return nullptr;
    const std::uint64_t S = 1ull << (code.k - 1);
    // The blob's size field is 32 bits wide: a deeper ring could not be snapshot.
    if (depth > (UINT32_MAX - kFixedBytes) / S - 4) return nullptr;
    auto v = std::make_unique<viterbi_t>();
    v->code = code;
    v->depth = depth;
    v->S = static_cast<std::uint32_t>(S);
    v->H = v->S / 2;
    v->top = static_cast<std::uint32_t>(code.k - 2);
    v->metric = kv::AlignedBuf<float>(S);
    v->metric_next = kv::AlignedBuf<float>(S);
    v->decisions = kv::AlignedBuf<std::uint8_t>(depth * S);
    v->path = kv::AlignedBuf<std::uint16_t>(depth);
    const std::uint32_t n = static_cast<std::uint32_t>(code.n);
    const std::uint32_t H = v->H;
    v->coef = kv::AlignedBuf<std::uint32_t>(4ull * n * H);
    v->bm = kv::AlignedBuf<float>(4ull * H);
    v->mask = kv::AlignedBuf<std::int32_t>(S);
    v->pattern = kv::AlignedBuf<std::int32_t>(4ull * H);
    for (std::uint32_t i = 0; i < H; ++i) {
      const std::uint32_t regs[4] = {2 * i, 2 * i + 1, 2 * i + v->S, 2 * i + 1 + v->S};
      for (int b = 0; b < 4; ++b) {
        const std::uint32_t q = conv_pattern(&code, regs[b]);
        v->pattern[static_cast<std::uint64_t>(b) * H + i] = static_cast<std::int32_t>(q);
        for (std::uint32_t l = 0; l < n; ++l)
          v->coef[(static_cast<std::uint64_t>(b) * n + l) * H + i] = ((q >> l) & 1u) ? kSign : 0u;
      }
    }
    v->kernel = choose_kernel(code);
    viterbi_reset(v.get());
    return v.release();
  });
}

void viterbi_destroy(viterbi_t* v) { delete v; }

void viterbi_reset(viterbi_t* v) {
  for (std::uint32_t s = 0; s < v->S; ++s) v->metric[s] = kUnreached;
  v->metric[0] = 0.0f;
  v->pending = 0.0f;
  std::memset(v->decisions.data(), 0, v->depth * v->S);
  v->pos = 0;
  v->filled = 0;
  v->path_valid = false;
}

const conv_code_t* viterbi_code(const viterbi_t* v) { return &v->code; }
std::uint64_t viterbi_depth(const viterbi_t* v) { return v->depth; }

std::uint64_t viterbi_decode_max_out(const viterbi_t* v, std::uint64_t n_in) {
  const std::uint64_t branches = n_in / static_cast<std::uint64_t>(v->code.n);
  const std::uint64_t fill = v->filled <= v->depth - 1 ? v->depth - 1 - v->filled : 0;
  return branches > fill ? branches - fill : 0;
}

namespace {

// L with its sign bit flipped where mask has it: +L or -L.
inline float signed_by(float L, std::uint32_t mask) {
  return std::bit_cast<float>(std::bit_cast<std::uint32_t>(L) ^ mask);
}

// Per-state branch metrics of one branch kind: o[i] = sum over l of (+-L[l]) by the
// sign masks c[l][i], left to right.
template <int N>
[[gnu::always_inline]] inline void branch_metrics(const std::uint32_t* __restrict c,
                                                  const float* L, float* __restrict o,
                                                  std::size_t H) {
  const float l0 = L[0];
  for (std::size_t i = 0; i < H; ++i) {
    float a = signed_by(l0, c[i]);
    for (int l = 1; l < N; ++l) a = a + signed_by(L[l], c[static_cast<std::size_t>(l) * H + i]);
    o[i] = a;
  }
}

// Add-compare-select of every butterfly; a tie keeps the even predecessor.
[[gnu::always_inline]] inline void add_compare_select(
    const float* __restrict m, float* __restrict nm, const float* __restrict bA,
    const float* __restrict bB, const float* __restrict bC, const float* __restrict bD,
    std::uint8_t* __restrict dec, std::size_t H) {
  for (std::size_t i = 0; i < H; ++i) {
    const float m0 = m[2 * i];
    const float m1 = m[2 * i + 1];
    const float p0 = bA[i] + m0;
    const float p1 = bB[i] + m1;
    const float q0 = bC[i] + m0;
    const float q1 = bD[i] + m1;
    const bool d = p1 > p0;
    const bool e = q1 > q0;
    nm[i] = d ? p1 : p0;
    nm[i + H] = e ? q1 : q0;
    dec[i] = d;
    dec[i + H] = e;
  }
}

// Eight float / int lanes in GCC's generic vector notation: one AVX register. The
// kernels written with them are built for AVX2 only (see the dispatch below).
typedef float v8f __attribute__((vector_size(32)));
typedef std::int32_t v8i __attribute__((vector_size(32)));
typedef std::uint32_t v8u __attribute__((vector_size(32)));

typedef float v4f __attribute__((vector_size(16)));
typedef std::int32_t v4i __attribute__((vector_size(16)));

// Lowest-numbered state with the greatest metric, and that metric (-FLT_MAX and
// state 0 when no metric exceeds -FLT_MAX). Four strided running maxima (one SSE
// register each, so every target keeps them in registers), each keeping its first
// occurrence, are merged by value and then by state number.
[[gnu::always_inline]] inline std::uint32_t best_state(const float* __restrict nm, std::size_t S,
                                                       float* best_out) {
  float best = -FLT_MAX;
  std::uint32_t best_s = 0;
  if (S >= 4) {
    v4f lane_v = {-FLT_MAX, -FLT_MAX, -FLT_MAX, -FLT_MAX};
    v4i lane_s = {0, 0, 0, 0};
    v4i idx = {0, 1, 2, 3};
    for (std::size_t s = 0; s < S; s += 4) {
      v4f x;
      std::memcpy(&x, nm + s, sizeof x);
      const v4i g = x > lane_v;
      lane_v = g ? x : lane_v;
      lane_s = g ? idx : lane_s;
      idx += 4;
    }
    for (int l = 0; l < 4; ++l) {
      const std::uint32_t ls = static_cast<std::uint32_t>(lane_s[l]);
      if (lane_v[l] > best || (lane_v[l] == best && ls < best_s)) {
        best = lane_v[l];
        best_s = ls;
      }
    }
  } else {
    for (std::size_t s = 0; s < S; ++s) {
      if (nm[s] > best) {
        best = nm[s];
        best_s = static_cast<std::uint32_t>(s);
      }
    }
  }
  *best_out = best;
  return best_s;
}

[[gnu::always_inline]] inline void normalise(const float* __restrict nm, float* __restrict m,
                                             std::size_t S, float best) {
  for (std::size_t s = 0; s < S; ++s) m[s] = nm[s] - best;
}

// One column: branch metrics, add-compare-select into metric_next and the decision
// column, best state, normalisation back into metric. Returns the best state.
template <int N>
[[gnu::always_inline]] inline std::uint32_t acs_column(viterbi_t* v, const float* L,
                                                       std::uint8_t* dec) {
  const std::size_t H = v->H;
  const std::size_t S = v->S;
  float* bm = v->bm.data();
  const std::uint32_t* coef = v->coef.data();
  for (int b = 0; b < 4; ++b)
    branch_metrics<N>(coef + static_cast<std::size_t>(b) * N * H, L, bm + b * H, H);
  add_compare_select(v->metric.data(), v->metric_next.data(), bm, bm + H, bm + 2 * H, bm + 3 * H,
                     dec, H);
  float best = 0.0f;
  const std::uint32_t best_s = best_state(v->metric_next.data(), S, &best);
  normalise(v->metric_next.data(), v->metric.data(), S, best);
  return best_s;
}

// The column for a compile-time constraint length K >= 5 (at least eight
// butterflies), in blocks of eight butterflies held in registers. The even and odd
// predecessor metrics are split out of two loads and lowered by the previous
// column's best metric (the normalisation of the previous column, done where the
// values are read anyway); the four branch metrics are picked from the 2^N-entry
// table by a register permute when it fits one register (N <= 3), else formed
// from the symbols with their signs flipped by the sign masks; the running maxima
// of the lower and the upper half (states in increasing order within each) are
// kept beside the ACS.
template <int N, int K>
[[gnu::always_inline]] inline std::uint32_t acs_column_fixed(viterbi_t* v, const float* L,
                                                             std::uint8_t* __restrict dec) {
  constexpr std::size_t H = std::size_t{1} << (K - 2);
  constexpr std::size_t S = 2 * H;
  const float* __restrict m = v->metric.data();
  float* __restrict nm = v->metric_next.data();
  std::int32_t* __restrict mask = v->mask.data();
  const float pend = v->pending;
  const v8f pv = {pend, pend, pend, pend, pend, pend, pend, pend};
  // Broadcast symbols (sign-mask path) and the pattern table (permute path).
  v8f l[N];
  for (int j = 0; j < N; ++j) {
    float t[8];
    for (float& e : t) e = L[j];
    std::memcpy(&l[j], t, sizeof t);
  }
  v8f table = {};
  if constexpr (N <= 3) {
    for (std::uint32_t q = 0; q < (1u << N); ++q) {
      float sum = (q & 1u) ? -L[0] : L[0];
      for (int j = 1; j < N; ++j) sum = sum + (((q >> j) & 1u) ? -L[j] : L[j]);
      table[q] = sum;
    }
  }
  const std::uint32_t* __restrict coef = v->coef.data();
  const std::int32_t* __restrict pat = v->pattern.data();
  const v8f lowest = v8f{} - FLT_MAX;
  v8f lo_v = lowest, hi_v = lowest;
  v8i lo_s = {}, hi_s = {};
  v8i idx = {0, 1, 2, 3, 4, 5, 6, 7};
  for (std::size_t i = 0; i < H; i += 8) {
    v8f a, b;
    std::memcpy(&a, m + 2 * i, sizeof a);
    std::memcpy(&b, m + 2 * i + 8, sizeof b);
    const v8f m0 = __builtin_shufflevector(a, b, 0, 2, 4, 6, 8, 10, 12, 14) - pv;
    const v8f m1 = __builtin_shufflevector(a, b, 1, 3, 5, 7, 9, 11, 13, 15) - pv;
    v8f bmv[4];
    for (int k = 0; k < 4; ++k) {
      if constexpr (N <= 3) {
        v8i q;
        std::memcpy(&q, pat + static_cast<std::size_t>(k) * H + i, sizeof q);
        bmv[k] = __builtin_shuffle(table, q);
      } else {
        const std::uint32_t* c = coef + static_cast<std::size_t>(k) * N * H + i;
        v8u cv;
        std::memcpy(&cv, c, sizeof cv);
        v8f acc = reinterpret_cast<v8f>(reinterpret_cast<v8u>(l[0]) ^ cv);
        for (int j = 1; j < N; ++j) {
          std::memcpy(&cv, c + static_cast<std::size_t>(j) * H, sizeof cv);
          acc = acc + reinterpret_cast<v8f>(reinterpret_cast<v8u>(l[j]) ^ cv);
        }
        bmv[k] = acc;
      }
    }
    const v8f p0 = bmv[0] + m0;
    const v8f p1 = bmv[1] + m1;
    const v8f q0 = bmv[2] + m0;
    const v8f q1 = bmv[3] + m1;
    const v8i d = p1 > p0;
    const v8i e = q1 > q0;
    const v8f lo = d ? p1 : p0;
    const v8f hi = e ? q1 : q0;
    std::memcpy(nm + i, &lo, sizeof lo);
    std::memcpy(nm + i + H, &hi, sizeof hi);
    std::memcpy(mask + i, &d, sizeof d);
    std::memcpy(mask + i + H, &e, sizeof e);
    const v8i gl = lo > lo_v;
    lo_v = gl ? lo : lo_v;
    lo_s = gl ? idx : lo_s;
    const v8i gh = hi > hi_v;
    hi_v = gh ? hi : hi_v;
    hi_s = gh ? idx + static_cast<std::int32_t>(H) : hi_s;
    idx += 8;
  }
  // Merge the sixteen lanes: the greatest value, then the lowest state among the
  // lanes holding it. A lane that never rose above -FLT_MAX still says state 0.
  const v8i take_hi = hi_v > lo_v;
  v8f bv = take_hi ? hi_v : lo_v;
  v8i bs = take_hi ? hi_s : lo_s;
  v8f mx = bv;
  v8f t = __builtin_shufflevector(mx, mx, 4, 5, 6, 7, 0, 1, 2, 3);
  mx = t > mx ? t : mx;
  t = __builtin_shufflevector(mx, mx, 2, 3, 0, 1, 6, 7, 4, 5);
  mx = t > mx ? t : mx;
  t = __builtin_shufflevector(mx, mx, 1, 0, 3, 2, 5, 4, 7, 6);
  mx = t > mx ? t : mx;
  const v8i big = {INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX,
                   INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX};
  v8i cand = (bv == mx) ? bs : big;
  v8i u = __builtin_shufflevector(cand, cand, 4, 5, 6, 7, 0, 1, 2, 3);
  cand = u < cand ? u : cand;
  u = __builtin_shufflevector(cand, cand, 2, 3, 0, 1, 6, 7, 4, 5);
  cand = u < cand ? u : cand;
  u = __builtin_shufflevector(cand, cand, 1, 0, 3, 2, 5, 4, 7, 6);
  cand = u < cand ? u : cand;
  const std::uint32_t best_s = static_cast<std::uint32_t>(cand[0]);
  const float best = mx[0] > -FLT_MAX ? nm[best_s] : -FLT_MAX;
  // Compare masks (0 / -1) narrowed to decision bytes by the loop vectoriser, which
  // packs lanes far better than a narrowing of the register types would.
  for (std::size_t s = 0; s < S; ++s) dec[s] = static_cast<std::uint8_t>(mask[s] & 1);
  std::swap(v->metric, v->metric_next);
  v->pending = best;
  return best_s;
}

// K = 0: any constraint length, loops sized at run time.
template <int N, int K>
[[gnu::always_inline]] inline std::uint64_t decode_run(viterbi_t* v, const float* x,
                                                       std::uint64_t branches, std::uint8_t* out) {
  const std::uint32_t S = v->S;
  const std::uint32_t mask = S - 1;
  const std::uint32_t top = v->top;
  const std::uint64_t depth = v->depth;
  std::uint8_t* ring = v->decisions.data();
  std::uint16_t* path = v->path.data();
  std::uint64_t pos = v->pos;
  std::uint64_t filled = v->filled;
  bool merge = v->path_valid;
  std::uint64_t written = 0;
  for (std::uint64_t b = 0; b < branches; ++b) {
    const std::uint64_t col = pos;
    std::uint32_t best;
    if constexpr (K == 0)
      best = acs_column<N>(v, x + b * N, ring + col * S);
    else
      best = acs_column_fixed<N, K>(v, x + b * N, ring + col * S);
    pos = col + 1 == depth ? 0 : col + 1;
    if (filled < depth) ++filled;
    if (filled != depth) continue;
    // Trace back depth - 1 columns from the best state; stop early where the path
    // joins the one recorded by the previous traceback.
    std::uint32_t s = best;
    path[col] = static_cast<std::uint16_t>(s);
    std::uint64_t c = col;
    std::uint64_t steps = depth - 1;
    while (steps != 0) {
      s = ((s << 1) | ring[c * S + s]) & mask;
      c = c == 0 ? depth - 1 : c - 1;
      if (merge && path[c] == s) break;
      path[c] = static_cast<std::uint16_t>(s);
      --steps;
    }
    merge = true;
    // The oldest column of the ring (the next one to be written) holds the state
    // depth - 1 branches back.
    out[written++] = static_cast<std::uint8_t>((path[pos] >> top) & 1u);
  }
  v->pos = pos;
  v->filled = filled;
  v->path_valid = merge;
  return written;
}

// Kernels with run-time sized loops, for every constraint length: the loop
// vectoriser serves both instruction sets.
#define KV_VITERBI_GENERIC(N)                                                                    \
  __attribute__((target_clones("avx2", "default"))) std::uint64_t decode_n##N##_any(             \
      viterbi_t* v, const float* x, std::uint64_t branches, std::uint8_t* out) {                  \
    return decode_run<N, 0>(v, x, branches, out);                                               \
  }
// Register-block kernels for k >= 5, written for eight-lane registers: built for AVX2
// alone and chosen at creation when the processor has it (on a narrower machine the
// eight-lane code would be split and spilled, slower than the generic kernel).
#define KV_VITERBI_FIXED(N, K)                                                                   \
  __attribute__((target("avx2"))) std::uint64_t decode_n##N##_k##K(                              \
      viterbi_t* v, const float* x, std::uint64_t branches, std::uint8_t* out) {                  \
    return decode_run<N, K>(v, x, branches, out);                                               \
  }
#define KV_VITERBI_KERNELS(N)                                                                    \
  KV_VITERBI_GENERIC(N)                                                                          \
  KV_VITERBI_FIXED(N, 5)                                                                         \
  KV_VITERBI_FIXED(N, 6)                                                                         \
  KV_VITERBI_FIXED(N, 7)                                                                         \
  KV_VITERBI_FIXED(N, 8)                                                                         \
  KV_VITERBI_FIXED(N, 9)
KV_VITERBI_KERNELS(1)
KV_VITERBI_KERNELS(2)
KV_VITERBI_KERNELS(3)
KV_VITERBI_KERNELS(4)
KV_VITERBI_KERNELS(5)
KV_VITERBI_KERNELS(6)
#undef KV_VITERBI_KERNELS
#undef KV_VITERBI_FIXED
#undef KV_VITERBI_GENERIC

const decode_fn kGeneric[CONV_N_MAX] = {decode_n1_any, decode_n2_any, decode_n3_any,
                                        decode_n4_any, decode_n5_any, decode_n6_any};
// [n - 1][k - 5]
#define KV_ROW(N) \
  {decode_n##N##_k5, decode_n##N##_k6, decode_n##N##_k7, decode_n##N##_k8, decode_n##N##_k9}
const decode_fn kFixed[CONV_N_MAX][5] = {KV_ROW(1), KV_ROW(2), KV_ROW(3),
                                         KV_ROW(4), KV_ROW(5), KV_ROW(6)};
#undef KV_ROW

decode_fn choose_kernel(const conv_code_t& code) {
  __builtin_cpu_init();
  if (code.k >= 5 && __builtin_cpu_supports("avx2")) return kFixed[code.n - 1][code.k - 5];
  return kGeneric[code.n - 1];
}

}  // namespace

std::uint64_t viterbi_decode(viterbi_t* v, const float* x, std::uint64_t n_in, std::uint8_t* out,
                             std::uint64_t max_out) {
  if (!v || !x || !out) return 0;
  const std::uint64_t n = static_cast<std::uint64_t>(v->code.n);
  if (n_in < n || n_in % n != 0) return 0;
  if (max_out < viterbi_decode_max_out(v, n_in)) return 0;
  const std::uint64_t branches = n_in / n;
  return v->kernel(v, x, branches, out);
}

void viterbi_use_portable_kernel(viterbi_t* v) { v->kernel = kGeneric[v->code.n - 1]; }

std::uint64_t viterbi_state_size(const viterbi_t* v) {
  return static_cast<std::uint64_t>(v->S) * (v->depth + 4) + kFixedBytes;
}

void viterbi_get_state(const viterbi_t* v, std::uint8_t* buf) {
  const std::uint64_t size = viterbi_state_size(v);
  kv::state_put_header(buf, kTag, kVersion, static_cast<std::uint32_t>(size));
  kv::put_u64(buf + 16, v->depth);
  kv::put_u64(buf + 24, v->pos);
  kv::put_u64(buf + 32, v->filled);
  kv::put_u32(buf + 40, static_cast<std::uint32_t>(v->code.k));
  kv::put_u32(buf + 44, static_cast<std::uint32_t>(v->code.n));
  kv::put_u32(buf + 48, conv_invert_mask(&v->code));
  for (int j = 0; j < CONV_N_MAX; ++j) kv::put_u32(buf + 52 + 4 * j, v->code.poly[j]);
  kv::put_u32(buf + 76, 0);
  std::uint8_t* p = buf + kFixedBytes;
  for (std::uint32_t s = 0; s < v->S; ++s) kv::put_f32(p + 4 * s, v->metric[s] - v->pending);
  std::memcpy(p + 4ull * v->S, v->decisions.data(), v->depth * v->S);
}

int viterbi_set_state(viterbi_t* v, const std::uint8_t* buf) {
  const std::uint64_t size = viterbi_state_size(v);
  if (!kv::state_check_header(buf, kTag, kVersion, static_cast<std::uint32_t>(size))) return -4;
  const conv_code_t& c = v->code;
  if (kv::get_u64(buf + 16) != v->depth ||
      kv::get_u32(buf + 40) != static_cast<std::uint32_t>(c.k) ||
      kv::get_u32(buf + 44) != static_cast<std::uint32_t>(c.n) ||
      kv::get_u32(buf + 48) != conv_invert_mask(&c))
    return -4;
  for (std::int32_t j = 0; j < c.n; ++j)
    if (kv::get_u32(buf + 52 + 4 * j) != c.poly[j]) return -4;
  const std::uint64_t pos = kv::get_u64(buf + 24);
  const std::uint64_t filled = kv::get_u64(buf + 32);
  if (pos >= v->depth || filled > v->depth) return -4;
  const std::uint8_t* p = buf + kFixedBytes;
  for (std::uint32_t s = 0; s < v->S; ++s) v->metric[s] = kv::get_f32(p + 4 * s);
  v->pending = 0.0f;
  // A decision byte is read as 0 or non-zero, and kept as 0 or 1 so that the
  // traceback can use it directly as the predecessor's low bit.
  const std::uint8_t* d = p + 4ull * v->S;
  std::uint8_t* ring = v->decisions.data();
  for (std::uint64_t i = 0; i < v->depth * v->S; ++i) ring[i] = d[i] != 0;
  v->pos = pos;
  v->filled = filled;
  v->path_valid = false;
  return 0;
}
