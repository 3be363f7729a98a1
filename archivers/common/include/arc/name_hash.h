// 64 bits of a name, for the rules that keep names apart without keeping
// the names (the walk's names given, the names as a format stores them):
// FNV-1a, then mixed so that every bit counts.
#pragma once

#include <cstdint>
#include <string_view>

namespace zubeto::arc {

inline uint64_t name_hash(std::string_view s) {
  uint64_t h = 0xcbf29ce484222325ull;
  for (unsigned char c : s) {
    h ^= c;
    h *= 0x100000001b3ull;
  }
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdull;
  h ^= h >> 33;
  h *= 0xc4ceb9fe1a85ec53ull;
  h ^= h >> 33;
  return h;
}

}  // namespace zubeto::arc
