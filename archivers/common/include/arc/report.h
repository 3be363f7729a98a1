// What went wrong with single sources while an archive was made: the
// archive is kept, the return is non-zero, and each problem is named.
#pragma once

#include <string>
#include <vector>

namespace zubeto::arc {

struct Report {
  struct Problem {
    int code;          // ARC_E_SOURCE_*
    std::string text;  // one line naming the path and the reason
  };
  std::vector<Problem> problems;
  std::vector<std::string> notes;  // left out on purpose (special files, links): no failure

  void problem(int code, std::string text) { problems.push_back({code, std::move(text)}); }
  void note(std::string text) { notes.push_back(std::move(text)); }
  int first_code() const { return problems.empty() ? 0 : problems.front().code; }
};

}  // namespace zubeto::arc
