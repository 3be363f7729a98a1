#include "arc/command.h"

#include "arc/codes.h"
#include "jobfile/job_line.h"
#include "platform/files.h"
#include "text/lines.h"

namespace zubeto::arc {

bool split_tokens(std::string_view text, std::vector<Token>& out) {
  out.clear();
  bool in_quotes = false;
  bool have = false;  // a token has started (an empty "" is a token)
  Token cur{std::string(), false};
  for (char c : text) {
    if (c == '"') {
      in_quotes = !in_quotes;
      cur.quoted = true;
      have = true;
    } else if (!in_quotes && (c == ' ' || c == '\t' || c == '\r' || c == '\n')) {
      if (have) out.push_back(std::move(cur));
      cur = Token{std::string(), false};
      have = false;
    } else {
      cur.text.push_back(c);
      have = true;
    }
  }
  if (in_quotes) return false;
  if (have) out.push_back(std::move(cur));
  return true;
}

bool read_response_file(const std::string& path, std::vector<std::string>& out, std::string& why) {
  // Only a regular file can be a list of sources: a folder, a device
  // ("/dev/zero" never ends) or a pipe is refused before it is read, and
  // no list is larger than kMaxResponseBytes, which is read as a bound,
  // whatever size the file claims.
  platform::InputFile file;
  platform::FileFacts facts;
  platform::SysError err;
  if (!file.open(path, /*follow_link=*/true, facts, err)) {
    why = err.text();
    return false;
  }
  if (facts.kind != platform::FileKind::File) {
    why = "not a regular file";
    return false;
  }
  std::string all;
  char buf[65536];
  for (;;) {
    long long n = file.read(buf, sizeof buf, err);
    if (n < 0) {
      why = err.text();
      return false;
    }
    if (n == 0) break;
    all.append(buf, static_cast<size_t>(n));
    if (all.size() > kMaxResponseBytes) {
      why = "larger than any list of sources (more than " + std::to_string(kMaxResponseBytes) + " bytes)";
      return false;
    }
  }
  file.close();
  size_t pos = 0;
  size_t number = 0;
  std::string_view next;
  while (zubeto::text::next_line(all, pos, next)) {
    std::string line(next);
    ++number;
    // A path cut at a zero byte would name another file or folder.
    if (line.find('\0') != std::string::npos) {
      why = "line " + std::to_string(number) + " holds a zero byte";
      return false;
    }
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
    size_t lead = line.find_first_not_of(" \t");
    if (lead == std::string::npos) continue;
    line.erase(0, lead);
    const std::string_view path = jobfile::unquoted_loosely(line);
    if (!path.empty()) out.emplace_back(path);
  }
  return true;
}

namespace {

bool is_switch(const Token& t) { return !t.quoted && !t.text.empty() && t.text[0] == '-'; }

void add_source(const FormatRow& row, std::string path, Command& out) {
  Source s;
  // "<folder>/*.*" (Windows: "<folder>\*.*" too, never the second byte of a
  // double-byte character).
  static constexpr std::string_view kAll = "*.*";
  if (row.folder_contents && path.size() > kAll.size() &&
      std::string_view(path).substr(path.size() - kAll.size()) == kAll &&
      platform::is_separator_at(path, path.size() - kAll.size() - 1)) {
    path.resize(path.size() - kAll.size());
    // The folder keeps its separator only where it is the root ("/", "C:\" on Windows).
    std::string folder = path.substr(0, path.size() - 1);
    if (!folder.empty() && platform::folder_of(path) != path) path = std::move(folder);
    s.contents_only = true;
  }
  s.path = std::move(path);
  out.sources.push_back(std::move(s));
}

}  // namespace

int parse_command(const FormatRow& row, std::string_view text, Command& out, std::string& error) {
  out = Command();
  std::vector<Token> tokens;
  if (!split_tokens(text, tokens)) {
    error = "bad command: a double quote is not closed";
    return ARC_E_COMMAND;
  }
  size_t i = 0;
  for (std::string_view word : row.mode) {
    if (i >= tokens.size() || tokens[i].quoted || tokens[i].text != word) {
      std::string want;
      for (std::string_view w : row.mode) want += (want.empty() ? "" : " ") + std::string(w);
      error = "bad command: unknown mode";
      if (i < tokens.size()) error += " \"" + tokens[i].text + "\"";
      error += ", expected \"" + want + "\"";
      return ARC_E_COMMAND;
    }
    ++i;
  }
  if (i >= tokens.size() || is_switch(tokens[i]) || tokens[i].text.empty()) {
    error = "bad command: no archive path";
    return ARC_E_COMMAND;
  }
  out.archive = tokens[i++].text;

  bool have_base = false;
  for (; i < tokens.size(); ++i) {
    const Token& t = tokens[i];
    if (is_switch(t)) {
      bool known = false;
      for (std::string_view s : row.switches) known = known || t.text == s;
      if (!known) {
        error = "bad command: unknown switch \"" + t.text + "\"";
        return ARC_E_COMMAND;
      }
      out.switches.push_back(t.text);
      continue;
    }
    if (t.text.empty()) {
      error = "bad command: empty path";
      return ARC_E_COMMAND;
    }
    if (row.base_dir && !have_base) {
      out.base_dir = t.text;
      have_base = true;
      continue;
    }
    if (t.text[0] == '@') {
      std::string file = t.text.substr(1);
      std::vector<std::string> lines;
      std::string why = "no file named";
      if (file.empty() || !read_response_file(file, lines, why)) {
        error = "cannot read the response file: " + file + " (" + why + ")";
        return ARC_E_RESPONSE;
      }
      // The list is text in the ANSI code page, as the command is.
      for (std::string& line : lines) add_source(row, platform::from_ansi(line), out);
      continue;
    }
    add_source(row, t.text, out);
  }
  if (row.base_dir && !have_base) {
    error = "bad command: no base directory";
    return ARC_E_COMMAND;
  }
  if (out.sources.empty()) {
    error = "bad command: no sources";
    return ARC_E_COMMAND;
  }
  return ARC_OK;
}

}  // namespace zubeto::arc
