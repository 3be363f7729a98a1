#include "platform/dynlib.h"

#include <windows.h>

#include <vector>

namespace platform {

// Windows loads a library by its own name; the system compares it without
// regard to case.
std::string library_file_name(const std::string& windows_name) { return windows_name; }

std::string program_dir() {
  std::vector<char> buf(MAX_PATH + 1);
  for (;;) {
    DWORD n = ::GetModuleFileNameA(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return {};
    if (n < buf.size()) {
      std::string exe(buf.data(), n);
      size_t sep = exe.find_last_of("\\/");
      return sep == std::string::npos ? std::string() : exe.substr(0, sep);
    }
    buf.resize(buf.size() * 2);
  }
}

namespace {

std::string folder_of(UINT (WINAPI* query)(LPSTR, UINT)) {
  char buf[MAX_PATH + 1] = {};
  UINT n = query(buf, sizeof buf);
  return (n > 0 && n < sizeof buf) ? std::string(buf, n) : std::string();
}

// The folders the system searches for a library, in its order, less the
// current folder: the job files lie in the current folder, often one any
// user may write to, and a library planted there must never run inside the
// worker.
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
    if (absolute) dirs.push_back(dir);
    start = end + 1;
  }
  return dirs;
}

}  // namespace

// The library of that name from the first of the system's search folders
// that holds it (the program's folder first), loaded by its full path. A
// name without an extension ("ZUBETO") stands for a ".dll" file, as the
// system's own loader takes it.
LibHandle lib_load(const std::string& windows_name) {
  if (windows_name.empty() || windows_name.find('\0') != std::string::npos) return nullptr;
  if (windows_name.find_first_of("\\/:") != std::string::npos)
    return reinterpret_cast<LibHandle>(::LoadLibraryA(windows_name.c_str()));
  const std::string file = windows_name.find('.') == std::string::npos ? windows_name + ".dll" : windows_name;
  for (const std::string& dir : search_folders()) {
    if (dir.empty()) continue;
    std::string full = dir + (dir.back() == '\\' || dir.back() == '/' ? "" : "\\") + file;
    DWORD attrs = ::GetFileAttributesA(full.c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES || (attrs & FILE_ATTRIBUTE_DIRECTORY)) continue;
    // Whatever that library needs in turn is looked up from its own folder.
    return reinterpret_cast<LibHandle>(::LoadLibraryExA(full.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
  }
  return nullptr;
}

void* lib_symbol(LibHandle lib, const char* name) {
  if (!lib) return nullptr;
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(lib), name));
}

void lib_free(LibHandle lib) {
  if (lib) ::FreeLibrary(static_cast<HMODULE>(lib));
}

}  // namespace platform
