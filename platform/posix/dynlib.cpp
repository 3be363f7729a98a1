#include "platform/dynlib.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <climits>
#include <vector>

namespace platform {

std::string library_file_name(const std::string& windows_name) {
  // Only the name counts: a folder part is dropped, as the loader looks in
  // its own places.
  std::string name = windows_name;
  size_t slash = name.find_last_of("/\\");
  if (slash != std::string::npos) name = name.substr(slash + 1);
  size_t dot = name.find_last_of('.');
  if (dot != std::string::npos) {
    std::string ext = name.substr(dot);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == ".dll") name.resize(dot);
  }
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return name + ".so";
}

std::string program_dir() {
  std::vector<char> buf(PATH_MAX + 1);
  ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  if (n <= 0) return {};
  std::string exe(buf.data(), static_cast<size_t>(n));
  size_t slash = exe.find_last_of('/');
  if (slash == std::string::npos) return {};
  return slash == 0 ? std::string("/") : exe.substr(0, slash);
}

LibHandle lib_load(const std::string& windows_name) {
  std::string file = library_file_name(windows_name);
  if (file == ".so") return nullptr;
  std::string dir = program_dir();
  if (!dir.empty()) {
    std::string beside = (dir == "/" ? dir : dir + "/") + file;
    struct stat st {};
    // A copy beside the program is the one meant; if it is there but does
    // not load, that is the answer, not some other copy on the system.
    if (::stat(beside.c_str(), &st) == 0) return ::dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL);
  }
  // A bare name (no slash) makes the system loader search its own places,
  // never the current directory.
  return ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* lib_symbol(LibHandle lib, const char* name) {
  if (!lib) return nullptr;
  return ::dlsym(lib, name);
}

void lib_free(LibHandle lib) {
  if (lib) ::dlclose(lib);
}

}  // namespace platform
