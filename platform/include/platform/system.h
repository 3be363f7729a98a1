// Platform kind and the system shutdown request.
//
// The shutdown services are a link-time seam: the worker program links the
// real implementation, every test binary links a recording fake instead, so
// nothing in the test suite can power the machine off.
#pragma once

namespace platform {

// Win32 platform ids, as the version query reports them.
constexpr int kPlatformWin32s = 0;
constexpr int kPlatformWindows = 1;  // Windows 95 line
constexpr int kPlatformNT = 2;       // Windows NT line; POSIX systems report this

struct VersionInfo {
  bool ok;          // the query succeeded
  int platform_id;  // one of the kPlatform* values (or anything else)
  int minor;        // minor version
};

VersionInfo version_query();

enum class PrivilegeResult {
  ok,
  token_failed,   // no access to the process token / the login manager
  lookup_failed,  // the privilege is unknown / the question could not be asked
  adjust_failed,  // this user does not hold the privilege
};

// Enables or disables the named shutdown privilege of this process.
// On POSIX enabling asks the login manager whether this user may power the
// machine off without being asked; disabling has nothing to give back.
PrivilegeResult shutdown_privilege(const char* name, bool enable);

// Starts the system shutdown and returns at once. False when the system
// refused the request there and then (say, a shutdown held off by another
// program); a shutdown that fails later is not seen here.
bool shutdown_request();

}  // namespace platform
