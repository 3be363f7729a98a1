// Large buffered writes into an OutputFile, for writers that produce many
// small pieces (headers, small entries): bytes gather in one buffer and go
// to the file in writes of the buffer's size. Bytes already given can be
// overwritten later (sizes and checksums known only after an entry's data),
// wherever they are by then: still in the buffer, or in the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "arc/output_file.h"
#include "arc/status.h"

namespace zubeto::arc {

class BufferedOutput {
 public:
  explicit BufferedOutput(OutputFile& out, size_t capacity = 1 << 20);

  // Appends bytes; a piece larger than the buffer goes straight to the file.
  Status write(const void* data, size_t size);
  // Free space at the end of the buffer, to fill in place and then claim
  // with filled(); flushes first when the buffer is full.
  Status space(char*& at, size_t& room);
  void filled(size_t n) { used_ += n; }
  // Writes what the buffer holds.
  Status flush();
  // Overwrites bytes given before, at `offset` from the file's start.
  Status patch(uint64_t offset, const void* data, size_t size);
  // Drops every byte given at or after `offset` (a writer that keeps a
  // file as it is after its compressed data turned out larger); later
  // bytes go on from there.
  Status truncate(uint64_t offset);
  // Bytes given so far, buffered or written.
  uint64_t offset() const { return written_ + used_; }

 private:
  void kick();

  OutputFile& out_;
  std::vector<char> buf_;
  size_t used_ = 0;
  uint64_t written_ = 0;  // bytes already in the file
  uint64_t kicked_ = 0;   // bytes whose disk writes were started
};

}  // namespace zubeto::arc
