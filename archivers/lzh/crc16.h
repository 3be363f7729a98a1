// CRC-16 as the LZH format uses it (reflected polynomial 0xA001, start 0),
// both for the data of an entry and for a level-2 header.
#pragma once
#include <cstddef>
#include <cstdint>

namespace lzh {

uint16_t crc16_update(uint16_t crc, const uint8_t* data, size_t size);

}  // namespace lzh
