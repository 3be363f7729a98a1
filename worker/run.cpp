#include "run.h"

#include <csignal>

#include "job.h"
#include "result_codes.h"
#include "retention.h"
#include "shutdown.h"
#include "texts.h"

namespace worker {

namespace {
volatile sig_atomic_t g_stop = 0;
}

void request_stop() { g_stop = 1; }
bool stop_requested() { return g_stop != 0; }
void clear_stop() { g_stop = 0; }

RunOutcome run_sequence(RunLog& log, JobFacts* facts) {
  int shut_flg = 0;
  JobFacts own;
  JobFacts& job = facts ? *facts : own;
  log_stamp(log, kStartTemplate);
  RunOutcome outcome = job_run(log, shut_flg, &job);
  // Only a run that ended 0000 may remove old archives, and only once its
  // new archive has read back whole; a failed check is the run's result.
  if (outcome.code == 0 && !stop_requested()) {
    const int kept = keep_step(log, job);
    if (kept != 0) outcome = worker_outcome(kept);
  }
  // The shutdown line is the job file's last: a job that stopped early
  // (missing file, mode error, missing path) never shuts the machine down.
  // Nor does a stopped run: whoever stopped it wants the machine as it is.
  if (shut_flg == 1 && !stop_requested()) shutdown_step(log);
  log_stamp(log, kEndTemplate, result_digits(outcome.code));
  return outcome;
}

RunOutcome worker_main(RunRecord* record) {
  RunLog log;
  if (!log_open(log, kRunLogFile)) return worker_outcome(kResultNoRunLog);
  if (record) log.record = &record->text;
  RunOutcome outcome = run_sequence(log, record ? &record->job : nullptr);
  log_close(log);
  return outcome;
}

int exit_status_for(const RunOutcome& outcome) {
  const int code = outcome.code;
  if (code == 0) return 0;
  if (outcome.from_archiver()) return 1;
  switch (code) {
    case kResultNoJobFile:
      return 2;
    case kResultModeError:
      return 3;
    case kResultPathMissing:
      return 7;
    case kResultReadBackFailed:
      return 8;
    case kResultNoRunLog:
      return 9;
    default:
      if (code >= kResultLibraryMissing && code <= kResultLibraryMissing + 4) return 4;
      return 1;
  }
}

}  // namespace worker
