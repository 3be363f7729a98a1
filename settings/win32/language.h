// The language of the Win32 window: Japanese when the user's interface
// language is Japanese (every caption, message and file exactly as the
// window always had them), English under any other (the table of
// settings/english.h). The window's own texts reach the controls as wide
// characters, so that they never pass through the ANSI code page.
#pragma once
#include <string>
#include <string_view>

namespace zubeto::win32 {

// True when the user's interface language (GetUserDefaultUILanguage) is
// Japanese.
bool japanese_ui();

// A fixed text of the window, given as its Japanese original in UTF-8, in
// the window's language (UTF-8). A text without English words stays as it
// is.
std::string window_text(std::string_view utf8);

// UTF-8 as wide characters, and the window's text of a Japanese original
// as wide characters.
std::wstring wide(std::string_view utf8);
std::wstring wide_text(std::string_view utf8);

// The window's text in the ANSI code page, for the core's messages, which
// join it to paths in that code page.
std::string narrow_text(std::string_view utf8);

}  // namespace zubeto::win32
