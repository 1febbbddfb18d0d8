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
#include "fft_wisdom.h"  // generated: kFftWisdom64, kFftWisdom32

namespace {

// FFTW's timing-based planners pick a different plan from run to run, and with
// it different rounding. 1-D plans therefore come from the wisdom measured once
// at build time (kFftWisdom*, imported at start) and are made only when that
// wisdom covers the problem; every other problem is planned by the estimating
// planner, which is deterministic. Either way one build always picks the same plan.
constexpr unsigned kPlanFlags = FFTW_ESTIMATE | FFTW_PRESERVE_INPUT;
constexpr unsigned kWisdomFlags = FFTW_MEASURE | FFTW_PRESERVE_INPUT | FFTW_WISDOM_ONLY;

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

void exec(fftw_plan_s* p, const cf64_t* in, cf64_t* out) {
  fftw_execute_dft(p, c64(const_cast<cf64_t*>(in)), c64(out));
}
void exec(fftwf_plan_s* p, const cf32_t* in, cf32_t* out) {
  fftwf_execute_dft(p, c32(const_cast<cf32_t*>(in)), c32(out));
}
bool aligned(const cf64_t* p) { return aligned64(p); }
bool aligned(const cf32_t* p) { return aligned32(p); }

fftw_plan_s* plan_1d(std::size_t n, cf64_t* in, cf64_t* out, int dir) {
  int len = static_cast<int>(n);
  fftw_plan_s* p = fftw_plan_dft_1d(len, c64(in), c64(out), dir, kWisdomFlags);
  return p ? p : fftw_plan_dft_1d(len, c64(in), c64(out), dir, kPlanFlags);
}
fftwf_plan_s* plan_1d(std::size_t n, cf32_t* in, cf32_t* out, int dir) {
  int len = static_cast<int>(n);
  fftwf_plan_s* p = fftwf_plan_dft_1d(len, c32(in), c32(out), dir, kWisdomFlags);
  return p ? p : fftwf_plan_dft_1d(len, c32(in), c32(out), dir, kPlanFlags);
}

// One precision's 1-D transform: an out-of-place plan over `len` samples made
// on two aligned staging buffers, run on caller memory when alignment allows
// and through the staging buffers otherwise. The same plan serves every call,
// so a result does not depend on where the caller's arrays happen to sit.
// Staging is never read before it is written, so it is not zeroed: a large
// engine costs no page touches until it is used.
template <class T, class Plan>
struct Stage {
  Plan plan;
  kv::AlignedBuf<T> in, out;
  std::size_t len = 0;

  bool make(std::size_t n, int dir) {
    len = n;
    in = kv::AlignedBuf<T>(n, false);
    out = kv::AlignedBuf<T>(n, false);
    plan.reset(plan_1d(n, in.data(), out.data(), dir));
    return plan != nullptr;
  }

  void run(const T* src, T* dst) {
    const T* s = src;
    if (!aligned(src) || src == dst) {
      if (src != in.data()) std::memcpy(in.data(), src, len * sizeof(T));
      s = in.data();
    }
    T* d = aligned(dst) && s != dst ? dst : out.data();
    exec(plan.get(), s, d);
    if (d != dst) std::memcpy(dst, d, len * sizeof(T));
  }
};
using Stage64 = Stage<cf64_t, Plan64>;
using Stage32 = Stage<cf32_t, Plan32>;

// Out-of-place transpose of a rows x cols grid in 16 x 16 tiles, so both
// sides are walked in cache-sized blocks.
template <class T>
void transpose(const T* __restrict src, T* __restrict dst, std::size_t rows, std::size_t cols) {
  constexpr std::size_t kTile = 16;
  for (std::size_t i0 = 0; i0 < rows; i0 += kTile) {
    std::size_t i1 = std::min(rows, i0 + kTile);
    for (std::size_t j0 = 0; j0 < cols; j0 += kTile) {
      std::size_t j1 = std::min(cols, j0 + kTile);
      for (std::size_t i = i0; i < i1; ++i)
        for (std::size_t j = j0; j < j1; ++j) dst[j * rows + i] = src[i * cols + j];
    }
  }
}

// A 2-D transform of one precision: contiguous row transforms, a tiled
// transpose, contiguous transforms of the former columns, and a transpose
// back. Strided column plans from FFTW's estimating planner run about six
// times slower on the same grids; the transposes keep every pass contiguous.
template <class T, class Plan>
struct Grid {
  Plan rows, cols;
  kv::AlignedBuf<T> in, work, tr;
  std::size_t ny = 0, nx = 0, len = 0;

  template <class Many, class Raw>
  bool make(std::size_t y, std::size_t x, int dir, Many many, Raw*) {
    ny = y;
    nx = x;
    len = y * x;
    in = kv::AlignedBuf<T>(len, false);
    work = kv::AlignedBuf<T>(len, false);
    tr = kv::AlignedBuf<T>(len, false);
    int ix = static_cast<int>(x), iy = static_cast<int>(y);
    auto* pin = reinterpret_cast<Raw*>(in.data());
    auto* pwork = reinterpret_cast<Raw*>(work.data());
    auto* ptr = reinterpret_cast<Raw*>(tr.data());
    rows.reset(many(1, &ix, iy, pin, nullptr, 1, ix, pwork, nullptr, 1, ix, dir, kPlanFlags));
    cols.reset(many(1, &iy, ix, ptr, nullptr, 1, iy, ptr, nullptr, 1, iy, dir, FFTW_ESTIMATE));
    return rows && cols;
  }

  // Row pass of a full grid at src into work. src may alias the destination.
  void row_pass(const T* src) {
    const T* s = src;
    if (!aligned(src)) {
      std::memcpy(in.data(), src, len * sizeof(T));
      s = in.data();
    }
    exec(rows.get(), s, work.data());
  }
  // Column pass of work; the result is left in work.
  void column_pass() {
    transpose(work.data(), tr.data(), ny, nx);
    exec(cols.get(), tr.data(), tr.data());
    transpose(tr.data(), work.data(), nx, ny);
  }
  void run(const T* src, T* dst) {
    row_pass(src);
    transpose(work.data(), tr.data(), ny, nx);
    exec(cols.get(), tr.data(), tr.data());
    transpose(tr.data(), dst, nx, ny);
  }
};

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
void run_cf32(Stage32& p32, Stage64& p64, bool simd, const cf32_t* src,
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
  Stage64 p64;  // double path: CF64, and CF32/integer of non-eligible lengths
  Stage32 p32;  // single-precision path, eligible lengths only
  std::unique_ptr<cf64_t[]> scratch;

  // CF32 transform of the m <= n samples at src, zero-padded to n, into dst,
  // by the path this length uses.
  void run32(const cf32_t* src, std::size_t m, cf32_t* dst) { run_cf32(p32, p64, simd, src, m, n, dst); }
};

struct fft2d_state_t {
  std::size_t ny = 0, nx = 0, len = 0;
  std::int32_t sign = -1;
  bool simd = false;
  Grid<cf64_t, Plan64> p64;
  Grid<cf32_t, Plan32> p32;
  std::unique_ptr<cf64_t[]> scratch;

  // CF32 transform of m <= len samples zero-padded to the full grid.
  void run32(const cf32_t* src, std::size_t m, cf32_t* dst) {
    if (simd) {
      p32.run(full_frame(src, m, len, p32.in.data()), dst);
      return;
    }
    // Double row and column passes, the grid narrowed to float between them.
    widen(src, p64.in.data(), m);
    std::memset(static_cast<void*>(p64.in.data() + m), 0, (len - m) * sizeof(cf64_t));
    p64.row_pass(p64.in.data());
    round_to_float(p64.work.data(), len);
    p64.column_pass();
    narrow(p64.work.data(), dst, len);
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
    // Wisdom of another FFTW build (a mismatched library) is refused by FFTW
    // itself; the engines then plan in estimate mode only.
    if (kFftWisdom64[0]) fftw_import_wisdom_from_string(kFftWisdom64);
    if (kFftWisdom32[0]) fftwf_import_wisdom_from_string(kFftWisdom32);
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
    if (!e->p64.make(n, dir)) return nullptr;
    if (fft_simd_eligible(n)) {
      // A single-precision plan that cannot be made leaves the double path in charge.
      try {
        e->simd = e->p32.make(n, dir);
      } catch (const std::bad_alloc&) {
        e->simd = false;
      }
      if (!e->simd) e->p32 = Stage32{};
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
    if (!e->p64.make(ny, nx, dir, fftw_plan_many_dft, static_cast<fftw_complex*>(nullptr)))
      return nullptr;
    if (fft_simd_eligible(ny) && fft_simd_eligible(nx)) {
      // A single-precision grid that cannot be made leaves the double path in charge.
      try {
        e->simd = e->p32.make(ny, nx, dir, fftwf_plan_many_dft, static_cast<fftwf_complex*>(nullptr));
      } catch (const std::bad_alloc&) {
        e->simd = false;
      }
      if (!e->simd) e->p32 = Grid<cf32_t, Plan32>{};
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
