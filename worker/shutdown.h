// Shutting the system down after the job, when the job asks for it.
#pragma once
#include "runlog.h"

namespace worker {

// Platform kind: 1 Win32s, 2 Windows 95, 3 Windows 98 line, 4 Windows NT
// line (POSIX systems count here), 9 undetermined.
int os_kind_get();

// Enables or disables the named privilege of this process: 1 ok, 0 failed
// (after one of the three error texts on standard output).
int shut_priv_set(const char* name, bool enable);

// 0 when the shutdown has been requested, 1 when the privilege could not be
// enabled (no request made). The privilege is given back in both cases.
int shut_down();

// The shutdown step of a run: classify, request, and log the outcome.
void shutdown_step(RunLog& log);

}  // namespace worker
