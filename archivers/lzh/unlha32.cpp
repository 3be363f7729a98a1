// unlha32.so: LZH archives ("a" = create). Every path is stored without its
// root (/home/u/data/a.txt as home/u/data/a.txt). The command reading, the
// walk, the output file and the output text are the shared archiver core's;
// this file only puts the LZH writer behind it.
#include "arc/driver.h"
#include "archiver_api.h"
#include "lzh_writer.h"

ARC_EXPORT uint16_t ARC_CALL UnlhaGetVersion(void) { return 100; }

ARC_EXPORT int ARC_CALL Unlha(void* /*window*/, const char* command, char* output, uint32_t size) {
  using namespace zubeto::arc;
  return run_archiver(FormatId::Lzh, command, output, size, [] { return lzh::make_lzh_writer(); });
}
