// The ceiling the Python bindings are measured against: the same FFTW plans
// (the engines' fixed wisdom, else estimate mode), and the engine's own entry
// points, driven from a plain C++ loop.
// Usage: bench_fft_ceiling N [N ...]   prints "n cf32_ns cf64_ns core32_ns core64_ns".
#include <fftw3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "spectral/core/fft.h"

namespace {

template <class F>
double ns_per_call(F&& f) {
  using clock = std::chrono::steady_clock;
  long reps = 1;
  for (;;) {
    auto t0 = clock::now();
    for (long i = 0; i < reps; ++i) f();
    double s = std::chrono::duration<double>(clock::now() - t0).count();
    if (s > 0.05) {
      double best = s / reps;
      for (int r = 0; r < 4; ++r) {
        t0 = clock::now();
        for (long i = 0; i < reps; ++i) f();
        double t = std::chrono::duration<double>(clock::now() - t0).count() / reps;
        if (t < best) best = t;
      }
      return best * 1e9;
    }
    reps *= 4;
  }
}

}  // namespace

int main(int argc, char** argv) {
  fft_library_init();  // imports the engines' wisdom into the planner
  for (int a = 1; a < argc; ++a) {
    int n = std::atoi(argv[a]);
    auto* in32 = fftwf_alloc_complex(n);
    auto* out32 = fftwf_alloc_complex(n);
    auto* in64 = fftw_alloc_complex(n);
    auto* out64 = fftw_alloc_complex(n);
    for (int i = 0; i < n; ++i) {
      in32[i][0] = in64[i][0] = static_cast<float>(i % 7) - 3.0f;
      in32[i][1] = in64[i][1] = 0.5f;
    }
    const unsigned wisdom = FFTW_MEASURE | FFTW_PRESERVE_INPUT | FFTW_WISDOM_ONLY;
    const unsigned estimate = FFTW_ESTIMATE | FFTW_PRESERVE_INPUT;
    fftwf_plan p32 = fftwf_plan_dft_1d(n, in32, out32, FFTW_FORWARD, wisdom);
    if (!p32) p32 = fftwf_plan_dft_1d(n, in32, out32, FFTW_FORWARD, estimate);
    fftw_plan p64 = fftw_plan_dft_1d(n, in64, out64, FFTW_FORWARD, wisdom);
    if (!p64) p64 = fftw_plan_dft_1d(n, in64, out64, FFTW_FORWARD, estimate);
    double t32 = ns_per_call([&] { fftwf_execute(p32); });
    double t64 = ns_per_call([&] { fftw_execute(p64); });
    fft_state_t* e = fft_create(n, -1, 1);
    auto* ci = reinterpret_cast<cf32_t*>(in32);
    auto* co = reinterpret_cast<cf32_t*>(out32);
    auto* di = reinterpret_cast<cf64_t*>(in64);
    auto* dout = reinterpret_cast<cf64_t*>(out64);
    double c32 = ns_per_call([&] { fft_execute_cf32(e, ci, n, co, n); });
    double c64 = ns_per_call([&] { fft_execute_cf64(e, di, n, dout, n); });
    std::printf("%d %.1f %.1f %.1f %.1f\n", n, t32, t64, c32, c64);
    fft_destroy(e);
    fftwf_destroy_plan(p32);
    fftw_destroy_plan(p64);
    fftwf_free(in32);
    fftwf_free(out32);
    fftw_free(in64);
    fftw_free(out64);
  }
  return 0;
}
