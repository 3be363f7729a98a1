#include "lzh_names.h"

#include <algorithm>
#include <cstdint>

#include "arc/le.h"
#include "arc/utf8.h"

namespace lzh {
namespace {

#include "cp932_table.inc"

// The Shift-JIS code of a character, or 0 when code page 932 cannot hold it.
uint16_t cp932_of(uint32_t c) {
  if (c < 0x80) return static_cast<uint16_t>(c);
  if (c > 0xFFFF) return 0;
  const uint16_t* end = kCp932Unicode + kCp932Count;
  const uint16_t* at = std::lower_bound(kCp932Unicode, end, static_cast<uint16_t>(c));
  if (at == end || *at != c) return 0;
  return kCp932Code[at - kCp932Unicode];
}

// The next character of `s` from `i`: a whole UTF-8 sequence, or one byte
// that does not start one (read as U+0080 to U+00FF).
uint32_t next_char(std::string_view s, size_t& i) {
  uint32_t v = 0;
  if (const size_t n = zubeto::text::utf8_sequence(s, i, &v)) {
    i += n;
    return v;
  }
  return static_cast<uint8_t>(s[i++]);
}

void put16(std::string& out, uint32_t u) { zubeto::arc::le::append16(out, static_cast<uint16_t>(u)); }

// Whether the Shift-JIS form reads back as the name itself in any code
// page: plain ASCII, kept as it was (a backslash becomes "_").
bool spelled_exactly(std::string_view utf8, const std::string& sjis) {
  return sjis == utf8 && std::all_of(sjis.begin(), sjis.end(), [](char c) { return static_cast<uint8_t>(c) < 0x80; });
}

}  // namespace

void convert_part(std::string_view utf8, std::string& sjis, std::string& utf16le) {
  sjis.clear();
  utf16le.clear();
  const bool raw = !zubeto::arc::is_valid_utf8(utf8);
  if (raw) {
    // Not UTF-8: the bytes as they are, but for a 0xFF (the folder
    // separator of the folder field) and a backslash.
    for (char ch : utf8) sjis += ch == '\xFF' || ch == '\\' ? '_' : ch;
  }
  for (size_t i = 0; i < utf8.size();) {
    const uint32_t c = next_char(utf8, i);
    if (c >= 0x10000) {
      put16(utf16le, 0xD800 + ((c - 0x10000) >> 10));
      put16(utf16le, 0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      put16(utf16le, c);
    }
    if (raw) continue;
    // A backslash would read as a folder separator on Windows.
    const uint16_t code = c == '\\' ? 0 : cp932_of(c);
    if (code == 0 && c != 0) {
      sjis += '_';
    } else if (code > 0xFF) {
      sjis += static_cast<char>(code >> 8);
      sjis += static_cast<char>(code & 0xFF);
    } else {
      sjis += static_cast<char>(code);
    }
  }
}

std::string fold_cp932_case(std::string_view sjis) {
  std::string out(sjis);
  for (size_t i = 0; i < out.size(); ++i) {
    const uint8_t c = static_cast<uint8_t>(out[i]);
    const bool lead = (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    if (!lead || i + 1 == out.size()) {
      if (c >= 'A' && c <= 'Z') out[i] = static_cast<char>(c + 32);
      continue;
    }
    uint16_t code = static_cast<uint16_t>(c << 8 | static_cast<uint8_t>(out[i + 1]));
    if (code >= 0x8260 && code <= 0x8279) code += 0x21;       // Ａ-Ｚ
    else if (code >= 0x839F && code <= 0x83B6) code += 0x20;  // Α-Ω
    else if (code >= 0x8440 && code <= 0x844E) code += 0x30;  // А-Н
    else if (code >= 0x844F && code <= 0x8460) code += 0x31;  // О-Я (the lower row skips 0x847F)
    out[i] = static_cast<char>(code >> 8);
    out[i + 1] = static_cast<char>(code & 0xFF);
    ++i;
  }
  return out;
}

StoredName stored_name(std::string_view name, bool is_folder) {
  StoredName out;
  std::string_view dir = name, file;
  if (!is_folder) {
    const size_t slash = name.rfind('/');
    if (slash == std::string_view::npos) {
      dir = {};
      file = name;
    } else {
      dir = name.substr(0, slash);
      file = name.substr(slash + 1);
    }
  }
  std::string sjis, utf16;
  while (!dir.empty()) {
    const size_t slash = dir.find('/');
    convert_part(dir.substr(0, slash), sjis, utf16);
    out.dir_exact = out.dir_exact && spelled_exactly(dir.substr(0, slash), sjis);
    out.sjis_dir += sjis;
    out.sjis_dir += '\xFF';
    out.utf16_dir += utf16;
    put16(out.utf16_dir, '/');
    dir = slash == std::string_view::npos ? std::string_view{} : dir.substr(slash + 1);
  }
  if (!file.empty()) {
    convert_part(file, out.sjis_file, out.utf16_file);
    out.file_exact = spelled_exactly(file, out.sjis_file);
  }
  return out;
}

}  // namespace lzh
