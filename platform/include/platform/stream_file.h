// Files the worker reads and appends to as C streams: the job file and the
// run log. Names are bytes in the system's narrow code page.
#pragma once
#include <cstddef>
#include <cstdio>

namespace platform {

// Opens an existing file for reading, in binary mode; nullptr when it
// cannot be opened or is a folder (which some systems open like a file).
std::FILE* open_for_reading(const char* name);

// Opens a file for appending, in binary mode, made when absent; nullptr
// when it cannot be. On POSIX a file it makes is its owner's alone
// whatever the umask, and an existing one keeps the mode its owner gave it.
std::FILE* open_for_appending(const char* name);

// Writes the bytes at the end of the stream's file in as few writes of the
// system as it takes, past the stream's buffer (which is flushed first), so
// that two processes appending to one file never tear each other's text.
// False when any byte did not reach the file.
bool append_through(std::FILE* file, const char* data, std::size_t size);

}  // namespace platform
