// Streaming soft-decision Viterbi decoder for the rate-1/n codes of conv_code.h.
//
// Soft input: one float per channel symbol, log(P(0)/P(1)) (positive means 0), n
// per branch in polynomial order; any positive scale gives the same decisions.
// Per branch the branch metric of output pattern q is the left-to-right sum over
// the branch's symbols l of +L_l (bit l of q clear) or -L_l (set); each state keeps
// the better of its two predecessors (a tie keeps the even one), the lowest-numbered
// state with the greatest metric is the best state, and every metric is lowered by
// the best one. Once depth branches have been seen, each branch emits one bit: the
// input bit of the branch depth - 1 branches back on the best state's survivor
// path. Trellis states hold the last k - 1 input bits, newest in bit k - 2.
#pragma once

#include <cstdint>

#include "coding/core/conv_code.h"

struct viterbi_t;

// poly: poly_len generator polynomials (null refused); poly_len: 1 ... 6;
// k: constraint length 2 ... 9, every polynomial non-zero and below 2^k;
// invert: output complement mask, as the encoder's; depth: traceback depth >= 1,
// small enough that the state blob size fits 32 bits.
// Returns a reset decoder, or null for an invalid code or depth, or exhausted memory.
viterbi_t* viterbi_create(const std::uint32_t* poly, std::uint64_t poly_len, std::uint32_t k,
                          std::uint32_t invert, std::uint64_t depth);
// v: decoder or null (ignored).
void viterbi_destroy(viterbi_t* v);
// v: decoder. Metrics favour state 0, the traceback ring is emptied and zeroed.
void viterbi_reset(viterbi_t* v);
// v: decoder; returns its code description.
const conv_code_t* viterbi_code(const viterbi_t* v);
// v: decoder; returns the traceback depth.
std::uint64_t viterbi_depth(const viterbi_t* v);

// v: decoder. Switches it to the portable kernel with run-time sized loops, the one
// processors without AVX2 run for every code (decoders otherwise use register-block
// kernels for k >= 5 on AVX2): lets tests and benchmarks exercise both. Results are
// identical either way.
void viterbi_use_portable_kernel(viterbi_t* v);

// v: decoder; n_in: soft values offered to the next decode call.
// Returns max(0, floor(n_in / n) - fill), fill being the branches still needed to
// fill the traceback: exactly what that decode call writes.
std::uint64_t viterbi_decode_max_out(const viterbi_t* v, std::uint64_t n_in);

// v: decoder; x: n_in soft values; out: room for max_out bits (one per byte).
// Returns the bits written, or 0 with nothing changed when x/out is null, n_in is not
// a positive multiple of n, or max_out is below viterbi_decode_max_out(v, n_in).
std::uint64_t viterbi_decode(viterbi_t* v, const float* x, std::uint64_t n_in, std::uint8_t* out,
                             std::uint64_t max_out);

// State blob "VTRB" v1: header, depth u64, pos u64, filled u64, k u32, n u32,
// masked invert u32, poly[0..5] u32, zero u32, S metrics f32, depth columns of S
// decision bytes. Size S * (depth + 4) + 80 with S = 2^(k-1).
std::uint64_t viterbi_state_size(const viterbi_t* v);
// buf: exactly viterbi_state_size bytes.
void viterbi_get_state(const viterbi_t* v, std::uint8_t* buf);
// buf: viterbi_state_size bytes. Returns 0, or -4 (nothing changed) when the header,
// depth or code fields differ from this decoder's, pos >= depth or filled > depth.
// Decision bytes are read as 0 or non-zero (kept as 0 or 1).
int viterbi_set_state(viterbi_t* v, const std::uint8_t* buf);
