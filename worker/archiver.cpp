#include "archiver.h"

#include <cstdio>
#include <string>
#include <vector>

#include "archiver_api.h"
#include "platform/dynlib.h"
#ifdef _WIN32
#include "platform/pe_image.h"
#endif
#include "result_codes.h"
#include "run.h"
#include "text/lines.h"
#include "visible_text.h"

namespace worker {

const ArcRow kArcTable[5] = {
    {"unlha32.dll", "UnlhaGetVersion", "Unlha", "UNLHA32.DLL Version %1.2f \n", "UNLHA32.DLL Loading",
     "ERROR:UNLHA32.DLL not Found on your system.", 0x0400, 32767},
    {"ZIP32J.DLL", "ZipGetVersion", "Zip", "UNZIP32.DLL Version %1.2f \n", "UNZIP32.DLL Loading",
     "ERROR:UNZIP32.DLL not Found on your system.", 0x0401, 32767},
    {"cab32.dll", "CabGetVersion", "Cab", "CAB32.DLL Version %1.2f \n", "CAB32.DLL Loading",
     "ERROR:cab32.DLL not Found on your system.", 0x0402, 32767},
    {"TAR32.dll", "TarGetVersion", "Tar", "TAR32.DLL Version %1.2f \n", "TAR32.DLL Loading",
     "ERROR:TAR32.DLL not Found on your system.", 0x0403, 1000},
    {"BGA32.dll", "BgaGetVersion", "Bga", "BGA32.DLL Version %1.2f \n", "BGA32.DLL Loading",
     "ERROR:BGA32.DLL not Found on your system.", 0x0404, 32767},
};

namespace {

// "[05/15 21:30:05]=": the start of one of the run log's own time-stamped lines.
bool looks_stamped(std::string_view line) {
  static constexpr std::string_view kShape = "[00/00 00:00:00]=";
  if (line.size() < kShape.size()) return false;
  for (size_t i = 0; i < kShape.size(); ++i) {
    const bool digit = line[i] >= '0' && line[i] <= '9';
    if (kShape[i] == '0' ? !digit : line[i] != kShape[i]) return false;
  }
  return true;
}

}  // namespace

std::vector<std::string> output_lines(std::string_view output) {
  std::vector<std::string> lines;
  size_t pos = 0;
  std::string_view line;
  while (zubeto::text::next_line(output, pos, line)) {
    std::string shown = zubeto::visible_text(line);
    // A line of the archiver's text never passes for one of ours: an
    // archiver that lists names without escaping them (not ours) might
    // hand over a name that reads as an end line.
    if (looks_stamped(shown)) shown.replace(0, 1, "\\x5b");
    lines.push_back(std::move(shown));
  }
  return lines;
}

std::string success_notes(std::string_view output) {
  static constexpr std::string_view kNote = "NOTE: ";
  std::string notes;
  for (const std::string& line : output_lines(output)) {
    if (line.compare(0, kNote.size(), kNote) != 0) continue;
    if (!notes.empty()) notes += '\n';
    notes += line;
  }
  return notes;
}

RunOutcome arc_dispatch(RunLog& log, int job_type, std::string_view args) {
  if (job_type < 0 || job_type > 4) return worker_outcome(kResultOk);
  return arc_run(log, kArcTable[job_type], args);
}

RunOutcome arc_run(RunLog& log, const ArcRow& row, std::string_view args) {
  // The command text is as long as the job needs: long paths go through whole.
  std::vector<char> command(args.begin(), args.end());
  command.push_back('\0');
  std::vector<char> output(kOutputBufferSize, '\0');

  // Stopped before the archive was begun: none is begun.
  if (stop_requested()) {
    log_put(log, "ERROR: stopped by a signal before the archive was begun; no archive was written");
    return worker_outcome(kResultStopped);
  }

  platform::LibHandle lib = platform::lib_load(row.library);
  if (!lib) {
    log_put(log, row.not_found_line);
#ifdef _WIN32
    // A library of the other bitness cannot be loaded and counts as
    // missing; the line after says so, lest the user look for a file that
    // is there.
    platform::ForeignLibrary foreign = platform::library_of_other_bitness(row.library);
    if (foreign.bits != 0)
      log_put(log, foreign.path + " is a " + std::to_string(foreign.bits) + "-bit library; this worker is " +
                       std::to_string(platform::program_bits()) + "-bit.");
#endif
    return worker_outcome(row.not_found_code);
  }
  auto version = reinterpret_cast<ArcVersionFn>(platform::lib_symbol(lib, row.version_fn));
  auto run = reinterpret_cast<ArcCommandFn>(platform::lib_symbol(lib, row.command_fn));
  // A library without its two calls is no archiver of this kind: it is
  // reported like a missing one rather than called through a null pointer.
  if (!version || !run) {
    std::printf("%s: %s or %s missing\n", row.library, row.version_fn, row.command_fn);
    log_put(log, row.not_found_line);
    platform::lib_free(lib);
    return worker_outcome(row.not_found_code);
  }

  unsigned v = version() & 0xFFFFu;
  std::printf(row.version_line, v / 100.0);
  std::printf("Processing .... Please Wait...\n");
  std::fflush(stdout);
  log_put(log, row.loading_line);

  RunOutcome outcome;
  outcome.origin = Origin::archiver;
  outcome.code = run(nullptr, command.data(), output.data(), row.output_size);
  output.back() = '\0';  // whatever the archiver wrote, the text ends here
  if (outcome.code != 0) {
    // The text stands as its lines, each escaped, written in one piece.
    for (const std::string& line : output_lines(output.data())) {
      if (!outcome.text.empty()) outcome.text += '\n';
      outcome.text += line;
    }
    log_put(log, outcome.text);
  } else {
    // A success logs nothing of the text but its notes, so that a file left
    // out on purpose is in the log without making the run a failure.
    outcome.text = success_notes(output.data());
    if (!outcome.text.empty()) log_put(log, outcome.text);
  }
  platform::lib_free(lib);
  return outcome;
}

}  // namespace worker
