// An EntryWriter on libarchive, for the formats that libarchive writes
// (ZIP and TAR). A format gives only the function that picks libarchive's
// format and options. Target: archiver_libarchive.
#pragma once

#include <memory>

#include "arc/driver.h"

struct archive;

namespace zubeto::arc {

// Sets the format and its options on a new write handle; returns
// ARCHIVE_OK or a libarchive error.
using LibarchiveSetup = int (*)(struct archive* a);

std::unique_ptr<EntryWriter> make_libarchive_writer(LibarchiveSetup setup);

}  // namespace zubeto::arc
