#include "platform/text.h"

#include <windows.h>

#include <vector>

namespace platform {

// UTF-8 -> UTF-16 -> ANSI code page. A character the code page lacks comes
// out as the system's default character, as any ANSI program would show it.
std::string system_text(std::string_view utf8) {
  if (utf8.empty()) return {};
  int n = static_cast<int>(utf8.size());
  int wide_len = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), n, nullptr, 0);
  if (wide_len <= 0) return std::string(utf8);
  std::vector<wchar_t> wide(static_cast<size_t>(wide_len));
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), n, wide.data(), wide_len);
  int out_len = ::WideCharToMultiByte(CP_ACP, 0, wide.data(), wide_len, nullptr, 0, nullptr, nullptr);
  if (out_len <= 0) return std::string(utf8);
  std::string out(static_cast<size_t>(out_len), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, wide.data(), wide_len, out.data(), out_len, nullptr, nullptr);
  return out;
}

bool user_language_japanese() { return PRIMARYLANGID(::GetUserDefaultUILanguage()) == LANG_JAPANESE; }

}  // namespace platform
