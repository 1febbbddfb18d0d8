// Window functions and spectrum utilities: stateless, caller-owned arrays.
//
// All windows are symmetric (denominator N - 1), so w[0] = w[N-1]. The spectrum
// utilities work on DC-centred spectra: bin i of an N-bin spectrum sits at
// (i - floor(N/2)) / N cycles per sample.
#pragma once

#include <cstdint>

#include "common/core/samples.h"

// One spectral peak: interpolated frequency (cycles per sample, DC-centred) and
// interpolated level in the units of the input (dB). Two packed float32.
struct zr_peak_t {
  float freq_norm;
  float level_db;
};

// Modified Bessel function I0 by its power series in (z/2)^2; stops after a term
// below sum * 1e-15 or after 40 terms.
double bessel_i0_series(double z);

// w: n float32 values, filled; n: window length, any (0 writes nothing, 1 gives [1]).
void hann_window(float* w, std::uint64_t n);
// w: n float32 values, filled; n: any; beta: shape, 0 gives the rectangular window.
void kaiser_window(float* w, std::uint64_t n, float beta);
// Minimum 4-term Blackman-Harris. w: n float32 values, filled; n: any.
void blackman_harris_window(float* w, std::uint64_t n);

// atten_db: wanted peak-sidelobe attenuation in dB, any (NaN and <= 13.26 give 0).
double kaiser_beta_for_sidelobe(double atten_db);

// Equivalent noise bandwidth in bins, n * sum(w^2) / sum(w)^2. w: n values; n = 0 gives NaN.
float kaiser_enbw(const float* w, std::uint64_t n);

// out[k] = 20 log10(max(lin_floor, |x[k]|)) + offset_db in float32; NaN magnitudes stay NaN.
// x: n samples; out: n values; lin_floor: not validated; offset_db: added last.
void magnitude_db_cf32(const cf32_t* x, std::uint64_t n, float* out, float lin_floor,
                       float offset_db);
// As above with |x| and the logarithm in double. x: n samples; out: n values.
void magnitude_db_cf64(const cf64_t* x, std::uint64_t n, float* out, double lin_floor,
                       float offset_db);

// Local maxima above min_db of a DC-centred dB spectrum, parabolically interpolated,
// strongest first. db: n values; n_peaks: room in out; out: n_peaks records.
// Returns the number written: 0 when n <= 2, n_peaks = 0 or memory runs out.
std::uint64_t find_peaks_f32(const float* db, std::uint64_t n, std::uint64_t n_peaks,
                             float min_db, zr_peak_t* out);
// As find_peaks_f32 with a caller-supplied candidate list of at least n/2 + 1 records,
// so that it allocates nothing. cand: n/2 + 1 records of scratch.
std::uint64_t find_peaks_f32_into(const float* db, std::uint64_t n, std::uint64_t n_peaks,
                                  float min_db, zr_peak_t* out, zr_peak_t* cand);

// Width in Hz of the band holding the central fraction frac of the total power.
// pwr: n linear powers; fs: sample rate in Hz; frac: not validated.
// Returns 0 when n = 0 or the total is not a positive finite number.
double obw_from_power(const double* pwr, std::uint64_t n, double fs, double frac);
// As obw_from_power over the float32 powers pwr[i] / divisor (taken in double).
// pwr: n values; divisor: > 0.
double obw_from_power_f32(const float* pwr, std::uint64_t n, double divisor, double fs,
                          double frac);

// Median of n dB values (mean of the two middle ones for even n; NaN sorts above
// everything). db: n values. Returns 0 when n = 0 or memory runs out.
double noise_floor_db(const float* db, std::uint64_t n);
// As noise_floor_db, reordering work (n values, the caller's copy) instead of allocating.
double noise_floor_db_inplace(float* work, std::uint64_t n);
