// The cabinet writer. See cab_writer.h for the layout.
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
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "arc/buffered_output.h"
#include "arc/codes.h"
#include "arc/dos_time.h"
#include "arc/le.h"
#include "arc/stored_names.h"
#include "arc/utf8.h"
#include "platform/files.h"

namespace cab {

namespace {

namespace le = zubeto::arc::le;
using zubeto::arc::BufferedOutput;
using zubeto::arc::Entry;
using zubeto::arc::EntryKind;
using zubeto::arc::FileContent;
using zubeto::arc::OutputFile;
using zubeto::arc::Status;

constexpr size_t kHeaderSize = 36;
constexpr size_t kFolderSize = 8;
constexpr size_t kFileFixedSize = 16;
constexpr size_t kDataHeaderSize = 8;
constexpr uint16_t kCompressMszip = 1;

// The name as the cabinet stores it: UTF-8 (marked so where it is not
// ASCII) whatever the system's code page, a backslash between folders.
std::string stored_name(const std::string& name) {
  std::string s = platform::name_to_utf8(name);
  std::replace(s.begin(), s.end(), '/', '\\');
  return s;
}

// One 32 KiB block on its way through the pipeline.
struct Slot {
  uint8_t in[kBlockSize];
  uint32_t in_len = 0;
  std::vector<uint8_t> out;  // CFDATA header + "CK" + deflate stream
  size_t out_len = 0;
  uint32_t folder = 0;
  bool done = false;
  bool failed = false;
  bool after_next = false;  // reverse_pairs: begun once the next block is done
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
  le::put16(o + 4, uint16_t(cb));
  le::put16(o + 6, uint16_t(s.in_len));
  uint32_t sum = cfdata_checksum(o + kDataHeaderSize, cb, 0);
  sum = cfdata_checksum(o + 4, 4, sum);
  le::put32(o, sum);
  s.out_len = kDataHeaderSize + cb;
}



uint64_t table_size(size_t folders, uint64_t names_bytes, size_t files) {
  return kHeaderSize + kFolderSize * folders + (kFileFixedSize + 1) * files + names_bytes;
}

struct Folder {
  uint64_t start = 0;  // offset of its first CFDATA block in the file
  bool started = false;
  uint32_t blocks = 0;
};

struct File {
  std::string name;  // as stored, "\\" between folders
  uint32_t size;
  uint32_t offset;   // uncompressed offset within its folder
  uint32_t folder;
  uint16_t date, time, attributes;
};

// Cuts files into blocks, hands them to the compressing threads and writes
// the finished blocks in order behind the reserved table room.
class Pipeline {
 public:
  Pipeline(BufferedOutput& out, uint64_t max_cabinet, int level, unsigned threads, std::vector<Folder>& folders,
           bool reverse_pairs = false)
      : out_(out), offset_(out.offset()), max_cabinet_(max_cabinet), folders_(folders), reverse_(reverse_pairs) {
    size_t bound = record_bound();
    if (bound == 0) {
      error_ = Status::fail(ARC_E_INTERNAL, "the compressor could not be set up");
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

  const Status& error() const { return error_; }
  bool failed() const { return !error_.ok(); }
  uint64_t offset() const { return offset_; }

  // Room left in the block being filled, or nullptr after a failure.
  uint8_t* room(uint32_t& space) {
    if (failed()) return nullptr;
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
    while (!failed() && written_ < submitted_) write_oldest();
    stop();
    return !failed();
  }

 private:
  Slot& slot(uint64_t seq) { return *slots_[seq % ring_]; }

  Slot* acquire() {
    while (!failed() && submitted_ - written_ >= ring_) write_oldest();
    if (failed()) return nullptr;
    Slot& s = slot(submitted_);
    s.done = false;
    s.failed = false;
    return &s;
  }

  void submit() {
    ++folders_[current_->folder].blocks;
    current_->after_next = false;
    current_ = nullptr;
    const uint64_t seq = submitted_++;
    if (reverse_ && !holding_) {
      holding_ = true;
      held_ = seq;
      return;
    }
    if (inline_) {
      compress_slot(*inline_, slot(seq));
      slot(seq).done = true;
      if (holding_) release_held();
      return;
    }
    std::lock_guard<std::mutex> lock(mu_);
    todo_.push_back(seq);
    if (holding_) {
      slot(held_).after_next = true;
      todo_.push_back(held_);
      holding_ = false;
    }
    work_cv_.notify_all();
  }

  // reverse_pairs: the held block is needed now (or its pair is done
  // inline); it goes over alone.
  void release_held() {
    holding_ = false;
    if (inline_) {
      compress_slot(*inline_, slot(held_));
      slot(held_).done = true;
      return;
    }
    std::lock_guard<std::mutex> lock(mu_);
    todo_.push_back(held_);
    work_cv_.notify_all();
  }

  void write_oldest() {
    if (holding_ && held_ == written_) release_held();
    Slot& s = slot(written_);
    if (!inline_) {
      std::unique_lock<std::mutex> lock(mu_);
      done_cv_.wait(lock, [&] { return s.done; });
    }
    if (s.failed) {
      error_ = Status::fail(ARC_E_INTERNAL, "a block could not be compressed");
      return;
    }
    if (offset_ + s.out_len > max_cabinet_) {
      error_ = Status::fail(ARC_E_FORMAT, "the cabinet would exceed the largest size its 32-bit fields can hold (" +
                                              std::to_string(max_cabinet_) + " bytes)");
      return;
    }
    Folder& f = folders_[s.folder];
    if (!f.started) {
      f.started = true;
      f.start = offset_;
    }
    Status w = out_.write(s.out.data(), s.out_len);
    if (!w.ok()) {
      error_ = w;
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
        work_cv_.wait(lock, [&] { return stopping_ || !todo_.empty(); });
        if (todo_.empty()) return;  // stopping and nothing left
        seq = todo_.front();
        todo_.pop_front();
        if (slot(seq).after_next) {
          const Slot& next = slot(seq + 1);
          done_cv_.wait(lock, [&] { return stopping_ || next.done; });
        }
      }
      Slot& s = slot(seq);
      compress_slot(comp, s);
      {
        std::lock_guard<std::mutex> lock(mu_);
        s.done = true;
      }
      // The writer waits on this, and with reverse_pairs a thread too.
      done_cv_.notify_all();
    }
  }

  void stop() {
    {
      std::lock_guard<std::mutex> lock(mu_);
      stopping_ = true;
    }
    work_cv_.notify_all();
    done_cv_.notify_all();
    for (auto& t : workers_) t.join();
    workers_.clear();
  }

  BufferedOutput& out_;
  uint64_t offset_;
  uint64_t max_cabinet_;
  std::vector<Folder>& folders_;
  Status error_;
  size_t ring_ = 0;
  std::vector<std::unique_ptr<Slot>> slots_;
  std::unique_ptr<Compressor> inline_;
  std::vector<std::thread> workers_;
  std::mutex mu_;
  std::condition_variable work_cv_, done_cv_;
  bool stopping_ = false;
  std::deque<uint64_t> todo_;  // handed to the threads, not yet taken
  uint64_t submitted_ = 0, written_ = 0;
  const bool reverse_;
  bool holding_ = false;  // reverse_pairs: block held_ waits for its pair
  uint64_t held_ = 0;
  Slot* current_ = nullptr;
  uint32_t folder_ = 0;
};

// Moves `len` bytes at `from` to `to` inside the file, either way.
Status move_data(OutputFile& out, uint64_t from, uint64_t to, uint64_t len) {
  std::vector<uint8_t> buf(1 << 20);
  Status s;
  if (to < from) {
    for (uint64_t done = 0; s.ok() && done < len;) {
      size_t n = size_t(std::min<uint64_t>(buf.size(), len - done));
      s = out.read_at(from + done, buf.data(), n);
      if (s.ok()) s = out.write_at(to + done, buf.data(), n);
      done += n;
    }
  } else if (to > from) {
    for (uint64_t left = len; s.ok() && left > 0;) {  // from the end, so nothing is overwritten before it is read
      size_t n = size_t(std::min<uint64_t>(buf.size(), left));
      left -= n;
      s = out.read_at(from + left, buf.data(), n);
      if (s.ok()) s = out.write_at(to + left, buf.data(), n);
    }
  }
  return s;
}

class CabWriter : public zubeto::arc::EntryWriter {
 public:
  explicit CabWriter(const Options& options) : options_(options) {}
  ~CabWriter() override = default;

  uint64_t max_file_size() const override {
    return std::min<uint64_t>(uint64_t(options_.limits.folder_blocks) * kBlockSize, 0xFFFFFFFFu);
  }

  // Readers take the "\" of a stored name for a folder separator, and
  // on Windows ignore letter case.
  std::string name_key(std::string_view part) const override {
    std::string k = zubeto::arc::fold_case(platform::name_to_utf8(part));
    std::replace(k.begin(), k.end(), '\\', '/');
    return k;
  }
  bool name_key_folds_case() const override { return true; }

  std::string check_entry(const Entry& e) const override {
    if (e.kind != EntryKind::File) return "";
    return cannot_hold(stored_name(e.name), e.size);
  }

  Status check_plan(const std::vector<Entry>& plan) const override {
    const Limits& lim = options_.limits;
    size_t files = 0;
    uint64_t names = 0;
    for (const Entry& e : plan) {
      if (e.kind != EntryKind::File) continue;
      ++files;
      names += e.name.size();
    }
    if (files > lim.max_files)
      return Status::fail(ARC_E_FORMAT, "too many files for one cabinet: " + std::to_string(files) + " (at most " +
                                            std::to_string(lim.max_files) + ")");
    if (table_size(files, names, files) > lim.max_cabinet)
      return Status::fail(ARC_E_FORMAT, "the file table alone exceeds the largest cabinet size");
    return Status{};
  }

  Status begin(OutputFile& out, const std::vector<Entry>& plan) override {
    file_ = &out;
    out_ = std::make_unique<BufferedOutput>(out);
    // The CAB folders the plan needs: a file never spans folders, and a
    // folder holds at most folder_blocks full blocks. add() splits the same way.
    const uint64_t folder_bytes = uint64_t(options_.limits.folder_blocks) * kBlockSize;
    size_t nfolders = 0, nfiles = 0;
    uint64_t used = 0, names = 0;
    for (const Entry& e : plan) {
      if (e.kind != EntryKind::File) continue;
      if (nfolders == 0 || used + e.size > folder_bytes) {
        ++nfolders;
        used = 0;
      }
      used += e.size;
      names += e.name.size();
      ++nfiles;
    }
    reserved_ = table_size(nfolders, names, nfiles);
    files_.reserve(nfiles);
    folders_.reserve(nfolders);
    // Room for the tables, filled in by finish().
    std::vector<char> zeros(64 * 1024, 0);
    for (uint64_t left = reserved_; left > 0;) {
      size_t n = size_t(std::min<uint64_t>(left, zeros.size()));
      Status s = out_->write(zeros.data(), n);
      if (!s.ok()) return s;
      left -= n;
    }

    unsigned threads = options_.threads;
    if (threads == 0) threads = std::thread::hardware_concurrency() <= 1 ? 0 : 2;
    else if (threads == 1) threads = 0;  // compress on the calling thread
    pipe_ = std::make_unique<Pipeline>(*out_, options_.limits.max_cabinet, std::clamp(options_.level, 1, 9), threads,
                                       folders_, options_.reverse_pairs);
    return pipe_->error();
  }

  Status add(const Entry& e, FileContent* content) override {
    if (e.kind != EntryKind::File || content == nullptr) return Status{};
    const Limits& lim = options_.limits;
    const uint64_t size = content->size();
    // The run asked check_entry() first; this is a file that changed since.
    const std::string why = cannot_hold(stored_name(e.name), size);
    if (!why.empty()) return Status::fail(ARC_E_FORMAT, why + ": " + e.path);
    if (files_.size() >= lim.max_files)
      return Status::fail(ARC_E_FORMAT, "too many files for one cabinet (at most " + std::to_string(lim.max_files) + ")");
    const uint64_t folder_bytes = uint64_t(lim.folder_blocks) * kBlockSize;
    if (!folder_open_ || folder_used_ + size > folder_bytes) {
      folders_.push_back(Folder{});
      pipe_->start_folder(uint32_t(folders_.size() - 1));
      folder_used_ = 0;
      folder_open_ = true;
    }
    File f;
    f.name = stored_name(e.name);
    f.offset = uint32_t(folder_used_);
    f.folder = uint32_t(folders_.size() - 1);
    const zubeto::arc::DosTime dt = zubeto::arc::dos_time(e.mtime);
    f.date = dt.date;
    f.time = dt.time;
    f.attributes = attributes_of(e);
    if (!zubeto::arc::is_ascii(f.name) && zubeto::arc::is_valid_utf8(f.name)) f.attributes |= kAttrNameIsUtf;

    // The content gives exactly size() bytes; past a failed read (or the
    // end of a file that shrank) they are zeros that are not the file's.
    uint64_t got = 0;
    bool whole = true;
    while (got < size) {
      uint32_t space = 0;
      uint8_t* dst = pipe_->room(space);
      if (!dst) break;
      size_t want = size_t(std::min<uint64_t>(space, size - got));
      size_t n = content->read(dst, want);
      if (content->incomplete()) {
        whole = false;
        n = 0;
      }
      pipe_->filled(uint32_t(n));
      got += n;
      if (n == 0) break;
    }
    folder_used_ += got;
    if (pipe_->failed()) return pipe_->error();
    // A file not read whole gets no file record: the cabinet does not hold
    // it. The bytes read before the failure end the CAB folder's data,
    // where no record points at them (readers want a folder's files to
    // follow each other without a gap): the next file starts a new folder.
    if (!whole) {
      folder_open_ = false;
      return Status{};
    }
    f.size = uint32_t(got);
    files_.push_back(std::move(f));
    return Status{};
  }

  Status finish() override {
    if (!pipe_) return Status::fail(ARC_E_INTERNAL, "the cabinet was not begun");
    if (!pipe_->finish()) return pipe_->error();
    uint64_t data_end = pipe_->offset();
    pipe_.reset();
    Status s = out_->flush();
    if (!s.ok()) return s;
    if (files_.empty())
      return Status::fail(ARC_E_NOTHING, "none of the files could be read: a cabinet must hold at least one file");

    // A folder without blocks (only empty files) starts where the data ends.
    for (Folder& f : folders_)
      if (!f.started) f.start = data_end;

    uint64_t names = 0;
    for (const File& f : files_) names += f.name.size();
    const uint64_t actual = table_size(folders_.size(), names, files_.size());
    const uint64_t data_len = data_end - reserved_;
    if (actual + data_len > options_.limits.max_cabinet)
      return Status::fail(ARC_E_FORMAT, "the cabinet would exceed the largest size its 32-bit fields can hold (" +
                                            std::to_string(options_.limits.max_cabinet) + " bytes)");
    if (actual != reserved_) {
      // The tables came out at another size than reserved (a file left
      // out, or grown into another CAB folder): the data follows them.
      s = move_data(*file_, reserved_, actual, data_len);
      if (!s.ok()) return s;
      for (Folder& f : folders_) f.start = f.start - reserved_ + actual;
      data_end = actual + data_len;
      s = file_->truncate(data_end);
      if (!s.ok()) return s;
    }

    // The tables always hold the header; the bound says so to the compiler.
    std::vector<uint8_t> head(std::max<uint64_t>(actual, kHeaderSize + kFolderSize), 0);
    uint8_t* h = head.data();
    std::memcpy(h, "MSCF", 4);
    le::put32(h + 8, uint32_t(data_end));
    le::put32(h + 16, uint32_t(kHeaderSize + kFolderSize * folders_.size()));
    h[24] = 3;  // format version 1.3
    h[25] = 1;
    le::put16(h + 26, uint16_t(folders_.size()));
    le::put16(h + 28, uint16_t(files_.size()));
    size_t pos = kHeaderSize;
    for (const Folder& f : folders_) {
      le::put32(h + pos, uint32_t(f.start));
      le::put16(h + pos + 4, uint16_t(f.blocks));
      le::put16(h + pos + 6, kCompressMszip);
      pos += kFolderSize;
    }
    for (const File& f : files_) {
      le::put32(h + pos, f.size);
      le::put32(h + pos + 4, f.offset);
      le::put16(h + pos + 8, uint16_t(f.folder));
      le::put16(h + pos + 10, f.date);
      le::put16(h + pos + 12, f.time);
      le::put16(h + pos + 14, f.attributes);
      std::memcpy(h + pos + 16, f.name.data(), f.name.size());
      pos += kFileFixedSize + f.name.size() + 1;
    }
    return file_->write_at(0, h, size_t(actual));
  }

 private:
  // Why one file cannot be a cabinet entry, "" when it can.
  std::string cannot_hold(const std::string& name, uint64_t size) const {
    const Limits& lim = options_.limits;
    if (name.empty()) return "a file would have an empty name in the cabinet";
    if (name.find('\0') != std::string::npos) return "its name holds a zero byte";
    if (name.size() > lim.max_name)
      return "name too long for CAB archives: " + std::to_string(name.size()) + " bytes, at most " +
             std::to_string(lim.max_name);
    if (size > max_file_size())
      return "file too large for CAB archives: " + std::to_string(size) + " bytes, at most " +
             std::to_string(max_file_size());
    return "";
  }

  Options options_;
  OutputFile* file_ = nullptr;
  std::unique_ptr<BufferedOutput> out_;
  std::unique_ptr<Pipeline> pipe_;
  uint64_t reserved_ = 0;
  std::vector<Folder> folders_;
  std::vector<File> files_;
  uint64_t folder_used_ = 0;  // uncompressed bytes in the open CAB folder
  bool folder_open_ = false;
};

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


uint16_t attributes_of(const Entry& e) {
  uint16_t a = kAttrArchive;
  if ((e.mode & 0222) == 0) a |= kAttrReadOnly;
  size_t slash = e.name.find_last_of('/');
  if (e.name.compare(slash == std::string::npos ? 0 : slash + 1, 1, ".") == 0) a |= kAttrHidden;
  if (e.mode & 0100) a |= kAttrExec;
  return a;
}

std::unique_ptr<zubeto::arc::EntryWriter> make_cab_writer(const Options& options) {
  return std::make_unique<CabWriter>(options);
}

}  // namespace cab
