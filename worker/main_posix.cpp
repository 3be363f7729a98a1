// ZUBETOC on POSIX: no window to host the run, so main runs it directly.
// The program reads no arguments; it runs the job saved in the current folder.
#include <csignal>
#include <cstdio>

#include "notice.h"
#include "run.h"

int main() {
  // The version and progress lines go to whatever standard output the
  // worker was given. When that is a pipe nobody reads any more, a write
  // must fail quietly instead of ending the run before the backup.
  std::signal(SIGPIPE, SIG_IGN);
  bool from_archiver = false;
  int rc = worker::worker_main(&from_archiver);
  // The run log is closed and holds the whole record; a failed run also
  // tells the desktop, if there is one, and says where that record lies.
  worker::notice_step(rc);
  std::fflush(stdout);
  return worker::exit_status_for(rc, from_archiver);
}
