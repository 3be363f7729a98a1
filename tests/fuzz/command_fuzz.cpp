// Fuzz target: the archivers' command reader, for every row of the format
// table. Any input must give a code and a reason, never a crash, a hang or
// unbounded memory (a response file named in the input is read with the
// reader's own bounds).
#include <cstddef>
#include <cstdint>
#include <string>

#include "arc/codes.h"
#include "arc/command.h"
#include "arc/format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zubeto::arc;
  const std::string text(reinterpret_cast<const char*>(data), size);
  for (FormatId id : {FormatId::Lzh, FormatId::Zip, FormatId::Cab, FormatId::Tar, FormatId::Bga}) {
    Command cmd;
    std::string error;
    int code = parse_command(format_row(id), text, cmd, error);
    if (code != ARC_OK && code != ARC_E_COMMAND && code != ARC_E_RESPONSE) __builtin_trap();
    if (code != ARC_OK && error.empty()) __builtin_trap();
    if (code == ARC_OK && (cmd.archive.empty() || cmd.sources.empty())) __builtin_trap();
  }
  return 0;
}
