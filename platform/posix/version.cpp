#include <sys/utsname.h>

#include "platform/system.h"

namespace platform {

// A POSIX system is classed with the Windows NT line: shutting it down needs
// a permission that is checked first.
VersionInfo version_query() {
  struct utsname u {};
  if (::uname(&u) != 0) return VersionInfo{false, -1, 0};
  return VersionInfo{true, kPlatformNT, 0};
}

}  // namespace platform
