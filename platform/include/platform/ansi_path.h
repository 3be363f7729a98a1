// Paths in the ANSI code page, cut and joined on Windows (Win32 only).
//
// In a double-byte code page the second byte of a character may be 0x5C,
// the backslash: in code page 932 ソ, 十, 表, 能 and 予 all end in it. A
// path is therefore never read one byte at a time: these helpers walk it
// from its start, character by character, with the lead bytes of the
// system's ANSI code page, and only a whole one-byte character "\" or "/"
// separates.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace platform::ansi {

// Where the character at `i` ends in the ANSI code page `code_page`
// (0: the system's own).
size_t next_char(std::string_view path, size_t i, unsigned code_page = 0);

// The byte offset of the last separator, or npos when there is none.
size_t last_separator(std::string_view path, unsigned code_page = 0);

// The path ends with a separator (a character, not the second byte of one).
bool ends_with_separator(std::string_view path, unsigned code_page = 0);

// The folder part: everything before the last separator ("C:\a\b.exe" ->
// "C:\a", "C:\b.exe" -> "C:"); "" when the path has no separator.
std::string folder_part(std::string_view path, unsigned code_page = 0);

// The name part: everything after the last separator.
std::string name_part(std::string_view path, unsigned code_page = 0);

// The folder and the name with one "\" between them (none added when the
// folder already ends with a separator; the name alone for no folder).
std::string join(std::string_view folder, std::string_view name, unsigned code_page = 0);

// The two paths name the same file as text: letters A-Z without regard to
// case, "/" and "\" alike, a separator at the end ignored; the second byte
// of a double-byte character is compared as it is.
bool same_path(std::string_view a, std::string_view b, unsigned code_page = 0);

}  // namespace platform::ansi
