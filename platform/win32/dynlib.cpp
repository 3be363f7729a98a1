#include "platform/dynlib.h"

#include <windows.h>

#include <vector>

#include "search_folders.h"

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


// The library of that name from the first of the system's search folders
// that holds it (the program's folder first), loaded by its full path. A
// name without an extension ("ZUBETO") stands for a ".dll" file, as the
// system's own loader takes it.
LibHandle lib_load(const std::string& windows_name) {
  if (windows_name.empty() || windows_name.find('\0') != std::string::npos) return nullptr;
  if (windows_name.find_first_of("\\/:") != std::string::npos)
    return reinterpret_cast<LibHandle>(::LoadLibraryA(windows_name.c_str()));
  const std::string file = windows_name.find('.') == std::string::npos ? windows_name + ".dll" : windows_name;
  const std::string full = find_in_search_folders(file);
  if (full.empty()) return nullptr;
  // Whatever that library needs in turn is looked up from its own folder.
  return reinterpret_cast<LibHandle>(::LoadLibraryExA(full.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
}

void* lib_symbol(LibHandle lib, const char* name) {
  if (!lib) return nullptr;
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(lib), name));
}

void lib_free(LibHandle lib) {
  if (lib) ::FreeLibrary(static_cast<HMODULE>(lib));
}

}  // namespace platform
