// Reed-Solomon codec over GF(2^J), named by nroots, J, the field polynomial, the
// first consecutive root j0 and the root stride s: the roots of the generator are
// alpha^(((j0 + i) * s) mod n), i = 0 ... nroots - 1, alpha being x modulo F(x).
//
// Codewords are whole: n = 2^J - 1 symbols, one per byte. A word w[0 ... n-1] is
// the polynomial sum w[j] x^(n-1-j) (w[0] first on the wire); codewords are
// systematic, information in w[0 ... k-1], parity in w[k ... n-1]. The codec holds
// only tables and keeps nothing between calls.
#pragma once

#include <cstdint>

struct rs_codec_t;

// nroots: parity symbols, even, 2 ... 64 and below n; symbol_bits: J, 2 ... 8;
// field_poly: F(x) without its x^J term (low 16 bits kept), odd, below 2^J, and
// primitive; first_root: j0, any value; root_stride: s, coprime with n (0 refused).
// Returns the codec, or null when a rule fails or memory runs out.
rs_codec_t* rs_codec_create(std::uint32_t nroots, std::uint32_t symbol_bits,
                            std::uint32_t field_poly, std::uint32_t first_root,
                            std::uint32_t root_stride);
// rs: codec or null (ignored).
void rs_codec_destroy(rs_codec_t* rs);

// rs: codec. Code parameters: n = 2^J - 1, k = n - nroots, e = nroots / 2.
std::uint32_t rs_codec_n(const rs_codec_t* rs);
std::uint32_t rs_codec_k(const rs_codec_t* rs);
std::uint32_t rs_codec_e(const rs_codec_t* rs);
std::uint32_t rs_codec_nroots(const rs_codec_t* rs);
std::uint32_t rs_codec_symbol_bits(const rs_codec_t* rs);

// rs: codec; info: k information symbols; parity: room for nroots symbols (may not
// overlap info). Writes the parity that makes info followed by parity a codeword.
void rs_encode(const rs_codec_t* rs, const std::uint8_t* info, std::uint8_t* parity);

// rs: codec; in: n_in symbols; out: room for max_out symbols, either in itself or a
// buffer that does not overlap it. Writes the codeword (information then parity).
// Returns n, or 0 (nothing written) when n_in != k, max_out < n or a pointer is null.
std::uint64_t rs_codec_encode(const rs_codec_t* rs, const std::uint8_t* in, std::uint64_t n_in,
                              std::uint8_t* out, std::uint64_t max_out);
// n, whatever n_in.
std::uint64_t rs_codec_encode_max_out(const rs_codec_t* rs, std::uint64_t n_in);

// rs: codec; codeword: n symbols, corrected in place.
// Returns the number of symbols corrected (>= 1), 0 for a codeword, or -1 when no
// codeword lies within e symbols; on -1 the word is untouched.
int rs_decode(const rs_codec_t* rs, std::uint8_t* codeword);
// As rs_decode, after a length check: -2 when codeword_len != n (or codeword is null).
int rs_codec_decode(const rs_codec_t* rs, std::uint8_t* codeword, std::uint64_t codeword_len);

// rs: codec; word: n_in symbols; out: room for max_out syndromes.
// Writes S_i = w(r_i), i = 0 ... nroots - 1. Returns nroots, or 0 when n_in != n
// or max_out < nroots.
std::uint64_t rs_codec_syndromes(const rs_codec_t* rs, const std::uint8_t* word,
                                 std::uint64_t n_in, std::uint8_t* out, std::uint64_t max_out);
// nroots, whatever n_in.
std::uint64_t rs_codec_syndromes_max_out(const rs_codec_t* rs, std::uint64_t n_in);

// rs: codec; word: codeword_len symbols. 1 when codeword_len == n and every
// syndrome is zero, else 0.
int rs_codec_codeword_ok(const rs_codec_t* rs, const std::uint8_t* word,
                         std::uint64_t codeword_len);

// rs: codec; out: room for max_out coefficients. Writes g(x), out[i] for x^i.
// Returns nroots + 1, or 0 when max_out <= nroots.
std::uint64_t rs_codec_generator(const rs_codec_t* rs, std::uint8_t* out, std::uint64_t max_out);
