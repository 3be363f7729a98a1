// The cabinet writer. See cab_writer.h for the layout.
//
// Compression: every CFDATA block is "CK" followed by a complete raw deflate
// stream of at most 32 KiB of input. The deflate history is reset at each
// block, which every reader accepts (the history a reader keeps is simply
// never referenced). Independent blocks are compressed on every core (the
// archivers' ordered work) while the calling thread reads the files and
// writes finished blocks in order.
//
// Cabinet readers descend from old inflate code that rejects some legal
// streams, such as a block whose distance code is empty because it holds
// only literals. Both deflate back ends (arc/deflate.h) always send a
// complete distance code of at least two symbols, which they accept; the
// tests inflate every block on its own and have three readers extract it.
#include "cab_writer.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "arc/buffered_output.h"
#include "arc/codes.h"
#include "arc/deflate.h"
#include "arc/dos_time.h"
#include "arc/le.h"
#include "arc/ordered_work.h"
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
  std::vector<uint8_t> in;   // kBlockSize bytes of room, in_len used
  uint32_t in_len = 0;
  std::vector<uint8_t> out;  // CFDATA header + "CK" + deflate stream
  size_t out_len = 0;
  uint32_t folder = 0;
};

// Largest CFDATA record one block can need.
size_t record_bound() { return kDataHeaderSize + 2 + zubeto::arc::Deflater::bound(kBlockSize) + 64; }

// Compresses one slot into its CFDATA record; false when it failed.
bool compress_slot(zubeto::arc::Deflater& c, Slot& s) {
  s.out.resize(record_bound());
  uint8_t* o = s.out.data();
  o[kDataHeaderSize] = 'C';
  o[kDataHeaderSize + 1] = 'K';
  const size_t cap = s.out.size() - kDataHeaderSize - 2;
  const size_t n = c.compress(s.in.data(), s.in_len, o + kDataHeaderSize + 2, cap);
  if (n == 0 || n + 2 > 0xFFFF) return false;
  uint32_t cb = uint32_t(n + 2);
  le::put16(o + 4, uint16_t(cb));
  le::put16(o + 6, uint16_t(s.in_len));
  uint32_t sum = cfdata_checksum(o + kDataHeaderSize, cb, 0);
  sum = cfdata_checksum(o + 4, 4, sum);
  le::put32(o, sum);
  s.out_len = kDataHeaderSize + cb;
  return true;
}

uint64_t table_size(size_t folders, uint64_t names_bytes, size_t files) {
  return kHeaderSize + kFolderSize * folders + (kFileFixedSize + 1) * files + names_bytes;
}

struct Folder {
  uint64_t start = 0;  // offset of its first CFDATA block in the file
  bool started = false;
  uint32_t blocks = 0;
};

// Cuts files into blocks, hands them to the compressing threads and writes
// the finished blocks in order behind the reserved table room. The blocks'
// buffers are used again once written, so a run allocates only as many as
// are in flight.
class Pipeline {
 public:
  Pipeline(BufferedOutput& out, uint64_t max_cabinet, int level, unsigned threads, std::vector<Folder>& folders,
           bool reverse_pairs = false)
      : out_(out), offset_(out.offset()), max_cabinet_(max_cabinet), folders_(folders) {
    zubeto::arc::OrderedWorkLimits l;
    l.threads = threads;
    l.batch_bytes = kBatchBytes;
    l.in_flight_bytes = kInFlightBytes;
    l.reverse_pairs = reverse_pairs;
    work_ = std::make_unique<zubeto::arc::OrderedWork<Slot>>(
        l,
        [level] {
          auto deflater = std::make_shared<zubeto::arc::Deflater>(level, /*complete_codes=*/true);
          return [deflater](Slot& s) {
            if (!compress_slot(*deflater, s)) throw std::bad_alloc();
          };
        },
        [this](Slot& s) { return write(s); });
  }

  const Status& error() const { return error_; }
  bool failed() const { return !error_.ok(); }
  uint64_t offset() const { return offset_; }

  // Room left in the block being filled, or nullptr after a failure.
  uint8_t* room(uint32_t& space) {
    if (failed()) return nullptr;
    if (!open_) {
      if (free_.empty()) {
        current_ = Slot{};
        current_.in.resize(kBlockSize);
      } else {
        current_ = std::move(free_.back());
        free_.pop_back();
      }
      current_.in_len = 0;
      current_.folder = folder_;
      open_ = true;
    }
    space = kBlockSize - current_.in_len;
    return current_.in.data() + current_.in_len;
  }

  void filled(uint32_t n) {
    current_.in_len += n;
    if (current_.in_len == kBlockSize) submit();
  }

  // Ends the open folder (its last block may be short); later blocks go to `next`.
  void start_folder(uint32_t next) {
    if (open_ && current_.in_len > 0) submit();
    folder_ = next;
    if (open_) current_.folder = folder_;
  }

  // Writes every block still in flight.
  bool finish() {
    if (open_ && current_.in_len > 0) submit();
    if (!failed()) {
      Status s = work_->drain();
      if (!s.ok() && error_.ok()) error_ = s;
    }
    work_.reset();
    return !failed();
  }

 private:
  // Small enough that two threads are kept busy by a few MB of files.
  static constexpr size_t kBatchBytes = 4 * kBlockSize;
  static constexpr size_t kInFlightBytes = 64 * kBlockSize;

  void submit() {
    ++folders_[current_.folder].blocks;
    open_ = false;
    const size_t bytes = current_.in_len;
    Status s = work_->add(std::move(current_), bytes);
    if (!s.ok() && error_.ok()) error_ = s;
  }

  // On the calling thread, in order.
  Status write(Slot& s) {
    if (offset_ + s.out_len > max_cabinet_) {
      error_ = Status::fail(ARC_E_FORMAT, "the cabinet would exceed the largest size its 32-bit fields can hold (" +
                                              std::to_string(max_cabinet_) + " bytes)");
      return error_;
    }
    Folder& f = folders_[s.folder];
    if (!f.started) {
      f.started = true;
      f.start = offset_;
    }
    Status w = out_.write(s.out.data(), s.out_len);
    if (!w.ok()) {
      error_ = w;
      return w;
    }
    offset_ += s.out_len;
    free_.push_back(std::move(s));
    return Status{};
  }

  BufferedOutput& out_;
  uint64_t offset_;
  uint64_t max_cabinet_;
  std::vector<Folder>& folders_;
  Status error_;
  Slot current_;
  bool open_ = false;
  uint32_t folder_ = 0;
  std::vector<Slot> free_;  // written blocks whose buffers are used again
  std::unique_ptr<zubeto::arc::OrderedWork<Slot>> work_;
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

// The CFHEADER flags of a cabinet in a set.
constexpr uint16_t kFlagPrevCabinet = 0x0001;
constexpr uint16_t kFlagNextCabinet = 0x0002;
// Room the bound of a cabinet allows for the names of the cabinets before
// and after it (each name and an empty disk name, with their zero bytes).
constexpr uint64_t kSetNamesRoom = 2 * (255 + 1 + 1);

// The name of the n-th cabinet of a set (n from 1): the first is the
// archive itself, the later ones "_<n>" before its extension:
// 20261211123456.cab, 20261211123456_2.cab, 20261211123456_3.cab, ...
// Where the last separator of a path is (npos when none), never taking the
// second byte of a double-byte character for one.
size_t last_separator(const std::string& path) {
  size_t last = std::string::npos;
  for (size_t i = 0; i < path.size(); ++i)
    if (platform::is_separator_at(path, i)) last = i;
  return last;
}

std::string cabinet_path(const std::string& first, size_t n) {
  if (n <= 1) return first;
  const size_t slash = last_separator(first);
  const size_t dot = first.find_last_of('.');  // "." is never half of a character
  const size_t cut = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1) ? dot : first.size();
  return first.substr(0, cut) + "_" + std::to_string(n) + first.substr(cut);
}

std::string base_name(const std::string& path) {
  const size_t slash = last_separator(path);
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// One cabinet being written, or written and waiting to be named.
struct Cabinet {
  zubeto::arc::OutputFile* file = nullptr;          // the first is the run's
  std::unique_ptr<zubeto::arc::OutputFile> own;     // the later ones are ours
  std::unique_ptr<BufferedOutput> out;
  std::unique_ptr<Pipeline> pipe;
  uint64_t reserved = 0;
  std::vector<Folder> folders;
  // The CFFILE table as it is written: each file's fixed 16 bytes, its
  // stored name and a zero, one after the other; nothing else is kept of
  // a file.
  std::string files;
  size_t file_count = 0;
};

// What a cabinet holds so far, as the rule of where a new cabinet starts
// counts it: from file sizes and names alone, so that the counting walk
// and the run that adds split alike. Its bound is the most the cabinet can take up,
// every block compressed to its worst.
struct Fill {
  size_t files = 0, folders = 0;
  uint64_t names = 0;          // bytes of the stored names
  uint64_t closed_blocks = 0;  // blocks of the CAB folders before the open one
  uint64_t folder_used = 0;    // bytes in the open CAB folder
  bool folder_closed = false;  // a file left out part way ended the open CAB folder
};

uint64_t blocks_for(uint64_t bytes) { return (bytes + kBlockSize - 1) / kBlockSize; }

class CabWriter : public zubeto::arc::EntryWriter {
 public:
  explicit CabWriter(const Options& options) : options_(options), record_(record_bound()) {}
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

  // Files are added as the walk meets them; a first walk counts them, so
  // that each cabinet's tables get their room before its data.
  bool takes_entries_as_walked() const override { return true; }
  bool counts_entries_first() const override { return true; }

  // Each cabinet of the set the counted files make, by the same rule as
  // the files added; a file no cabinet can hold is not counted.
  void count(const Entry& e) override {
    if (e.kind != EntryKind::File) return;
    const std::string name = stored_name(e.name);
    if (!cannot_hold(name, e.size).empty()) return;
    if (!fits(count_fill_, e.size, name.size())) {
      counted_.push_back(count_fill_);
      count_fill_ = Fill{};
    }
    place(count_fill_, e.size, name.size());
  }

  // Any number of files: a cabinet that is full is followed by the next
  // one of a set. Only a file no cabinet can hold is refused.
  Status check_plan(const std::vector<Entry>& plan) const override {
    for (const Entry& e : plan) {
      if (e.kind != EntryKind::File) continue;
      Status s = check_file(stored_name(e.name), e.size, e.path);
      if (!s.ok()) return s;
    }
    return Status{};
  }

  Status begin(OutputFile& out, const std::vector<Entry>& plan) override {
    first_ = &out;
    for (const Entry& e : plan) count(e);  // a caller's plan counts as the first walk would
    if (count_fill_.files > 0) counted_.push_back(count_fill_);
    count_fill_ = Fill{};
    if (record_ == 0) return Status::fail(ARC_E_INTERNAL, "the compressor could not be set up");
    return open_cabinet(0);
  }

  Status add(const Entry& e, FileContent* content) override {
    if (e.kind != EntryKind::File || content == nullptr) return Status{};
    const uint64_t size = content->size();
    const std::string name = stored_name(e.name);
    Status s = check_file(name, size, e.path);
    if (!s.ok()) return s;
    if (!fits(fill_, size, name.size())) {
      s = close_cabinet(/*has_next=*/true);
      if (s.ok()) s = open_cabinet(cabinets_.size());
      if (!s.ok()) return s;
    }
    Cabinet& cab = *cabinets_.back();
    const uint64_t folder_bytes = uint64_t(options_.limits.folder_blocks) * kBlockSize;
    if (cab.folders.empty() || fill_.folder_closed || fill_.folder_used + size > folder_bytes) {
      cab.folders.push_back(Folder{});
      cab.pipe->start_folder(uint32_t(cab.folders.size() - 1));
    }
    place(fill_, size, name.size());
    // The file's record but for its size, known once it is read.
    uint8_t record[kFileFixedSize];
    le::put32(record + 4, uint32_t(fill_.folder_used - size));
    le::put16(record + 8, uint16_t(cab.folders.size() - 1));
    const zubeto::arc::DosTime dt = zubeto::arc::dos_time(e.mtime);
    le::put16(record + 10, dt.date);
    le::put16(record + 12, dt.time);
    uint16_t attributes = attributes_of(e);
    if (!zubeto::arc::is_ascii(name) && zubeto::arc::is_valid_utf8(name)) attributes |= kAttrNameIsUtf;
    le::put16(record + 14, attributes);

    // The content gives exactly size() bytes; past a failed read (or the
    // end of a file that shrank) they are zeros that are not the file's.
    uint64_t got = 0;
    bool whole = true;
    while (got < size) {
      uint32_t space = 0;
      uint8_t* dst = cab.pipe->room(space);
      if (!dst) break;
      size_t want = size_t(std::min<uint64_t>(space, size - got));
      size_t n = content->read(dst, want);
      if (content->incomplete()) {
        whole = false;
        n = 0;
      }
      cab.pipe->filled(uint32_t(n));
      got += n;
      if (n == 0) break;
    }
    if (cab.pipe->failed()) return cab.pipe->error();
    // A file not read whole gets no file record: the cabinet does not hold
    // it. The bytes read before the failure end the CAB folder's data,
    // where no record points at them (readers want a folder's files to
    // follow each other without a gap): the next file starts a new folder.
    if (!whole) {
      fill_.folder_closed = true;
      return Status{};
    }
    le::put32(record, uint32_t(got));
    cab.files.append(reinterpret_cast<const char*>(record), kFileFixedSize);
    cab.files.append(name.data(), name.size() + 1);  // with its zero
    ++cab.file_count;
    return Status{};
  }

  Status finish() override {
    if (cabinets_.empty() || !cabinets_.back()->pipe) return Status::fail(ARC_E_INTERNAL, "the cabinet was not begun");
    Status s = close_cabinet(/*has_next=*/false);
    if (!s.ok()) return s;
    if (cabinets_.size() == 1) return Status{};  // the run names it
    return name_the_set();
  }

 private:
  Status check_file(const std::string& name, uint64_t size, const std::string& path) const {
    const std::string why = cannot_hold(name, size);
    if (!why.empty()) return Status::fail(ARC_E_FORMAT, why + ": " + path);
    return Status{};
  }

  void place(Fill& f, uint64_t size, size_t name) const {
    const uint64_t folder_bytes = uint64_t(options_.limits.folder_blocks) * kBlockSize;
    if (f.folders == 0 || f.folder_closed || f.folder_used + size > folder_bytes) {
      f.closed_blocks += blocks_for(f.folder_used);
      ++f.folders;
      f.folder_used = 0;
      f.folder_closed = false;
    }
    f.folder_used += size;
    ++f.files;
    f.names += name;
  }

  uint64_t bound(const Fill& f) const {
    return table_size(f.folders, f.names, f.files) + kSetNamesRoom +
           (f.closed_blocks + blocks_for(f.folder_used)) * uint64_t(record_);
  }

  // Whether the cabinet can take one more file; an empty one takes any
  // file the entry check let through.
  bool fits(const Fill& f, uint64_t size, size_t name) const {
    if (f.files == 0) return true;
    if (f.files + 1 > options_.limits.max_files) return false;
    Fill g = f;
    place(g, size, name);
    return bound(g) <= options_.limits.max_cabinet;
  }

  // The header with the names of the neighbouring cabinets.
  uint64_t header_size(size_t index, bool has_next) const {
    uint64_t n = kHeaderSize;
    if (index > 0) n += base_name(cabinet_path(final_, index)).size() + 2;
    if (has_next) n += base_name(cabinet_path(final_, index + 2)).size() + 2;
    return n;
  }

  // Starts the next cabinet, the `index`-th from 0: the first is the run's
  // file, later ones are temporaries of their own. Table room is reserved
  // for the files the count put into it.
  Status open_cabinet(size_t index) {
    auto cab = std::make_unique<Cabinet>();
    if (cabinets_.empty()) {
      cab->file = first_;
      final_ = first_->final_path();
    } else {
      cab->own = std::make_unique<OutputFile>();
      Status s = cab->own->create(cabinet_path(final_, cabinets_.size() + 1));
      if (!s.ok()) return s;
      cab->file = cab->own.get();
    }
    const Fill g = index < counted_.size() ? counted_[index] : Fill{};
    const uint64_t tables = table_size(g.folders, g.names, g.files) - kHeaderSize;
    cab->reserved = header_size(index, index + 1 < counted_.size()) + tables;
    cab->files.reserve(size_t(tables - kFolderSize * g.folders));
    cab->folders.reserve(g.folders);
    cab->out = std::make_unique<BufferedOutput>(*cab->file);
    // Room for the tables, filled in when the cabinet is closed.
    std::vector<char> zeros(64 * 1024, 0);
    for (uint64_t left = cab->reserved; left > 0;) {
      size_t n = size_t(std::min<uint64_t>(left, zeros.size()));
      Status s = cab->out->write(zeros.data(), n);
      if (!s.ok()) return s;
      left -= n;
    }
    unsigned threads = options_.threads;
    if (threads == 0) threads = std::thread::hardware_concurrency() <= 1 ? 1 : 2;
    const int level = std::clamp(options_.level, 1, 9) + (std::strcmp(zubeto::arc::Deflater::back_end(), "zlib") ? 1 : 0);
    cab->pipe = std::make_unique<Pipeline>(*cab->out, options_.limits.max_cabinet, level,
                                           threads, cab->folders, options_.reverse_pairs);
    fill_ = Fill{};
    Status s = cab->pipe->error();
    cabinets_.push_back(std::move(cab));
    return s;
  }

  // Writes the open cabinet's last blocks and its tables.
  Status close_cabinet(bool has_next) {
    Cabinet& cab = *cabinets_.back();
    const size_t index = cabinets_.size() - 1;
    if (!cab.pipe->finish()) return cab.pipe->error();
    uint64_t data_end = cab.pipe->offset();
    cab.pipe.reset();
    Status s = cab.out->flush();
    if (!s.ok()) return s;
    cab.out.reset();
    if (cab.file_count == 0)
      return Status::fail(ARC_E_NOTHING, "none of the files could be read: a cabinet must hold at least one file");

    // A folder without blocks (only empty files) starts where the data ends.
    for (Folder& f : cab.folders)
      if (!f.started) f.start = data_end;

    const std::string prev = index > 0 ? base_name(cabinet_path(final_, index)) : "";
    const std::string next = has_next ? base_name(cabinet_path(final_, index + 2)) : "";
    const uint64_t head_size = header_size(index, has_next);
    const uint64_t actual = head_size + kFolderSize * cab.folders.size() + cab.files.size();
    const uint64_t data_len = data_end - cab.reserved;
    if (actual + data_len > options_.limits.max_cabinet)
      return Status::fail(ARC_E_FORMAT, "the cabinet would exceed the largest size its 32-bit fields can hold (" +
                                            std::to_string(options_.limits.max_cabinet) + " bytes)");
    if (actual != cab.reserved) {
      // The tables came out at another size than reserved (a file left
      // out, or grown into another CAB folder or cabinet): the data
      // follows them.
      s = move_data(*cab.file, cab.reserved, actual, data_len);
      if (!s.ok()) return s;
      for (Folder& f : cab.folders) f.start = f.start - cab.reserved + actual;
      data_end = actual + data_len;
      s = cab.file->truncate(data_end);
      if (!s.ok()) return s;
    }

    // The tables always hold the header; the bound says so to the compiler.
    std::vector<uint8_t> head(std::max<size_t>(size_t(actual), kHeaderSize + kFolderSize), 0);
    uint8_t* h = head.data();
    std::memcpy(h, "MSCF", 4);
    le::put32(h + 8, uint32_t(data_end));
    le::put32(h + 16, uint32_t(head_size + kFolderSize * cab.folders.size()));
    h[24] = 3;  // format version 1.3
    h[25] = 1;
    le::put16(h + 26, uint16_t(cab.folders.size()));
    le::put16(h + 28, uint16_t(cab.file_count));
    if (index > 0 || has_next) {
      le::put16(h + 30, uint16_t((index > 0 ? kFlagPrevCabinet : 0) | (has_next ? kFlagNextCabinet : 0)));
      le::put16(h + 32, set_id());
      le::put16(h + 34, uint16_t(index));
    }
    size_t pos = kHeaderSize;
    // The neighbours' file names, each with an empty disk name.
    for (const std::string* n : {&prev, &next}) {
      if (n->empty()) continue;
      std::memcpy(h + pos, n->data(), n->size());
      pos += n->size() + 2;
    }
    for (const Folder& f : cab.folders) {
      le::put32(h + pos, uint32_t(f.start));
      le::put16(h + pos + 4, uint16_t(f.blocks));
      le::put16(h + pos + 6, kCompressMszip);
      pos += kFolderSize;
    }
    std::memcpy(h + pos, cab.files.data(), cab.files.size());
    s = cab.file->write_at(0, h, size_t(actual));
    std::string().swap(cab.files);  // a closed cabinet's table is no longer needed
    return s;
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
    // A file must fit one CAB folder, and one cabinet with its tables
    // (the latter matters only under lowered limits).
    Fill alone;
    place(alone, size, name.size());
    if (size > max_file_size() || bound(alone) > lim.max_cabinet)
      return "file too large for CAB archives: " + std::to_string(size) + " bytes, at most " +
             std::to_string(max_file_size());
    return "";
  }

  // One number for every cabinet of the set, from its first name.
  uint16_t set_id() const {
    uint32_t hash = 2166136261u;
    for (unsigned char c : base_name(final_)) hash = (hash ^ c) * 16777619u;
    return uint16_t((hash ^ (hash >> 16)) | 1);
  }

  // Every cabinet is complete: the later ones get their names first and
  // the first last, so that the set is whole once its first cabinet is
  // there. A failure leaves no cabinet of the set behind -- except when
  // only the first could not be named: it is kept under its temporary
  // name (see OutputFile::commit) with the rest named beside it, so that
  // renaming it by hand gives the whole set.
  Status name_the_set() {
    std::vector<std::string> named;
    auto undo = [&] {
      for (const std::string& p : named) platform::remove_file(p);
    };
    for (size_t i = 1; i < cabinets_.size(); ++i) {
      OutputFile& f = *cabinets_[i]->own;
      const std::string temp = f.temp_path();
      Status s = f.commit();
      if (!s.ok()) {
        if (s.code == ARC_E_COMMIT) platform::remove_file(temp);
        for (size_t j = i + 1; j < cabinets_.size(); ++j) cabinets_[j]->own->discard();
        undo();
        return Status::fail(s.code == ARC_E_COMMIT ? ARC_E_WRITE : s.code,
                            "cabinet " + std::to_string(i + 1) + " of the set: " + s.text +
                                "; no cabinet of the set was kept");
      }
      named.push_back(f.final_path());
    }
    Status s = first_->commit();
    if (!s.ok() && s.code != ARC_E_COMMIT) undo();
    if (!s.ok() && s.code == ARC_E_COMMIT) s.text += "; the set's other cabinets are named beside it";
    return s;
  }

  Options options_;
  size_t record_;
  OutputFile* first_ = nullptr;
  std::string final_;
  std::vector<Fill> counted_;  // each cabinet as the count filled it
  Fill count_fill_;            // the cabinet the count is filling
  std::vector<std::unique_ptr<Cabinet>> cabinets_;
  Fill fill_;  // the open cabinet's
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
