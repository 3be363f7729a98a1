#include "lzh_writer.h"

#include <algorithm>
#include <cstring>

#include "arc/buffered_output.h"
#include "arc/codes.h"
#include "platform/files.h"
#include "arc/le.h"
#include "arc/ordered_work.h"
#include "crc16.h"

namespace lzh {

namespace {

using zubeto::arc::BufferedOutput;
using zubeto::arc::Entry;
using zubeto::arc::EntryKind;
using zubeto::arc::FileContent;
using zubeto::arc::OutputFile;
using zubeto::arc::Status;

// What a chunk carries of the bytes before it, for matches across the seam.
constexpr size_t kHistory = 8192;
// A file whose first 64 KiB do not shrink is kept as it is without
// compressing the rest (packed and media files).
constexpr size_t kGiveUpWhole = 64 * 1024;

// Extended header types of a level-2 header.
constexpr uint8_t kExtHeaderCrc = 0x00;
constexpr uint8_t kExtFileName = 0x01;
constexpr uint8_t kExtDirectory = 0x02;
constexpr uint8_t kExtDosAttributes = 0x40;
constexpr uint8_t kExtUnicodeFileName = 0x44;
constexpr uint8_t kExtUnicodeDirectory = 0x45;
constexpr uint8_t kExtCodePage = 0x46;
constexpr uint8_t kExtUnixMode = 0x50;

using zubeto::arc::le::put16;
using zubeto::arc::le::put32;

uint32_t clamp_time(int64_t t) {
  if (t < 0) return 0;
  if (t > 0xFFFFFFFFLL) return 0xFFFFFFFFu;
  return static_cast<uint32_t>(t);
}

HeaderFields fields_of(const Entry& e) {
  const bool folder = e.kind == EntryKind::Folder;
  HeaderFields f;
  if (folder) std::memcpy(f.method, "-lhd-", 6);
  f.mtime = clamp_time(e.mtime);
  uint16_t a = folder ? 0x10 : 0x20;
  if ((e.mode & 0222) == 0) a |= 0x01;
  const size_t slash = e.name.rfind('/');
  if (e.name.compare(slash == std::string::npos ? 0 : slash + 1, 1, ".") == 0) a |= 0x02;
  f.dos_attributes = a;
  f.unix_mode = static_cast<uint16_t>((folder ? 0040000 : 0100000) | (e.mode & 07777));
  // The names are read as UTF-8: on Windows they come in the ANSI code page.
  f.name = stored_name(platform::name_to_utf8(e.name), folder);
  return f;
}

// Bytes read from a file: not zero-filled first, since every byte is
// overwritten by the read.
class Bytes {
 public:
  void resize(size_t n) {
    if (n > cap_) {
      p_.reset(new uint8_t[n]);
      cap_ = n;
    }
    n_ = n;
  }
  uint8_t* data() { return p_.get(); }
  const uint8_t* data() const { return p_.get(); }
  size_t size() const { return n_; }
  bool empty() const { return n_ == 0; }
  const uint8_t* end() const { return p_.get() + n_; }

 private:
  std::unique_ptr<uint8_t[]> p_;
  size_t n_ = 0, cap_ = 0;
};

// One unit of work for a compression thread.
struct Piece {
  enum Kind { Folder, Whole, Chunk } kind = Whole;
  HeaderFields fields;             // Folder and Whole: the entry's header
  bool first = true, last = true;  // Chunk: place in its file
  Bytes in;                        // Chunk: the history, then the chunk's bytes
  size_t history = 0;
  Bits bits;                       // compressed
  bool stored = false;             // keep the file's bytes as they are (a chunk: the first one did not shrink)
  uint16_t crc = 0;                // Whole: of the file's bytes
};

class LzhWriter : public zubeto::arc::EntryWriter {
 public:
  explicit LzhWriter(const LzhLimits& limits) : limits_(limits) {}

  uint64_t max_file_size() const override { return limits_.max_size; }
  // Each entry is written whole as it comes: nothing is kept per file.
  bool takes_entries_as_walked() const override { return true; }

  // The Shift-JIS name, which Windows readers restore, ignoring case.
  std::string name_key(std::string_view part) const override {
    std::string sjis, utf16;
    convert_part(platform::name_to_utf8(part), sjis, utf16);
    return fold_cp932_case(sjis);
  }
  bool name_key_folds_case() const override { return true; }

  std::string check_entry(const Entry& e) const override {
    // A name byte takes at most four and a half header bytes (Shift-JIS
    // and UTF-16, from the ANSI code page on Windows): only a very long
    // name can overflow the 64 KiB of a level-2 header.
    if (e.name.size() < 14000 || !build_header(fields_of(e)).empty()) return "";
    return "name too long for an LZH header: " + std::to_string(e.name.size()) + " bytes";
  }

  Status begin(OutputFile& out, const std::vector<Entry>&) override {
    out_ = std::make_unique<BufferedOutput>(out);
    zubeto::arc::OrderedWorkLimits l;
    l.threads = limits_.threads;
    l.reverse_pairs = limits_.reverse_pairs;
    const Lh5Options options = limits_.options;
    work_ = std::make_unique<zubeto::arc::OrderedWork<Piece>>(
        l,
        [options] {
          auto encoder = std::make_shared<Lh5Encoder>(options);
          return [encoder](Piece& p) { compress(*encoder, p); };
        },
        [this](Piece& p) { return write_piece(p); });
    return Status{};
  }

  Status add(const Entry& e, FileContent* content) override {
    Piece p;
    p.fields = fields_of(e);
    if (e.kind != EntryKind::File || !content) {
      p.kind = Piece::Folder;
      return work_->add(std::move(p), 0);
    }
    const uint64_t size = content->size();
    // The plan was checked before the archive was begun; this is a file
    // that grew since.
    if (size > limits_.max_size)
      return Status::fail(ARC_E_FORMAT, "file too large for this format (" + std::to_string(size) + " bytes, at most " +
                                            std::to_string(limits_.max_size) + "): " + e.path);
    if (size <= limits_.chunk) {
      p.in.resize(static_cast<size_t>(size));
      fill(*content, p.in.data(), p.in.size());
      if (content->incomplete()) return Status{};  // not read whole: left out
      const size_t bytes = p.in.size();
      return work_->add(std::move(p), bytes);
    }
    return add_large(std::move(p.fields), *content);
  }

  Status finish() override {
    Status s = work_->drain();
    if (!s.ok()) return s;
    const uint8_t end_mark = 0;
    s = out_->write(&end_mark, 1);
    if (s.ok()) s = out_->flush();
    return s;
  }

 private:
  // A large file: a header written first and patched at the end, then its
  // chunks, compressed on the threads and joined in order.
  struct Large {
    HeaderFields fields;
    uint64_t header_at = 0, data_at = 0;
    bool header_written = false;
    uint64_t original = 0, packed = 0;
    uint16_t crc = 0;
    BitJoin join;
    bool give_up = false;  // keep the file as it is
  };

  static void fill(FileContent& content, uint8_t* buf, size_t size) {
    size_t got = 0;
    while (got < size) {
      size_t n = content.read(buf + got, size - got);
      if (n == 0) break;
      got += n;
    }
    if (got < size) std::memset(buf + got, 0, size - got);
  }

  Status add_large(HeaderFields fields, FileContent& content) {
    Status s = work_->drain();
    if (!s.ok()) return s;
    large_ = Large{};
    large_.fields = std::move(fields);
    uint64_t left = content.size();
    std::vector<uint8_t> history;
    bool first = true;
    while (left > 0 && !large_.give_up) {
      Piece p;
      p.kind = Piece::Chunk;
      p.first = first;
      const size_t n = static_cast<size_t>(std::min<uint64_t>(left, limits_.chunk));
      p.history = history.size();
      p.in.resize(p.history + n);
      std::memcpy(p.in.data(), history.data(), history.size());
      fill(content, p.in.data() + p.history, n);
      if (content.incomplete()) return drop_large();
      left -= n;
      p.last = left == 0;
      const size_t keep = std::min(kHistory, p.in.size());
      history.assign(p.in.end() - keep, p.in.end());
      const size_t bytes = p.in.size();
      s = work_->add(std::move(p), bytes);
      if (!s.ok()) return s;
      // The first chunk tells whether the file shrinks at all (its first
      // 64 KiB, as for a small file): wait for it before reading on, so
      // that a media file is not compressed in vain.
      if (first) s = work_->drain();
      if (!s.ok()) return s;
      first = false;
    }
    // Every chunk written (or skipped once the file was given up): now the
    // file can still be read again and kept as it is.
    s = work_->drain();
    if (!s.ok() || !large_.give_up) return s;
    return store_large(content);
  }

  // Leaves out a large file that could not be read whole: once the chunks
  // handed over are written, the archive goes back to where its header
  // began.
  Status drop_large() {
    Status s = work_->drain();
    if (s.ok() && large_.header_written) s = out_->truncate(large_.header_at);
    large_ = Large{};
    return s;
  }

  Status store_large(FileContent& content) {
    if (!content.rewind()) return Status::fail(ARC_E_INTERNAL, "cannot read a file a second time to store it");
    Status s = out_->truncate(large_.data_at);
    if (!s.ok()) return s;
    std::vector<uint8_t> buf(limits_.chunk);
    uint64_t left = content.size();
    uint16_t crc = 0;
    while (s.ok() && left > 0) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(left, buf.size()));
      fill(content, buf.data(), n);
      if (content.incomplete()) return drop_large();
      crc = crc16_update(crc, buf.data(), n);
      s = out_->write(buf.data(), n);
      left -= n;
    }
    if (!s.ok()) return s;
    HeaderFields& f = large_.fields;
    std::memcpy(f.method, "-lh0-", 6);
    f.packed_size = f.original_size = static_cast<uint32_t>(content.size());
    f.data_crc = crc;
    std::vector<uint8_t> h = build_header(f);
    return out_->patch(large_.header_at, h.data(), h.size());
  }

  Status write_header(const HeaderFields& f) {
    std::vector<uint8_t> h = build_header(f);
    if (h.empty()) return Status::fail(ARC_E_FORMAT, "a name is too long for an LZH header");
    return out_->write(h.data(), h.size());
  }

  Status write_piece(Piece& p) {
    switch (p.kind) {
      case Piece::Folder:
        return write_header(p.fields);
      case Piece::Whole: {
        HeaderFields& f = p.fields;
        std::memcpy(f.method, p.stored ? "-lh0-" : "-lh5-", 6);
        f.original_size = static_cast<uint32_t>(p.in.size());
        f.packed_size = static_cast<uint32_t>(p.stored ? p.in.size() : p.bits.bytes.size());
        f.data_crc = p.crc;
        Status s = write_header(f);
        if (!s.ok()) return s;
        if (p.stored) return out_->write(p.in.data(), p.in.size());
        return out_->write(p.bits.bytes.data(), p.bits.bytes.size());
      }
      case Piece::Chunk:
        return write_chunk(p);
    }
    return Status{};
  }

  Status write_chunk(Piece& p) {
    Large& l = large_;
    if (l.give_up) return Status{};
    if (p.stored) {  // the first chunk did not shrink
      l.give_up = true;
      l.header_at = out_->offset();
      l.header_written = true;
      Status s = write_header(l.fields);
      l.data_at = out_->offset();
      return s;
    }
    Status s;
    if (p.first) {
      std::memcpy(l.fields.method, "-lh5-", 6);
      l.header_at = out_->offset();
      l.header_written = true;
      s = write_header(l.fields);
      if (!s.ok()) return s;
      l.data_at = out_->offset();
    }
    const size_t n = p.in.size() - p.history;
    l.crc = crc16_update(l.crc, p.in.data() + p.history, n);
    l.original += n;
    joined_.clear();
    l.join.append(p.bits, joined_);
    if (p.last) l.join.finish(joined_);
    l.packed += joined_.size();
    s = out_->write(joined_.data(), joined_.size());
    if (!s.ok()) return s;
    if (p.last ? l.packed >= l.original : (l.original >= limits_.give_up_after && l.packed > l.original)) {
      l.give_up = true;
      return Status{};
    }
    if (!p.last) return Status{};
    l.fields.original_size = static_cast<uint32_t>(l.original);
    l.fields.packed_size = static_cast<uint32_t>(l.packed);
    l.fields.data_crc = l.crc;
    std::vector<uint8_t> h = build_header(l.fields);
    return out_->patch(l.header_at, h.data(), h.size());
  }

  // On a compression thread.
  static void compress(Lh5Encoder& encoder, Piece& p) {
    switch (p.kind) {
      case Piece::Folder:
        return;
      case Piece::Whole: {
        p.crc = crc16_update(0, p.in.data(), p.in.size());
        if (p.in.empty()) {
          p.stored = true;
          return;
        }
        if (!encoder.compress(p.in.data(), p.in.size(), 0, p.bits, kGiveUpWhole)) {
          p.stored = true;
          return;
        }
        if (p.bits.tail_bits > 0) {
          p.bits.bytes.push_back(static_cast<uint8_t>(p.bits.tail << (8 - p.bits.tail_bits)));
          p.bits.tail_bits = 0;
        }
        p.stored = p.bits.bytes.size() >= p.in.size();
        if (p.stored) p.bits.clear();
        return;
      }
      case Piece::Chunk:
        if (!encoder.compress(p.in.data() + p.history, p.in.size() - p.history, p.history, p.bits,
                              p.first ? kGiveUpWhole : 0))
          p.stored = true;
        return;
    }
  }

  LzhLimits limits_;
  std::unique_ptr<BufferedOutput> out_;
  Large large_;
  std::vector<uint8_t> joined_;
  // Last, so that its threads stop before the rest goes.
  std::unique_ptr<zubeto::arc::OrderedWork<Piece>> work_;
};

}  // namespace

std::vector<uint8_t> build_header(const HeaderFields& f) {
  // Fixed part: size, method, packed and original size, time, reserved byte,
  // level, data CRC, system mark, then the chain of extended headers, each
  // one holding its type, its data and the size of the next one.
  std::vector<uint8_t> h(26, 0);
  std::memcpy(&h[2], f.method, 5);
  put32(&h[7], f.packed_size);
  put32(&h[11], f.original_size);
  put32(&h[15], f.mtime);
  h[19] = 0x20;
  h[20] = 2;
  put16(&h[21], f.data_crc);
  h[23] = kOsMark;
  size_t next_size_at = 24;
  auto ext = [&](uint8_t type, const void* data, size_t size) {
    put16(&h[next_size_at], static_cast<uint16_t>(size + 3));
    h.push_back(type);
    const uint8_t* d = static_cast<const uint8_t*>(data);
    h.insert(h.end(), d, d + size);
    next_size_at = h.size();
    h.push_back(0);
    h.push_back(0);
  };
  const uint8_t zero[2] = {0, 0};
  ext(kExtHeaderCrc, zero, 2);
  const size_t crc_at = 27;
  const StoredName& n = f.name;
  const bool has_file = !n.sjis_file.empty() || n.sjis_dir.empty();
  if (has_file) ext(kExtFileName, n.sjis_file.data(), n.sjis_file.size());
  if (!n.sjis_dir.empty()) ext(kExtDirectory, n.sjis_dir.data(), n.sjis_dir.size());
  // The code page and the UTF-16 names only where a plain field does not
  // spell its name exactly: an ASCII name is read alike in every code page.
  const bool exact = n.dir_exact && n.file_exact;
  uint8_t cp[4];
  put32(cp, kCodePage);
  if (!exact) ext(kExtCodePage, cp, 4);
  // bsdtar refuses a name field whose first byte is zero, and so stops at
  // the whole archive; the UTF-16 form of a name that begins with a
  // character U+xx00 (一 is U+4E00) starts so. Such a field is left out:
  // readers then take the Shift-JIS name, which holds every character code
  // page 932 has.
  auto readable = [](const std::string& utf16) { return !utf16.empty() && utf16[0] != '\0'; };
  if (has_file && !n.file_exact && readable(n.utf16_file))
    ext(kExtUnicodeFileName, n.utf16_file.data(), n.utf16_file.size());
  if (!n.dir_exact && readable(n.utf16_dir)) ext(kExtUnicodeDirectory, n.utf16_dir.data(), n.utf16_dir.size());
  // The attributes readers assume without the header are left out: 0x20
  // for a plain file, 0x10 for a folder (its method already says so). The
  // permissions are always written: without them each Linux reader gives
  // its own default (lhasa rw------- for a file, bsdtar run as root
  // rw-rw-rw- and rwxrwxrwx), so a restored backup would not be what was
  // saved.
  const bool folder = std::memcmp(f.method, "-lhd-", 5) == 0;
  uint8_t attr[2], mode[2];
  put16(attr, f.dos_attributes);
  put16(mode, f.unix_mode);
  if (f.dos_attributes != (folder ? 0x10 : 0x20)) ext(kExtDosAttributes, attr, 2);
  ext(kExtUnixMode, mode, 2);
  // A header size whose low byte is zero would read as the end mark: pad it.
  if ((h.size() & 0xFF) == 0) h.push_back(0);
  if (h.size() > 0xFFFF) return {};
  put16(&h[0], static_cast<uint16_t>(h.size()));
  put16(&h[crc_at], crc16_update(0, h.data(), h.size()));
  return h;
}

std::unique_ptr<zubeto::arc::EntryWriter> make_lzh_writer(const LzhLimits& limits) {
  return std::make_unique<LzhWriter>(limits);
}

}  // namespace lzh
