#include "platform/stop.h"

namespace platform {

// The worker has no console and no signals: a logoff or shutdown reaches
// its window, not the archiver. Nothing is caught and the flag stays down.
void catch_stop_signals() {}
int release_stop_signals() { return 0; }
void raise_stop_signal(int) {}
int stop_signal() { return 0; }
const char* stop_signal_name(int) { return "a signal"; }
void set_stop_cleanup(const std::string&) {}

}  // namespace platform
