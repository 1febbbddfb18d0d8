// Averaging power-spectrum estimator and its measurements.
//
// Each whole frame of n samples is windowed, zero-padded to nfft =
// next_pow_two(n * pad), transformed forward (single precision), turned into
// DC-centred bin powers (DC at nfft/2, the Nyquist bin at 0) and folded into a
// trace accumulator of nfft bins. Readers and measurements read that trace and
// change nothing. Every buffer is made at creation: accumulating and reading
// allocate nothing.
//
// State blob: tag "PSD ", version 1, 40 + 8 nfft bytes: header, then the trace
// accumulator's complete "ATRC" blob.
#pragma once

#include <cstdint>

#include "common/core/samples.h"

struct psd_t;

// Window indices.
enum : std::uint32_t {
  PSD_WINDOW_HANN = 0,
  PSD_WINDOW_KAISER = 1,
  PSD_WINDOW_BLACKMAN_HARRIS = 2,
};

// n: frame length, n >= 2; fs: sample rate in Hz, finite and > 0; window: 0..2;
// beta: Kaiser shape (window 1 only); pad: zero-padding factor, 0 taken as 1;
// full_scale: amplitude reading 0 dBFS, finite and > 0 (ignored when bits != 0);
// bits: ADC depth, 0 or >= 1 (sets full_scale = 2^(bits-1)); mode: averaging mode
// 0..3 (mean, exp, maxhold, minhold); alpha: smoothing factor of mode 1.
// Returns null for an invalid parameter or exhausted memory.
psd_t* psd_create(std::uint64_t n, double fs, std::uint32_t window, float beta, std::uint64_t pad,
                  double full_scale, std::uint64_t bits, std::uint32_t mode, double alpha);
// p: record or null (ignored).
void psd_destroy(psd_t* p);
// Empties the trace (count 0).
void psd_reset(psd_t* p);
// x: len samples. Folds the floor(len / n) whole frames; the remainder is dropped.
// Returns the number of frames folded.
std::uint64_t psd_accumulate(psd_t* p, const cf32_t* x, std::uint64_t len);
// As psd_accumulate for real samples (imaginary part 0). x: len values.
std::uint64_t psd_accumulate_real(psd_t* p, const float* x, std::uint64_t len);

// Readers: out: cap values. Each writes min(nfft, cap) values and returns that number,
// 0 (nothing written) before the first frame. All outputs are DC-centred.
// dBFS per bin, floored at -200 dB (NaN powers read -200).
std::uint64_t psd_db(psd_t* p, float* out, std::uint64_t cap);
// dBFS/Hz: psd_db minus 10 log10(rbw).
std::uint64_t psd_dbhz(psd_t* p, float* out, std::uint64_t cap);
// Linear power per bin, P / win_sum^2.
std::uint64_t psd_power_twosided(psd_t* p, float* out, std::uint64_t cap);
// One-sided linear power: DC, then negative plus positive frequency, then Nyquist
// (written only when cap > nfft/2). Writes min(cap, nfft/2 + 1) values.
std::uint64_t psd_power_onesided(psd_t* p, float* out, std::uint64_t cap);
// Capacity of the two-sided outputs: nfft.
std::uint64_t psd_nfft(const psd_t* p);
// Capacity of the one-sided output: nfft/2 + 1.
std::uint64_t psd_power_onesided_max_out(const psd_t* p);

// Measurements. Frequencies are Hz relative to DC; bands are pairs [lo, hi] in
// either order, a trailing odd value ignored.
// bands: len float64 values; out: cap values. Writes min(len/2, cap) band powers in
// dBFS (empty or out-of-range bands read -200); 0 before the first frame.
std::uint64_t psd_band_power(psd_t* p, const double* bands, std::uint64_t len, float* out,
                             std::uint64_t cap);
// Capacity query of psd_band_power: 0 (its output size follows the bands given).
std::uint64_t psd_band_power_max_out(const psd_t* p);
// Sum of the linear powers of all len/2 bands in dBFS; -200 before the first frame.
double psd_total_band_power(psd_t* p, const double* bands, std::uint64_t len);
// Width in Hz holding the central fraction of the total power; 0 before the first frame.
double psd_occupied_bw(psd_t* p, double fraction);
// Median of the dB trace; 0 before the first frame.
double psd_noise_floor(psd_t* p);
// Highest dB bin in [lo_hz, hi_hz] minus the noise floor; 0 before the first frame
// or when the band lies outside the spectrum.
double psd_snr(psd_t* p, double lo_hz, double hi_hz);
// Level of the strongest minus the second strongest of up to 16 peaks above min_db;
// 0 with fewer than two peaks or before the first frame.
double psd_sfdr(psd_t* p, float min_db);

std::uint64_t psd_n(const psd_t* p);
double psd_fs(const psd_t* p);
double psd_full_scale(const psd_t* p);
std::uint64_t psd_bits(const psd_t* p);
// Equivalent noise bandwidth of the window in bins.
double psd_enbw(const psd_t* p);
// Resolution bandwidth in Hz, fs * enbw / n.
double psd_rbw(const psd_t* p);
// Frames folded since creation or reset.
std::uint64_t psd_count(const psd_t* p);
std::uint32_t psd_mode(const psd_t* p);
// Sum of the window coefficients (the coherent gain times n).
double psd_win_sum(const psd_t* p);

// 40 + 8 nfft.
std::uint64_t psd_state_size(const psd_t* p);
// buf: exactly psd_state_size(p) bytes.
void psd_get_state(const psd_t* p, std::uint8_t* buf);
// buf: psd_state_size(p) bytes. Returns 0, or -4 with the record unchanged.
int psd_set_state(psd_t* p, const std::uint8_t* buf);
