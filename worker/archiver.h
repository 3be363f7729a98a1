// The archiver driver: one archiver library per job type, loaded by name,
// its version printed, its command function called once, the outcome logged.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "result_codes.h"
#include "runlog.h"

namespace worker {

struct ArcRow {
  const char* library;         // file name given to the loader
  const char* version_fn;      // version function's name
  const char* command_fn;      // command function's name
  const char* version_line;    // printf format, printed to standard output
  const char* loading_line;    // run log, before the call
  const char* not_found_line;  // run log, when the library cannot be loaded
  int not_found_code;
  uint32_t output_size;        // output size passed to the command function
};

// One row per job type 0..4.
extern const ArcRow kArcTable[5];

// Size of the output buffer; the size passed is always smaller, so the text
// in it ends with a zero byte.
inline constexpr size_t kOutputBufferSize = 32768;

// The lines of an archiver's output text that begin with "NOTE: ": what a
// successful archiver tells although the archive is complete (entries left
// out on purpose, names changed to keep two files apart), joined by line
// feeds; empty when there are none.
std::string success_notes(std::string_view output);

// The archiver's output text as the run log shows it: its lines (split at
// line feeds, the CR of a CR LF dropped), each with its control characters
// written visibly; a line shaped like one of the log's time-stamped lines
// gets its "[" as "\x5b", so the text can add no start or end line.
std::vector<std::string> output_lines(std::string_view output);

// Job types 0..4 call arc_run with their row; any other value returns 0,
// from the worker.
RunOutcome arc_dispatch(RunLog& log, int job_type, std::string_view args);

// The row's not-found code (or the stopped code), from the worker; or the
// command function's return value, from the archiver, with its text.
RunOutcome arc_run(RunLog& log, const ArcRow& row, std::string_view args);

}  // namespace worker
