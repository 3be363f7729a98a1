// Our ZIP writer: local headers, central directory, ZIP64 where a size, an
// offset or the entry count needs it. Files are deflated on every core:
// small files as whole buffers, large files in chunks that continue one
// deflate stream; the entries are written in walk order. Target: zip_writer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "arc/driver.h"

namespace zubeto::zip {

struct ZipLimits {
  // A size or an offset at or above this is written in ZIP64 fields.
  uint64_t max32 = 0xFFFFFFFFull;
  // An entry count at or above this needs the ZIP64 end records.
  uint64_t max16 = 0xFFFF;
  // Files larger than this are compressed in chunks of this size.
  size_t chunk = 1 << 20;
  // Compression threads; 0 = one per core.
  unsigned threads = 0;
  // Test seam: each pair of batches goes to the threads second first, and
  // the first is begun only once the second has finished, so that the work
  // finishes out of the order given; the archive must not change.
  bool reverse_pairs = false;
};

std::unique_ptr<arc::EntryWriter> make_zip_writer(const ZipLimits& limits = ZipLimits{});

}  // namespace zubeto::zip
