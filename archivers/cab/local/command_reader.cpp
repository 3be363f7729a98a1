#include "local/command_reader.h"

#include <cerrno>
#include <cstring>
#include <fstream>

namespace arc_local {

std::vector<std::string> split_words(const std::string& text, std::vector<bool>* quoted) {
  std::vector<std::string> words;
  if (quoted) quoted->clear();
  size_t i = 0, n = text.size();
  while (i < n) {
    while (i < n && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n')) ++i;
    if (i >= n) break;
    std::string w;
    bool q = text[i] == '"';
    bool in_quotes = false;
    while (i < n && (in_quotes || (text[i] != ' ' && text[i] != '\t' && text[i] != '\r' && text[i] != '\n'))) {
      if (text[i] == '"') {
        in_quotes = !in_quotes;
      } else {
        w += text[i];
      }
      ++i;
    }
    words.push_back(w);
    if (quoted) quoted->push_back(q);
  }
  return words;
}

Source make_source(const std::string& text) {
  static const std::string suffix = "/*.*";
  Source s;
  if (text.size() > suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0) {
    s.path = text.substr(0, text.size() - suffix.size());
    s.contents = true;
  } else if (text == suffix) {
    s.path.assign(1, '/');
    s.contents = true;
  } else {
    s.path = text;
  }
  return s;
}

bool read_response_file(const std::string& path, std::vector<Source>& out, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot read the response file " + path + ": " + std::strerror(errno);
    return false;
  }
  std::string line;
  while (std::getline(in, line)) {
    std::string value;
    for (char c : line)
      if (c != '"' && c != '\r') value += c;
    size_t a = value.find_first_not_of(" \t");
    if (a == std::string::npos) continue;
    size_t b = value.find_last_not_of(" \t");
    out.push_back(make_source(value.substr(a, b - a + 1)));
  }
  if (in.bad()) {
    error = "cannot read the response file " + path;
    return false;
  }
  return true;
}

bool read_command(const std::string& text, Command& cmd, std::string& error) {
  std::vector<bool> quoted;
  std::vector<std::string> words = split_words(text, &quoted);
  bool have_archive = false;
  for (size_t i = 0; i < words.size(); ++i) {
    const std::string& w = words[i];
    if (!quoted[i] && !w.empty() && w[0] == '-') {
      cmd.switches.push_back(w);
    } else if (!have_archive) {
      cmd.archive = w;
      have_archive = true;
    } else if (!w.empty() && w[0] == '@') {
      if (!read_response_file(w.substr(1), cmd.sources, error)) return false;
    } else if (!w.empty()) {
      cmd.sources.push_back(make_source(w));
    }
  }
  return true;
}

}  // namespace arc_local
