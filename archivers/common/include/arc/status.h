#pragma once

#include <string>

namespace zubeto::arc {

// The outcome of one step of writing an archive: code 0, or one of
// arc/codes.h with a one-line reason.
struct Status {
  int code = 0;
  std::string text;
  bool ok() const { return code == 0; }
  static Status fail(int code, std::string text) { return Status{code, std::move(text)}; }
};

}  // namespace zubeto::arc
