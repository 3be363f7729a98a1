// Cabinet writer core. See cab_writer.h for the layout.
//
// Compression: every CFDATA block is "CK" followed by a complete raw deflate
// stream of at most 32 KiB of input. The deflate history is reset at each
// block, which every reader accepts (the history a reader keeps is simply
// never referenced). Independent blocks let two threads compress while the
// calling thread reads the files and writes finished blocks in order.
//
// The deflate streams come from zlib on purpose: cabinet readers descend
// from old inflate code that rejects some legal streams, such as a block
// whose distance code is empty because it holds only literals. zlib always
// sends a complete distance code of at least two symbols, which they accept.
#include "cab_writer.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <thread>

#if defined(_WIN32)
#include <io.h>
#define cab_fseek _fseeki64
#define cab_ftell _ftelli64
#else
#include <unistd.h>
#define cab_fseek fseeko
#define cab_ftell ftello
#endif

namespace cab {

namespace {

constexpr size_t kHeaderSize = 36;
constexpr size_t kFolderSize = 8;
constexpr size_t kFileFixedSize = 16;
constexpr size_t kDataHeaderSize = 8;
constexpr uint16_t kCompressMszip = 1;

void put16(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
void put32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}

std::string stored_name(const std::string& name) {
  std::string s = name;
  std::replace(s.begin(), s.end(), '/', '\\');
  return s;
}

std::string errno_text(int e) { return std::strerror(e); }

// One 32 KiB block on its way through the pipeline.
struct Slot {
  uint8_t in[kBlockSize];
  uint32_t in_len = 0;
  std::vector<uint8_t> out;  // CFDATA header + "CK" + deflate stream
  size_t out_len = 0;
  uint32_t folder = 0;
  bool done = false;
  bool failed = false;
};

struct Compressor {
  z_stream z{};
  bool ok = false;
  explicit Compressor(int level) {
    ok = deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) == Z_OK;
  }
  ~Compressor() {
    if (ok) deflateEnd(&z);
  }
  Compressor(const Compressor&) = delete;
  Compressor& operator=(const Compressor&) = delete;
};

// Largest CFDATA record one block can need.
size_t record_bound() {
  z_stream z{};
  if (deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return 0;
  size_t b = deflateBound(&z, kBlockSize);
  deflateEnd(&z);
  return kDataHeaderSize + 2 + b + 64;
}

// Compresses one slot into its CFDATA record.
void compress_slot(Compressor& c, Slot& s) {
  uint8_t* o = s.out.data();
  o[kDataHeaderSize] = 'C';
  o[kDataHeaderSize + 1] = 'K';
  size_t cap = s.out.size() - kDataHeaderSize - 2;
  if (!c.ok || deflateReset(&c.z) != Z_OK) {
    s.failed = true;
    return;
  }
  c.z.next_in = s.in;
  c.z.avail_in = s.in_len;
  c.z.next_out = o + kDataHeaderSize + 2;
  c.z.avail_out = uInt(cap);
  int rc = deflate(&c.z, Z_FINISH);
  size_t n = cap - c.z.avail_out;
  if (rc != Z_STREAM_END || n + 2 > 0xFFFF) {
    s.failed = true;
    return;
  }
  uint32_t cb = uint32_t(n + 2);
  put16(o + 4, cb);
  put16(o + 6, s.in_len);
  uint32_t sum = cfdata_checksum(o + kDataHeaderSize, cb, 0);
  sum = cfdata_checksum(o + 4, 4, sum);
  put32(o, sum);
  s.out_len = kDataHeaderSize + cb;
}

struct FolderOut {
  uint64_t start = 0;      // offset of its first CFDATA block
  bool started = false;
  uint32_t blocks = 0;
  uint32_t files = 0;
};

struct FileOut {
  size_t entry;            // index into the caller's entries
  uint32_t offset;         // uncompressed offset within its folder
  uint32_t size;
  uint32_t folder;
  bool stored = false;
};

// Reads files into blocks, hands them to the compressing threads and writes
// the finished blocks in order.
class Pipeline {
 public:
  Pipeline(std::FILE* out, uint64_t offset, uint64_t max_cabinet, int level, unsigned threads,
           std::vector<FolderOut>& folders)
      : out_(out), offset_(offset), max_cabinet_(max_cabinet), folders_(folders) {
    size_t bound = record_bound();
    if (bound == 0) {
      error_ = "the compressor could not be set up";
      return;
    }
    ring_ = threads == 0 ? 4 : threads * 8;
    slots_.reserve(ring_);
    for (size_t i = 0; i < ring_; ++i) {
      auto s = std::make_unique<Slot>();
      s->out.resize(bound);
      slots_.push_back(std::move(s));
    }
    if (threads == 0) {
      inline_ = std::make_unique<Compressor>(level);
    } else {
      for (unsigned i = 0; i < threads; ++i) workers_.emplace_back([this, level] { work(level); });
    }
  }

  ~Pipeline() { stop(); }

  const std::string& error() const { return error_; }
  bool limit_hit() const { return limit_hit_; }
  uint64_t offset() const { return offset_; }

  // Room left in the block being filled, or nullptr after a failure.
  uint8_t* room(uint32_t& space) {
    if (!error_.empty()) return nullptr;
    if (!current_) {
      current_ = acquire();
      if (!current_) return nullptr;
      current_->in_len = 0;
      current_->folder = folder_;
    }
    space = kBlockSize - current_->in_len;
    return current_->in + current_->in_len;
  }

  void filled(uint32_t n) {
    current_->in_len += n;
    if (current_->in_len == kBlockSize) submit();
  }

  // Ends the current folder: its last block may be short.
  void end_folder(uint32_t next_folder) {
    if (current_ && current_->in_len > 0) submit();
    folder_ = next_folder;
    if (current_) current_->folder = folder_;
  }

  // Writes every block still in flight.
  bool finish() {
    if (current_ && current_->in_len > 0) submit();
    while (error_.empty() && written_ < submitted_) write_oldest();
    stop();
    return error_.empty();
  }

 private:
  Slot& slot(uint64_t seq) { return *slots_[seq % ring_]; }

  Slot* acquire() {
    while (error_.empty() && submitted_ - written_ >= ring_) write_oldest();
    if (!error_.empty()) return nullptr;
    Slot& s = slot(submitted_);
    s.done = false;
    s.failed = false;
    return &s;
  }

  void submit() {
    ++folders_[current_->folder].blocks;
    if (inline_) {
      compress_slot(*inline_, *current_);
      current_->done = true;
      ++submitted_;
    } else {
      std::lock_guard<std::mutex> lock(mu_);
      ++submitted_;
      work_cv_.notify_one();
    }
    current_ = nullptr;
  }

  void write_oldest() {
    Slot& s = slot(written_);
    if (!inline_) {
      std::unique_lock<std::mutex> lock(mu_);
      done_cv_.wait(lock, [&] { return s.done; });
    }
    if (s.failed) {
      error_ = "a block could not be compressed";
      return;
    }
    if (offset_ + s.out_len > max_cabinet_) {
      limit_hit_ = true;
      error_ = "the cabinet would exceed the largest size its 32-bit fields can hold (" +
               std::to_string(max_cabinet_) + " bytes)";
      return;
    }
    FolderOut& f = folders_[s.folder];
    if (!f.started) {
      f.started = true;
      f.start = offset_;
    }
    if (std::fwrite(s.out.data(), 1, s.out_len, out_) != s.out_len) {
      error_ = "cannot write the cabinet: " + errno_text(errno);
      return;
    }
    offset_ += s.out_len;
    ++written_;
  }

  void work(int level) {
    Compressor comp(level);
    for (;;) {
      uint64_t seq;
      {
        std::unique_lock<std::mutex> lock(mu_);
        work_cv_.wait(lock, [&] { return stopping_ || taken_ < submitted_; });
        if (taken_ >= submitted_) return;  // stopping and nothing left
        seq = taken_++;
      }
      Slot& s = slot(seq);
      compress_slot(comp, s);
      {
        std::lock_guard<std::mutex> lock(mu_);
        s.done = true;
      }
      done_cv_.notify_one();
    }
  }

  void stop() {
    {
      std::lock_guard<std::mutex> lock(mu_);
      stopping_ = true;
    }
    work_cv_.notify_all();
    for (auto& t : workers_) t.join();
    workers_.clear();
  }

  std::FILE* out_;
  uint64_t offset_;
  uint64_t max_cabinet_;
  std::vector<FolderOut>& folders_;
  std::string error_;
  bool limit_hit_ = false;
  size_t ring_ = 0;
  std::vector<std::unique_ptr<Slot>> slots_;
  std::unique_ptr<Compressor> inline_;
  std::vector<std::thread> workers_;
  std::mutex mu_;
  std::condition_variable work_cv_, done_cv_;
  bool stopping_ = false;
  uint64_t submitted_ = 0, taken_ = 0, written_ = 0;
  Slot* current_ = nullptr;
  uint32_t folder_ = 0;
};

// Moves [from, end) down to `to` inside the same file and cuts the rest.
bool move_down(std::FILE* f, uint64_t from, uint64_t to, uint64_t end) {
  std::vector<uint8_t> buf(1 << 20);
  uint64_t done = 0, total = end - from;
  while (done < total) {
    size_t n = size_t(std::min<uint64_t>(buf.size(), total - done));
    if (cab_fseek(f, off_t(from + done), SEEK_SET) != 0) return false;
    if (std::fread(buf.data(), 1, n, f) != n) return false;
    if (cab_fseek(f, off_t(to + done), SEEK_SET) != 0) return false;
    if (std::fwrite(buf.data(), 1, n, f) != n) return false;
    done += n;
  }
  if (std::fflush(f) != 0) return false;
#if defined(_WIN32)
  return _chsize_s(_fileno(f), int64_t(to + total)) == 0;
#else
  return ftruncate(fileno(f), off_t(to + total)) == 0;
#endif
}

}  // namespace

uint32_t cfdata_checksum(const uint8_t* p, size_t n, uint32_t seed) {
  uint64_t wide = 0;
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t v;
    std::memcpy(&v, p + i, 8);  // little-endian host: two 32-bit words at once
    wide ^= v;
  }
  uint32_t sum = seed ^ uint32_t(wide) ^ uint32_t(wide >> 32);
  for (; i + 4 <= n; i += 4)
    sum ^= uint32_t(p[i]) | uint32_t(p[i + 1]) << 8 | uint32_t(p[i + 2]) << 16 | uint32_t(p[i + 3]) << 24;
  // The last one to three bytes are folded in with the first byte highest.
  uint32_t tail = 0;
  for (; i < n; ++i) tail = (tail << 8) | p[i];
  return sum ^ tail;
}

void dos_date_time(int64_t mtime, uint16_t& date, uint16_t& time) {
  std::time_t t = std::time_t(mtime);
  std::tm tm{};
#if defined(_WIN32)
  bool ok = localtime_s(&tm, &t) == 0;
#else
  bool ok = localtime_r(&t, &tm) != nullptr;
#endif
  int year = ok ? tm.tm_year + 1900 : 1980;
  if (!ok || year < 1980) {
    date = (1 << 5) | 1;  // 1980-01-01, the earliest a DOS date holds
    time = 0;
    return;
  }
  if (year > 2107) {
    date = uint16_t((127 << 9) | (12 << 5) | 31);
    time = uint16_t((23 << 11) | (59 << 5) | 29);
    return;
  }
  date = uint16_t(((year - 1980) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
  time = uint16_t((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
}

bool is_valid_utf8(const std::string& s) {
  size_t i = 0, n = s.size();
  while (i < n) {
    uint8_t c = uint8_t(s[i]);
    size_t len;
    uint32_t cp;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      len = 2;
      cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      len = 3;
      cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      len = 4;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (i + len > n) return false;
    for (size_t k = 1; k < len; ++k) {
      uint8_t d = uint8_t(s[i + k]);
      if ((d & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (d & 0x3F);
    }
    if ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) ||
        cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    i += len;
  }
  return true;
}

std::string check_entries(const std::vector<Entry>& entries, const Limits& limits) {
  // Readers refuse a cabinet without files, so none is written.
  if (entries.empty()) return "no files to store: a cabinet must hold at least one file";
  if (entries.size() > limits.max_files)
    return "too many files for one cabinet: " + std::to_string(entries.size()) + " (at most " +
           std::to_string(limits.max_files) + ")";
  const uint64_t folder_bytes = uint64_t(limits.folder_blocks) * kBlockSize;
  uint64_t header = kHeaderSize;
  for (const Entry& e : entries) {
    if (e.name.empty()) return "a file has an empty name in the cabinet: " + e.path;
    if (e.name.find('\0') != std::string::npos) return "a name holds a zero byte: " + e.path;
    if (e.name.size() > limits.max_name)
      return "name too long for a cabinet (" + std::to_string(e.name.size()) + " bytes, at most " +
             std::to_string(limits.max_name) + "): " + e.path;
    if (e.size > folder_bytes || e.size > 0xFFFFFFFFu)
      return "file too large for a cabinet (" + std::to_string(e.size) + " bytes, at most " +
             std::to_string(std::min<uint64_t>(folder_bytes, 0xFFFFFFFFu)) + "): " + e.path;
    header += kFolderSize + kFileFixedSize + e.name.size() + 1;
  }
  if (header > limits.max_cabinet) return "the file table alone exceeds the largest cabinet size";
  return {};
}

Result write_cabinet(const std::vector<Entry>& entries, std::FILE* out, const Options& options) {
  Result r;
  const Limits& lim = options.limits;
  r.error = check_entries(entries, lim);
  if (!r.error.empty()) {
    r.failure = entries.empty() ? Failure::nothing : Failure::limit;
    return r;
  }
  r.failure = Failure::io;  // until the cabinet is complete

  // Plan the folders from the expected sizes: a file never spans folders, and
  // a folder holds at most folder_blocks full blocks. What is actually read
  // never exceeds the expected size, so the plan holds while writing.
  const uint64_t folder_bytes = uint64_t(lim.folder_blocks) * kBlockSize;
  std::vector<uint32_t> planned(entries.size());
  uint32_t nfolders = 0;
  {
    uint64_t used = 0;
    bool open = false;
    for (size_t i = 0; i < entries.size(); ++i) {
      if (!open || used + entries[i].size > folder_bytes) {
        ++nfolders;
        used = 0;
        open = true;
      }
      used += entries[i].size;
      planned[i] = nfolders - 1;
    }
  }

  uint64_t reserved = kHeaderSize + kFolderSize * nfolders;
  for (const Entry& e : entries) reserved += kFileFixedSize + e.name.size() + 1;

  std::vector<FolderOut> folders(nfolders);
  std::vector<FileOut> files;
  files.reserve(entries.size());

  if (cab_fseek(out, off_t(reserved), SEEK_SET) != 0) {
    r.error = "cannot write the cabinet: " + errno_text(errno);
    return r;
  }

  unsigned threads = options.threads;
  if (threads == 0) {
    unsigned hw = std::thread::hardware_concurrency();
    threads = hw <= 1 ? 0 : 2;  // 0 here: compress on the calling thread
  } else if (threads == 1) {
    threads = 0;
  }
  int level = std::clamp(options.level, 1, 9);

  {
    Pipeline pipe(out, reserved, lim.max_cabinet, level, threads, folders);
    std::vector<uint8_t> probe(1);
    uint32_t cur_folder = 0;
    uint64_t folder_off = 0;
    for (size_t i = 0; i < entries.size() && pipe.error().empty(); ++i) {
      const Entry& e = entries[i];
      if (planned[i] != cur_folder) {
        pipe.end_folder(planned[i]);
        cur_folder = planned[i];
        folder_off = 0;
      }
      FileOut fo{i, uint32_t(folder_off), 0, cur_folder};
      std::FILE* in = std::fopen(e.path.c_str(), "rb");
      if (!in) {
        r.skipped.push_back({e.path, "cannot open: " + errno_text(errno)});
        continue;
      }
      uint64_t got = 0;
      bool read_error = false;
      while (got < e.size) {
        uint32_t space = 0;
        uint8_t* dst = pipe.room(space);
        if (!dst) break;
        size_t want = size_t(std::min<uint64_t>(space, e.size - got));
        size_t n = std::fread(dst, 1, want, in);
        pipe.filled(uint32_t(n));
        got += n;
        if (n < want) {
          read_error = std::ferror(in) != 0;
          break;
        }
      }
      int read_errno = errno;
      bool longer = !read_error && got == e.size && std::fread(probe.data(), 1, 1, in) == 1;
      std::fclose(in);
      folder_off += got;  // bytes of a failed read stay in the folder, unreferenced
      if (!pipe.error().empty()) break;
      if (read_error) {
        r.skipped.push_back({e.path, "read error: " + errno_text(read_errno)});
        continue;
      }
      if (got != e.size || longer)
        r.changed.push_back({e.path, "size changed while read (expected " + std::to_string(e.size) +
                                         " bytes, stored " + std::to_string(got) + ")"});
      fo.size = uint32_t(got);
      fo.stored = true;
      files.push_back(fo);
      r.input_bytes += got;
    }
    if (pipe.error().empty()) pipe.finish();
    if (!pipe.error().empty()) {
      r.error = pipe.error();
      if (pipe.limit_hit()) r.failure = Failure::limit;
      return r;
    }
    if (files.empty()) {
      r.failure = Failure::nothing;
      r.error = "none of the files could be read: a cabinet must hold at least one file";
      return r;
    }
    uint64_t data_end = pipe.offset();
    for (FolderOut& f : folders)
      if (!f.started) f.start = data_end;

    // Drop folders that ended with neither files nor blocks (all their files
    // were skipped) and number the rest afresh.
    for (const FileOut& f : files) ++folders[f.folder].files;
    std::vector<uint32_t> renumber(folders.size(), 0);
    std::vector<FolderOut> kept;
    for (size_t k = 0; k < folders.size(); ++k) {
      renumber[k] = uint32_t(kept.size());
      if (folders[k].files > 0 || folders[k].blocks > 0) kept.push_back(folders[k]);
    }
    for (FileOut& f : files) f.folder = renumber[f.folder];

    uint64_t actual = kHeaderSize + kFolderSize * kept.size();
    for (const FileOut& f : files) actual += kFileFixedSize + entries[f.entry].name.size() + 1;
    if (std::fflush(out) != 0) {
      r.error = "cannot write the cabinet: " + errno_text(errno);
      return r;
    }
    if (actual < reserved) {
      // Skipped files leave their table room unused: close the gap so the
      // tables are followed directly by the data.
      if (!move_down(out, reserved, actual, data_end)) {
        r.error = "cannot write the cabinet: " + errno_text(errno);
        return r;
      }
      uint64_t delta = reserved - actual;
      for (FolderOut& f : kept) f.start -= delta;
      data_end -= delta;
    }

    // Header and tables.
    std::vector<uint8_t> head(actual, 0);
    uint8_t* h = head.data();
    std::memcpy(h, "MSCF", 4);
    put32(h + 8, uint32_t(data_end));
    put32(h + 16, uint32_t(kHeaderSize + kFolderSize * kept.size()));
    h[24] = 3;  // format version 1.3
    h[25] = 1;
    put16(h + 26, uint32_t(kept.size()));
    put16(h + 28, uint32_t(files.size()));
    size_t pos = kHeaderSize;
    for (const FolderOut& f : kept) {
      put32(h + pos, uint32_t(f.start));
      put16(h + pos + 4, f.blocks);
      put16(h + pos + 6, kCompressMszip);
      pos += kFolderSize;
    }
    for (const FileOut& f : files) {
      const Entry& e = entries[f.entry];
      std::string name = stored_name(e.name);
      uint16_t date, time;
      dos_date_time(e.mtime, date, time);
      uint16_t attr = e.attributes & (kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive | kAttrExec);
      bool ascii = std::all_of(name.begin(), name.end(), [](char c) { return uint8_t(c) < 0x80; });
      if (!ascii && is_valid_utf8(name)) attr |= kAttrNameIsUtf;
      put32(h + pos, f.size);
      put32(h + pos + 4, f.offset);
      put16(h + pos + 8, f.folder);
      put16(h + pos + 10, date);
      put16(h + pos + 12, time);
      put16(h + pos + 14, attr);
      std::memcpy(h + pos + 16, name.data(), name.size());
      pos += kFileFixedSize + name.size() + 1;
    }
    if (cab_fseek(out, 0, SEEK_SET) != 0 || std::fwrite(h, 1, head.size(), out) != head.size() ||
        std::fflush(out) != 0) {
      r.error = "cannot write the cabinet: " + errno_text(errno);
      return r;
    }
    r.files = uint32_t(files.size());
    r.folders = uint32_t(kept.size());
    r.cabinet_size = data_end;
  }
  r.ok = true;
  r.failure = Failure::none;
  return r;
}

}  // namespace cab
