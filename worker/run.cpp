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

int run_sequence(RunLog& log, bool* from_archiver, JobFacts* facts) {
  int shut_flg = 0;
  JobFacts own;
  JobFacts& job = facts ? *facts : own;
  log_stamp(log, kStartTemplate);
  int rc = job_run(log, shut_flg, from_archiver, &job);
  // Only a run that ended 0000 may remove old archives, and only once its
  // new archive has read back whole; a failed check is the run's result.
  if (rc == 0 && !stop_requested()) {
    rc = keep_step(log, job);
    if (rc != 0 && from_archiver) *from_archiver = false;
  }
  // The shutdown line is the job file's last: a job that stopped early
  // (missing file, mode error, missing path) never shuts the machine down.
  // Nor does a stopped run: whoever stopped it wants the machine as it is.
  if (shut_flg == 1 && !stop_requested()) shutdown_step(log);
  log_stamp(log, kEndTemplate, result_digits(rc));
  return rc;
}

int worker_main(bool* from_archiver, RunRecord* record) {
  if (from_archiver) *from_archiver = false;
  RunLog log;
  if (!log_open(log, kRunLogFile)) return kResultNoRunLog;
  if (record) log.record = &record->text;
  int rc = run_sequence(log, from_archiver, record ? &record->job : nullptr);
  log_close(log);
  return rc;
}

int exit_status_for(int code, bool from_archiver) {
  if (code == 0) return 0;
  if (from_archiver) return 1;
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
