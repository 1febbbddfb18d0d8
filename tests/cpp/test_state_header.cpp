#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "common/core/state_header.h"

TEST(StateHeader, WritesFieldsLittleEndian) {
  std::vector<std::uint8_t> b(16, 0xAA);
  kv::state_put_header(b.data(), "ATRC", 1, 8232);
  const std::uint8_t want[16] = {'A', 'T', 'R', 'C', 1, 0, 1, 0, 0x28, 0x20, 0, 0, 0, 0, 0, 0};
  for (int i = 0; i < 16; ++i) EXPECT_EQ(b[i], want[i]) << "byte " << i;
}

TEST(StateHeader, ChecksTagVersionMarkerSizeButNotReserved) {
  std::vector<std::uint8_t> b(16);
  kv::state_put_header(b.data(), "AGC ", 3, 120);
  EXPECT_TRUE(kv::state_check_header(b.data(), "AGC ", 3, 120));
  EXPECT_FALSE(kv::state_check_header(b.data(), "AGC ", 1, 120));
  EXPECT_FALSE(kv::state_check_header(b.data(), "AGC_", 3, 120));
  EXPECT_FALSE(kv::state_check_header(b.data(), "AGC ", 3, 121));
  b[7] = 0x55;
  b[12] = b[13] = b[14] = b[15] = 0xFF;
  EXPECT_TRUE(kv::state_check_header(b.data(), "AGC ", 3, 120));
  b[6] = 2;
  EXPECT_FALSE(kv::state_check_header(b.data(), "AGC ", 3, 120));
}

TEST(LittleEndian, RoundTripsEveryWidth) {
  std::uint8_t b[8];
  kv::put_u64(b, 0x0123456789ABCDEFull);
  EXPECT_EQ(b[0], 0xEF);
  EXPECT_EQ(kv::get_u64(b), 0x0123456789ABCDEFull);
  kv::put_u32(b, 0xDEADBEEFu);
  EXPECT_EQ(kv::get_u32(b), 0xDEADBEEFu);
  kv::put_f64(b, -1.5e300);
  EXPECT_EQ(kv::get_f64(b), -1.5e300);
  kv::put_f32(b, 3.25f);
  EXPECT_EQ(kv::get_f32(b), 3.25f);
}
