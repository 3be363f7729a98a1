// The real shutdown request: the shutdown privilege in the process token
// and ExitWindowsEx. Only the installed worker links this file; every test
// binary links a recording fake, since under a Windows session (or Wine)
// this ends every program of the session.
#include <windows.h>

#include "platform/system.h"

namespace platform {

PrivilegeResult shutdown_privilege(const char* name, bool enable) {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
    return PrivilegeResult::token_failed;
  LUID luid {};
  if (!::LookupPrivilegeValueA(nullptr, name, &luid)) {
    ::CloseHandle(token);
    return PrivilegeResult::lookup_failed;
  }
  TOKEN_PRIVILEGES tp {};
  tp.PrivilegeCount = 1;
  tp.Privileges[0].Luid = luid;
  tp.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
  // AdjustTokenPrivileges succeeds even when the token lacks the privilege;
  // only the last error tells (ERROR_NOT_ALL_ASSIGNED).
  ::SetLastError(0);
  ::AdjustTokenPrivileges(token, FALSE, &tp, 0, nullptr, nullptr);
  DWORD err = ::GetLastError();
  ::CloseHandle(token);
  return err == 0 ? PrivilegeResult::ok : PrivilegeResult::adjust_failed;
}

bool shutdown_request() { return ::ExitWindowsEx(EWX_SHUTDOWN, 0) != 0; }

}  // namespace platform
