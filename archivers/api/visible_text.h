// Outside text on its way into the run log: file names, paths read from the
// job file, an archiver's output text. A control character in it (a line
// feed, a carriage return, an escape that a terminal would act on, any
// byte below 0x20 and 0x7F) is written visibly, so that a name can never
// begin a line of its own: a file named "y\n[12/10 12:00:01]=...=0000"
// must not read as the end of a run.
//
// Line feed, carriage return and tab are shown as \n, \r and \t, every
// other one as \x and two lowercase hex digits (ESC as \x1b). Every other
// byte is kept as it is: no control byte is part of a multi-byte character
// in UTF-8 or in Shift-JIS, whose second bytes start at 0x40, so the text
// stays whole in either. A backslash is kept too: on Windows a 0x5C byte
// may be the second half of ソ, 十, 表 or 能 and cannot be doubled without
// knowing the code page, so "\n" in the log may also stand for a name that
// held a backslash and an "n" -- what it can never be is a line break.
#ifndef ZUBETO_VISIBLE_TEXT_H
#define ZUBETO_VISIBLE_TEXT_H

#ifdef __cplusplus
#include <string>
#include <string_view>

namespace zubeto {

inline bool is_control_byte(unsigned char c) { return c < 0x20 || c == 0x7F; }

inline std::string visible_text(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (!is_control_byte(c)) {
      out += ch;
      continue;
    }
    switch (c) {
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default: {
        static const char kHex[] = "0123456789abcdef";
        out += "\\x";
        out += kHex[c >> 4];
        out += kHex[c & 15];
      }
    }
  }
  return out;
}

}  // namespace zubeto
#endif

#endif
