#include "accumulator/core/acc_trace.h"

#include <cstddef>
#include <memory>

#include "common/core/aligned.h"
#include "common/core/guard.h"
#include "common/core/state_header.h"

struct acc_trace_t {
  kv::AlignedBuf<double> trace;
  std::uint64_t n = 0;
  std::uint32_t mode = 0;
  double alpha = 0.0;
  std::uint64_t count = 0;
};

namespace {

constexpr char kTag[] = "ATRC";
constexpr std::uint16_t kVersion = 1;
constexpr std::uint64_t kFixedBytes = kv::kStateHeaderSize + 8;

// One fold loop per mode, chosen once per frame. Each is a straight loop over the
// bins that GCC vectorises (two doubles per step on SSE2, four on AVX2); with
// -ffp-contract=off both clones give identical bits.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
#define KV_TRACE_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define KV_TRACE_CLONES
#endif

KV_TRACE_CLONES
void fold_seed(double* __restrict t, const float* __restrict x, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) t[i] = static_cast<double>(x[i]);
}

KV_TRACE_CLONES
void fold_scaled(double* __restrict t, const float* __restrict x, std::size_t n, double g) {
  for (std::size_t i = 0; i < n; ++i) {
    const double v = static_cast<double>(x[i]);
    t[i] = t[i] + (v - t[i]) * g;
  }
}

KV_TRACE_CLONES
void fold_max(double* __restrict t, const float* __restrict x, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    const double v = static_cast<double>(x[i]);
    t[i] = v > t[i] ? v : t[i];
  }
}

KV_TRACE_CLONES
void fold_min(double* __restrict t, const float* __restrict x, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    const double v = static_cast<double>(x[i]);
    t[i] = v < t[i] ? v : t[i];
  }
}

KV_TRACE_CLONES
void narrow(float* __restrict out, const double* __restrict t, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<float>(t[i]);
}

}  // namespace

acc_trace_t* acc_trace_create(std::uint64_t n, std::uint32_t mode, double alpha) {
  // The blob's total size is a 32-bit field: a trace whose blob it cannot
  // describe is refused rather than handed a blob that lies about its length.
  if (n == 0 || mode > ACC_TRACE_MINHOLD || n > (UINT32_MAX - kFixedBytes) / 8) return nullptr;
  return kv::guard<acc_trace_t*>(nullptr, [&] {
    auto t = std::make_unique<acc_trace_t>();
    t->trace = kv::AlignedBuf<double>(n);
    t->n = n;
    t->mode = mode;
    t->alpha = alpha;
    return t.release();
  });
}

void acc_trace_destroy(acc_trace_t* t) { delete t; }

void acc_trace_reset(acc_trace_t* t) {
  for (std::uint64_t i = 0; i < t->n; ++i) t->trace[i] = 0.0;
  t->count = 0;
}

void acc_trace_accumulate(acc_trace_t* t, const float* x, std::uint64_t len) {
  if (len < t->n) return;
  double* tr = t->trace.data();
  const std::size_t n = t->n;
  if (t->count == 0) {
    fold_seed(tr, x, n);
    t->count = 1;
    return;
  }
  // A restored count at the top of the range stays there instead of wrapping to 0
  // (which would make the mean's factor 1/k infinite).
  if (t->count != UINT64_MAX) ++t->count;
  const std::uint64_t k = t->count;
  switch (t->mode) {
    case ACC_TRACE_MEAN:
      fold_scaled(tr, x, n, 1.0 / static_cast<double>(k));
      break;
    case ACC_TRACE_EXP:
      // A NaN alpha fails the test and takes the smoothing branch.
      if (t->alpha >= 1.0)
        fold_seed(tr, x, n);
      else
        fold_scaled(tr, x, n, t->alpha);
      break;
    case ACC_TRACE_MAXHOLD:
      fold_max(tr, x, n);
      break;
    default:
      fold_min(tr, x, n);
      break;
  }
}

std::uint64_t acc_trace_read(const acc_trace_t* t, float* out, std::uint64_t cap) {
  if (t->count == 0) return 0;
  const std::uint64_t m = cap < t->n ? cap : t->n;
  narrow(out, t->trace.data(), m);
  return m;
}

std::uint64_t acc_trace_len(const acc_trace_t* t) { return t->n; }
std::uint64_t acc_trace_count(const acc_trace_t* t) { return t->count; }
std::uint32_t acc_trace_mode(const acc_trace_t* t) { return t->mode; }
double acc_trace_alpha(const acc_trace_t* t) { return t->alpha; }
void acc_trace_set_alpha(acc_trace_t* t, double alpha) { t->alpha = alpha; }

std::uint64_t acc_trace_state_size(const acc_trace_t* t) { return kFixedBytes + 8 * t->n; }

void acc_trace_get_state(const acc_trace_t* t, std::uint8_t* buf) {
  kv::state_put_header(buf, kTag, kVersion, static_cast<std::uint32_t>(acc_trace_state_size(t)));
  kv::put_u64(buf + kv::kStateHeaderSize, t->count);
  std::uint8_t* p = buf + kFixedBytes;
  for (std::uint64_t i = 0; i < t->n; ++i, p += 8) kv::put_f64(p, t->trace[i]);
}

int acc_trace_set_state(acc_trace_t* t, const std::uint8_t* buf) {
  if (!kv::state_check_header(buf, kTag, kVersion,
                              static_cast<std::uint32_t>(acc_trace_state_size(t))))
    return -4;
  t->count = kv::get_u64(buf + kv::kStateHeaderSize);
  const std::uint8_t* p = buf + kFixedBytes;
  for (std::uint64_t i = 0; i < t->n; ++i, p += 8) t->trace[i] = kv::get_f64(p);
  return 0;
}
