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

// LoadLibraryA with the name as given: the system's own search order, the
// program's folder first.
LibHandle lib_load(const std::string& windows_name) {
  if (windows_name.empty() || windows_name.find('\0') != std::string::npos) return nullptr;
  return reinterpret_cast<LibHandle>(::LoadLibraryA(windows_name.c_str()));
}

void* lib_symbol(LibHandle lib, const char* name) {
  if (!lib) return nullptr;
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(lib), name));
}

void lib_free(LibHandle lib) {
  if (lib) ::FreeLibrary(static_cast<HMODULE>(lib));
}

}  // namespace platform
