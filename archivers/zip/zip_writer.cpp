#include "zip_writer.h"

#if ZUBETO_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif
#include <zlib.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <deque>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "arc/buffered_output.h"
#include "arc/codes.h"
#include "arc/dos_time.h"
#include "arc/le.h"
#include "arc/name_arena.h"
#include "arc/utf8.h"
#include "deflate_seam.h"
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

// One unit of work for a compression thread.
struct Piece {
  enum Kind { Whole, Chunk, Plain } kind = Whole;
  size_t record = 0;        // index of its entry's Record
  bool first = true, last = true;  // chunks: place in the file
  std::vector<char> in;
  std::vector<char> dict;   // chunks after the first: the bytes before
  std::vector<char> out;
  uint32_t crc = 0;
};

struct Job {
  std::vector<Piece> pieces;
  size_t bytes = 0;
  bool done = false;
  bool failed = false;
  Job* after = nullptr;  // reverse_pairs: begun once this one is done
};

class ZipWriter : public arc::EntryWriter {
 public:
  explicit ZipWriter(const ZipLimits& limits) : limits_(limits) {}

  ~ZipWriter() override {
    {
      std::lock_guard<std::mutex> lock(m_);
      stop_ = true;
    }
    work_cv_.notify_all();
    done_cv_.notify_all();
    for (std::thread& t : threads_) t.join();
  }

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
    unsigned n = limits_.threads ? limits_.threads : std::thread::hardware_concurrency();
    n = std::clamp(n, 1u, 8u);
    for (unsigned i = 0; i < n; ++i) threads_.emplace_back([this] { work(); });
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
      p.in.resize(static_cast<size_t>(std::min<uint64_t>(left, limits_.chunk)));
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
    Status s = drain();
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
  static void fill(FileContent& content, std::vector<char>& buf) {
    size_t got = 0;
    while (got < buf.size()) {
      size_t n = content.read(buf.data() + got, buf.size() - got);
      if (n == 0) break;
      got += n;
    }
    if (got < buf.size()) std::memset(buf.data() + got, 0, buf.size() - got);
  }

  // Hands over what is gathered and writes everything back, waiting for it.
  Status drain() {
    Status s = submit();
    while (s.ok() && !order_.empty()) s = write_head(true);
    return s;
  }

  // Leaves out the last entry, a large file that could not be read whole:
  // once its chunks handed over (`queued`) are written, the archive goes
  // back to where its local header began, and the central directory never
  // lists it.
  Status drop_last(bool queued) {
    Status s;
    if (queued) {
      s = drain();
      if (s.ok()) s = out_->truncate(records_.back().offset);
    }
    records_.pop_back();
    return s;
  }

  // Adds a piece to the batch being gathered; hands the batch over when full.
  Status queue(Piece p) {
    if (!pending_) pending_ = std::make_unique<Job>();
    pending_->bytes += p.in.size();
    pending_->pieces.push_back(std::move(p));
    if (pending_->bytes >= kBatchBytes || pending_->pieces.size() >= kBatchPieces) return submit();
    return Status{};
  }

  // Hands the gathered batch to the threads, after writing finished work
  // and, while too much is in flight, waiting for the oldest job.
  Status submit() {
    if (!pending_) return Status{};
    std::unique_ptr<Job> job = std::move(pending_);
    Status s;
    while (s.ok() && !order_.empty() && in_flight_ + job->bytes > kInFlightBytes) s = write_head(true);
    while (s.ok() && !order_.empty() && head_done()) s = write_head(false);
    if (!s.ok()) return s;
    in_flight_ += job->bytes;
    Job* j = job.get();
    order_.push_back(std::move(job));
    if (limits_.reverse_pairs && !held_) {
      held_ = j;
      return Status{};
    }
    std::lock_guard<std::mutex> lock(m_);
    todo_.push_back(j);
    if (held_) {
      held_->after = j;
      todo_.push_back(held_);
      held_ = nullptr;
    }
    work_cv_.notify_all();
    return Status{};
  }

  // reverse_pairs: the held job is needed now; it goes over alone.
  void release_held() {
    std::lock_guard<std::mutex> lock(m_);
    todo_.push_back(held_);
    held_ = nullptr;
    work_cv_.notify_all();
  }

  bool head_done() {
    std::lock_guard<std::mutex> lock(m_);
    return order_.front()->done;
  }

  // Writes the oldest job once it is done (waiting for it if `wait`).
  Status write_head(bool wait) {
    Job* job = order_.front().get();
    if (wait && job == held_) release_held();
    {
      std::unique_lock<std::mutex> lock(m_);
      if (!job->done && !wait) return Status{};
      done_cv_.wait(lock, [job] { return job->done; });
    }
    if (job->failed) return Status::fail(ARC_E_INTERNAL, "out of memory while compressing");
    for (Piece& p : job->pieces) {
      Status s = write_piece(p);
      if (!s.ok()) return s;
    }
    in_flight_ -= job->bytes;
    order_.pop_front();
    return Status{};
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
    r.crc = static_cast<uint32_t>(::crc32_combine(r.crc, p.crc, static_cast<z_off_t>(p.in.size())));
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

  // Deflate is libdeflate where it is available (whole buffers, fast) and
  // zlib everywhere (chunks that must continue a stream; the whole of the
  // work where libdeflate is missing, as in the Windows build).
  struct Tools {
#if ZUBETO_HAVE_LIBDEFLATE
    libdeflate_compressor* whole = nullptr;
#endif
    z_stream z{};
    bool z_ready = false;
    ~Tools() {
#if ZUBETO_HAVE_LIBDEFLATE
      if (whole) libdeflate_free_compressor(whole);
#endif
      if (z_ready) deflateEnd(&z);
    }
  };

  void work() {
    Tools tools;
    for (;;) {
      Job* job;
      {
        std::unique_lock<std::mutex> lock(m_);
        work_cv_.wait(lock, [this] { return stop_ || !todo_.empty(); });
        if (stop_) return;
        job = todo_.front();
        todo_.pop_front();
        if (job->after) {
          Job* after = job->after;
          done_cv_.wait(lock, [this, after] { return stop_ || after->done; });
          if (stop_) return;
        }
      }
      bool ok = true;
      try {
        for (Piece& p : job->pieces)
          if (!compress(tools, p)) ok = false;
      } catch (const std::bad_alloc&) {
        ok = false;
      }
      {
        std::lock_guard<std::mutex> lock(m_);
        job->failed = !ok;
        job->done = true;
      }
      // The writer waits on this, and with reverse_pairs a thread too.
      done_cv_.notify_all();
    }
  }

  static uint32_t crc_of(const std::vector<char>& in) {
#if ZUBETO_HAVE_LIBDEFLATE
    return static_cast<uint32_t>(libdeflate_crc32(0, in.data(), in.size()));
#else
    uLong crc = ::crc32(0, nullptr, 0);
    const Bytef* at = reinterpret_cast<const Bytef*>(in.data());
    for (size_t left = in.size(); left > 0;) {
      uInt n = static_cast<uInt>(std::min<size_t>(left, 1u << 30));
      crc = ::crc32(crc, at, n);
      at += n;
      left -= n;
    }
    return static_cast<uint32_t>(crc);
#endif
  }

  // Compresses p.in into p.out with zlib: the stream ends when the piece is
  // its entry's last, else it ends on a byte boundary so that the next
  // chunk's blocks follow directly. The dictionary (the previous chunk's
  // last bytes) keeps the seams as small as the rest.
  static bool zlib_compress(Tools& t, Piece& p, bool last) {
    if (!t.z_ready) {
      if (deflateInit2(&t.z, kLevel, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
      t.z_ready = true;
    } else if (deflateReset(&t.z) != Z_OK) {
      return false;
    }
    if (!p.dict.empty() &&
        deflateSetDictionary(&t.z, reinterpret_cast<const Bytef*>(p.dict.data()), static_cast<uInt>(p.dict.size())) != Z_OK)
      return false;
    p.out.resize(deflateBound(&t.z, static_cast<uLong>(p.in.size())) + 64);
    t.z.next_in = reinterpret_cast<Bytef*>(p.in.data());
    t.z.avail_in = static_cast<uInt>(p.in.size());
    size_t produced = 0;
    const int flush = last ? Z_FINISH : Z_SYNC_FLUSH;
    for (;;) {
      t.z.next_out = reinterpret_cast<Bytef*>(p.out.data() + produced);
      t.z.avail_out = static_cast<uInt>(p.out.size() - produced);
      int rc = deflate(&t.z, flush);
      produced = p.out.size() - t.z.avail_out;
      if (rc == Z_STREAM_ERROR) return false;
      if (last ? rc == Z_STREAM_END : (t.z.avail_in == 0 && t.z.avail_out > 0)) break;
      p.out.resize(p.out.size() * 2);
    }
    p.out.resize(produced);
    p.dict.clear();
    p.dict.shrink_to_fit();
    return true;
  }

  static bool compress(Tools& t, Piece& p) {
    p.crc = crc_of(p.in);
    switch (p.kind) {
      case Piece::Plain:  // folders and link targets: a few bytes at most
        p.out = p.in;
        return true;
      case Piece::Whole: {
#if ZUBETO_HAVE_LIBDEFLATE
        if (!t.whole && !(t.whole = libdeflate_alloc_compressor(kLevel))) return false;
        p.out.resize(libdeflate_deflate_compress_bound(t.whole, p.in.size()));
        size_t n = libdeflate_deflate_compress(t.whole, p.in.data(), p.in.size(), p.out.data(), p.out.size());
        if (n == 0) return false;
        p.out.resize(n);
        return true;
#else
        return zlib_compress(t, p, /*last=*/true);
#endif
      }
      case Piece::Chunk: {
#if ZUBETO_HAVE_LIBDEFLATE
        // Each chunk compressed on its own as a whole buffer, then joined to
        // the next; zlib with the previous bytes as dictionary only when a
        // chunk's stream cannot be joined (never expected).
        if (!t.whole && !(t.whole = libdeflate_alloc_compressor(kLevel))) return false;
        p.out.resize(libdeflate_deflate_compress_bound(t.whole, p.in.size()) + 8);
        size_t n = libdeflate_deflate_compress(t.whole, p.in.data(), p.in.size(), p.out.data(), p.out.size());
        if (n == 0) return false;
        p.out.resize(n);
        if (p.last || continue_stream(p.out)) {
          p.dict.clear();
          p.dict.shrink_to_fit();
          return true;
        }
#endif
        return zlib_compress(t, p, p.last);
      }
    }
    return false;
  }

  ZipLimits limits_;
  std::unique_ptr<BufferedOutput> out_;
  // Grown in blocks: never copied as a whole while it grows.
  std::deque<Record> records_;
  arc::NameArena names_;

  // Main thread only.
  std::unique_ptr<Job> pending_;
  std::deque<std::unique_ptr<Job>> order_;  // handed over, not yet written, oldest first
  size_t in_flight_ = 0;
  Job* held_ = nullptr;  // reverse_pairs: the first of a pair, not yet handed over

  // Shared with the threads, under m_.
  std::mutex m_;
  std::condition_variable work_cv_, done_cv_;
  std::deque<Job*> todo_;
  bool stop_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace

std::unique_ptr<arc::EntryWriter> make_zip_writer(const ZipLimits& limits) {
  return std::make_unique<ZipWriter>(limits);
}

}  // namespace zubeto::zip
