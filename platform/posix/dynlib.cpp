#include "platform/dynlib.h"

#include <dlfcn.h>
#include <glob.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <string_view>
#include <vector>

namespace platform {

namespace {

bool is_file(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Adds the absolute entries of a list of folders split at any of `seps`.
void add_absolute(std::vector<std::string>& out, std::string_view list, std::string_view seps) {
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find_first_of(seps, start);
    if (end == std::string_view::npos) end = list.size();
    std::string_view entry = list.substr(start, end - start);
    if (!entry.empty() && entry[0] == '/') out.emplace_back(entry);
    start = end + 1;
  }
}

// The folders a loader configuration file names, its includes followed to
// a small depth. Lines are "folder", "include pattern" or "# comment".
void add_config_folders(std::vector<std::string>& out, const std::string& file, int depth) {
  if (depth > 4) return;
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    if (size_t hash = line.find('#'); hash != std::string::npos) line.resize(hash);
    size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos) continue;
    line.erase(0, first);
    if (line.rfind("include", 0) == 0 && line.size() > 7 && (line[7] == ' ' || line[7] == '\t')) {
      std::string pattern = line.substr(8);
      pattern.erase(0, pattern.find_first_not_of(" \t"));
      pattern.erase(pattern.find_last_not_of(" \t\r") + 1);
      if (pattern.empty()) continue;
      if (pattern[0] != '/') pattern = file.substr(0, file.find_last_of('/') + 1) + pattern;
      glob_t found {};
      if (::glob(pattern.c_str(), 0, nullptr, &found) == 0)
        for (size_t i = 0; i < found.gl_pathc; ++i) add_config_folders(out, found.gl_pathv[i], depth + 1);
      ::globfree(&found);
    } else if (line.rfind("hwcap", 0) != 0) {
      add_absolute(out, line, " \t:,=");
    }
  }
}

// The folders the system loader would search for a bare name, every one of
// them absolute: the absolute entries of LD_LIBRARY_PATH, the folders of
// the loader configuration, then the default folders. An empty or relative
// entry of LD_LIBRARY_PATH stands for the current folder, where the job
// files lie; it is left out so that a library planted there never loads.
std::vector<std::string> system_library_folders() {
  std::vector<std::string> out;
  if (const char* env = std::getenv("LD_LIBRARY_PATH")) add_absolute(out, env, ":;");
  add_config_folders(out, "/etc/ld.so.conf", 0);
  for (const char* d : {"/lib", "/usr/lib"}) out.emplace_back(d);
  return out;
}

}  // namespace

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
  // Never a bare name: the system loader would take an empty entry of
  // LD_LIBRARY_PATH as the current folder. The first copy found in the
  // system's folders is loaded by its full path.
  for (const std::string& folder : system_library_folders()) {
    std::string candidate = (folder.back() == '/' ? folder : folder + "/") + file;
    if (is_file(candidate)) return ::dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
  }
  return nullptr;
}

void* lib_symbol(LibHandle lib, const char* name) {
  if (!lib) return nullptr;
  return ::dlsym(lib, name);
}

void lib_free(LibHandle lib) {
  if (lib) ::dlclose(lib);
}

}  // namespace platform
