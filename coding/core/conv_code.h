// Rate-1/n convolutional codes: the code description shared by the encoder and
// the Viterbi decoder, and the streaming encoder.
//
// Register convention: a k-bit register value whose bit k-1 is the current input
// bit and whose bits k-2 ... 0 are the previous k-1 input bits, newest first (bit
// 0 is the oldest). Output j is the parity of (register AND poly[j]), complemented
// when bit j of invert is set. Bits and symbols are carried one per byte (0 or 1).
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr std::int32_t CONV_K_MAX = 9;
inline constexpr std::int32_t CONV_N_MAX = 6;

struct conv_code_t {
  std::int32_t k;                       // constraint length, 2 ... CONV_K_MAX
  std::int32_t n;                       // outputs per input bit, 1 ... CONV_N_MAX
  std::uint32_t poly[CONV_N_MAX];       // generator polynomials, zero beyond n
  std::uint32_t invert;                 // bit j complements output j (low n bits used)
};

// code: description or null. True when 2 <= k <= 9, 1 <= n <= 6 and every poly[j],
// j < n, is non-zero and below 2^k.
bool conv_code_valid(const conv_code_t* code);

// Fills *code from a caller's polynomial array and checks it.
// poly: poly_len polynomials or null; poly_len: 1 ... 6; k: constraint length;
// invert: output complement mask. Returns false (code left zeroed) when poly is
// null, poly_len is out of range or the description is not valid.
bool conv_code_init(conv_code_t* code, const std::uint32_t* poly, std::uint64_t poly_len,
                    std::uint32_t k, std::uint32_t invert);

// code: a valid description; reg: a k-bit register value.
// The n-bit output pattern: bit j is output j, complemented by invert.
std::uint32_t conv_pattern(const conv_code_t* code, std::uint32_t reg);

// invert AND (2^n - 1): the part of invert that takes effect.
std::uint32_t conv_invert_mask(const conv_code_t* code);

struct conv_enc_t;

// poly: poly_len generator polynomials (null refused); poly_len: 1 ... 6;
// k: constraint length 2 ... 9, every polynomial non-zero and below 2^k;
// invert: output complement mask. Returns the encoder with a zero register, or
// null for an invalid description or exhausted memory.
conv_enc_t* conv_enc_create(const std::uint32_t* poly, std::uint64_t poly_len, std::uint32_t k,
                            std::uint32_t invert);
// enc: encoder or null (ignored).
void conv_enc_destroy(conv_enc_t* enc);
// enc: encoder. Clears the shift register.
void conv_enc_reset(conv_enc_t* enc);
// enc: encoder; returns its code description.
const conv_code_t* conv_enc_code(const conv_enc_t* enc);

// enc: encoder; bits: n_in input bytes (only bit 0 of each is used);
// out: room for max_out symbols. Writes n_in * n symbols, n per input bit in
// polynomial order, and advances the register. Returns n_in * n, or 0 (nothing
// written, register unchanged) when n_in is 0, bits/out is null or max_out < n_in * n.
std::uint64_t conv_enc_encode(conv_enc_t* enc, const std::uint8_t* bits, std::uint64_t n_in,
                              std::uint8_t* out, std::uint64_t max_out);
// enc: encoder; n_in: input bits. Returns n_in * n (saturating at UINT64_MAX).
std::uint64_t conv_enc_encode_max_out(const conv_enc_t* enc, std::uint64_t n_in);

// State blob "CVEN" v1, 56 bytes: header, state u32, k u32, n u32, masked invert u32,
// poly[0..5] u32.
std::uint64_t conv_enc_state_size(const conv_enc_t* enc);
// buf: exactly conv_enc_state_size bytes.
void conv_enc_get_state(const conv_enc_t* enc, std::uint8_t* buf);
// buf: conv_enc_state_size bytes. Returns 0, or -4 (nothing changed) when the header,
// the code fields or the register value (below 2^(k-1)) do not fit this encoder.
int conv_enc_set_state(conv_enc_t* enc, const std::uint8_t* buf);
