#include <windows.h>

#include "platform/system.h"

namespace platform {

VersionInfo version_query() {
  OSVERSIONINFOA info;
  ::ZeroMemory(&info, sizeof info);
  info.dwOSVersionInfoSize = sizeof info;  // 148 bytes
  // Only exactly TRUE counts as an answer.
  if (::GetVersionExA(&info) != 1) return VersionInfo{false, -1, 0};
  return VersionInfo{true, static_cast<int>(info.dwPlatformId), static_cast<int>(info.dwMinorVersion)};
}

}  // namespace platform
