#include "platform/fileinfo.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {
namespace {

FileAttributesFn g_source = nullptr;

// The last component of a path, trailing separators ignored.
std::string last_component(const std::string& path) {
  size_t end = path.find_last_not_of('/');
  if (end == std::string::npos) return {};
  size_t start = path.find_last_of('/', end);
  start = (start == std::string::npos) ? 0 : start + 1;
  return path.substr(start, end - start + 1);
}

uint32_t posix_attributes(const std::string& path, uint32_t* error) {
  // A name with a NUL byte in it cannot name anything: testing what stands
  // before the NUL would answer for a different path.
  if (path.empty() || path.find('\0') != std::string::npos) {
    if (error) *error = path.empty() ? ENOENT : EINVAL;
    return kInvalidAttributes;
  }
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    if (error) *error = static_cast<uint32_t>(errno);
    return kInvalidAttributes;
  }
  if (!S_ISDIR(st.st_mode)) return kAttrNormalFile;
  uint32_t attrs = kAttrDirectory;
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) attrs |= kAttrReadOnly;
  std::string name = last_component(path);
  if (name.size() > 0 && name[0] == '.' && name != "." && name != "..") attrs |= kAttrHidden;
  return attrs;
}

}  // namespace

uint32_t file_attributes(const std::string& path, uint32_t* error) {
  if (g_source) return g_source(path, error);
  return posix_attributes(path, error);
}

void set_file_attributes_source(FileAttributesFn fn) { g_source = fn; }

}  // namespace platform
