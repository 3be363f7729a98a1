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
#include <cstdio>
#include <thread>

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


// Writes all of `n` bytes at `off`; `err` says why not.
bool write_at(platform::NewFile& f, const void* data, size_t n, uint64_t off, platform::SysError& err) {
  return f.write_at(off, data, n, err);
}

bool read_at(platform::NewFile& f, void* data, size_t n, uint64_t off, platform::SysError& err) {
  return f.read_at(off, data, n, err);
}

// Moves `len` bytes at `from` to `to` inside the file, either way.
bool move_data(platform::NewFile& fd, uint64_t from, uint64_t to, uint64_t len, platform::SysError& err) {
  std::vector<uint8_t> buf(1 << 20);
  if (to < from) {
    for (uint64_t done = 0; done < len;) {
      size_t n = size_t(std::min<uint64_t>(buf.size(), len - done));
      if (!read_at(fd, buf.data(), n, from + done, err) || !write_at(fd, buf.data(), n, to + done, err)) return false;
      done += n;
    }
  } else if (to > from) {
    for (uint64_t left = len; left > 0;) {  // from the end, so nothing is overwritten before it is read
      size_t n = size_t(std::min<uint64_t>(buf.size(), left));
      left -= n;
      if (!read_at(fd, buf.data(), n, from + left, err) || !write_at(fd, buf.data(), n, to + left, err)) return false;
    }
  }
  return true;
}

uint64_t table_size(size_t folders, uint64_t names_bytes, size_t files) {
  return kHeaderSize + kFolderSize * folders + (kFileFixedSize + 1) * files + names_bytes;
}

}  // namespace

struct CabinetWriter::Folder {
  uint64_t start = 0;  // offset of its first CFDATA block (from the data start)
  bool started = false;
  uint32_t blocks = 0;
};

struct CabinetWriter::File {
  std::string name;  // as stored, "\" between folders
  uint32_t size;
  uint32_t offset;   // uncompressed offset within its folder
  uint32_t folder;
  uint16_t date, time, attributes;
};

// Cuts files into blocks, hands them to the compressing threads and writes
// the finished blocks in order behind the reserved table room.
class CabinetWriter::Pipeline {
 public:
  Pipeline(platform::NewFile& fd, uint64_t offset, uint64_t max_cabinet, int level, unsigned threads,
           std::vector<Folder>& folders)
      : fd_(fd), offset_(offset), max_cabinet_(max_cabinet), folders_(folders) {
    size_t bound = record_bound();
    if (bound == 0) {
      error_ = "the compressor could not be set up";
      return;
    }
    ring_ = threads == 0 ? 4 : threads * 8;
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

  // Ends the open folder (its last block may be short); later blocks go to `next`.
  void start_folder(uint32_t next) {
    if (current_ && current_->in_len > 0) submit();
    folder_ = next;
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
    Folder& f = folders_[s.folder];
    if (!f.started) {
      f.started = true;
      f.start = offset_;
    }
    platform::SysError err;
    if (!write_at(fd_, s.out.data(), s.out_len, offset_, err)) {
      error_ = "cannot write the cabinet: " + err.text();
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

  platform::NewFile& fd_;
  uint64_t offset_;
  uint64_t max_cabinet_;
  std::vector<Folder>& folders_;
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


std::string check_entries(const std::vector<FileInfo>& files, const Limits& limits) {
  // Readers refuse a cabinet without files, so none is written.
  if (files.empty()) return "no files to store: a cabinet must hold at least one file";
  if (files.size() > limits.max_files)
    return "too many files for one cabinet: " + std::to_string(files.size()) + " (at most " +
           std::to_string(limits.max_files) + ")";
  uint64_t names = 0;
  for (const FileInfo& f : files) {
    const std::string& who = f.path.empty() ? f.name : f.path;
    if (f.name.empty()) return "a file has an empty name in the cabinet: " + who;
    if (f.name.find('\0') != std::string::npos) return "a name holds a zero byte: " + who;
    if (f.name.size() > limits.max_name)
      return "name too long for a cabinet (" + std::to_string(f.name.size()) + " bytes, at most " +
             std::to_string(limits.max_name) + "): " + who;
    uint64_t most = std::min<uint64_t>(uint64_t(limits.folder_blocks) * kBlockSize, 0xFFFFFFFFu);
    if (f.size > most)
      return "file too large for a cabinet (" + std::to_string(f.size) + " bytes, at most " +
             std::to_string(most) + "): " + who;
    names += f.name.size();
  }
  if (table_size(files.size(), names, files.size()) > limits.max_cabinet)
    return "the file table alone exceeds the largest cabinet size";
  return {};
}

CabinetWriter::CabinetWriter(const Options& options) : options_(options) {}

CabinetWriter::~CabinetWriter() { delete pipe_; }

uint32_t CabinetWriter::files() const { return uint32_t(files_.size()); }
uint32_t CabinetWriter::folders() const { return uint32_t(folders_.size()); }

bool CabinetWriter::fail(Failure f, std::string why) {
  if (failure_ == Failure::none) {
    failure_ = f;
    error_ = std::move(why);
  }
  delete pipe_;
  pipe_ = nullptr;
  return false;
}

bool CabinetWriter::begin(platform::NewFile& file, const std::vector<FileInfo>& plan) {
  fd_ = &file;
  std::string why = check_entries(plan, options_.limits);
  if (!why.empty()) return fail(plan.empty() ? Failure::nothing : Failure::limit, why);
  // The folders the plan needs: a file never spans folders, and a folder
  // holds at most folder_blocks full blocks. add() splits the same way.
  const uint64_t folder_bytes = uint64_t(options_.limits.folder_blocks) * kBlockSize;
  size_t nfolders = 0;
  uint64_t used = 0, names = 0;
  for (const FileInfo& f : plan) {
    if (nfolders == 0 || used + f.size > folder_bytes) {
      ++nfolders;
      used = 0;
    }
    used += f.size;
    names += f.name.size();
  }
  reserved_ = table_size(nfolders, names, plan.size());
  files_.reserve(plan.size());
  folders_.reserve(nfolders);

  unsigned threads = options_.threads;
  if (threads == 0) threads = std::thread::hardware_concurrency() <= 1 ? 0 : 2;
  else if (threads == 1) threads = 0;  // compress on the calling thread
  pipe_ = new Pipeline(*fd_, reserved_, options_.limits.max_cabinet, std::clamp(options_.level, 1, 9), threads,
                       folders_);
  if (!pipe_->error().empty()) return fail(Failure::io, pipe_->error());
  return true;
}

CabinetWriter::Added CabinetWriter::add(const FileInfo& info, Source& src, uint64_t* stored_bytes) {
  if (stored_bytes) *stored_bytes = 0;
  if (!pipe_) {
    if (failure_ == Failure::none) fail(Failure::io, "the cabinet was not begun");
    return Added::failed;
  }
  const Limits& lim = options_.limits;
  const uint64_t folder_bytes = uint64_t(lim.folder_blocks) * kBlockSize;
  std::string why = check_entries({info}, lim);
  if (!why.empty()) return fail(Failure::limit, why), Added::failed;
  if (files_.size() >= lim.max_files) {
    fail(Failure::limit, "too many files for one cabinet (at most " + std::to_string(lim.max_files) + ")");
    return Added::failed;
  }
  if (!folder_open_ || folder_used_ + info.size > folder_bytes) {
    folders_.push_back(Folder{});
    pipe_->start_folder(uint32_t(folders_.size() - 1));
    folder_used_ = 0;
    folder_open_ = true;
  }
  File f;
  f.name = stored_name(info.name);
  f.offset = uint32_t(folder_used_);
  f.folder = uint32_t(folders_.size() - 1);
  dos_date_time(info.mtime, f.date, f.time);
  f.attributes = info.attributes & (kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive | kAttrExec);
  bool ascii = std::all_of(f.name.begin(), f.name.end(), [](char c) { return uint8_t(c) < 0x80; });
  if (!ascii && is_valid_utf8(f.name)) f.attributes |= kAttrNameIsUtf;

  uint64_t got = 0;
  while (got < info.size) {
    uint32_t space = 0;
    uint8_t* dst = pipe_->room(space);
    if (!dst) break;
    size_t want = size_t(std::min<uint64_t>(space, info.size - got));
    size_t n = src.read(dst, want);
    pipe_->filled(uint32_t(n));
    got += n;
    if (n == 0) break;
  }
  // Bytes of a failed read stay in the folder, referenced by no file.
  folder_used_ += got;
  if (!pipe_->error().empty())
    return fail(pipe_->limit_hit() ? Failure::limit : Failure::io, pipe_->error()), Added::failed;
  if (src.failed()) return Added::read_failed;
  f.size = uint32_t(got);
  files_.push_back(std::move(f));
  input_bytes_ += got;
  if (stored_bytes) *stored_bytes = got;
  return Added::stored;
}

bool CabinetWriter::finish() {
  if (!pipe_) {
    if (failure_ == Failure::none) fail(Failure::io, "the cabinet was not begun");
    return false;
  }
  if (!pipe_->finish()) return fail(pipe_->limit_hit() ? Failure::limit : Failure::io, pipe_->error());
  uint64_t data_end = pipe_->offset();
  delete pipe_;
  pipe_ = nullptr;
  if (files_.empty()) return fail(Failure::nothing, "none of the files could be read: a cabinet must hold at least one file");

  // Folders whose files all failed keep their blocks: no data is left
  // outside a folder. A folder without blocks (only empty files) starts
  // where the data ends.
  for (Folder& f : folders_)
    if (!f.started) f.start = data_end;

  uint64_t names = 0;
  for (const File& f : files_) names += f.name.size();
  uint64_t actual = table_size(folders_.size(), names, files_.size());
  uint64_t data_len = data_end - reserved_;
  if (actual + data_len > options_.limits.max_cabinet) {
    return fail(Failure::limit, "the cabinet would exceed the largest size its 32-bit fields can hold (" +
                                    std::to_string(options_.limits.max_cabinet) + " bytes)");
  }
  if (actual != reserved_) {
    // The tables came out at another size than reserved: move the data to
    // follow them directly.
    platform::SysError err;
    if (!move_data(*fd_, reserved_, actual, data_len, err)) return fail(Failure::io, "cannot write the cabinet: " + err.text());
    for (Folder& f : folders_) f.start = f.start - reserved_ + actual;
  }
  data_end = actual + data_len;
  platform::SysError err;
  if (!fd_->truncate(data_end, err)) return fail(Failure::io, "cannot write the cabinet: " + err.text());

  std::vector<uint8_t> head(actual, 0);
  uint8_t* h = head.data();
  std::memcpy(h, "MSCF", 4);
  put32(h + 8, uint32_t(data_end));
  put32(h + 16, uint32_t(kHeaderSize + kFolderSize * folders_.size()));
  h[24] = 3;  // format version 1.3
  h[25] = 1;
  put16(h + 26, uint32_t(folders_.size()));
  put16(h + 28, uint32_t(files_.size()));
  size_t pos = kHeaderSize;
  for (const Folder& f : folders_) {
    put32(h + pos, uint32_t(f.start));
    put16(h + pos + 4, f.blocks);
    put16(h + pos + 6, kCompressMszip);
    pos += kFolderSize;
  }
  for (const File& f : files_) {
    put32(h + pos, f.size);
    put32(h + pos + 4, f.offset);
    put16(h + pos + 8, f.folder);
    put16(h + pos + 10, f.date);
    put16(h + pos + 12, f.time);
    put16(h + pos + 14, f.attributes);
    std::memcpy(h + pos + 16, f.name.data(), f.name.size());
    pos += kFileFixedSize + f.name.size() + 1;
  }
  if (!write_at(*fd_, h, head.size(), 0, err)) return fail(Failure::io, "cannot write the cabinet: " + err.text());
  cabinet_size_ = data_end;
  return true;
}

namespace {

// A file read by path, for write_cabinet().
class PathSource : public Source {
 public:
  explicit PathSource(std::FILE* f) : f_(f) {}
  size_t read(void* buf, size_t cap) override {
    size_t n = std::fread(buf, 1, cap, f_);
    if (n < cap && std::ferror(f_)) {
      failed_ = true;
      errno_ = errno;
    }
    return n;
  }
  bool failed() const override { return failed_; }
  int error_number() const { return errno_; }
  // True when the file still has bytes after those taken.
  bool more() { return !failed_ && std::fgetc(f_) != EOF; }

 private:
  std::FILE* f_;
  bool failed_ = false;
  int errno_ = 0;
};

}  // namespace

Result write_cabinet(const std::vector<Entry>& entries, platform::NewFile& fd, const Options& options) {
  Result r;
  CabinetWriter w(options);
  std::vector<FileInfo> plan;
  plan.reserve(entries.size());
  for (const Entry& e : entries) plan.push_back({e.name, e.size, e.mtime, e.attributes, e.path});
  bool ok = w.begin(fd, plan);
  for (size_t i = 0; ok && i < entries.size(); ++i) {
    const Entry& e = entries[i];
    std::FILE* in = std::fopen(e.path.c_str(), "rb");
    if (!in) {
      r.skipped.push_back({e.path, "cannot open: " + errno_text(errno)});
      continue;
    }
    PathSource src(in);
    uint64_t got = 0;
    CabinetWriter::Added a = w.add(plan[i], src, &got);
    bool longer = a == CabinetWriter::Added::stored && got == e.size && src.more();
    std::fclose(in);
    if (a == CabinetWriter::Added::failed) {
      ok = false;
    } else if (a == CabinetWriter::Added::read_failed) {
      r.skipped.push_back({e.path, "read error: " + errno_text(src.error_number())});
    } else if (got != e.size || longer) {
      r.changed.push_back({e.path, "size changed while read (expected " + std::to_string(e.size) +
                                       " bytes, stored " + std::to_string(got) + ")"});
    }
  }
  if (ok) ok = w.finish();
  r.ok = ok;
  r.failure = w.failure();
  r.error = w.error();
  r.files = w.files();
  r.folders = w.folders();
  r.cabinet_size = w.cabinet_size();
  r.input_bytes = w.input_bytes();
  return r;
}

}  // namespace cab
