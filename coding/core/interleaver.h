// Block interleaver: each block of rows x cols units (a unit is unit_bits consecutive
// elements) is written by rows and read by columns; de-interleaving undoes it. Bits
// travel one per byte; the soft path moves 32-bit float log-likelihood ratios.
// Lengths are preserved and must be whole blocks: nothing is padded.
#pragma once

#include <cstdint>

struct interleaver_t;

// rows, cols, unit_bits: all >= 1, with rows * cols * unit_bits representable in
// 64 bits. Returns the record, or null when a rule fails or memory runs out.
interleaver_t* interleaver_create(std::uint64_t rows, std::uint64_t cols, std::uint64_t unit_bits);
// il: record or null (ignored).
void interleaver_destroy(interleaver_t* il);
// il: record. Nothing to clear: the geometry is all there is.
void interleaver_reset(interleaver_t* il);

// il: record. Geometry: rows, cols, unit_bits; block_bits = rows * cols * unit_bits
// elements per block; burst_len = rows; separation = cols.
std::uint64_t interleaver_rows(const interleaver_t* il);
std::uint64_t interleaver_cols(const interleaver_t* il);
std::uint64_t interleaver_unit_bits(const interleaver_t* il);
std::uint64_t interleaver_block_bits(const interleaver_t* il);
std::uint64_t interleaver_burst_len(const interleaver_t* il);
std::uint64_t interleaver_separation(const interleaver_t* il);

// il: record; in: n_in elements; out: room for max_out elements, not overlapping in.
// Interleave: input unit i*cols + j goes to output unit j*rows + i, block by block.
// De-interleave: input unit j*rows + i goes to output unit i*cols + j.
// Return n_in, or 0 (nothing written) when a pointer is null, n_in is 0,
// n_in > max_out, or n_in is not a multiple of block_bits.
std::uint64_t interleaver_interleave(const interleaver_t* il, const std::uint8_t* in,
                                     std::uint64_t n_in, std::uint8_t* out, std::uint64_t max_out);
std::uint64_t interleaver_deinterleave(const interleaver_t* il, const std::uint8_t* in,
                                       std::uint64_t n_in, std::uint8_t* out,
                                       std::uint64_t max_out);
std::uint64_t interleaver_deinterleave_soft(const interleaver_t* il, const float* in,
                                            std::uint64_t n_in, float* out,
                                            std::uint64_t max_out);
// n_in: the output length equals the input length.
std::uint64_t interleaver_interleave_max_out(const interleaver_t* il, std::uint64_t n_in);
std::uint64_t interleaver_deinterleave_max_out(const interleaver_t* il, std::uint64_t n_in);
std::uint64_t interleaver_deinterleave_soft_max_out(const interleaver_t* il, std::uint64_t n_in);
