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

// Tile edge of the blocked transpose: a tile's rows and columns stay in L1 while it
// is copied, whichever way the strides point.
constexpr std::uint64_t kTile = 32;

// One block, rows x cols single elements: out[j*rows + i] = in[i*cols + j].
template <class T>
void transpose_elems(const T* __restrict in, T* __restrict out, std::uint64_t rows,
                     std::uint64_t cols) {
  for (std::uint64_t ib = 0; ib < rows; ib += kTile) {
    const std::uint64_t ie = ib + kTile < rows ? ib + kTile : rows;
    for (std::uint64_t jb = 0; jb < cols; jb += kTile) {
      const std::uint64_t je = jb + kTile < cols ? jb + kTile : cols;
      for (std::uint64_t j = jb; j < je; ++j) {
        T* o = out + j * rows;
        for (std::uint64_t i = ib; i < ie; ++i) o[i] = in[i * cols + j];
      }
    }
  }
}

// One block of units of `unit` elements each: every unit moves with one block copy.
template <class T>
void transpose_units(const T* __restrict in, T* __restrict out, std::uint64_t rows,
                     std::uint64_t cols, std::uint64_t unit) {
  const std::size_t bytes = unit * sizeof(T);
  for (std::uint64_t i = 0; i < rows; ++i) {
    const T* src = in + i * cols * unit;
    for (std::uint64_t j = 0; j < cols; ++j) std::memcpy(out + (j * rows + i) * unit, src + j * unit, bytes);
  }
}

// rows/cols as the kernel sees them: the de-interleave exchanges the two.
template <class T>
std::uint64_t permute(const interleaver_t* il, const T* in, std::uint64_t n_in, T* out,
                      std::uint64_t max_out, std::uint64_t rows, std::uint64_t cols) {
  if (!il || !in || !out || n_in == 0 || n_in > max_out || n_in % il->block_bits != 0) return 0;
  const std::uint64_t blocks = n_in / il->block_bits;
  const std::uint64_t bb = il->block_bits;
  if (il->unit_bits == 1) {
    for (std::uint64_t b = 0; b < blocks; ++b) transpose_elems(in + b * bb, out + b * bb, rows, cols);
  } else {
    for (std::uint64_t b = 0; b < blocks; ++b)
      transpose_units(in + b * bb, out + b * bb, rows, cols, il->unit_bits);
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

std::uint64_t interleaver_interleave_max_out(const interleaver_t*, std::uint64_t n_in) { return n_in; }
std::uint64_t interleaver_deinterleave_max_out(const interleaver_t*, std::uint64_t n_in) {
  return n_in;
}
std::uint64_t interleaver_deinterleave_soft_max_out(const interleaver_t*, std::uint64_t n_in) {
  return n_in;
}
