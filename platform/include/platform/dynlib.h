// Dynamic libraries loaded by their Windows-style name.
#pragma once
#include <string>

namespace platform {

using LibHandle = void*;

// The file a Windows-style library name stands for on this platform:
// on POSIX "ZIP32J.DLL" -> "zip32j.so", "ZUBETO" -> "zubeto.so".
std::string library_file_name(const std::string& windows_name);

// Folder of the running program (no trailing separator).
std::string program_dir();

// Loads the library: first from the running program's folder, then through
// the system's loader. Never from the current directory. nullptr on failure.
LibHandle lib_load(const std::string& windows_name);
void* lib_symbol(LibHandle lib, const char* name);
void lib_free(LibHandle lib);

}  // namespace platform
