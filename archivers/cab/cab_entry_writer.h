// The cabinet writer behind the archivers' shared command run.
#ifndef ZUBETO_CAB_ENTRY_WRITER_H
#define ZUBETO_CAB_ENTRY_WRITER_H

#include <memory>

#include "arc/driver.h"
#include "cab_writer.h"

namespace cab {

constexpr uint16_t kVersion = 100;  // 1.00, as the version function reports it

// Files become cabinet entries named with "\" between folders. Folders give
// no entry of their own: a cabinet holds files only, so an empty folder is
// not in the archive. The options let tests shrink the format's limits.
std::unique_ptr<zubeto::arc::EntryWriter> make_cab_writer(const Options& options = {});

// DOS attributes of a walked file: archive; read-only when nobody may
// write it; hidden when its name starts with a dot; the exec bit when its
// owner may run it.
uint16_t attributes_of(const zubeto::arc::Entry& e);

}  // namespace cab

#endif
