// The one codec of a job file's line: which key starts it, its value, and
// the quotes around a path. The worker reads lines with it, the settings
// core writes and restores them with it, the archivers read the response
// file's lines with it. It looks at no byte but the quote, so a Shift-JIS
// name whose second byte is 0x5C passes through whole.
#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "jobfile/vocabulary.h"

namespace jobfile {

// The keys a line may start with.
enum class Key : int { none, mode, archive, base_dir, source, keep, shutdown };

// The key's text, "=" included ("[dir_file]="); "" for Key::none.
constexpr const char* key_text(Key key) {
  switch (key) {
    case Key::mode: return kKeyMode;
    case Key::archive: return kKeyArchive;
    case Key::base_dir: return kKeyBaseDir;
    case Key::source: return kKeySource;
    case Key::keep: return kKeepKey;
    case Key::shutdown: return kKeyShutdown;
    case Key::none: break;
  }
  return "";
}

// A line taken apart: the key that starts it and the value after the key.
// A line that starts with no key (another letter case, a space before the
// key, the bare "[base_dir]", an unknown key) is Key::none with the whole
// line as its value.
struct JobLine {
  Key key = Key::none;
  std::string_view value;
};

inline JobLine split_line(std::string_view line) {
  for (Key key : {Key::mode, Key::archive, Key::base_dir, Key::source, Key::keep, Key::shutdown}) {
    const std::string_view text = key_text(key);
    if (line.substr(0, text.size()) == text) return {key, line.substr(text.size())};
  }
  return {Key::none, line};
}

// The line of a key and its value, without a line end.
inline std::string make_line(Key key, std::string_view value) {
  std::string line = key_text(key);
  line += value;
  return line;
}

inline constexpr char kQuote = '"';

// A path between quotes: "C:\data" -> "\"C:\data\"".
inline std::string quoted(std::string_view path) {
  std::string out;
  out.reserve(path.size() + 2);
  out += kQuote;
  out += path;
  out += kQuote;
  return out;
}

// The archive line's value: an opening quote and no closing one; the worker
// appends the archive's name and closes the quote itself.
inline std::string opened(std::string_view folder) {
  std::string out(1, kQuote);
  out += folder;
  return out;
}

// A quoted value without its first and last byte, as the window reads its
// own lines back; nothing when the value is too short to hold two quotes.
inline std::optional<std::string_view> unquoted(std::string_view value) {
  if (value.size() < 2) return std::nullopt;
  return value.substr(1, value.size() - 2);
}

// The archive line's value without its opening quote; nothing when empty.
inline std::optional<std::string_view> unopened(std::string_view value) {
  if (value.empty()) return std::nullopt;
  return value.substr(1);
}

// A line of a list of paths as the archivers read it: the quotes around it
// go, an opening quote alone goes too; a path without quotes stays.
inline std::string_view unquoted_loosely(std::string_view value) {
  if (value.size() >= 2 && value.front() == kQuote && value.back() == kQuote) return value.substr(1, value.size() - 2);
  if (!value.empty() && value.front() == kQuote) return value.substr(1);
  return value;
}

// The path a value names, every quote in it dropped: how the worker tests
// that a path exists, and what it takes for the archive's own path.
inline std::string without_quotes(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (char c : value)
    if (c != kQuote) out += c;
  return out;
}

// Whether a path can stand in a job line: a quote would end the value early
// and a line break would start another line, so either would come back as
// another path.
inline bool quotable(std::string_view path) { return path.find_first_of("\"\r\n") == std::string_view::npos; }

// A CAB folder source: its path with the suffix that means "every file of
// this folder", and the path back from it.
inline std::string with_all_files(std::string_view folder) {
  std::string out(folder);
  out += kAllFilesSuffix;
  return out;
}
inline std::string_view without_all_files(std::string_view value) {
  const std::string_view suffix = kAllFilesSuffix;
  if (value.size() >= suffix.size() && value.substr(value.size() - suffix.size()) == suffix)
    value.remove_suffix(suffix.size());
  return value;
}

}  // namespace jobfile
