// ZUBETOC on POSIX: no window to host the run, so main runs it directly.
// Without arguments it runs the job saved in the current folder; with
// "--verify <archive>" it only checks that archive and logs the outcome.
#include <signal.h>

#include <csignal>
#include <cstdio>
#include <cstring>

#include "notice.h"
#include "readback.h"
#include "run.h"

namespace {

extern "C" void on_stop(int) { worker::request_stop(); }

}  // namespace

int main(int argc, char** argv) {
  // The check on its own runs no job and sends no notice: whoever asked for
  // it reads the run log's line and the exit status.
  if (argc >= 2 && std::strcmp(argv[1], "--verify") == 0) {
    if (argc != 3) {
      std::fprintf(stderr, "usage: ZUBETOC --verify <archive>\n");
      return 1;
    }
    return worker::exit_status_for(worker::worker_outcome(worker::verify_main(argv[2])));
  }
  // The version and progress lines go to whatever standard output the
  // worker was given. When that is a pipe nobody reads any more, a write
  // must fail quietly instead of ending the run before the backup.
  std::signal(SIGPIPE, SIG_IGN);
  // A limit on file size (ulimit -f, a service's LimitFSIZE=) must not kill
  // the run without its end line: ignored, a write past it fails with EFBIG
  // like a full disk, the archiver removes its partial archive and says
  // that the destination cannot hold a file this large.
  std::signal(SIGXFSZ, SIG_IGN);
  // A stop signal must not end the process before its end line: the run
  // notes it and finishes its own way. While the archiver runs, its library
  // takes these signals over to remove its partial archive, and hands them
  // back here when it returns.
  struct sigaction sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sa_handler = on_stop;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &sa, nullptr);
  worker::RunRecord record;
  const worker::RunOutcome outcome = worker::worker_main(&record);
  // The run log is closed and holds the whole record; a failed run also
  // tells the desktop, if there is one, what went wrong and where that
  // record lies.
  worker::notice_step(outcome.code, &record);
  std::fflush(stdout);
  return worker::exit_status_for(outcome);
}
