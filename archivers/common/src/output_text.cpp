#include "arc/output_text.h"

#include <cstring>

namespace zubeto::arc {

std::string OutputText::text() const {
  std::string all;
  for (size_t i = 0; i < lines_.size(); ++i) {
    if (i) all += "\r\n";
    all += lines_[i];
  }
  return all;
}

void OutputText::write(char* out, uint32_t size) const { write_output(text(), out, size); }

void write_output(std::string_view text, char* out, uint32_t size) {
  if (out == nullptr || size == 0) return;
  size_t cut = text.size();
  if (cut > size - 1) {
    const size_t room = size - 1;
    // Prefer to end after a whole line: the last line break that starts
    // within the room.
    size_t brk = text.substr(0, room + 1).rfind('\n');
    if (brk != std::string_view::npos && brk > 0) {
      cut = brk;
      if (text[cut - 1] == '\r') --cut;
    } else {
      cut = room;
      while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    }
    if (cut > room) cut = room;
  }
  std::memcpy(out, text.data(), cut);
  out[cut] = '\0';
}

}  // namespace zubeto::arc
