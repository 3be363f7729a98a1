// Our LZH writer: level-2 headers, files as "-lh5-" or, when that does not
// make them smaller, "-lh0-", folders as "-lhd-". Files are compressed on
// every core: small files whole, large files in chunks that continue one
// stream; entries are written in walk order. Names are stored for Japanese
// Windows readers (see lzh_names.h) with the Unix permission bits beside.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "arc/driver.h"
#include "lh5_encoder.h"
#include "lzh_names.h"

namespace lzh {

struct LzhLimits {
  // Files larger than this are compressed in chunks of this size.
  size_t chunk = 1 << 20;
  // Compression threads; 0 = one per core.
  unsigned threads = 0;
  // The largest file an entry can hold (its sizes are 32-bit fields).
  uint64_t max_size = 0xFFFFFFFFull;
  // A large file whose compressed data has not shrunk once this much of it
  // was compressed is kept as it is, without compressing the rest.
  uint64_t give_up_after = 4 << 20;
  Lh5Options options;
  // Test seam: the threads finish the work out of order (see
  // OrderedWorkLimits::reverse_pairs); the archive must not change.
  bool reverse_pairs = false;
};

std::unique_ptr<zubeto::arc::EntryWriter> make_lzh_writer(const LzhLimits& limits = LzhLimits{});

// The fields of one level-2 header, as stored.
struct HeaderFields {
  char method[6] = "-lh0-";
  uint32_t packed_size = 0;
  uint32_t original_size = 0;
  uint32_t mtime = 0;
  uint16_t data_crc = 0;
  uint16_t dos_attributes = 0x20;
  uint16_t unix_mode = 0100644;
  StoredName name;
};

// The system mark of our headers: Windows, whose readers take the plain
// names in their own code page and keep their case.
constexpr uint8_t kOsMark = 'W';
constexpr uint32_t kCodePage = 932;

// The complete header bytes, header CRC included. Empty when the names do
// not fit a level-2 header.
std::vector<uint8_t> build_header(const HeaderFields& fields);

}  // namespace lzh
