#include "coding/core/conv_code.h"

#include <cstring>
#include <memory>
#include <new>

#include "common/core/guard.h"
#include "common/core/state_header.h"

namespace {

constexpr char kEncTag[] = "CVEN";
constexpr std::uint16_t kEncVersion = 1;
constexpr std::uint64_t kEncStateSize = 56;

}  // namespace

bool conv_code_valid(const conv_code_t* code) {
  if (!code) return false;
  if (code->k < 2 || code->k > CONV_K_MAX || code->n < 1 || code->n > CONV_N_MAX) return false;
  const std::uint32_t limit = 1u << code->k;
  for (std::int32_t j = 0; j < code->n; ++j)
    if (code->poly[j] == 0 || code->poly[j] >= limit) return false;
  return true;
}

bool conv_code_init(conv_code_t* code, const std::uint32_t* poly, std::uint64_t poly_len,
                    std::uint32_t k, std::uint32_t invert) {
  std::memset(code, 0, sizeof *code);
  if (!poly || poly_len < 1 || poly_len > static_cast<std::uint64_t>(CONV_N_MAX)) return false;
  // k arrives unsigned; anything beyond the supported range is refused before the cast.
  if (k > static_cast<std::uint32_t>(CONV_K_MAX)) return false;
  conv_code_t c{};
  c.k = static_cast<std::int32_t>(k);
  c.n = static_cast<std::int32_t>(poly_len);
  for (std::uint64_t j = 0; j < poly_len; ++j) c.poly[j] = poly[j];
  c.invert = invert;
  if (!conv_code_valid(&c)) return false;
  *code = c;
  return true;
}

std::uint32_t conv_invert_mask(const conv_code_t* code) {
  return code->invert & ((1u << code->n) - 1u);
}

std::uint32_t conv_pattern(const conv_code_t* code, std::uint32_t reg) {
  std::uint32_t p = 0;
  for (std::int32_t j = 0; j < code->n; ++j)
    p |= static_cast<std::uint32_t>(__builtin_parity(reg & code->poly[j])) << j;
  return p ^ conv_invert_mask(code);
}

struct conv_enc_t {
  conv_code_t code;
  std::uint32_t state = 0;
  // Symbols of every register value, one byte per output, so the encode loop is a
  // table lookup and a fixed-width copy per input bit.
  std::uint8_t sym[1u << CONV_K_MAX][8];
};

conv_enc_t* conv_enc_create(const std::uint32_t* poly, std::uint64_t poly_len, std::uint32_t k,
                            std::uint32_t invert) {
  return kv::guard<conv_enc_t*>(nullptr, [&]() -> conv_enc_t* {
    conv_code_t code;
    if (!conv_code_init(&code, poly, poly_len, k, invert)) return nullptr;
    auto enc = std::make_unique<conv_enc_t>();
    enc->code = code;
    std::memset(enc->sym, 0, sizeof enc->sym);
    for (std::uint32_t reg = 0; reg < (1u << code.k); ++reg) {
      const std::uint32_t p = conv_pattern(&code, reg);
      for (std::int32_t j = 0; j < code.n; ++j) enc->sym[reg][j] = (p >> j) & 1u;
    }
    return enc.release();
  });
}

void conv_enc_destroy(conv_enc_t* enc) { delete enc; }

void conv_enc_reset(conv_enc_t* enc) { enc->state = 0; }

const conv_code_t* conv_enc_code(const conv_enc_t* enc) { return &enc->code; }

namespace {

template <int N>
std::uint32_t encode_run(const std::uint8_t (*sym)[8], std::uint32_t state, std::uint32_t top,
                         const std::uint8_t* bits, std::uint64_t n_in, std::uint8_t* out) {
  const std::uint32_t keep = (1u << top) - 1u;
  for (std::uint64_t i = 0; i < n_in; ++i) {
    const std::uint32_t reg = (static_cast<std::uint32_t>(bits[i] & 1u) << top) | (state & keep);
    std::memcpy(out + i * N, sym[reg], N);
    state = reg >> 1;
  }
  return state;
}

}  // namespace

std::uint64_t conv_enc_encode(conv_enc_t* enc, const std::uint8_t* bits, std::uint64_t n_in,
                              std::uint8_t* out, std::uint64_t max_out) {
  if (!enc || !bits || !out || n_in == 0) return 0;
  const std::uint64_t n = static_cast<std::uint64_t>(enc->code.n);
  if (n_in > max_out / n) return 0;
  const std::uint32_t top = static_cast<std::uint32_t>(enc->code.k - 1);
  std::uint32_t s = enc->state;
  switch (enc->code.n) {
    case 1: s = encode_run<1>(enc->sym, s, top, bits, n_in, out); break;
    case 2: s = encode_run<2>(enc->sym, s, top, bits, n_in, out); break;
    case 3: s = encode_run<3>(enc->sym, s, top, bits, n_in, out); break;
    case 4: s = encode_run<4>(enc->sym, s, top, bits, n_in, out); break;
    case 5: s = encode_run<5>(enc->sym, s, top, bits, n_in, out); break;
    default: s = encode_run<6>(enc->sym, s, top, bits, n_in, out); break;
  }
  enc->state = s;
  return n_in * n;
}

std::uint64_t conv_enc_encode_max_out(const conv_enc_t* enc, std::uint64_t n_in) {
  const std::uint64_t n = static_cast<std::uint64_t>(enc->code.n);
  if (n_in > UINT64_MAX / n) return UINT64_MAX;
  return n_in * n;
}

std::uint64_t conv_enc_state_size(const conv_enc_t*) { return kEncStateSize; }

void conv_enc_get_state(const conv_enc_t* enc, std::uint8_t* buf) {
  kv::state_put_header(buf, kEncTag, kEncVersion, static_cast<std::uint32_t>(kEncStateSize));
  kv::put_u32(buf + 16, enc->state);
  kv::put_u32(buf + 20, static_cast<std::uint32_t>(enc->code.k));
  kv::put_u32(buf + 24, static_cast<std::uint32_t>(enc->code.n));
  kv::put_u32(buf + 28, conv_invert_mask(&enc->code));
  for (int j = 0; j < CONV_N_MAX; ++j) kv::put_u32(buf + 32 + 4 * j, enc->code.poly[j]);
}

int conv_enc_set_state(conv_enc_t* enc, const std::uint8_t* buf) {
  if (!kv::state_check_header(buf, kEncTag, kEncVersion, static_cast<std::uint32_t>(kEncStateSize)))
    return -4;
  const conv_code_t& c = enc->code;
  if (kv::get_u32(buf + 20) != static_cast<std::uint32_t>(c.k) ||
      kv::get_u32(buf + 24) != static_cast<std::uint32_t>(c.n) ||
      kv::get_u32(buf + 28) != conv_invert_mask(&c))
    return -4;
  for (std::int32_t j = 0; j < c.n; ++j)
    if (kv::get_u32(buf + 32 + 4 * j) != c.poly[j]) return -4;
  const std::uint32_t state = kv::get_u32(buf + 16);
  if (state >= (1u << (c.k - 1))) return -4;
  enc->state = state;
  return 0;
}
