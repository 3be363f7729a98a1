// The command reader: turns one command text such as
//   -rq "/backup/20240515213005.zip" "/home/u/data" "/home/u/memo.txt"
// into the archive path, the extra switches, the base directory and the
// sources, for one row of the format table.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "arc/format.h"

namespace zubeto::arc {

struct Token {
  std::string text;  // quotes removed
  bool quoted;       // some part of it was in double quotes
};

// Splits at spaces and tabs outside double quotes; a double quote opens or
// closes quoting anywhere and is dropped. Returns false on an unclosed quote.
bool split_tokens(std::string_view text, std::vector<Token>& out);

struct Source {
  std::string path;            // as given, without the CAB "/*.*" suffix
  bool contents_only = false;  // "<folder>/*.*": the folder's contents, not the folder
};

struct Command {
  std::string archive;                // archive path
  std::vector<std::string> switches;  // extra switches, as given
  std::string base_dir;               // formats with a base directory only
  std::vector<Source> sources;        // in command order, response files expanded
};

// The largest response file read: far beyond any list of sources (a
// quarter of a million long paths), far below what would exhaust memory.
constexpr size_t kMaxResponseBytes = 64u << 20;

// Reads a response file: one path a line, in double quotes or bare, lines
// ending with CR LF or LF; blank lines are skipped. Returns false with a
// reason in `why` when the file cannot be opened or read, is no regular
// file, is larger than kMaxResponseBytes, or holds a zero byte.
bool read_response_file(const std::string& path, std::vector<std::string>& out, std::string& why);

// Reads `text` for the format `row`. Returns ARC_OK, or ARC_E_COMMAND /
// ARC_E_RESPONSE with a one-line reason in `error`.
//
// Order: the mode words; the archive path; then, in any order, the extra
// switches (unquoted tokens that begin with "-" must be one of the row's)
// and the paths; for formats with a base directory the first path is the
// base directory. A path beginning with "@" names a response file whose
// lines are further sources (read relative to the current directory, not
// expanded again). For formats with folder contents, a source ending in
// "/*.*" means that folder's contents.
int parse_command(const FormatRow& row, std::string_view text, Command& out, std::string& error);

}  // namespace zubeto::arc
