// Recording stand-in for the platform kind and shutdown services.
// Every test binary links this instead of the real shutdown request.
//
// Answers come from the environment, so a test can also steer a worker
// program it starts:
//   ZUBETO_FAKE_PLATFORM   nt (default) | 95 | 98 | win32s | other | fail
//   ZUBETO_FAKE_PRIVILEGE  ok (default) | token | lookup | adjust
//   ZUBETO_FAKE_REQUEST    ok (default) | refuse: the shutdown request is refused
//   ZUBETO_FAKE_SHUTDOWN_RECORD  file that every call is appended to
#pragma once
#include <string>
#include <vector>

namespace fake_shutdown {

// Calls made in this process, in order: "version", "privilege enable
// SeShutdownPrivilege", "privilege disable SeShutdownPrivilege", "request".
std::vector<std::string>& calls();

}  // namespace fake_shutdown
