// The run sequence: one saved job per start of the worker.
#pragma once
#include <string>

#include "job.h"
#include "result_codes.h"
#include "runlog.h"

namespace worker {

// A stop signal (SIGTERM, SIGINT, SIGHUP) arrived: the run goes on to its
// end line (an archiver that was running stops and removes its partial
// file), but never shuts the machine down. Safe to call from a handler.
void request_stop();
bool stop_requested();
// Forgets a stop asked for (tests run several sequences in one process).
void clear_stop();

// What a run leaves for the steps after it (the desktop notice).
struct RunRecord {
  std::string text;  // the lines this run wrote to the run log, each ended by a line feed
  JobFacts job;      // what the job file said of the archive and its retention
};

// Start line, job, the read-back check and retention (after a run that
// ended 0000, with "[keep]=N"), optional shutdown, end line. Returns the
// outcome: the result code and where it came from.
RunOutcome run_sequence(RunLog& log, JobFacts* facts = nullptr);

// The whole run in the current folder: opens "logdata.txt" (0x9990 when it
// cannot be opened, nothing else done), runs the sequence, closes the log.
RunOutcome worker_main(RunRecord* record = nullptr);

// POSIX keeps only 8 bits of an exit status, so 0x0100 would read as
// success there. The status keeps every failure a failure:
// 0 ok, 2 no job file, 3 mode error, 4 library missing, 7 path missing,
// 8 the archive failed its read-back check, 9 run log cannot be opened,
// 1 any archiver failure (or anything else).
int exit_status_for(const RunOutcome& outcome);

}  // namespace worker
