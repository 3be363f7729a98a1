// Windows shows no desktop notice: the run log stays the only report there.
#include <windows.h>

#include <string>

#include "platform/notice.h"

namespace platform {

bool desktop_notice(const std::string& /*title*/, const std::string& /*body*/) { return false; }

std::string current_folder() {
  char buf[MAX_PATH + 1] = {};
  DWORD n = ::GetCurrentDirectoryA(sizeof buf, buf);
  if (n == 0 || n >= sizeof buf) return {};
  return std::string(buf, n);
}

}  // namespace platform
