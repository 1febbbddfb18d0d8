#include "spectral/core/fft.h"

#include <fftw3.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>

#include "common/core/aligned.h"
#include "common/core/guard.h"

namespace {

// FFTW's planner is deterministic only in estimate mode: timing-based planning
// may pick a different algorithm per run, and with it different rounding.
constexpr unsigned kPlanFlags = FFTW_ESTIMATE | FFTW_PRESERVE_INPUT;

struct Plan64Deleter {
  void operator()(fftw_plan_s* p) const { fftw_destroy_plan(p); }
};
struct Plan32Deleter {
  void operator()(fftwf_plan_s* p) const { fftwf_destroy_plan(p); }
};
using Plan64 = std::unique_ptr<fftw_plan_s, Plan64Deleter>;
using Plan32 = std::unique_ptr<fftwf_plan_s, Plan32Deleter>;

// New-array execution needs the alignment the plan was made with; every
// planning buffer here is 64-byte aligned, so FFTW sees alignment 0.
bool aligned64(const void* p) { return fftw_alignment_of((double*)p) == 0; }
bool aligned32(const void* p) { return fftwf_alignment_of((float*)p) == 0; }

fftw_complex* c64(cf64_t* p) { return reinterpret_cast<fftw_complex*>(p); }
fftwf_complex* c32(cf32_t* p) { return reinterpret_cast<fftwf_complex*>(p); }

int direction(std::int32_t sign) { return sign < 0 ? FFTW_FORWARD : FFTW_BACKWARD; }

bool fits_int(std::uint64_t v) { return v >= 1 && v <= static_cast<std::uint64_t>(INT_MAX); }

void widen(const cf32_t* __restrict in, cf64_t* __restrict out, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    out[i].re = in[i].re;
    out[i].im = in[i].im;
  }
}
void narrow(const cf64_t* __restrict in, cf32_t* __restrict out, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    out[i].re = static_cast<float>(in[i].re);
    out[i].im = static_cast<float>(in[i].im);
  }
}
// Rounds doubles to float precision in place: the non-eligible CF32 2-D path
// narrows its grid to float between the row and the column pass.
void round_to_float(cf64_t* p, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    p[i].re = static_cast<float>(p[i].re);
    p[i].im = static_cast<float>(p[i].im);
  }
}
template <class T>
void scale_ints(const T* __restrict in, std::size_t samples, float k, float* __restrict out) {
  for (std::size_t i = 0; i < 2 * samples; ++i) out[i] = static_cast<float>(in[i]) * k;
}
template <class T>
void scale_ints_wide(const T* __restrict in, std::size_t samples, double k,
                     double* __restrict out) {
  for (std::size_t i = 0; i < 2 * samples; ++i) out[i] = static_cast<double>(in[i]) * k;
}

// One precision's transform: an out-of-place plan over `len` samples made on
// two aligned staging buffers, run on caller memory when alignment allows and
// through the staging buffers otherwise. The same plan serves every call, so a
// result does not depend on where the caller's arrays happen to sit.
template <class S>
struct Stage;

template <>
struct Stage<cf64_t> {
  Plan64 plan;
  kv::AlignedBuf<cf64_t> in, out;
  std::size_t len = 0;

  void run(const cf64_t* src, cf64_t* dst) {
    const cf64_t* s = src;
    if (!aligned64(src) || src == dst) {
      if (src != in.data()) std::memcpy(in.data(), src, len * sizeof(cf64_t));
      s = in.data();
    }
    if (aligned64(dst) && s != dst) {
      fftw_execute_dft(plan.get(), c64(const_cast<cf64_t*>(s)), c64(dst));
    } else {
      fftw_execute_dft(plan.get(), c64(const_cast<cf64_t*>(s)), c64(out.data()));
      std::memcpy(dst, out.data(), len * sizeof(cf64_t));
    }
  }
};

template <>
struct Stage<cf32_t> {
  Plan32 plan;
  kv::AlignedBuf<cf32_t> in, out;
  std::size_t len = 0;

  void run(const cf32_t* src, cf32_t* dst) {
    const cf32_t* s = src;
    if (!aligned32(src) || src == dst) {
      if (src != in.data()) std::memcpy(in.data(), src, len * sizeof(cf32_t));
      s = in.data();
    }
    if (aligned32(dst) && s != dst) {
      fftwf_execute_dft(plan.get(), c32(const_cast<cf32_t*>(s)), c32(dst));
    } else {
      fftwf_execute_dft(plan.get(), c32(const_cast<cf32_t*>(s)), c32(out.data()));
      std::memcpy(dst, out.data(), len * sizeof(cf32_t));
    }
  }
};

bool make_1d(Stage<cf64_t>& st, std::size_t n, int dir) {
  st.len = n;
  st.in = kv::AlignedBuf<cf64_t>(n);
  st.out = kv::AlignedBuf<cf64_t>(n);
  st.plan.reset(fftw_plan_dft_1d(static_cast<int>(n), c64(st.in.data()), c64(st.out.data()),
                                 dir, kPlanFlags));
  return st.plan != nullptr;
}
bool make_1d(Stage<cf32_t>& st, std::size_t n, int dir) {
  st.len = n;
  st.in = kv::AlignedBuf<cf32_t>(n);
  st.out = kv::AlignedBuf<cf32_t>(n);
  st.plan.reset(fftwf_plan_dft_1d(static_cast<int>(n), c32(st.in.data()), c32(st.out.data()),
                                  dir, kPlanFlags));
  return st.plan != nullptr;
}
bool make_2d(Stage<cf64_t>& st, std::size_t ny, std::size_t nx, int dir) {
  st.len = ny * nx;
  st.in = kv::AlignedBuf<cf64_t>(st.len);
  st.out = kv::AlignedBuf<cf64_t>(st.len);
  st.plan.reset(fftw_plan_dft_2d(static_cast<int>(ny), static_cast<int>(nx), c64(st.in.data()),
                                 c64(st.out.data()), dir, kPlanFlags));
  return st.plan != nullptr;
}
bool make_2d(Stage<cf32_t>& st, std::size_t ny, std::size_t nx, int dir) {
  st.len = ny * nx;
  st.in = kv::AlignedBuf<cf32_t>(st.len);
  st.out = kv::AlignedBuf<cf32_t>(st.len);
  st.plan.reset(fftwf_plan_dft_2d(static_cast<int>(ny), static_cast<int>(nx),
                                  c32(st.in.data()), c32(st.out.data()), dir, kPlanFlags));
  return st.plan != nullptr;
}

// Scratch destination for calls whose capacity is below the transform size.
template <class T>
T* scratch_of(std::unique_ptr<cf64_t[]>& scratch, std::size_t n) {
  if (!scratch) {
    scratch.reset(new (std::nothrow) cf64_t[n]());
    if (!scratch) return nullptr;
  }
  return reinterpret_cast<T*>(scratch.get());
}

// The shared bounded-output frame of every execute: pick the destination,
// let `body` fill n samples there, copy back what the caller has room for.
template <class T, class Body>
std::uint64_t bounded(std::unique_ptr<cf64_t[]>& scratch, std::size_t n, T* out,
                      std::uint64_t cap, Body&& body) {
  T* dst = cap >= n ? out : scratch_of<T>(scratch, n);
  if (!dst) return 0;
  body(dst);
  if (dst == out) return n;
  std::memcpy(out, dst, cap * sizeof(T));
  return cap;
}

// Gives the transform a full frame: a short input is zero-padded in the
// staging buffer instead of being read past its end.
template <class T>
const T* full_frame(const T* in, std::uint64_t in_len, std::size_t n, T* staging) {
  if (in_len >= n) return in;
  std::memcpy(staging, in, in_len * sizeof(T));
  std::memset(static_cast<void*>(staging + in_len), 0, (n - in_len) * sizeof(T));
  return staging;
}

template <class T>
void copy_prefix(const T* in, std::uint64_t in_len, std::size_t n, T* dst) {
  std::size_t m = std::min<std::uint64_t>(in_len, n);
  if (dst != in && m) std::memmove(dst, in, m * sizeof(T));
}

// The CF32 transform of m <= len samples zero-padded to len: the single-precision
// plan when the length is eligible, else widened through the double plan.
void run_cf32(Stage<cf32_t>& p32, Stage<cf64_t>& p64, bool simd, const cf32_t* src,
              std::size_t m, std::size_t len, cf32_t* dst) {
  if (simd) {
    p32.run(full_frame(src, m, len, p32.in.data()), dst);
    return;
  }
  widen(src, p64.in.data(), m);
  std::memset(static_cast<void*>(p64.in.data() + m), 0, (len - m) * sizeof(cf64_t));
  fftw_execute_dft(p64.plan.get(), c64(p64.in.data()), c64(p64.out.data()));
  narrow(p64.out.data(), dst, len);
}

}  // namespace

struct fft_state_t {
  std::size_t n = 0;
  std::int32_t sign = -1;
  bool simd = false;
  Stage<cf64_t> p64;  // double path: CF64, and CF32/integer of non-eligible lengths
  Stage<cf32_t> p32;  // single-precision path, eligible lengths only
  std::unique_ptr<cf64_t[]> scratch;

  // CF32 transform of the m <= n samples at src, zero-padded to n, into dst,
  // by the path this length uses.
  void run32(const cf32_t* src, std::size_t m, cf32_t* dst) { run_cf32(p32, p64, simd, src, m, n, dst); }
};

struct fft2d_state_t {
  std::size_t ny = 0, nx = 0, len = 0;
  std::int32_t sign = -1;
  bool simd = false;
  Stage<cf64_t> p64;
  Stage<cf32_t> p32;
  // Non-eligible CF32 grids: separate row and column passes over a double grid.
  Plan64 rows, cols;
  kv::AlignedBuf<cf64_t> grid;
  std::unique_ptr<cf64_t[]> scratch;

  void run32(const cf32_t* src, std::size_t m, cf32_t* dst) {
    if (simd) {
      p32.run(full_frame(src, m, len, p32.in.data()), dst);
      return;
    }
    widen(src, grid.data(), m);
    std::memset(static_cast<void*>(grid.data() + m), 0, (len - m) * sizeof(cf64_t));
    fftw_execute_dft(rows.get(), c64(grid.data()), c64(grid.data()));
    round_to_float(grid.data(), len);
    fftw_execute_dft(cols.get(), c64(grid.data()), c64(grid.data()));
    narrow(grid.data(), dst, len);
  }
};

bool fft_simd_eligible(std::uint64_t len) {
  if (len < 16 || len % 16 != 0) return false;
  for (std::uint64_t f : {2u, 3u, 5u})
    while (len % f == 0) len /= f;
  return len == 1;
}

void fft_library_init() {
  static std::once_flag once;
  std::call_once(once, [] {
    fftw_make_planner_thread_safe();
    fftwf_make_planner_thread_safe();
  });
}

fft_state_t* fft_create(std::uint64_t n, std::int32_t sign, std::int32_t /*nthreads*/) {
  return kv::guard<fft_state_t*>(nullptr, [&]() -> fft_state_t* {
    if (!fits_int(n)) return nullptr;
    fft_library_init();
    auto e = std::make_unique<fft_state_t>();
    e->n = n;
    e->sign = sign;
    int dir = direction(sign);
    if (!make_1d(e->p64, n, dir)) return nullptr;
    if (fft_simd_eligible(n)) {
      // A single-precision plan that cannot be made leaves the double path in charge.
      try {
        e->simd = make_1d(e->p32, n, dir);
      } catch (const std::bad_alloc&) {
        e->simd = false;
      }
      if (!e->simd) e->p32 = Stage<cf32_t>{};
    }
    return e.release();
  });
}

void fft_destroy(fft_state_t* e) { delete e; }
std::uint64_t fft_max_out(const fft_state_t* e) { return e->n; }
std::uint64_t fft_len(const fft_state_t* e) { return e->n; }
std::int32_t fft_sign(const fft_state_t* e) { return e->sign; }
bool fft_uses_simd(const fft_state_t* e) { return e->simd; }

std::uint64_t fft_execute_cf64(fft_state_t* e, const cf64_t* in, std::uint64_t in_len,
                               cf64_t* out, std::uint64_t cap) {
  return bounded(e->scratch, e->n, out, cap, [&](cf64_t* dst) {
    e->p64.run(full_frame(in, in_len, e->n, e->p64.in.data()), dst);
  });
}

std::uint64_t fft_execute_cf32(fft_state_t* e, const cf32_t* in, std::uint64_t in_len,
                               cf32_t* out, std::uint64_t cap) {
  return bounded(e->scratch, e->n, out, cap, [&](cf32_t* dst) {
    e->run32(in, std::min<std::uint64_t>(in_len, e->n), dst);
  });
}

std::uint64_t fft_execute_inplace_cf64(fft_state_t* e, const cf64_t* in, std::uint64_t in_len,
                                       cf64_t* out, std::uint64_t cap) {
  return bounded(e->scratch, e->n, out, cap, [&](cf64_t* dst) {
    copy_prefix(in, in_len, e->n, dst);
    e->p64.run(dst, dst);
  });
}

std::uint64_t fft_execute_inplace_cf32(fft_state_t* e, const cf32_t* in, std::uint64_t in_len,
                                       cf32_t* out, std::uint64_t cap) {
  return bounded(e->scratch, e->n, out, cap, [&](cf32_t* dst) {
    copy_prefix(in, in_len, e->n, dst);
    e->run32(dst, e->n, dst);
  });
}

namespace {
// Integer I/Q straight into the staging buffer of the path in use: no
// intermediate float array.
template <class T>
std::uint64_t execute_int(fft_state_t* e, const T* in, std::uint64_t in_values, cf32_t* out,
                          float scale) {
  std::size_t n = e->n;
  std::size_t m = std::min<std::uint64_t>(in_values / 2, n);
  if (e->simd) {
    float* st = reinterpret_cast<float*>(e->p32.in.data());
    scale_ints(in, m, scale, st);
    std::memset(st + 2 * m, 0, (n - m) * sizeof(cf32_t));
    e->p32.run(e->p32.in.data(), out);
  } else {
    double* st = reinterpret_cast<double*>(e->p64.in.data());
    scale_ints_wide(in, m, static_cast<double>(scale), st);
    std::memset(st + 2 * m, 0, (n - m) * sizeof(cf64_t));
    fftw_execute_dft(e->p64.plan.get(), c64(e->p64.in.data()), c64(e->p64.out.data()));
    narrow(e->p64.out.data(), out, n);
  }
  return n;
}
}  // namespace

std::uint64_t fft_execute_ci16(fft_state_t* e, const std::int16_t* in, std::uint64_t in_values,
                               cf32_t* out) {
  return execute_int(e, in, in_values, out, 1.0f / 32768.0f);
}

std::uint64_t fft_execute_ci8(fft_state_t* e, const std::int8_t* in, std::uint64_t in_values,
                              cf32_t* out) {
  return execute_int(e, in, in_values, out, 1.0f / 128.0f);
}

fft2d_state_t* fft2d_create(std::uint64_t ny, std::uint64_t nx, std::int32_t sign,
                            std::int32_t /*nthreads*/) {
  return kv::guard<fft2d_state_t*>(nullptr, [&]() -> fft2d_state_t* {
    if (!fits_int(ny) || !fits_int(nx) || ny * nx > static_cast<std::uint64_t>(INT_MAX))
      return nullptr;
    fft_library_init();
    auto e = std::make_unique<fft2d_state_t>();
    e->ny = ny;
    e->nx = nx;
    e->len = ny * nx;
    e->sign = sign;
    int dir = direction(sign);
    if (!make_2d(e->p64, ny, nx, dir)) return nullptr;
    if (fft_simd_eligible(ny) && fft_simd_eligible(nx)) {
      try {
        e->simd = make_2d(e->p32, ny, nx, dir);
      } catch (const std::bad_alloc&) {
        e->simd = false;
      }
      if (!e->simd) e->p32 = Stage<cf32_t>{};
    }
    if (!e->simd) {
      e->grid = kv::AlignedBuf<cf64_t>(e->len);
      int inx = static_cast<int>(nx), iny = static_cast<int>(ny);
      e->rows.reset(fftw_plan_many_dft(1, &inx, iny, c64(e->grid.data()), nullptr, 1, inx,
                                       c64(e->grid.data()), nullptr, 1, inx, dir, FFTW_ESTIMATE));
      e->cols.reset(fftw_plan_many_dft(1, &iny, inx, c64(e->grid.data()), nullptr, inx, 1,
                                       c64(e->grid.data()), nullptr, inx, 1, dir, FFTW_ESTIMATE));
      if (!e->rows || !e->cols) return nullptr;
    }
    return e.release();
  });
}

void fft2d_destroy(fft2d_state_t* e) { delete e; }
std::uint64_t fft2d_max_out(const fft2d_state_t* e) { return e->len; }
std::uint64_t fft2d_ny(const fft2d_state_t* e) { return e->ny; }
std::uint64_t fft2d_nx(const fft2d_state_t* e) { return e->nx; }
std::int32_t fft2d_sign(const fft2d_state_t* e) { return e->sign; }
bool fft2d_uses_simd(const fft2d_state_t* e) { return e->simd; }

std::uint64_t fft2d_execute_cf64(fft2d_state_t* e, const cf64_t* in, std::uint64_t in_len,
                                 cf64_t* out, std::uint64_t cap) {
  return bounded(e->scratch, e->len, out, cap, [&](cf64_t* dst) {
    e->p64.run(full_frame(in, in_len, e->len, e->p64.in.data()), dst);
  });
}

std::uint64_t fft2d_execute_cf32(fft2d_state_t* e, const cf32_t* in, std::uint64_t in_len,
                                 cf32_t* out, std::uint64_t cap) {
  return bounded(e->scratch, e->len, out, cap, [&](cf32_t* dst) {
    e->run32(in, std::min<std::uint64_t>(in_len, e->len), dst);
  });
}

std::uint64_t fft2d_execute_inplace_cf64(fft2d_state_t* e, const cf64_t* in,
                                         std::uint64_t in_len, cf64_t* out, std::uint64_t cap) {
  return bounded(e->scratch, e->len, out, cap, [&](cf64_t* dst) {
    copy_prefix(in, in_len, e->len, dst);
    e->p64.run(dst, dst);
  });
}

std::uint64_t fft2d_execute_inplace_cf32(fft2d_state_t* e, const cf32_t* in,
                                         std::uint64_t in_len, cf32_t* out, std::uint64_t cap) {
  return bounded(e->scratch, e->len, out, cap, [&](cf32_t* dst) {
    copy_prefix(in, in_len, e->len, dst);
    e->run32(dst, e->len, dst);
  });
}
