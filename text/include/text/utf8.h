// The one UTF-8 decoder. A sequence is valid only in its shortest form,
// outside the UTF-16 surrogates and at most U+10FFFF; a byte that starts no
// valid sequence is the caller's to handle (copied, replaced or refused).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace zubeto::text {

// The length (1 to 4) of the valid UTF-8 sequence at s[i], its value in
// *code when given; 0 when none starts there (or i is past the end).
inline std::size_t utf8_sequence(std::string_view s, std::size_t i, std::uint32_t* code = nullptr) {
  if (i >= s.size()) return 0;
  const auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(s[k]); };
  const std::uint8_t c = byte(i);
  if (c < 0x80) {
    if (code) *code = c;
    return 1;
  }
  std::size_t len;
  std::uint32_t cp, least;
  if (c >= 0xC2 && c <= 0xDF) {
    len = 2, cp = c & 0x1F, least = 0x80;
  } else if (c >= 0xE0 && c <= 0xEF) {
    len = 3, cp = c & 0x0F, least = 0x800;
  } else if (c >= 0xF0 && c <= 0xF4) {
    len = 4, cp = c & 0x07, least = 0x10000;
  } else {
    return 0;
  }
  if (len > s.size() - i) return 0;
  for (std::size_t k = 1; k < len; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (byte(i + k) & 0x3F);
  }
  if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  if (code) *code = cp;
  return len;
}

// True when the whole text is valid UTF-8 (an empty text is).
inline bool is_valid_utf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t n = utf8_sequence(s, i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

// True when no byte is 0x80 or above.
inline bool is_ascii(std::string_view s) {
  for (char c : s)
    if (static_cast<std::uint8_t>(c) >= 0x80) return false;
  return true;
}

// Where the UTF-8 character that holds byte `pos` starts: back over
// continuation bytes (the text's size when pos is past its end).
inline std::size_t utf8_char_start(std::string_view s, std::size_t pos) {
  if (pos >= s.size()) return s.size();
  while (pos > 0 && (static_cast<std::uint8_t>(s[pos]) & 0xC0) == 0x80) --pos;
  return pos;
}

}  // namespace zubeto::text
