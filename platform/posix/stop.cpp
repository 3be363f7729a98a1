#include "platform/stop.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {

namespace {

// Everything a handler touches is a plain static: a flag, the signal's
// number, and the temporary file's name in a fixed buffer.
volatile sig_atomic_t g_stop_signal = 0;
volatile sig_atomic_t g_cleanup_ready = 0;
char g_cleanup_path[4096];

constexpr int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP};
struct sigaction g_old[3];
// SIGXFSZ as it was before the run: ignored while an archive is written.
struct sigaction g_old_xfsz;

extern "C" void on_stop_signal(int sig) {
  int saved = errno;
  if (g_stop_signal == 0) g_stop_signal = sig;
  if (g_cleanup_ready) {
    g_cleanup_ready = 0;
    ::unlink(g_cleanup_path);  // async-signal-safe
  }
  errno = saved;
}

}  // namespace

void catch_stop_signals() {
  g_stop_signal = 0;
  g_cleanup_ready = 0;
  struct sigaction sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sa_handler = on_stop_signal;
  sigemptyset(&sa.sa_mask);
  for (int s : kStopSignals) sigaddset(&sa.sa_mask, s);
  sa.sa_flags = 0;  // no SA_RESTART: a blocked read returns and the run stops
  for (int i = 0; i < 3; ++i) ::sigaction(kStopSignals[i], &sa, &g_old[i]);
  // Whatever program loaded the library: a write past a limit on file size
  // is a write failure (EFBIG) that removes the partial archive and is
  // told, not a signal that kills the process part way.
  struct sigaction ign;
  std::memset(&ign, 0, sizeof ign);
  ign.sa_handler = SIG_IGN;
  sigemptyset(&ign.sa_mask);
  ::sigaction(SIGXFSZ, &ign, &g_old_xfsz);
}

int release_stop_signals() {
  g_cleanup_ready = 0;
  for (int i = 0; i < 3; ++i) ::sigaction(kStopSignals[i], &g_old[i], nullptr);
  ::sigaction(SIGXFSZ, &g_old_xfsz, nullptr);
  int sig = g_stop_signal;
  g_stop_signal = 0;
  return sig;
}

void raise_stop_signal(int sig) { ::raise(sig); }

int stop_signal() { return g_stop_signal; }

const char* stop_signal_name(int sig) {
  switch (sig) {
    case SIGTERM: return "SIGTERM";
    case SIGINT: return "SIGINT";
    case SIGHUP: return "SIGHUP";
    default: return "a signal";
  }
}

void set_stop_cleanup(const std::string& path) {
  g_cleanup_ready = 0;
  if (path.empty() || path.size() >= sizeof g_cleanup_path) return;
  std::memcpy(g_cleanup_path, path.c_str(), path.size() + 1);
  g_cleanup_ready = 1;
}

}  // namespace platform
