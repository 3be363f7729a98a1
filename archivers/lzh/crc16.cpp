#include "crc16.h"

#include <array>
#include <cstring>

namespace lzh {
namespace {

// Eight tables: table k gives the effect of a byte followed by k zero bytes,
// so that eight bytes are folded in at once.
using Tables = std::array<std::array<uint16_t, 256>, 8>;

constexpr Tables make_tables() {
  Tables t{};
  for (unsigned i = 0; i < 256; ++i) {
    uint16_t r = static_cast<uint16_t>(i);
    for (int k = 0; k < 8; ++k) r = (r & 1) ? static_cast<uint16_t>((r >> 1) ^ 0xA001) : static_cast<uint16_t>(r >> 1);
    t[0][i] = r;
  }
  for (unsigned i = 0; i < 256; ++i)
    for (int k = 1; k < 8; ++k) t[k][i] = static_cast<uint16_t>((t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF]);
  return t;
}

constexpr Tables kTables = make_tables();

}  // namespace

uint16_t crc16_update(uint16_t crc, const uint8_t* data, size_t size) {
  const auto& t = kTables;
  while (size >= 8) {
    const unsigned b0 = (data[0] ^ crc) & 0xFF, b1 = (data[1] ^ (crc >> 8)) & 0xFF;
    crc = static_cast<uint16_t>(t[7][b0] ^ t[6][b1] ^ t[5][data[2]] ^ t[4][data[3]] ^ t[3][data[4]] ^ t[2][data[5]] ^
                                t[1][data[6]] ^ t[0][data[7]]);
    data += 8;
    size -= 8;
  }
  for (size_t i = 0; i < size; ++i) crc = static_cast<uint16_t>(t[0][(crc ^ data[i]) & 0xFF] ^ (crc >> 8));
  return crc;
}

}  // namespace lzh
