// The job settings file "jobconf.ini": read line by line, checked, and turned
// into the job type and the argument text that the archiver receives.
#pragma once
#include <cstdio>
#include <string>
#include <string_view>

#include "result_codes.h"
#include "runlog.h"

namespace worker {

// What job_line_parse found in a line.
enum LineKind : int {
  kKindIgnored = 0,
  kKindMode = 1,
  kKindArchive = 3,
  kKindBaseDir = 4,
  kKindSource = 5,
  kKindKeep = 6,
  kKindShutdown = 99,
};

// What the run needs of the job once the archiver has returned.
struct JobFacts {
  // "[keep]=N": after a successful run, keep the newest N archives of the
  // job's format in the destination; 0 (or no such line) keeps them all.
  int keep = 0;
  // The archive the first "[archive]=" line named, without its quotes;
  // empty when there was none.
  std::string archive;
};

// The number of a "[keep]=" value: decimal digits only (at most a million);
// anything else, an empty value included, is 0 and keeps every archive.
int keep_value(std::string_view value);

// No "[mode]=" line read yet.
inline constexpr int kJobTypeUnset = -1;

// Job type -> archive extension (".lzh" ...); "" for a type outside 0..4.
const char* job_extension(int job_type);

// Tests that the path named by a value exists. Quotes are dropped (and for
// CAB every "*.*" and "*"); a response-file reference ("@...") is not tested.
// Returns 0, or the system error code after logging the two not-found lines.
int path_check(RunLog& log, std::string_view value, int job_type);

// Recognises one line (without its line end). On an "[archive]=" line the
// value becomes the quoted archive path named after the current local time.
// Returns 0, or 0x0701 when a path named by the line does not exist.
int job_line_parse(RunLog& log, std::string_view line, int& kind, std::string& value, int job_type);

// Reads job lines from the stream to its end, setting the shutdown flag and
// building the argument text. Returns 0 or the failure's result code; the
// lines after a failure are not read.
// `facts`, when given, receives the "[keep]=" value and the archive's path;
// neither touches the argument text.
int job_assemble(RunLog& log, std::FILE* in, int& shut_flg, int& job_type, std::string& args,
                 JobFacts* facts = nullptr);

// Reads "jobconf.ini" in the current folder and hands the job to the
// archiver driver. The outcome says whether its code is the archiver
// library's own return value.
RunOutcome job_run(RunLog& log, int& shut_flg, JobFacts* facts = nullptr);

// The stream's text up to its end, or up to the last whole line before a
// read error. Lines are read whole, however long.
std::string read_lines_whole(std::FILE* in);

}  // namespace worker
