#include "platform/text.h"

#include <cstdlib>

namespace platform {

// POSIX systems read and write UTF-8, the texts' own encoding.
std::string system_text(std::string_view utf8) { return std::string(utf8); }

bool user_language_japanese() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* v = std::getenv(name);
    if (v && *v) return v[0] == 'j' && v[1] == 'a';
  }
  return false;
}

}  // namespace platform
