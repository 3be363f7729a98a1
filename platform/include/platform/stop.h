// Stop requests while an archive is made. On POSIX these are the signals
// SIGTERM, SIGINT and SIGHUP: while caught they only raise a flag and
// remove the one temporary file named for clean-up (both safe inside a
// handler). Windows sends a windowless worker no such request: there the
// flag never rises.
#pragma once

#include <string>

namespace platform {

// Catches the stop signals (the previous handlers are kept).
void catch_stop_signals();
// Gives the signals back to the previous handlers; returns the signal that
// arrived while caught (0 when none) and lowers the flag.
int release_stop_signals();
// Raises a signal again for the program's own handling.
void raise_stop_signal(int sig);
// The signal that arrived while caught, 0 when none.
int stop_signal();
// Its name for texts: "SIGTERM", ..., "a signal".
const char* stop_signal_name(int sig);
// The file a handler removes on a stop ("" for none).
void set_stop_cleanup(const std::string& path);

}  // namespace platform
