#include "local/output_text.h"

#include <cstring>

namespace arc_local {

void put_output_text(const std::string& text, char* out, uint32_t size) {
  if (!out || size == 0) return;
  size_t n = text.size();
  if (n > size - 1) {
    n = size - 1;
    // Step back over continuation bytes so the cut falls before a character.
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  }
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
}

}  // namespace arc_local
