// 1-D and 2-D complex FFT engines of fixed size and direction.
//
// Two precisions: the double path serves every length; the single-precision
// path serves CF32 and integer inputs whose length is eligible (L >= 16,
// 16 | L, no prime factor other than 2, 3, 5). Transforms are unnormalised in
// both directions: sign < 0 is forward (exp(-2*pi*i*jk/n)), sign >= 0 backward.
// Every plan and buffer is made at creation; execute calls allocate nothing
// except the scratch buffer, made once by the first call whose capacity is
// below the transform size.
#pragma once

#include <cstdint>

#include "common/core/samples.h"

struct fft_state_t;
struct fft2d_state_t;

// True when the single-precision path serves length len.
bool fft_simd_eligible(std::uint64_t len);

// Makes the FFT planner safe to call from several threads; idempotent. Engines
// call it themselves, modules call it once at import.
void fft_library_init();

// n: transform length, n >= 1; sign: < 0 forward, >= 0 backward; nthreads: ignored.
// Returns null for n = 0, a length the FFT library cannot plan, or exhausted memory.
fft_state_t* fft_create(std::uint64_t n, std::int32_t sign, std::int32_t nthreads);
// e: engine or null (ignored).
void fft_destroy(fft_state_t* e);
// Number of output elements of every execute call: n.
std::uint64_t fft_max_out(const fft_state_t* e);
std::uint64_t fft_len(const fft_state_t* e);
std::int32_t fft_sign(const fft_state_t* e);
// True when the CF32 and integer entry points run the single-precision path.
bool fft_uses_simd(const fft_state_t* e);

// in: in_len samples (fewer than n are taken as zero-padded to n, more are ignored);
// out: cap samples. Returns min(n, cap), or 0 when the scratch buffer cannot be made.
// in and out may be the same memory.
std::uint64_t fft_execute_cf64(fft_state_t* e, const cf64_t* in, std::uint64_t in_len,
                               cf64_t* out, std::uint64_t cap);
std::uint64_t fft_execute_cf32(fft_state_t* e, const cf32_t* in, std::uint64_t in_len,
                               cf32_t* out, std::uint64_t cap);
// Copies min(in_len, n) samples to the start of the destination (out when cap >= n,
// else the scratch buffer), leaves the rest of it as it was, and transforms it in place.
std::uint64_t fft_execute_inplace_cf64(fft_state_t* e, const cf64_t* in, std::uint64_t in_len,
                                       cf64_t* out, std::uint64_t cap);
std::uint64_t fft_execute_inplace_cf32(fft_state_t* e, const cf32_t* in, std::uint64_t in_len,
                                       cf32_t* out, std::uint64_t cap);
// in: in_values integers I0, Q0, I1, Q1, ... scaled by 2^-15 (int16) or 2^-7 (int8);
// missing samples are zeros, an odd trailing value is ignored. out: n samples. Returns n.
std::uint64_t fft_execute_ci16(fft_state_t* e, const std::int16_t* in, std::uint64_t in_values,
                               cf32_t* out);
std::uint64_t fft_execute_ci8(fft_state_t* e, const std::int8_t* in, std::uint64_t in_values,
                              cf32_t* out);

// ny: rows (outer), nx: columns (inner), both >= 1. Row-major grids of ny*nx samples.
fft2d_state_t* fft2d_create(std::uint64_t ny, std::uint64_t nx, std::int32_t sign,
                            std::int32_t nthreads);
void fft2d_destroy(fft2d_state_t* e);
// ny * nx.
std::uint64_t fft2d_max_out(const fft2d_state_t* e);
std::uint64_t fft2d_ny(const fft2d_state_t* e);
std::uint64_t fft2d_nx(const fft2d_state_t* e);
std::int32_t fft2d_sign(const fft2d_state_t* e);
bool fft2d_uses_simd(const fft2d_state_t* e);
// As the 1-D entry points with n replaced by ny * nx.
std::uint64_t fft2d_execute_cf64(fft2d_state_t* e, const cf64_t* in, std::uint64_t in_len,
                                 cf64_t* out, std::uint64_t cap);
std::uint64_t fft2d_execute_cf32(fft2d_state_t* e, const cf32_t* in, std::uint64_t in_len,
                                 cf32_t* out, std::uint64_t cap);
std::uint64_t fft2d_execute_inplace_cf64(fft2d_state_t* e, const cf64_t* in,
                                         std::uint64_t in_len, cf64_t* out, std::uint64_t cap);
std::uint64_t fft2d_execute_inplace_cf32(fft2d_state_t* e, const cf32_t* in,
                                         std::uint64_t in_len, cf32_t* out, std::uint64_t cap);
