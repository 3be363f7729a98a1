#include "platform/text.h"

namespace platform {

// POSIX systems read and write UTF-8, the texts' own encoding.
std::string system_text(std::string_view utf8) { return std::string(utf8); }

}  // namespace platform
