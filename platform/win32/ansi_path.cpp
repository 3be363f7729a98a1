#include "platform/ansi_path.h"

#include <windows.h>

namespace platform::ansi {

namespace {

UINT page(unsigned code_page) { return code_page ? code_page : ::GetACP(); }

bool is_sep(char c) { return c == '\\' || c == '/'; }

// The start of every character, in order; `fn(at, length)`.
template <typename Fn>
void each_char(std::string_view s, UINT cp, Fn fn) {
  for (size_t i = 0; i < s.size();) {
    size_t n = ::IsDBCSLeadByteEx(cp, static_cast<BYTE>(s[i])) && i + 1 < s.size() ? 2 : 1;
    fn(i, n);
    i += n;
  }
}

// The path as a list of (character, is separator) steps, for comparing.
std::string folded(std::string_view s, UINT cp) {
  std::string out;
  out.reserve(s.size());
  each_char(s, cp, [&](size_t at, size_t n) {
    if (n == 2) {
      out.append(s.substr(at, 2));
      return;
    }
    char c = s[at];
    if (is_sep(c)) c = '\\';
    else if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    out += c;
  });
  if (ends_with_separator(s, cp)) out.pop_back();
  return out;
}

}  // namespace

size_t next_char(std::string_view path, size_t i, unsigned code_page) {
  if (i >= path.size()) return path.size();
  return ::IsDBCSLeadByteEx(page(code_page), static_cast<BYTE>(path[i])) && i + 1 < path.size() ? i + 2 : i + 1;
}

size_t last_separator(std::string_view path, unsigned code_page) {
  size_t last = std::string_view::npos;
  each_char(path, page(code_page), [&](size_t at, size_t n) {
    if (n == 1 && is_sep(path[at])) last = at;
  });
  return last;
}

bool ends_with_separator(std::string_view path, unsigned code_page) {
  return !path.empty() && last_separator(path, code_page) == path.size() - 1;
}

std::string folder_part(std::string_view path, unsigned code_page) {
  size_t sep = last_separator(path, code_page);
  return sep == std::string_view::npos ? std::string() : std::string(path.substr(0, sep));
}

std::string name_part(std::string_view path, unsigned code_page) {
  size_t sep = last_separator(path, code_page);
  return std::string(sep == std::string_view::npos ? path : path.substr(sep + 1));
}

std::string join(std::string_view folder, std::string_view name, unsigned code_page) {
  std::string out(folder);
  if (!out.empty() && !ends_with_separator(out, code_page)) out += '\\';
  out += name;
  return out;
}

bool same_path(std::string_view a, std::string_view b, unsigned code_page) {
  UINT cp = page(code_page);
  return folded(a, cp) == folded(b, cp);
}

}  // namespace platform::ansi
