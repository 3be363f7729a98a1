// zip32j.so: ZIP archives. Every path is stored without its root
// (/home/u/data/a.txt as home/u/data/a.txt), folders as entries ending in
// "/", files deflated, modification times kept, symbolic links as links.
#include <archive.h>

#include "arc/driver.h"
#include "arc/libarchive_writer.h"
#include "archiver_api.h"

namespace {

int setup_zip(struct archive* a) {
  int rc = archive_write_set_format_zip(a);
  if (rc == ARCHIVE_OK) rc = archive_write_set_format_option(a, "zip", "compression", "deflate");
  // Names are UTF-8, and the archive says so.
  if (rc == ARCHIVE_OK) rc = archive_write_set_format_option(a, "zip", "hdrcharset", "UTF-8");
  // A zip file ends where its data ends: no padding of the last block.
  if (rc == ARCHIVE_OK) rc = archive_write_set_bytes_in_last_block(a, 1);
  return rc;
}

}  // namespace

ARC_EXPORT uint16_t ARC_CALL ZipGetVersion(void) { return 100; }

ARC_EXPORT int ARC_CALL Zip(void* /*window*/, const char* command, char* output, uint32_t size) {
  using namespace zubeto::arc;
  return run_archiver(FormatId::Zip, command, output, size, [] { return make_libarchive_writer(setup_zip); });
}
