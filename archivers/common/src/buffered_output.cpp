#include "arc/buffered_output.h"

#include <cstring>

#include "arc/codes.h"

namespace zubeto::arc {

BufferedOutput::BufferedOutput(OutputFile& out, size_t capacity) : out_(out), buf_(capacity) {}

Status BufferedOutput::write(const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  if (size <= buf_.size() - used_) {
    std::memcpy(buf_.data() + used_, p, size);
    used_ += size;
    return Status{};
  }
  Status s = flush();
  if (!s.ok()) return s;
  if (size >= buf_.size()) {
    s = out_.write_at(written_, p, size);
    if (s.ok()) written_ += size;
    kick();
    return s;
  }
  std::memcpy(buf_.data(), p, size);
  used_ = size;
  return Status{};
}

Status BufferedOutput::space(char*& at, size_t& room) {
  if (used_ == buf_.size()) {
    Status s = flush();
    if (!s.ok()) return s;
  }
  at = buf_.data() + used_;
  room = buf_.size() - used_;
  return Status{};
}

Status BufferedOutput::flush() {
  if (used_ == 0) return Status{};
  Status s = out_.write_at(written_, buf_.data(), used_);
  if (!s.ok()) return s;
  written_ += used_;
  used_ = 0;
  kick();
  return Status{};
}

void BufferedOutput::kick() {
  // The archive is flushed to disk before it gets its name; starting the
  // disk writes as the bytes come lets that flush find little left to do.
  constexpr uint64_t kKickBytes = 1 << 20;
  if (written_ - kicked_ < kKickBytes) return;
  out_.start_writeback(kicked_, written_ - kicked_);
  kicked_ = written_;
}

Status BufferedOutput::truncate(uint64_t offset) {
  if (offset >= written_) {
    if (offset < written_ + used_) used_ = static_cast<size_t>(offset - written_);
    return Status{};
  }
  // Bytes go to the file at written_ (not at the file's own position), so
  // cutting the file and moving written_ back is all it takes.
  used_ = 0;
  Status s = out_.truncate(offset);
  if (!s.ok()) return s;
  written_ = offset;
  if (kicked_ > offset) kicked_ = offset;
  return Status{};
}

Status BufferedOutput::patch(uint64_t offset, const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  // The part still in the buffer.
  if (offset + size > written_) {
    uint64_t from = offset > written_ ? offset : written_;
    size_t skip = static_cast<size_t>(from - offset);
    std::memcpy(buf_.data() + (from - written_), p + skip, size - skip);
    size = skip;
  }
  // The part already in the file.
  if (size > 0) return out_.write_at(offset, p, size);
  return Status{};
}

}  // namespace zubeto::arc
