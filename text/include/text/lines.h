// The one line splitter. A text's lines each end at LF; a CR just before
// the LF belongs to the line end (CR LF), any other CR stays in the line.
// A last line without a line end still counts; nothing follows a final LF.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace zubeto::text {

// The line that starts at `pos`, without its line end, and `pos` moved past
// it. False (and nothing changed) once `pos` has reached the end.
inline bool next_line(std::string_view text, std::size_t& pos, std::string_view& line) {
  if (pos >= text.size()) return false;
  std::size_t lf = text.find('\n', pos);
  const bool ended = lf != std::string_view::npos;
  if (!ended) lf = text.size();
  line = text.substr(pos, lf - pos);
  if (ended && !line.empty() && line.back() == '\r') line.remove_suffix(1);
  pos = ended ? lf + 1 : text.size();
  return true;
}

// Every line of the text.
inline std::vector<std::string> split_lines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t pos = 0;
  std::string_view line;
  while (next_line(text, pos, line)) lines.emplace_back(line);
  return lines;
}

}  // namespace zubeto::text
