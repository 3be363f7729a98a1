// The cab32 command: reads the command text, collects the sources and writes
// the cabinet through the atomic output. The exported functions in cab32.cpp
// only pass texts in and out of here, so tests run it in-process too.
#ifndef ZUBETO_CAB_COMMAND_H
#define ZUBETO_CAB_COMMAND_H

#include <string>

#include "cab_writer.h"

namespace cab {

constexpr unsigned kVersion = 100;  // 1.00, as the version function reports it

// Return codes of the command. The archive is kept only with kOk and
// kSourcesIncomplete; with every other code no archive is left.
enum : int {
  kOk = 0,
  kErrCommand = 0x8001,         // the command text is not understood
  kErrArchiveExists = 0x8002,   // the archive is there already: never replaced
  kErrDestination = 0x8003,     // the destination folder is missing or not writable
  kSourcesIncomplete = 0x8004,  // some sources or files could not be read; the rest is archived
  kErrLimit = 0x8005,           // a limit of the cabinet format would be exceeded
  kErrWrite = 0x8006,           // writing the archive failed
  kErrNothing = 0x8007,         // the sources hold no file to archive
  kErrResponseFile = 0x8008,    // the response file cannot be read
};

// Runs one command text such as
//   -a -ri "/backup/20240515213005.cab" "/home/u/data/*.*" "/home/u/memo.txt"
// and returns one of the codes above; `text` receives the output text.
int run_command(const std::string& command, std::string& text, const Options& options = {});

}  // namespace cab

#endif
