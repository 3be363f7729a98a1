// The read-back check: an archive of ours (LZH, ZIP, CAB, TAR) read back
// from its file and every entry checked, so that nothing old is removed on
// the word of a new archive that does not read.
//
//   ZIP  every entry inflated (or read, when stored) and its CRC-32 and
//        size compared with the central directory; the entries must follow
//        one another from the start to the central directory, and there
//        must be as many as the end record counts.
//   LZH  every header's own CRC-16 and every entry decoded (-lh0-, -lh4-
//        to -lh7-) and its CRC-16 and size compared; the archive must end
//        with its end mark.
//   CAB  every data block's checksum, every MSZIP block inflated to its
//        stated size, every CAB folder holding the blocks its entry counts
//        and every file lying inside its CAB folder's data; the cabinet's
//        size must be the file's.
//   TAR  every header's checksum and size, the pax records well formed,
//        the data of every entry present; the archive must end with its
//        two zero blocks. TAR keeps no checksum of the data itself.
//
// Nothing here depends on the writers: the check reads the formats as any
// reader would. Texts are English; paths are bytes in the system's narrow
// code page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace arcverify {

enum class Format { Lzh, Zip, Cab, Tar };

// The format named by the path's extension: ".lzh", ".zip", ".cab" or
// ".tar" (in any letter case). False for any other name.
bool format_of_path(std::string_view path, Format& out);

// Where the archive's bytes come from.
class Source {
 public:
  virtual ~Source() = default;
  virtual uint64_t size() const = 0;
  // Reads exactly n bytes at offset; false when that cannot be done.
  virtual bool read_at(uint64_t offset, void* data, size_t n) = 0;
};

struct Report {
  bool ok = false;
  // Entries read back and checked (folders included, where the format
  // keeps them; pax and other meta headers not counted).
  uint64_t entries = 0;
  // What failed, when !ok: a short English text ("entry docs/a.txt: CRC
  // mismatch").
  std::string problem;
  // Where the first entry's stored data with at least one byte lies in the
  // file (ZIP and LZH: its compressed data; CAB: the first data block's
  // compressed bytes; TAR: its data). Tests flip a byte there.
  uint64_t first_data_offset = 0;
  uint64_t first_data_size = 0;
};

Report verify(Source& source, Format format);

// Reads the file anew from the disk (on POSIX, what the system holds of it
// in memory is dropped first, so the bytes come from the device) and
// checks it. A file that cannot be opened fails with that reason.
Report verify_file(const std::string& path, Format format);

// Test seam: each block read by verify_file passes through the filter
// (the path, the offset in the file, the bytes read) before it is
// checked. Empty: none.
using ReadFilter = std::function<void(const std::string& path, uint64_t offset, uint8_t* data, size_t n)>;
void set_read_filter(ReadFilter filter);

}  // namespace arcverify
