#include "coding/core/interleaver.h"

#include <cstring>
#include <memory>

#include "common/core/guard.h"

struct interleaver_t {
  std::uint64_t rows = 0;
  std::uint64_t cols = 0;
  std::uint64_t unit_bits = 0;
  std::uint64_t block_bits = 0;
};

interleaver_t* interleaver_create(std::uint64_t rows, std::uint64_t cols, std::uint64_t unit_bits) {
  return kv::guard<interleaver_t*>(nullptr, [&]() -> interleaver_t* {
    if (rows == 0 || cols == 0 || unit_bits == 0) return nullptr;
    if (rows > UINT64_MAX / cols) return nullptr;
    const std::uint64_t units = rows * cols;
    if (units > UINT64_MAX / unit_bits) return nullptr;
    auto il = std::make_unique<interleaver_t>();
    il->rows = rows;
    il->cols = cols;
    il->unit_bits = unit_bits;
    il->block_bits = units * unit_bits;
    return il.release();
  });
}

void interleaver_destroy(interleaver_t* il) { delete il; }
void interleaver_reset(interleaver_t*) {}

std::uint64_t interleaver_rows(const interleaver_t* il) { return il->rows; }
std::uint64_t interleaver_cols(const interleaver_t* il) { return il->cols; }
std::uint64_t interleaver_unit_bits(const interleaver_t* il) { return il->unit_bits; }
std::uint64_t interleaver_block_bits(const interleaver_t* il) { return il->block_bits; }
std::uint64_t interleaver_burst_len(const interleaver_t* il) { return il->rows; }
std::uint64_t interleaver_separation(const interleaver_t* il) { return il->cols; }

namespace {

// One block is a rows x cols matrix of units, transposed: out unit j*rows + i takes in
// unit i*cols + j. Units of 1, 2, 4 or 8 bytes move as single machine words through
// small tile transposes held in registers (8 x 8 bytes in 64-bit words, 4 x 4 words
// in 128-bit registers); other unit sizes move with one block copy each. Every kernel
// is chosen once per call.

template <class W>
[[gnu::always_inline]] inline W load(const std::uint8_t* p) {
  W v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
template <class W>
[[gnu::always_inline]] inline void store(std::uint8_t* p, const W& v) {
  std::memcpy(p, &v, sizeof v);
}

// 8 x 8 tile of one-byte units: each row is one 64-bit word, transposed by swapping
// 4-, 2- and 1-byte blocks between rows.
[[gnu::always_inline]] inline void tile_1(const std::uint8_t* in, std::size_t in_stride,
                                          std::uint8_t* out,
                   std::size_t out_stride) {
  std::uint64_t x[8];
  for (int k = 0; k < 8; ++k) x[k] = load<std::uint64_t>(in + k * in_stride);
  for (int k = 0; k < 4; ++k) {
    const std::uint64_t a = x[k], b = x[k + 4];
    x[k] = (a & 0x00000000FFFFFFFFull) | (b << 32);
    x[k + 4] = (a >> 32) | (b & 0xFFFFFFFF00000000ull);
  }
  for (int k : {0, 1, 4, 5}) {
    const std::uint64_t m = 0x0000FFFF0000FFFFull;
    const std::uint64_t a = x[k], b = x[k + 2];
    x[k] = (a & m) | ((b & m) << 16);
    x[k + 2] = ((a >> 16) & m) | (b & ~m);
  }
  for (int k = 0; k < 8; k += 2) {
    const std::uint64_t m = 0x00FF00FF00FF00FFull;
    const std::uint64_t a = x[k], b = x[k + 1];
    x[k] = (a & m) | ((b & m) << 8);
    x[k + 1] = ((a >> 8) & m) | (b & ~m);
  }
  for (int k = 0; k < 8; ++k) store(out + k * out_stride, x[k]);
}

typedef std::uint32_t v4u32 __attribute__((vector_size(16)));

// 4 x 4 tile of four-byte units in four 128-bit registers: two rounds of shuffles.
[[gnu::always_inline]] inline void tile_4x4(const std::uint8_t* in, std::size_t in_stride,
                                            std::uint8_t* out, std::size_t out_stride) {
  v4u32 r[4];
  for (int k = 0; k < 4; ++k) std::memcpy(&r[k], in + k * in_stride, sizeof r[k]);
  const v4u32 t0 = __builtin_shufflevector(r[0], r[1], 0, 4, 1, 5);
  const v4u32 t1 = __builtin_shufflevector(r[0], r[1], 2, 6, 3, 7);
  const v4u32 t2 = __builtin_shufflevector(r[2], r[3], 0, 4, 1, 5);
  const v4u32 t3 = __builtin_shufflevector(r[2], r[3], 2, 6, 3, 7);
  const v4u32 c[4] = {__builtin_shufflevector(t0, t2, 0, 1, 4, 5),
                      __builtin_shufflevector(t0, t2, 2, 3, 6, 7),
                      __builtin_shufflevector(t1, t3, 0, 1, 4, 5),
                      __builtin_shufflevector(t1, t3, 2, 3, 6, 7)};
  for (int k = 0; k < 4; ++k) std::memcpy(out + k * out_stride, &c[k], sizeof c[k]);
}

// Any word size: the plain element loop over an 8 x 8 tile.
template <class W>
[[gnu::always_inline]] inline void tile_plain(const std::uint8_t* in, std::size_t in_stride,
                                              std::uint8_t* out,
                       std::size_t out_stride) {
  for (int j = 0; j < 8; ++j)
    for (int i = 0; i < 8; ++i)
      store(out + j * out_stride + i * sizeof(W), load<W>(in + i * in_stride + j * sizeof(W)));
}

// One block of W-sized units: full T x T tiles through Tile, the ragged edges unit
// by unit.
using tile_fn = void (*)(const std::uint8_t*, std::size_t, std::uint8_t*, std::size_t);

template <class W, int T, tile_fn Tile>
[[gnu::always_inline]] inline void transpose_words(const std::uint8_t* __restrict in,
                                                   std::uint8_t* __restrict out,
                                                   std::uint64_t rows, std::uint64_t cols) {
  constexpr std::size_t w = sizeof(W);
  const std::size_t in_stride = cols * w;
  const std::size_t out_stride = rows * w;
  const std::uint64_t r8 = rows & ~std::uint64_t{T - 1};
  const std::uint64_t c8 = cols & ~std::uint64_t{T - 1};
  for (std::uint64_t i = 0; i < r8; i += T)
    for (std::uint64_t j = 0; j < c8; j += T)
      Tile(in + i * in_stride + j * w, in_stride, out + j * out_stride + i * w, out_stride);
  for (std::uint64_t i = 0; i < rows; ++i) {
    const std::uint64_t j0 = i < r8 ? c8 : 0;
    for (std::uint64_t j = j0; j < cols; ++j)
      store(out + j * out_stride + i * w, load<W>(in + i * in_stride + j * w));
  }
}

// One block of units of `bytes` bytes each: one block copy per unit.
void transpose_units(const std::uint8_t* __restrict in, std::uint8_t* __restrict out,
                     std::uint64_t rows, std::uint64_t cols, std::size_t bytes) {
  for (std::uint64_t i = 0; i < rows; ++i) {
    const std::uint8_t* src = in + i * cols * bytes;
    for (std::uint64_t j = 0; j < cols; ++j)
      std::memcpy(out + (j * rows + i) * bytes, src + j * bytes, bytes);
  }
}

using block_fn = void (*)(const std::uint8_t*, std::uint8_t*, std::uint64_t, std::uint64_t);

void block_1(const std::uint8_t* in, std::uint8_t* out, std::uint64_t r, std::uint64_t c) {
  transpose_words<std::uint8_t, 8, tile_1>(in, out, r, c);
}
void block_2(const std::uint8_t* in, std::uint8_t* out, std::uint64_t r, std::uint64_t c) {
  transpose_words<std::uint16_t, 8, tile_plain<std::uint16_t>>(in, out, r, c);
}
// Four-byte units: 4 x 4 tiles in 128-bit registers (measured faster than 8 x 8
// tiles in 256-bit ones, whose shuffles cross register halves).
void block_4(const std::uint8_t* in, std::uint8_t* out, std::uint64_t r, std::uint64_t c) {
  transpose_words<std::uint32_t, 4, tile_4x4>(in, out, r, c);
}
void block_8(const std::uint8_t* in, std::uint8_t* out, std::uint64_t r, std::uint64_t c) {
  transpose_words<std::uint64_t, 8, tile_plain<std::uint64_t>>(in, out, r, c);
}

// rows/cols as the kernel sees them: the de-interleave exchanges the two.
template <class T>
std::uint64_t permute(const interleaver_t* il, const T* in, std::uint64_t n_in, T* out,
                      std::uint64_t max_out, std::uint64_t rows, std::uint64_t cols) {
  if (!il || !in || !out || n_in == 0 || n_in > max_out || n_in % il->block_bits != 0) return 0;
  const std::uint64_t blocks = n_in / il->block_bits;
  const std::size_t block_bytes = il->block_bits * sizeof(T);
  const auto* src = reinterpret_cast<const std::uint8_t*>(in);
  auto* dst = reinterpret_cast<std::uint8_t*>(out);
  const std::size_t unit_bytes = il->unit_bits * sizeof(T);
  block_fn fn = nullptr;
  switch (unit_bytes) {
    case 1: fn = block_1; break;
    case 2: fn = block_2; break;
    case 4: fn = block_4; break;
    case 8: fn = block_8; break;
    default: break;
  }
  for (std::uint64_t b = 0; b < blocks; ++b) {
    if (fn)
      fn(src + b * block_bytes, dst + b * block_bytes, rows, cols);
    else
      transpose_units(src + b * block_bytes, dst + b * block_bytes, rows, cols, unit_bytes);
  }
  return n_in;
}

}  // namespace

std::uint64_t interleaver_interleave(const interleaver_t* il, const std::uint8_t* in,
                                     std::uint64_t n_in, std::uint8_t* out, std::uint64_t max_out) {
  if (!il) return 0;
  return permute(il, in, n_in, out, max_out, il->rows, il->cols);
}

std::uint64_t interleaver_deinterleave(const interleaver_t* il, const std::uint8_t* in,
                                       std::uint64_t n_in, std::uint8_t* out,
                                       std::uint64_t max_out) {
  if (!il) return 0;
  return permute(il, in, n_in, out, max_out, il->cols, il->rows);
}

std::uint64_t interleaver_deinterleave_soft(const interleaver_t* il, const float* in,
                                            std::uint64_t n_in, float* out,
                                            std::uint64_t max_out) {
  if (!il) return 0;
  return permute(il, in, n_in, out, max_out, il->cols, il->rows);
}

std::uint64_t interleaver_interleave_max_out(const interleaver_t*, std::uint64_t n_in) {
  return n_in;
}
std::uint64_t interleaver_deinterleave_max_out(const interleaver_t*, std::uint64_t n_in) {
  return n_in;
}
std::uint64_t interleaver_deinterleave_soft_max_out(const interleaver_t*, std::uint64_t n_in) {
  return n_in;
}
