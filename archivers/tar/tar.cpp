// tar32.so: POSIX tar archives (ustar, with pax extended headers only where
// ustar cannot hold a name, a size or a link). Paths are stored relative to
// the base directory of the command; a source outside it without its root.
#include <archive.h>

#include "arc/driver.h"
#include "arc/libarchive_writer.h"
#include "archiver_api.h"

namespace {

int setup_tar(struct archive* a) { return archive_write_set_format_pax_restricted(a); }

}  // namespace

ARC_EXPORT uint16_t ARC_CALL TarGetVersion(void) { return 100; }

ARC_EXPORT int ARC_CALL Tar(void* /*window*/, const char* command, char* output, uint32_t size) {
  using namespace zubeto::arc;
  return run_archiver(FormatId::Tar, command, output, size, [] { return make_libarchive_writer(setup_tar); });
}
