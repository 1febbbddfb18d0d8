#include "spectral/core/psd_core.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <memory>

#include "accumulator/core/acc_trace.h"
#include "common/core/aligned.h"
#include "common/core/guard.h"
#include "common/core/state_header.h"
#include "spectral/core/fft.h"
#include "spectral/core/window.h"

namespace {

struct FftDeleter {
  void operator()(fft_state_t* e) const { fft_destroy(e); }
};
struct TraceDeleter {
  void operator()(acc_trace_t* t) const { acc_trace_destroy(t); }
};

constexpr char kTag[] = "PSD ";
constexpr std::uint16_t kVersion = 1;
constexpr int kSfdrPeaks = 16;
constexpr double kPowerFloor = 1e-20;

#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
#define KV_PSD_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define KV_PSD_CLONES
#endif

// Complex frame times the window. The window is stored interleaved (each
// coefficient twice) so the multiply is one flat float loop.
KV_PSD_CLONES
void window_complex(float* __restrict out, const float* __restrict in,
                    const float* __restrict w2, std::size_t len) {
  for (std::size_t i = 0; i < len; ++i) out[i] = in[i] * w2[i];
}

KV_PSD_CLONES
void window_real(float* __restrict out, const float* __restrict in, const float* __restrict w,
                 std::size_t n) {
  for (std::size_t k = 0; k < n; ++k) {
    out[2 * k] = in[k] * w[k];
    out[2 * k + 1] = 0.0f;
  }
}

// |X[k]|^2 of n interleaved bins into dst[0..n).
KV_PSD_CLONES
void bin_powers(float* __restrict dst, const float* __restrict x, std::size_t n) {
  for (std::size_t k = 0; k < n; ++k) {
    const float re = x[2 * k], im = x[2 * k + 1];
    dst[k] = re * re + im * im;
  }
}

// 10 log10 of a power relative to ref2, floored at -200 dB; a NaN ratio takes the floor.
inline float to_db(float power, double ref2) {
  double v = static_cast<double>(power) / ref2;
  if (!(v > kPowerFloor)) v = kPowerFloor;
  return static_cast<float>(10.0 * std::log10(v));
}

}  // namespace

struct psd_t {
  std::unique_ptr<fft_state_t, FftDeleter> fft;
  std::unique_ptr<acc_trace_t, TraceDeleter> trace;
  kv::AlignedBuf<float> window;   // n coefficients
  kv::AlignedBuf<float> window2;  // 2n: each coefficient twice, for interleaved samples
  kv::AlignedBuf<cf32_t> fft_in;  // nfft: windowed frame, zeros beyond n
  kv::AlignedBuf<cf32_t> fft_out;
  kv::AlignedBuf<float> power;     // nfft: last frame's powers; read-back of the dB outputs
  kv::AlignedBuf<float> readback;  // nfft: read-back of the linear outputs
  kv::AlignedBuf<zr_peak_t> peaks;  // nfft/2 + 1 candidates for the peak finder
  double win_sum = 0.0;
  double win_sumsq = 0.0;
  double enbw = 0.0;
  double dbhz_offset = 0.0;   // 10 log10(rbw)
  double parseval = 0.0;      // 1 / (full_scale^2 nfft win_sumsq)
  std::uint64_t n = 0;
  std::uint64_t nfft = 0;
  double fs = 0.0;
  double full_scale = 0.0;
  std::uint64_t bits = 0;
};

namespace {

// Reads the trace into p->power and turns it into dBFS in place. False before the first frame.
bool db_trace(psd_t* p) {
  if (acc_trace_read(p->trace.get(), p->power.data(), p->nfft) == 0) return false;
  const double g = p->win_sum * p->full_scale;
  const double g2 = g * g;
  float* d = p->power.data();
  for (std::uint64_t i = 0; i < p->nfft; ++i) d[i] = to_db(d[i], g2);
  return true;
}

// Trace position of a frequency: nearest integer to f nfft / fs + floor(nfft/2), halves
// away from zero, saturated to the signed 32-bit range (the caller rules out NaN).
std::int64_t bin_of(const psd_t* p, double f) {
  double v = std::round(f * static_cast<double>(p->nfft) / p->fs +
                        static_cast<double>(p->nfft / 2));
  v = std::clamp(v, static_cast<double>(std::numeric_limits<std::int32_t>::min()),
                 static_cast<double>(std::numeric_limits<std::int32_t>::max()));
  return static_cast<std::int64_t>(v);
}

// Bin range of a band clamped to the spectrum; false when it lies wholly outside or
// an edge is NaN.
bool band_bins(const psd_t* p, double lo, double hi, std::int64_t& a, std::int64_t& b) {
  if (std::isnan(lo) || std::isnan(hi)) return false;
  if (lo > hi) std::swap(lo, hi);
  a = bin_of(p, lo);
  b = bin_of(p, hi);
  const std::int64_t nfft = static_cast<std::int64_t>(p->nfft);
  if (b < 0 || a >= nfft) return false;
  a = std::max<std::int64_t>(a, 0);
  b = std::min<std::int64_t>(b, nfft - 1);
  return true;
}

// Linear power of one band from the float32 trace in p->readback (Parseval scale).
double band_linear(const psd_t* p, double lo, double hi) {
  std::int64_t a, b;
  if (!band_bins(p, lo, hi, a, b)) return 0.0;
  double s = 0.0;
  for (std::int64_t i = a; i <= b; ++i) s += static_cast<double>(p->readback[i]) * p->parseval;
  return s;
}

double lin_to_db(double v) { return 10.0 * std::log10(v > kPowerFloor ? v : kPowerFloor); }

// Median of the dB trace in p->power, using p->readback as the working copy.
double db_median(psd_t* p) {
  std::copy(p->power.data(), p->power.data() + p->nfft, p->readback.data());
  return noise_floor_db_inplace(p->readback.data(), p->nfft);
}

}  // namespace

psd_t* psd_create(std::uint64_t n, double fs, std::uint32_t window, float beta, std::uint64_t pad,
                  double full_scale, std::uint64_t bits, std::uint32_t mode, double alpha) {
  // Depths beyond the double range give an infinite full scale, refused below.
  if (bits != 0) full_scale = bits > 2000 ? HUGE_VAL : std::ldexp(1.0, static_cast<int>(bits - 1));
  if (mode > ACC_TRACE_MINHOLD || n < 2 || window > PSD_WINDOW_BLACKMAN_HARRIS) return nullptr;
  if (!(fs > 0.0) || !std::isfinite(fs) || !(full_scale > 0.0) || !std::isfinite(full_scale))
    return nullptr;
  if (pad == 0) pad = 1;
  if (n > UINT64_MAX / pad) return nullptr;
  const std::uint64_t nfft = kv::next_pow_two(n * pad);
  // The trace's blob describes its length in 32 bits; larger transforms are refused
  // here before any buffer is made.
  if (nfft == 0 || nfft > (UINT32_MAX - 40) / 8) return nullptr;

  return kv::guard<psd_t*>(nullptr, [&]() -> psd_t* {
    auto p = std::make_unique<psd_t>();
    p->n = n;
    p->nfft = nfft;
    p->fs = fs;
    p->full_scale = full_scale;
    p->bits = bits;
    p->window = kv::AlignedBuf<float>(n);
    p->window2 = kv::AlignedBuf<float>(2 * n);
    p->fft_in = kv::AlignedBuf<cf32_t>(nfft);
    p->fft_out = kv::AlignedBuf<cf32_t>(nfft);
    p->power = kv::AlignedBuf<float>(nfft);
    p->readback = kv::AlignedBuf<float>(nfft);
    p->peaks = kv::AlignedBuf<zr_peak_t>(nfft / 2 + 1);

    float* w = p->window.data();
    switch (window) {
      case PSD_WINDOW_HANN: hann_window(w, n); break;
      case PSD_WINDOW_KAISER: kaiser_window(w, n, beta); break;
      default: blackman_harris_window(w, n); break;
    }
    double s = 0.0, s2 = 0.0;
    for (std::uint64_t k = 0; k < n; ++k) {
      const double v = w[k];
      s += v;
      s2 += v * v;
      p->window2[2 * k] = w[k];
      p->window2[2 * k + 1] = w[k];
    }
    // A window that sums to zero (Hann of two points) or is not finite (Kaiser with
    // an overflowing beta) cannot calibrate anything: every output would be 0/0.
    if (!(s > 0.0) || !(s2 > 0.0) || !std::isfinite(s) || !std::isfinite(s2)) return nullptr;
    p->win_sum = s;
    p->win_sumsq = s2;
    p->enbw = static_cast<double>(n) * s2 / (s * s);
    p->dbhz_offset = 10.0 * std::log10(fs * s2 / (s * s));
    p->parseval = 1.0 / (full_scale * full_scale * static_cast<double>(nfft) * s2);

    p->fft.reset(fft_create(nfft, -1, 1));
    if (!p->fft) return nullptr;
    p->trace.reset(acc_trace_create(nfft, mode, alpha));
    if (!p->trace) return nullptr;
    return p.release();
  });
}

void psd_destroy(psd_t* p) { delete p; }

void psd_reset(psd_t* p) { acc_trace_reset(p->trace.get()); }

namespace {

// Transforms p->fft_in, writes the DC-centred powers and folds them into the trace.
void fold_frame(psd_t* p) {
  const std::size_t nfft = p->nfft, h = nfft / 2;
  fft_execute_cf32(p->fft.get(), p->fft_in.data(), nfft, p->fft_out.data(), nfft);
  const float* x = reinterpret_cast<const float*>(p->fft_out.data());
  // Bin k goes to (k + nfft/2) mod nfft: the two halves swap places.
  bin_powers(p->power.data() + h, x, nfft - h);
  bin_powers(p->power.data(), x + 2 * (nfft - h), h);
  acc_trace_accumulate(p->trace.get(), p->power.data(), nfft);
}

}  // namespace

std::uint64_t psd_accumulate(psd_t* p, const cf32_t* x, std::uint64_t len) {
  const std::uint64_t frames = len / p->n;
  float* in = reinterpret_cast<float*>(p->fft_in.data());
  const float* src = reinterpret_cast<const float*>(x);
  for (std::uint64_t f = 0; f < frames; ++f) {
    window_complex(in, src + 2 * f * p->n, p->window2.data(), 2 * p->n);
    fold_frame(p);
  }
  return frames;
}

std::uint64_t psd_accumulate_real(psd_t* p, const float* x, std::uint64_t len) {
  const std::uint64_t frames = len / p->n;
  float* in = reinterpret_cast<float*>(p->fft_in.data());
  for (std::uint64_t f = 0; f < frames; ++f) {
    window_real(in, x + f * p->n, p->window.data(), p->n);
    fold_frame(p);
  }
  return frames;
}

std::uint64_t psd_db(psd_t* p, float* out, std::uint64_t cap) {
  const std::uint64_t m = acc_trace_read(p->trace.get(), p->power.data(), cap);
  const double g = p->win_sum * p->full_scale;
  const double g2 = g * g;
  for (std::uint64_t i = 0; i < m; ++i) out[i] = to_db(p->power[i], g2);
  return m;
}

std::uint64_t psd_dbhz(psd_t* p, float* out, std::uint64_t cap) {
  const std::uint64_t m = psd_db(p, out, cap);
  for (std::uint64_t i = 0; i < m; ++i)
    out[i] = static_cast<float>(static_cast<double>(out[i]) - p->dbhz_offset);
  return m;
}

std::uint64_t psd_power_twosided(psd_t* p, float* out, std::uint64_t cap) {
  const std::uint64_t m = acc_trace_read(p->trace.get(), p->readback.data(), cap);
  const double ws2 = p->win_sum * p->win_sum;
  for (std::uint64_t i = 0; i < m; ++i)
    out[i] = static_cast<float>(static_cast<double>(p->readback[i]) / ws2);
  return m;
}

std::uint64_t psd_power_onesided(psd_t* p, float* out, std::uint64_t cap) {
  if (cap == 0 || acc_trace_read(p->trace.get(), p->readback.data(), p->nfft) == 0) return 0;
  const std::uint64_t h = p->nfft / 2;
  const double ws2 = p->win_sum * p->win_sum;
  const float* r = p->readback.data();
  auto q = [r, ws2](std::uint64_t i) { return static_cast<double>(r[i]) / ws2; };
  const std::uint64_t m = std::min(cap, h + 1);
  out[0] = static_cast<float>(q(h));
  for (std::uint64_t i = 1; i < m && i < h; ++i) out[i] = static_cast<float>(q(h - i) + q(h + i));
  if (cap > h) out[h] = static_cast<float>(q(0));
  return m;
}

std::uint64_t psd_nfft(const psd_t* p) { return p->nfft; }
std::uint64_t psd_power_onesided_max_out(const psd_t* p) { return p->nfft / 2 + 1; }
std::uint64_t psd_band_power_max_out(const psd_t*) { return 0; }

std::uint64_t psd_band_power(psd_t* p, const double* bands, std::uint64_t len, float* out,
                             std::uint64_t cap) {
  if (acc_trace_read(p->trace.get(), p->readback.data(), p->nfft) == 0) return 0;
  const std::uint64_t m = std::min(len / 2, cap);
  for (std::uint64_t k = 0; k < m; ++k)
    out[k] = static_cast<float>(lin_to_db(band_linear(p, bands[2 * k], bands[2 * k + 1])));
  return m;
}

double psd_total_band_power(psd_t* p, const double* bands, std::uint64_t len) {
  if (acc_trace_read(p->trace.get(), p->readback.data(), p->nfft) == 0) return -200.0;
  double s = 0.0;
  for (std::uint64_t k = 0; k < len / 2; ++k) s += band_linear(p, bands[2 * k], bands[2 * k + 1]);
  return lin_to_db(s);
}

double psd_occupied_bw(psd_t* p, double fraction) {
  if (acc_trace_read(p->trace.get(), p->readback.data(), p->nfft) == 0) return 0.0;
  return obw_from_power_f32(p->readback.data(), p->nfft, p->win_sum * p->win_sum, p->fs,
                            fraction);
}

double psd_noise_floor(psd_t* p) {
  if (!db_trace(p)) return 0.0;
  return db_median(p);
}

double psd_snr(psd_t* p, double lo_hz, double hi_hz) {
  if (acc_trace_count(p->trace.get()) == 0) return 0.0;
  std::int64_t a, b;
  if (!band_bins(p, lo_hz, hi_hz, a, b)) return 0.0;
  db_trace(p);
  const double nf = db_median(p);
  float peak = -std::numeric_limits<float>::infinity();
  for (std::int64_t i = a; i <= b; ++i) peak = std::max(peak, p->power[i]);
  return static_cast<double>(peak) - nf;
}

double psd_sfdr(psd_t* p, float min_db) {
  if (!db_trace(p)) return 0.0;
  zr_peak_t top[kSfdrPeaks];
  const std::uint64_t k =
      find_peaks_f32_into(p->power.data(), p->nfft, kSfdrPeaks, min_db, top, p->peaks.data());
  if (k < 2) return 0.0;
  return static_cast<double>(top[0].level_db - top[1].level_db);
}

std::uint64_t psd_n(const psd_t* p) { return p->n; }
double psd_fs(const psd_t* p) { return p->fs; }
double psd_full_scale(const psd_t* p) { return p->full_scale; }
std::uint64_t psd_bits(const psd_t* p) { return p->bits; }
double psd_enbw(const psd_t* p) { return p->enbw; }
double psd_rbw(const psd_t* p) { return p->fs * p->enbw / static_cast<double>(p->n); }
std::uint64_t psd_count(const psd_t* p) { return acc_trace_count(p->trace.get()); }
std::uint32_t psd_mode(const psd_t* p) { return acc_trace_mode(p->trace.get()); }
double psd_win_sum(const psd_t* p) { return p->win_sum; }

std::uint64_t psd_state_size(const psd_t* p) {
  return kv::kStateHeaderSize + acc_trace_state_size(p->trace.get());
}

void psd_get_state(const psd_t* p, std::uint8_t* buf) {
  kv::state_put_header(buf, kTag, kVersion, static_cast<std::uint32_t>(psd_state_size(p)));
  acc_trace_get_state(p->trace.get(), buf + kv::kStateHeaderSize);
}

int psd_set_state(psd_t* p, const std::uint8_t* buf) {
  if (!kv::state_check_header(buf, kTag, kVersion, static_cast<std::uint32_t>(psd_state_size(p))))
    return -4;
  return acc_trace_set_state(p->trace.get(), buf + kv::kStateHeaderSize) == 0 ? 0 : -4;
}
