#include "search_folders.h"

#include <windows.h>

#include "platform/ansi_path.h"
#include "platform/dynlib.h"

namespace platform {

namespace {

std::string folder_of(UINT(WINAPI* query)(LPSTR, UINT)) {
  char buf[MAX_PATH + 1] = {};
  UINT n = query(buf, sizeof buf);
  return (n > 0 && n < sizeof buf) ? std::string(buf, n) : std::string();
}

}  // namespace

std::vector<std::string> search_folders() {
  std::vector<std::string> dirs = {program_dir(), folder_of(::GetSystemDirectoryA), folder_of(::GetWindowsDirectoryA)};
  std::vector<char> path(32768);
  DWORD n = ::GetEnvironmentVariableA("PATH", path.data(), static_cast<DWORD>(path.size()));
  std::string list = (n > 0 && n < path.size()) ? std::string(path.data(), n) : std::string();
  for (size_t start = 0; start <= list.size();) {
    size_t end = list.find(';', start);
    if (end == std::string::npos) end = list.size();
    std::string dir = list.substr(start, end - start);
    // Only absolute folders: a relative one would be read from the current folder.
    bool absolute = (dir.size() >= 3 && dir[1] == ':' && (dir[2] == '\\' || dir[2] == '/')) ||
                    dir.rfind("\\\\", 0) == 0;
    bool again = false;
    for (const std::string& seen : dirs) again = again || ansi::same_path(seen, dir);
    if (absolute && !again) dirs.push_back(dir);
    start = end + 1;
  }
  return dirs;
}

std::string find_in_search_folders(const std::string& name) {
  for (const std::string& dir : search_folders()) {
    if (dir.empty()) continue;
    std::string full = ansi::join(dir, name);
    DWORD attrs = ::GetFileAttributesA(full.c_str());
    if (attrs != INVALID_FILE_ATTRIBUTES && !(attrs & FILE_ATTRIBUTE_DIRECTORY)) return full;
  }
  return {};
}

}  // namespace platform
