#include "language.h"

#include <windows.h>

#include "english.h"
#include "platform/text.h"

namespace zubeto::win32 {

bool japanese_ui() { return PRIMARYLANGID(::GetUserDefaultUILanguage()) == LANG_JAPANESE; }

std::string window_text(std::string_view utf8) {
  if (!japanese_ui())
    if (std::optional<std::string_view> e = english::text(utf8)) return std::string(*e);
  return std::string(utf8);
}

std::wstring wide(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), n);
  return w;
}

std::wstring wide_text(std::string_view utf8) { return wide(window_text(utf8)); }

std::string narrow_text(std::string_view utf8) { return platform::system_text(window_text(utf8)); }

}  // namespace zubeto::win32
