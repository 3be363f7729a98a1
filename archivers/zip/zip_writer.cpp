#include "zip_writer.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <deque>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "arc/buffered_output.h"
#include "arc/codes.h"
#include "arc/deflate.h"
#include "arc/dos_time.h"
#include "arc/le.h"
#include "arc/name_arena.h"
#include "arc/ordered_work.h"
#include "arc/utf8.h"
#include "platform/files.h"

namespace zubeto::zip {

namespace {

using arc::BufferedOutput;
using arc::Entry;
using arc::EntryKind;
using arc::FileContent;
using arc::OutputFile;
using arc::Status;

// Level 6 keeps the archive as small as the usual zip tools make it.
constexpr int kLevel = 6;
// Small files are handed to the threads in batches of about this size.
constexpr size_t kBatchBytes = 256 * 1024;
constexpr size_t kBatchPieces = 64;
// Input bytes read but not yet written: the bound on memory. Output
// buffers add about as much again.
constexpr size_t kInFlightBytes = 4 * 1024 * 1024;
// A chunk of a large file is compressed with the previous chunk's last
// bytes as its dictionary, so the stream loses nothing at the seams.
constexpr size_t kDictBytes = 32 * 1024;

constexpr uint16_t kFlagUtf8 = 0x0800;
constexpr uint16_t kStored = 0;
constexpr uint16_t kDeflated = 8;
constexpr uint16_t kMadeByUnix = (3 << 8) | 45;

using arc::le::append16;
using arc::le::append32;
using arc::le::append64;

std::string le32(uint32_t v) {
  std::string s;
  append32(s, v);
  return s;
}
std::string le64(uint64_t v) {
  std::string s;
  append64(s, v);
  return s;
}

// One entry as the central directory lists it.
// Kept for the central directory until the end: a fixed-size record per
// entry, its name in the writer's arena.
struct Record {
  int64_t mtime = 0;
  uint64_t csize = 0, usize = 0;
  uint64_t offset = 0;
  arc::NameArena::Ref name_at = 0;
  uint32_t name_len = 0;
  uint32_t crc = 0;
  uint32_t attributes = 0;
  uint16_t flags = 0;
  uint16_t method = kDeflated;
  uint16_t time = 0, date = 0;
  bool zip64_local = false;  // the local header carries ZIP64 sizes
};

// Bytes that a resize leaves as they are: a piece's buffers are written
// over whole (the file's bytes, the deflate stream), never read first.
template <class T>
struct Uninitialized : std::allocator<T> {
  template <class U>
  struct rebind {
    using other = Uninitialized<U>;
  };
  Uninitialized() = default;
  template <class U>
  Uninitialized(const Uninitialized<U>&) {}
  template <class U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};
using Bytes = std::vector<char, Uninitialized<char>>;

// One unit of work for a compression thread.
struct Piece {
  enum Kind { Whole, Chunk, Plain } kind = Whole;
  size_t record = 0;        // index of its entry's Record
  bool first = true, last = true;  // chunks: place in the file
  Bytes in;
  std::vector<char> dict;   // chunks after the first: the bytes before
  Bytes out;
  uint32_t crc = 0;
};

class ZipWriter : public arc::EntryWriter {
 public:
  explicit ZipWriter(const ZipLimits& limits) : limits_(limits) {}

  // Readers take a "\" in a stored name for a folder separator (bsdtar,
  // and every reader on Windows); letter case is kept.
  std::string name_key(std::string_view part) const override {
    std::string k = platform::name_to_utf8(part);
    std::replace(k.begin(), k.end(), '\\', '/');
    return k;
  }

  // Nothing but the central directory's records is kept per file.
  bool takes_entries_as_walked() const override { return true; }

  Status begin(OutputFile& out, const std::vector<Entry>&) override {
    out_ = std::make_unique<BufferedOutput>(out);
    arc::OrderedWorkLimits l;
    l.threads = limits_.threads;
    l.batch_bytes = kBatchBytes;
    l.batch_pieces = kBatchPieces;
    l.in_flight_bytes = kInFlightBytes;
    l.reverse_pairs = limits_.reverse_pairs;
    work_ = std::make_unique<arc::OrderedWork<Piece>>(
        l,
        [] {
          auto deflater = std::make_shared<arc::Deflater>(kLevel);
          return [deflater](Piece& p) {
            if (!compress(*deflater, p)) throw std::bad_alloc();
          };
        },
        [this](Piece& p) { return write_piece(p); });
    return Status{};
  }

  Status add(const Entry& e, FileContent* content) override {
    Record r;
    // Names as UTF-8 whatever the system's code page (the ANSI code page on
    // Windows): every reader then shows the same name.
    const std::string name = platform::name_to_utf8(e.kind == EntryKind::Folder ? e.name + "/" : e.name);
    r.name_at = names_.add(name);
    r.name_len = static_cast<uint32_t>(name.size());
    // The UTF-8 flag only on names that are UTF-8; any other name is stored
    // as the bytes it is, which readers take in their own code page.
    if (!arc::is_ascii(name) && arc::is_valid_utf8(name)) r.flags |= kFlagUtf8;
    r.mtime = e.mtime;
    const arc::DosTime dt = arc::dos_time(e.mtime);
    r.time = dt.time;
    r.date = dt.date;
    // The POSIX file type bits of the external attributes.
    constexpr uint32_t kTypeFolder = 0040000, kTypeLink = 0120000, kTypeFile = 0100000;
    uint32_t type = e.kind == EntryKind::Folder ? kTypeFolder : e.kind == EntryKind::Link ? kTypeLink : kTypeFile;
    uint32_t perm = e.kind == EntryKind::Link ? 0777 : (e.mode & 07777);
    r.attributes = ((type | perm) << 16) | (e.kind == EntryKind::Folder ? 0x10 : 0);
    records_.push_back(std::move(r));
    const size_t index = records_.size() - 1;

    if (e.kind != EntryKind::File || !content) {
      Piece p;
      p.kind = Piece::Plain;
      p.record = index;
      records_[index].method = kStored;
      if (e.kind == EntryKind::Link) {
        std::string target = platform::name_to_utf8(e.link_target);
        p.in.assign(target.begin(), target.end());
      }
      return queue(std::move(p));
    }

    const uint64_t size = content->size();
    if (size <= limits_.chunk) {
      Piece p;
      p.record = index;
      p.in.resize(static_cast<size_t>(size));
      fill(*content, p.in);
      if (content->incomplete()) {  // not read whole: left out
        records_.pop_back();
        return Status{};
      }
      return queue(std::move(p));
    }

    // A large file: chunks that continue one stream. Its local header may
    // need ZIP64 sizes when the data could reach the 32-bit limit.
    records_[index].zip64_local = size + (size >> 10) + 1024 >= limits_.max32;
    records_[index].usize = size;
    uint64_t left = size;
    std::vector<char> dict;
    bool first = true;
    while (left > 0) {
      Piece p;
      p.kind = Piece::Chunk;
      p.record = index;
      p.first = first;
      const size_t n = static_cast<size_t>(std::min<uint64_t>(left, limits_.chunk));
      p.in.resize(n);
      fill(*content, p.in);
      if (content->incomplete()) return drop_last(!first);
      left -= p.in.size();
      p.last = left == 0;
      p.dict = std::move(dict);
      if (!p.last) {
        size_t keep = std::min(kDictBytes, p.in.size());
        dict.assign(p.in.end() - static_cast<std::ptrdiff_t>(keep), p.in.end());
      }
      first = false;
      Status s = queue(std::move(p));
      if (!s.ok()) return s;
    }
    return Status{};
  }

  Status finish() override {
    Status s = work_->drain();
    if (!s.ok()) return s;

    const uint64_t cd_start = out_->offset();
    for (const Record& r : records_) {
      s = write_central(r);
      if (!s.ok()) return s;
    }
    const uint64_t cd_size = out_->offset() - cd_start;
    const uint64_t count = records_.size();
    const bool zip64 = count >= limits_.max16 || cd_size >= limits_.max32 || cd_start >= limits_.max32;
    std::string end;
    if (zip64) {
      const uint64_t record_at = out_->offset();
      append32(end, 0x06064b50);
      append64(end, 44);
      append16(end, kMadeByUnix);
      append16(end, 45);
      append32(end, 0);
      append32(end, 0);
      append64(end, count);
      append64(end, count);
      append64(end, cd_size);
      append64(end, cd_start);
      append32(end, 0x07064b50);  // locator
      append32(end, 0);
      append64(end, record_at);
      append32(end, 1);
    }
    append32(end, 0x06054b50);
    append16(end, 0);
    append16(end, 0);
    const uint16_t count16 = count >= limits_.max16 ? 0xFFFF : static_cast<uint16_t>(count);
    append16(end, count16);
    append16(end, count16);
    append32(end, cd_size >= limits_.max32 ? 0xFFFFFFFF : static_cast<uint32_t>(cd_size));
    append32(end, cd_start >= limits_.max32 ? 0xFFFFFFFF : static_cast<uint32_t>(cd_start));
    append16(end, 0);
    s = out_->write(end.data(), end.size());
    if (s.ok()) s = out_->flush();
    return s;
  }

 private:
  // Reads exactly buf.size() bytes (the content fills up a short file).
  static void fill(FileContent& content, Bytes& buf) {
    size_t got = 0;
    while (got < buf.size()) {
      size_t n = content.read(buf.data() + got, buf.size() - got);
      if (n == 0) break;
      got += n;
    }
    if (got < buf.size()) std::memset(buf.data() + got, 0, buf.size() - got);
  }

  // Leaves out the last entry, a large file that could not be read whole:
  // once its chunks handed over (`queued`) are written, the archive goes
  // back to where its local header began, and the central directory never
  // lists it.
  Status drop_last(bool queued) {
    Status s;
    if (queued) {
      s = work_->drain();
      if (s.ok()) s = out_->truncate(records_.back().offset);
    }
    records_.pop_back();
    return s;
  }

  // Hands a piece to the threads; writes back what is finished.
  Status queue(Piece p) {
    const size_t bytes = p.in.size();
    return work_->add(std::move(p), bytes);
  }

  Status write_piece(Piece& p) {
    Record& r = records_[p.record];
    Status s;
    if (p.kind != Piece::Chunk) {
      r.crc = p.crc;
      r.usize = p.in.size();
      r.csize = p.out.size();
      r.zip64_local = r.usize >= limits_.max32 || r.csize >= limits_.max32;
      s = write_local(r);
      if (s.ok()) s = out_->write(p.out.data(), p.out.size());
      return s;
    }
    if (p.first) {
      s = write_local(r);
      r.crc = 0;
      r.csize = 0;
    }
    if (s.ok()) s = out_->write(p.out.data(), p.out.size());
    if (!s.ok()) return s;
    r.crc = arc::crc32_combine(r.crc, p.crc, p.in.size());
    r.csize += p.out.size();
    if (!p.last) return Status{};
    // The sizes and the checksum go back into the local header.
    const size_t name_len = r.name_len;
    s = out_->patch(r.offset + 14, le32(r.crc).data(), 4);
    if (!s.ok()) return s;
    if (r.zip64_local) {
      std::string sizes = le64(r.usize) + le64(r.csize);
      return out_->patch(r.offset + 30 + name_len + 4, sizes.data(), sizes.size());
    }
    if (r.csize >= limits_.max32)
      return Status::fail(ARC_E_FORMAT, "cannot store " + std::string(name_of(r)) + " (compressed data beyond the 32-bit limit)");
    std::string sizes = le32(static_cast<uint32_t>(r.csize)) + le32(static_cast<uint32_t>(r.usize));
    return out_->patch(r.offset + 18, sizes.data(), sizes.size());
  }

  std::string_view name_of(const Record& r) const { return names_.get(r.name_at, r.name_len); }

  static uint16_t needed(const Record& r, bool zip64) { return zip64 ? 45 : r.method == kDeflated ? 20 : 10; }

  bool has_unix_time(const Record& r) const { return r.mtime >= INT32_MIN && r.mtime <= INT32_MAX; }

  Status write_local(Record& r) {
    r.offset = out_->offset();
    std::string h;
    append32(h, 0x04034b50);
    append16(h, needed(r, r.zip64_local));
    append16(h, r.flags);
    append16(h, r.method);
    append16(h, r.time);
    append16(h, r.date);
    append32(h, r.crc);
    append32(h, r.zip64_local ? 0xFFFFFFFF : static_cast<uint32_t>(r.csize));
    append32(h, r.zip64_local ? 0xFFFFFFFF : static_cast<uint32_t>(r.usize));
    append16(h, static_cast<uint16_t>(r.name_len));
    const uint16_t extra = static_cast<uint16_t>((r.zip64_local ? 20 : 0) + (has_unix_time(r) ? 9 : 0));
    append16(h, extra);
    h += name_of(r);
    if (r.zip64_local) {
      append16(h, 0x0001);
      append16(h, 16);
      append64(h, r.usize);
      append64(h, r.csize);
    }
    if (has_unix_time(r)) {
      append16(h, 0x5455);
      append16(h, 5);
      h += static_cast<char>(1);  // modification time
      append32(h, static_cast<uint32_t>(static_cast<int32_t>(r.mtime)));
    }
    return out_->write(h.data(), h.size());
  }

  Status write_central(const Record& r) {
    const bool big_u = r.usize >= limits_.max32;
    const bool big_c = r.csize >= limits_.max32;
    const bool big_o = r.offset >= limits_.max32;
    const uint16_t z64 = static_cast<uint16_t>((big_u ? 8 : 0) + (big_c ? 8 : 0) + (big_o ? 8 : 0));
    std::string h;
    append32(h, 0x02014b50);
    append16(h, kMadeByUnix);
    append16(h, needed(r, r.zip64_local || z64 > 0));
    append16(h, r.flags);
    append16(h, r.method);
    append16(h, r.time);
    append16(h, r.date);
    append32(h, r.crc);
    append32(h, big_c ? 0xFFFFFFFF : static_cast<uint32_t>(r.csize));
    append32(h, big_u ? 0xFFFFFFFF : static_cast<uint32_t>(r.usize));
    append16(h, static_cast<uint16_t>(r.name_len));
    append16(h, static_cast<uint16_t>((z64 ? 4 + z64 : 0) + (has_unix_time(r) ? 9 : 0)));
    append16(h, 0);  // comment
    append16(h, 0);  // disk
    append16(h, 0);  // internal attributes
    append32(h, r.attributes);
    append32(h, big_o ? 0xFFFFFFFF : static_cast<uint32_t>(r.offset));
    h += name_of(r);
    if (z64) {
      append16(h, 0x0001);
      append16(h, z64);
      if (big_u) append64(h, r.usize);
      if (big_c) append64(h, r.csize);
      if (big_o) append64(h, r.offset);
    }
    if (has_unix_time(r)) {
      append16(h, 0x5455);
      append16(h, 5);
      h += static_cast<char>(1);
      append32(h, static_cast<uint32_t>(static_cast<int32_t>(r.mtime)));
    }
    return out_->write(h.data(), h.size());
  }

  // ------------------------------------------------ compression threads --

  // On a compression thread: the piece's checksum and its deflate stream
  // (a chunk's stream ends on a byte boundary unless it is its file's
  // last, so that the next chunk's blocks follow it).
  static bool compress(arc::Deflater& d, Piece& p) {
    p.crc = arc::crc32(0, p.in.data(), p.in.size());
    switch (p.kind) {
      case Piece::Plain:  // folders and link targets: a few bytes at most
        p.out = p.in;
        return true;
      case Piece::Whole: {
        p.out.resize(arc::Deflater::bound(p.in.size()));
        const size_t n = d.compress(p.in.data(), p.in.size(), p.out.data(), p.out.size());
        p.out.resize(n);
        return n > 0;
      }
      case Piece::Chunk: {
        p.out.resize(arc::Deflater::part_bound(p.in.size()));
        const size_t n =
            d.compress_part(p.in.data(), p.in.size(), p.dict.data(), p.dict.size(), p.last, p.out.data(), p.out.size());
        p.out.resize(n);
        p.dict.clear();
        p.dict.shrink_to_fit();
        return n > 0;
      }
    }
    return false;
  }

  ZipLimits limits_;
  std::unique_ptr<BufferedOutput> out_;
  // Grown in blocks: never copied as a whole while it grows.
  std::deque<Record> records_;
  arc::NameArena names_;
  // Last: its threads stop before anything they use goes.
  std::unique_ptr<arc::OrderedWork<Piece>> work_;
};

}  // namespace

std::unique_ptr<arc::EntryWriter> make_zip_writer(const ZipLimits& limits) {
  return std::make_unique<ZipWriter>(limits);
}

}  // namespace zubeto::zip
