#include "shutdown.h"

#include <cstdio>

#include "platform/system.h"
#include "texts.h"

namespace worker {

namespace {
constexpr const char kShutdownPrivilege[] = "SeShutdownPrivilege";
}

int os_kind_get() {
  platform::VersionInfo v = platform::version_query();
  if (!v.ok) return 9;
  switch (v.platform_id) {
    case platform::kPlatformWin32s:
      return 1;
    case platform::kPlatformWindows:
      return v.minor == 0 ? 2 : 3;
    case platform::kPlatformNT:
      return 4;
    default:
      return 9;
  }
}

int shut_priv_set(const char* name, bool enable) {
  switch (platform::shutdown_privilege(name, enable)) {
    case platform::PrivilegeResult::ok:
      return 1;
    case platform::PrivilegeResult::token_failed:
      std::printf("OpenProcessToken err\n");
      return 0;
    case platform::PrivilegeResult::lookup_failed:
      std::printf("LookupPrivilegeValue err\n");
      return 0;
    case platform::PrivilegeResult::adjust_failed:
      std::printf("AdjustTokenPrivileges err\n");
      return 0;
  }
  return 0;
}

int shut_down() {
  int r = 1;
  // A request the system refuses at once is a shutdown that did not
  // happen: the log must not say that the machine is going down.
  if (shut_priv_set(kShutdownPrivilege, true) == 1 && platform::shutdown_request()) r = 0;
  shut_priv_set(kShutdownPrivilege, false);
  return r;
}

void shutdown_step(RunLog& log) {
  switch (os_kind_get()) {
    case 9:
      log_stamp(log, kVersionErrorTemplate);
      break;
    case 4:
      log_stamp(log, shut_down() == 0 ? kShutdownTemplate : kShutdownFailedTemplate);
      break;
    default:
      // The Windows 95 line needs no privilege and logs nothing.
      (void)platform::shutdown_request();
      break;
  }
}

}  // namespace worker
