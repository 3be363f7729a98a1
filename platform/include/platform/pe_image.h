// The bitness of a Windows program or library file, read from its PE
// header (Win32 only).
#pragma once
#include <string>

namespace platform {

// 32 or 64 for a PE file for x86 or x64; 0 when the file cannot be read or
// is no such file.
int pe_file_bits(const std::string& path);

// The bitness of the running program: 32 or 64.
int program_bits();

// The first file of that library name in the search folders that is built
// for the other bitness, which the program therefore passes over when it
// loads the library: its full path and bitness (bits 0: there is none).
struct ForeignLibrary {
  std::string path;
  int bits = 0;
};
ForeignLibrary library_of_other_bitness(const std::string& windows_name);

}  // namespace platform
