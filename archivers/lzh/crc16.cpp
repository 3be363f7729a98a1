#include "crc16.h"

#include <array>

namespace lzh {
namespace {

constexpr std::array<uint16_t, 256> make_table() {
  std::array<uint16_t, 256> t{};
  for (unsigned i = 0; i < 256; ++i) {
    uint16_t r = static_cast<uint16_t>(i);
    for (int k = 0; k < 8; ++k) r = (r & 1) ? static_cast<uint16_t>((r >> 1) ^ 0xA001) : static_cast<uint16_t>(r >> 1);
    t[i] = r;
  }
  return t;
}

constexpr std::array<uint16_t, 256> kTable = make_table();

}  // namespace

uint16_t crc16_update(uint16_t crc, const uint8_t* data, size_t size) {
  for (size_t i = 0; i < size; ++i) crc = static_cast<uint16_t>(kTable[(crc ^ data[i]) & 0xFF] ^ (crc >> 8));
  return crc;
}

}  // namespace lzh
