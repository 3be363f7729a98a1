// ZUBETOC on POSIX: no window to host the run, so main runs it directly.
// The program reads no arguments; it runs the job saved in the current folder.
#include <cstdio>

#include "run.h"

int main() {
  bool from_archiver = false;
  int rc = worker::worker_main(&from_archiver);
  std::fflush(stdout);
  return worker::exit_status_for(rc, from_archiver);
}
