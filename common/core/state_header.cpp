#include "state_header.h"

namespace kv {

void state_put_header(std::uint8_t* buf, const char* tag, std::uint16_t version,
                      std::uint32_t total_size) {
  std::memcpy(buf, tag, 4);
  put_u16(buf + 4, version);
  buf[6] = 1;
  buf[7] = 0;
  put_u32(buf + 8, total_size);
  put_u32(buf + 12, 0);
}

bool state_check_header(const std::uint8_t* buf, const char* tag, std::uint16_t version,
                        std::uint32_t total_size) {
  return std::memcmp(buf, tag, 4) == 0 && get_u16(buf + 4) == version && buf[6] == 1 &&
         get_u32(buf + 8) == total_size;
}

}  // namespace kv
