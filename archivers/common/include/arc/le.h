// Little-endian fields, the byte order of every header our formats write
// (ZIP, LZH, CAB). One helper for all of them: put* fills bytes in place,
// append* adds them at the end of a byte container (std::string,
// std::vector<char>, std::vector<uint8_t>), get* reads them back.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zubeto::arc::le {

inline void put16(void* at, uint16_t v) {
  auto* p = static_cast<uint8_t*>(at);
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

inline void put32(void* at, uint32_t v) {
  auto* p = static_cast<uint8_t*>(at);
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

inline void put64(void* at, uint64_t v) {
  auto* p = static_cast<uint8_t*>(at);
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

template <class Bytes>
void append16(Bytes& out, uint16_t v) {
  using T = typename Bytes::value_type;
  out.push_back(static_cast<T>(v & 0xFF));
  out.push_back(static_cast<T>(v >> 8));
}

template <class Bytes>
void append32(Bytes& out, uint32_t v) {
  using T = typename Bytes::value_type;
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<T>((v >> (8 * i)) & 0xFF));
}

template <class Bytes>
void append64(Bytes& out, uint64_t v) {
  using T = typename Bytes::value_type;
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<T>((v >> (8 * i)) & 0xFF));
}

inline uint16_t get16(const void* at) {
  auto* p = static_cast<const uint8_t*>(at);
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline uint32_t get32(const void* at) {
  auto* p = static_cast<const uint8_t*>(at);
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline uint64_t get64(const void* at) {
  auto* p = static_cast<const uint8_t*>(at);
  return uint64_t(get32(p)) | uint64_t(get32(p + 4)) << 32;
}

}  // namespace zubeto::arc::le
