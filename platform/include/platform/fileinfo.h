// File facts: the attributes of a path, in Win32 attribute bits.
#pragma once
#include <cstdint>
#include <string>

namespace platform {

constexpr uint32_t kAttrReadOnly = 0x01;
constexpr uint32_t kAttrHidden = 0x02;
constexpr uint32_t kAttrDirectory = 0x10;
constexpr uint32_t kAttrNormalFile = 0x20;
constexpr uint32_t kInvalidAttributes = 0xFFFFFFFFu;

// Attributes of the path, or kInvalidAttributes when the query fails; then
// *error (if given) holds the system's error code for the failure.
// On POSIX a folder is 16, plus 1 when nobody may write it and plus 2 when
// its name starts with a dot; any other existing object is 32.
uint32_t file_attributes(const std::string& path, uint32_t* error = nullptr);

// Test seam: replaces the file system for file_attributes (nullptr restores it).
using FileAttributesFn = uint32_t (*)(const std::string& path, uint32_t* error);
void set_file_attributes_source(FileAttributesFn fn);

}  // namespace platform
