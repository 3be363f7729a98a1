// zip32j.so: ZIP archives. Every path is stored without its root
// (/home/u/data/a.txt as home/u/data/a.txt), folders as entries ending in
// "/", files deflated, modification times kept, symbolic links as links.
#include "arc/driver.h"
#include "archiver_api.h"
#include "zip_writer.h"

ARC_EXPORT uint16_t ARC_CALL ZipGetVersion(void) { return 100; }

ARC_EXPORT int ARC_CALL Zip(void* /*window*/, const char* command, char* output, uint32_t size) {
  using namespace zubeto::arc;
  return run_archiver(FormatId::Zip, command, output, size, [] { return zubeto::zip::make_zip_writer(); });
}
