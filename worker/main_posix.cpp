// ZUBETOC on POSIX: no window to host the run, so main runs it directly.
// The program reads no arguments; it runs the job saved in the current folder.
#include <signal.h>

#include <csignal>
#include <cstdio>
#include <cstring>

#include "run.h"

namespace {

extern "C" void on_stop(int) { worker::request_stop(); }

}  // namespace

int main() {
  // The version and progress lines go to whatever standard output the
  // worker was given. When that is a pipe nobody reads any more, a write
  // must fail quietly instead of ending the run before the backup.
  std::signal(SIGPIPE, SIG_IGN);
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
  bool from_archiver = false;
  int rc = worker::worker_main(&from_archiver);
  std::fflush(stdout);
  return worker::exit_status_for(rc, from_archiver);
}
