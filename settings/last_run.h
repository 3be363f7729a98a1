// The last run as the run log tells it, for the window's status line: a
// plain reader over the log's last lines and the words that show it.
#pragma once
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace zubeto {

struct LastRun {
  enum class Outcome {
    none,           // no end line in the log (no run yet, or no log)
    running,        // a start line after the last end line: a run is at work
    done,           // 0000
    done_left_out,  // the archive was written, but some files could not be kept
    failed,         // any other code
  };
  enum class Cause {
    none,
    missing,  // a file or folder that does not exist: the path
    mode,     // the job's type could not be read: the character read
    text,     // the log's own words (an archiver's, the worker's)
    code,     // nothing in the log but the code
  };
  Outcome outcome = Outcome::none;
  std::string time;  // "MM/DD hh:mm:ss", as the end (or start) line has it
  std::string code;  // the four digits of the end line
  int left_out = 0;  // done_left_out: how many sources were not kept
  Cause cause = Cause::none;
  std::string detail;  // the path, the character, or the words

  bool operator==(const LastRun&) const = default;
};

// Reads the last run from the run log's lines (its tail will do: a first
// line cut short is passed over when it matches nothing).
LastRun read_last_run(const std::vector<std::string>& lines);

// The status line's words. Each fixed text is handed to `localized` as its
// Japanese original (UTF-8), which gives it in the window's language and the
// system's code page; the log's own bytes are added unchanged.
// A pattern's "%1".."%9" replaced by the values, in one pass.
std::string fill(const std::string& pattern, const std::vector<std::string>& values);

std::string status_text(const LastRun& run, const std::function<std::string(std::string_view)>& localized);

}  // namespace zubeto
