#include "platform/fileinfo.h"

#include <windows.h>

namespace platform {
namespace {

FileAttributesFn g_source = nullptr;

uint32_t win32_attributes(const std::string& path, uint32_t* error) {
  // A name with a NUL byte in it cannot name anything: the system would
  // only see what stands before the NUL and answer for a different path.
  if (path.find('\0') != std::string::npos) {
    if (error) *error = ERROR_INVALID_NAME;
    return kInvalidAttributes;
  }
  DWORD attrs = ::GetFileAttributesA(path.c_str());
  if (attrs == INVALID_FILE_ATTRIBUTES) {
    if (error) *error = ::GetLastError();
    return kInvalidAttributes;
  }
  return attrs;
}

}  // namespace

uint32_t file_attributes(const std::string& path, uint32_t* error) {
  if (g_source) return g_source(path, error);
  return win32_attributes(path, error);
}

void set_file_attributes_source(FileAttributesFn fn) { g_source = fn; }

}  // namespace platform
