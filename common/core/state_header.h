// State blob header shared by every stateful core, and little-endian byte helpers.
//
// A blob opens with 16 bytes: tag[4], version u16, marker u8 (= 1), reserved u8,
// total_size u32, reserved u32. Payload fields follow packed, little-endian.
// Byte layouts are written field by field, never by copying a struct.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kv {

inline constexpr std::size_t kStateHeaderSize = 16;

inline void put_u16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void put_u32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void put_u64(std::uint8_t* p, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline std::uint16_t get_u16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t get_u32(const std::uint8_t* p) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}
inline std::uint64_t get_u64(const std::uint8_t* p) {
  std::uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}
inline void put_f32(std::uint8_t* p, float v) {
  std::uint32_t u;
  std::memcpy(&u, &v, 4);
  put_u32(p, u);
}
inline float get_f32(const std::uint8_t* p) {
  std::uint32_t u = get_u32(p);
  float v;
  std::memcpy(&v, &u, 4);
  return v;
}
inline void put_f64(std::uint8_t* p, double v) {
  std::uint64_t u;
  std::memcpy(&u, &v, 8);
  put_u64(p, u);
}
inline double get_f64(const std::uint8_t* p) {
  std::uint64_t u = get_u64(p);
  double v;
  std::memcpy(&v, &u, 8);
  return v;
}

// Writes the 16-byte header. tag: exactly four ASCII bytes.
void state_put_header(std::uint8_t* buf, const char* tag, std::uint16_t version,
                      std::uint32_t total_size);

// True when tag, version, marker and total_size all match; reserved bytes are not read.
bool state_check_header(const std::uint8_t* buf, const char* tag, std::uint16_t version,
                        std::uint32_t total_size);

}  // namespace kv
