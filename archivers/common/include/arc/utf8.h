// Whether a name is valid UTF-8: formats that mark names as UTF-8 (the ZIP
// flag, pax records, the CAB attribute) mark only names that are, and store
// other names as the bytes they are.
#pragma once

#include <string_view>

namespace zubeto::arc {

// Shortest forms only; no surrogates, nothing above U+10FFFF.
bool is_valid_utf8(std::string_view s);

// True when every byte is below 0x80.
bool is_ascii(std::string_view s);

}  // namespace zubeto::arc
