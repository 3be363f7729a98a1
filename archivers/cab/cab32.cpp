// cab32.so: cabinets with MSZIP compression, for CAB jobs. The command text
// reads "-a -ri" "<archive>.cab" and then the sources: "<folder>/*.*" for
// a folder's contents (named relative to it), or a file (named by itself).
#include "archiver_api.h"
#include "cab_writer.h"

ARC_EXPORT uint16_t ARC_CALL CabGetVersion(void) { return cab::kVersion; }

ARC_EXPORT int ARC_CALL Cab(void* /*window*/, const char* command, char* output, uint32_t size) {
  using namespace zubeto::arc;
  return run_archiver(FormatId::Cab, command, output, size, [] { return cab::make_cab_writer(); });
}
