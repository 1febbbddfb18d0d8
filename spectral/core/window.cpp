#include "spectral/core/window.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "common/core/guard.h"

namespace {

constexpr double kTwoPi = 6.283185307179586476925286766559;

// Total order for float32 values with NaN above every number, so that sorting
// caller data that holds NaN stays well defined.
bool less_nan_last(float a, float b) { return a < b || (!std::isnan(a) && std::isnan(b)); }

// Walk of the running power sum shared by both obw entry points. power(j) yields
// the j-th linear power in double.
template <class Power>
double obw_walk(std::uint64_t n, double fs, double frac, Power power) {
  if (n == 0) return 0.0;
  double total = 0.0;
  for (std::uint64_t j = 0; j < n; ++j) total += power(j);
  if (!(total > 0.0) || !std::isfinite(total)) return 0.0;
  const double lo = (0.5 - 0.5 * frac) * total;
  const double hi = (0.5 + 0.5 * frac) * total;
  double s = 0.0;
  std::uint64_t e = 0, j = 0;
  bool have_edge = false;
  for (j = 0; j < n; ++j) {
    s += power(j);
    // For frac >= 1 the lower threshold is 0 or below: the edge is then the first
    // bin that holds power, so leading empty bins do not count as occupied.
    if (!have_edge && s >= lo && s > 0.0) {
      e = j;
      have_edge = true;
    }
    if (s >= hi) break;
  }
  if (j == n) j = n - 1;
  // A negative frac puts hi below lo: the walk then stops before the lower edge
  // and the band shrinks to the bin where it stopped.
  if (!have_edge || e > j) e = j;
  return static_cast<double>(j - e + 1) * fs / static_cast<double>(n);
}

}  // namespace

double bessel_i0_series(double z) {
  const double h = 0.5 * z;
  double sum = 1.0, t = 1.0;
  for (int k = 1; k <= 40; ++k) {
    const double q = h / k;
    t *= q * q;
    sum += t;
    if (t < sum * 1e-15) break;
  }
  return sum;
}

void hann_window(float* w, std::uint64_t n) {
  if (n == 0) return;
  if (n == 1) {
    w[0] = 1.0f;
    return;
  }
  const double den = static_cast<double>(n - 1);
  for (std::uint64_t k = 0; k < n; ++k) {
    const float c = static_cast<float>(std::cos(kTwoPi * static_cast<double>(k) / den));
    w[k] = 0.5f - 0.5f * c;
  }
}

void kaiser_window(float* w, std::uint64_t n, float beta) {
  if (n == 0) return;
  if (n == 1) {
    w[0] = 1.0f;
    return;
  }
  const double b = beta;
  const double norm = bessel_i0_series(b);
  const double den = static_cast<double>(n - 1);
  for (std::uint64_t k = 0; k < n; ++k) {
    const double r = (2.0 * static_cast<double>(k) - den) / den;
    const double arg = std::max(0.0, 1.0 - r * r);
    w[k] = static_cast<float>(bessel_i0_series(b * std::sqrt(arg)) / norm);
  }
}

void blackman_harris_window(float* w, std::uint64_t n) {
  if (n == 0) return;
  if (n == 1) {
    w[0] = 1.0f;
    return;
  }
  const double den = static_cast<double>(n - 1);
  for (std::uint64_t k = 0; k < n; ++k) {
    const double t = kTwoPi * static_cast<double>(k) / den;
    w[k] = static_cast<float>(0.35875 - 0.48829 * std::cos(t) + 0.14128 * std::cos(2.0 * t) -
                              0.01168 * std::cos(3.0 * t));
  }
}

double kaiser_beta_for_sidelobe(double a) {
  if (a > 60.0) return 0.12438 * a + 0.783594;
  if (a > 13.26) return 0.76609 * std::pow(a - 13.26, 0.4) + 0.09834 * (a - 13.26);
  return 0.0;
}

float kaiser_enbw(const float* w, std::uint64_t n) {
  double s = 0.0, s2 = 0.0;
  for (std::uint64_t k = 0; k < n; ++k) {
    const double v = w[k];
    s += v;
    s2 += v * v;
  }
  return static_cast<float>(static_cast<double>(n) * s2 / (s * s));
}

void magnitude_db_cf32(const cf32_t* x, std::uint64_t n, float* out, float lin_floor,
                       float offset_db) {
  for (std::uint64_t k = 0; k < n; ++k) {
    float m = std::hypot(x[k].re, x[k].im);
    // Written so that a NaN magnitude is kept rather than replaced by the floor.
    if (m < lin_floor) m = lin_floor;
    out[k] = 20.0f * std::log10(m) + offset_db;
  }
}

void magnitude_db_cf64(const cf64_t* x, std::uint64_t n, float* out, double lin_floor,
                       float offset_db) {
  for (std::uint64_t k = 0; k < n; ++k) {
    double m = std::hypot(x[k].re, x[k].im);
    if (m < lin_floor) m = lin_floor;
    out[k] = static_cast<float>(20.0 * std::log10(m)) + offset_db;
  }
}

std::uint64_t find_peaks_f32_into(const float* db, std::uint64_t n, std::uint64_t n_peaks,
                                  float min_db, zr_peak_t* out, zr_peak_t* cand) {
  if (n <= 2 || n_peaks == 0) return 0;
  const std::uint64_t max_cand = n / 2 + 1;
  const std::int64_t half = static_cast<std::int64_t>(n / 2);
  const float inv_n = 1.0f / static_cast<float>(n);
  std::uint64_t count = 0;
  for (std::uint64_t k = 1; k + 1 < n && count < max_cand; ++k) {
    const float l = db[k - 1], p = db[k], r = db[k + 1];
    // Rising on the left, not rising on the right: a plateau reports its first bin.
    // Comparisons with NaN are false, so NaN never qualifies.
    if (!(p > min_db && p > l && p >= r)) continue;
    const float den = l - 2.0f * p + r;
    float d = den != 0.0f ? 0.5f * (l - r) / den : 0.0f;
    // Infinite neighbours give inf/inf; such a peak is taken at its bin centre.
    if (!std::isfinite(d)) d = 0.0f;
    d = std::clamp(d, -0.5f, 0.5f);
    zr_peak_t& c = cand[count++];
    c.freq_norm = inv_n * (static_cast<float>(static_cast<std::int64_t>(k) - half) + d);
    c.level_db = d != 0.0f ? p - 0.25f * (l - r) * d : p;
  }
  std::sort(cand, cand + count,
            [](const zr_peak_t& a, const zr_peak_t& b) { return a.level_db > b.level_db; });
  const std::uint64_t m = std::min(count, n_peaks);
  std::copy(cand, cand + m, out);
  return m;
}

std::uint64_t find_peaks_f32(const float* db, std::uint64_t n, std::uint64_t n_peaks,
                             float min_db, zr_peak_t* out) {
  return kv::guard<std::uint64_t>(0, [&]() -> std::uint64_t {
    if (n <= 2 || n_peaks == 0) return 0;
    std::vector<zr_peak_t> cand(n / 2 + 1);
    return find_peaks_f32_into(db, n, n_peaks, min_db, out, cand.data());
  });
}

double obw_from_power(const double* pwr, std::uint64_t n, double fs, double frac) {
  return obw_walk(n, fs, frac, [pwr](std::uint64_t j) { return pwr[j]; });
}

double obw_from_power_f32(const float* pwr, std::uint64_t n, double divisor, double fs,
                          double frac) {
  return obw_walk(n, fs, frac,
                  [pwr, divisor](std::uint64_t j) { return static_cast<double>(pwr[j]) / divisor; });
}

double noise_floor_db_inplace(float* work, std::uint64_t n) {
  if (n == 0) return 0.0;
  float* mid = work + n / 2;
  std::nth_element(work, mid, work + n, less_nan_last);
  if (n % 2 == 1) return *mid;
  // Every element below mid is now <= *mid: the lower middle is their maximum.
  const float lower = *std::max_element(work, mid, less_nan_last);
  return 0.5 * (static_cast<double>(lower) + static_cast<double>(*mid));
}

double noise_floor_db(const float* db, std::uint64_t n) {
  return kv::guard<double>(0.0, [&]() -> double {
    if (n == 0) return 0.0;
    std::vector<float> work(db, db + n);
    return noise_floor_db_inplace(work.data(), n);
  });
}
