// The system's narrow code page for the program's own fixed texts.
#pragma once
#include <string>
#include <string_view>

namespace platform {

// The fixed text (UTF-8 in the source) in the system's narrow code page:
// unchanged on POSIX, the ANSI code page on Windows (Shift-JIS on a
// Japanese system). Only for the program's own texts: paths and archiver
// output are already in the narrow code page and must not pass here.
std::string system_text(std::string_view utf8);

// Whether the user reads Japanese: the user interface language on Windows;
// on POSIX the first of LC_ALL, LC_MESSAGES and LANG that is set starts
// with "ja".
bool user_language_japanese();

}  // namespace platform
