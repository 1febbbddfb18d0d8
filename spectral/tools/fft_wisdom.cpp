// Build-time planner: measures the 1-D plans the engines use for common lengths
// and prints the chosen algorithms (FFTW wisdom) as a C++ header. The engines
// import this fixed wisdom at start and plan from it alone, so a build picks
// its fast plans once, and every engine of that build, in every process, uses
// the very same plans: results stay bit-for-bit reproducible.
//
// Usage: fft_wisdom OUTPUT_HEADER
#include <fftw3.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Lengths measured: powers of two 16 .. 2^18 and a few common others.
std::vector<int> lengths() {
  std::vector<int> v;
  for (int n = 16; n <= (1 << 18); n *= 2) v.push_back(n);
  for (int n : {48, 96, 1536, 3072, 48000, 1000, 10000}) v.push_back(n);
  return v;
}

constexpr unsigned kFlags = FFTW_MEASURE | FFTW_PRESERVE_INPUT;

std::string literal(const char* name, const char* text) {
  return std::string("inline constexpr char ") + name + "[] = R\"KVWISDOM(" + text +
         ")KVWISDOM\";\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_HEADER\n", argv[0]);
    return 2;
  }
  // Bounded planning time keeps the build short; what is found is fixed from here on.
  fftw_set_timelimit(1.0);
  fftwf_set_timelimit(1.0);
  for (int n : lengths()) {
    auto* a = fftw_alloc_complex(n);
    auto* b = fftw_alloc_complex(n);
    auto* fa = fftwf_alloc_complex(n);
    auto* fb = fftwf_alloc_complex(n);
    for (int dir : {FFTW_FORWARD, FFTW_BACKWARD}) {
      fftw_destroy_plan(fftw_plan_dft_1d(n, a, b, dir, kFlags));
      bool eligible = n >= 16 && n % 16 == 0;
      int m = n;
      for (int f : {2, 3, 5})
        while (m % f == 0) m /= f;
      if (eligible && m == 1) fftwf_destroy_plan(fftwf_plan_dft_1d(n, fa, fb, dir, kFlags));
    }
    fftw_free(a);
    fftw_free(b);
    fftwf_free(fa);
    fftwf_free(fb);
  }
  char* w64 = fftw_export_wisdom_to_string();
  char* w32 = fftwf_export_wisdom_to_string();
  std::string out = "// Generated at build time by spectral/tools/fft_wisdom.cpp.\n#pragma once\n\n";
  out += literal("kFftWisdom64", w64);
  out += literal("kFftWisdom32", w32);
  std::free(w64);
  std::free(w32);
  std::FILE* f = std::fopen(argv[1], "w");
  if (!f || std::fputs(out.c_str(), f) < 0 || std::fclose(f) != 0) {
    std::perror(argv[1]);
    return 1;
  }
  return 0;
}
