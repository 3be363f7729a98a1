// The output text that an archiver library hands back to its caller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "visible_text.h"

namespace zubeto::arc {

class OutputText {
 public:
  // One line of the text. Control characters in it (a file name may hold a
  // line feed or an escape) are written visibly, as visible_text() shows
  // them, so that a line of ours always stays one line in the run log.
  void line(std::string_view text) { lines_.push_back(zubeto::visible_text(text)); }
  // Counts `n` more lines at the end that are never shown: lines that come
  // after more text than any buffer given to fitted() holds, kept as a
  // number only (a list of a million names would otherwise be kept whole).
  void lines_not_kept(size_t n) { not_kept_ += n; }
  bool empty() const { return lines_.empty() && not_kept_ == 0; }
  // The lines joined by CR LF, without a line end after the last one (the
  // worker adds its own line end when it logs the text).
  std::string text() const;
  // The text as it fits in a buffer of `size` bytes with its zero byte:
  // whole lines while they fit; when they do not all fit, the last line is
  // "... and N more lines not shown", and a line that does not fit whole
  // is cut (at a UTF-8 character) rather than left out, so a list never
  // ends without saying that more exists.
  std::string fitted(uint32_t size) const;
  // Writes fitted(size) into `out`, always followed by a zero byte.
  void write(char* out, uint32_t size) const;

 private:
  std::vector<std::string> lines_;
  size_t not_kept_ = 0;
};

// Writes `text` into the caller's buffer of `size` bytes, always followed by
// a zero byte: size 0 (or a null buffer) writes nothing, size 1 writes only
// the zero byte. A text too long for the buffer is cut after the last whole
// line that fits; when not even the first line fits, it is cut before the
// first UTF-8 character that does not fit. Never writes past `size` bytes.
void write_output(std::string_view text, char* out, uint32_t size);

}  // namespace zubeto::arc
