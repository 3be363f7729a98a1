#include "tar_writer.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "arc/buffered_output.h"
#include "platform/files.h"
#include "arc/utf8.h"

namespace zubeto::tar {

namespace {

using arc::BufferedOutput;
using arc::Entry;
using arc::EntryKind;
using arc::FileContent;
using arc::OutputFile;
using arc::Status;

constexpr size_t kBlock = 512;
// The archive ends on a whole record of 20 blocks, as tar readers expect.
constexpr size_t kRecord = 20 * kBlock;

// Writes `v` as zero-padded octal in a field of `width` bytes (the last one
// a NUL); false when it does not fit.
bool octal(char* field, size_t width, uint64_t v) {
  const size_t digits = width - 1;
  if (digits < 22 && v >> (3 * digits)) return false;
  field[digits] = '\0';
  for (size_t i = digits; i-- > 0; v >>= 3) field[i] = static_cast<char>('0' + (v & 7));
  return true;
}

// One pax record: "<length> <key>=<value>\n", the length counting itself.
void pax_record(std::string& out, const std::string& key, const std::string& value) {
  const size_t body = key.size() + value.size() + 3;  // space, "=", newline
  size_t len = body + 1;
  while (std::to_string(len).size() + body != len) len = std::to_string(len).size() + body;
  out += std::to_string(len) + " " + key + "=" + value + "\n";
}

// Splits a name into ustar's prefix (155) and name (100) fields.
bool split_name(const std::string& name, std::string& prefix, std::string& rest) {
  if (name.size() <= 100) {
    prefix.clear();
    rest = name;
    return true;
  }
  for (size_t slash = name.find('/'); slash != std::string::npos; slash = name.find('/', slash + 1)) {
    if (slash > 155) break;
    if (name.size() - slash - 1 <= 100 && name.size() - slash - 1 > 0) {
      prefix = name.substr(0, slash);
      rest = name.substr(slash + 1);
      return true;
    }
  }
  return false;
}

// What a reader without pax support shows instead: ASCII, cut to fit.
std::string fallback(const std::string& name, size_t max) {
  std::string s = name;
  for (char& c : s)
    if (static_cast<unsigned char>(c) >= 0x80) c = '_';
  if (s.size() > max) s = s.substr(s.size() - max);
  return s;
}

class TarWriter : public arc::EntryWriter {
 public:
  bool takes_entries_as_walked() const override { return true; }
  Status begin(OutputFile& out, const std::vector<Entry>&) override {
    out_ = std::make_unique<BufferedOutput>(out);
    return Status{};
  }

  Status add(const Entry& e, FileContent* content) override {
    // Names as UTF-8 whatever the system's code page (the ANSI code page on
    // Windows), as pax records hold them.
    const std::string name = platform::name_to_utf8(e.kind == EntryKind::Folder ? e.name + "/" : e.name);
    const std::string link_target = platform::name_to_utf8(e.link_target);
    const uint64_t size = e.kind == EntryKind::File && content ? content->size() : 0;
    char h[kBlock];
    std::memset(h, 0, sizeof h);
    std::string pax;
    // pax records are UTF-8 unless told otherwise: a name (or link target)
    // that is not valid UTF-8 is stored as the bytes it is, and said so.
    if (!arc::is_valid_utf8(name) || (e.kind == EntryKind::Link && !arc::is_valid_utf8(link_target)))
      pax_record(pax, "hdrcharset", "BINARY");

    std::string prefix, rest;
    if (arc::is_ascii(name) && split_name(name, prefix, rest)) {
      std::memcpy(h, rest.data(), rest.size());
      std::memcpy(h + 345, prefix.data(), prefix.size());
    } else {
      pax_record(pax, "path", name);
      std::string f = fallback(name, 100);
      std::memcpy(h, f.data(), f.size());
    }
    octal(h + 100, 8, e.kind == EntryKind::Link ? 0777 : (e.mode & 07777));
    if (!octal(h + 108, 8, e.uid)) {
      pax_record(pax, "uid", std::to_string(e.uid));
      octal(h + 108, 8, 0);
    }
    if (!octal(h + 116, 8, e.gid)) {
      pax_record(pax, "gid", std::to_string(e.gid));
      octal(h + 116, 8, 0);
    }
    if (!octal(h + 124, 12, size)) {
      pax_record(pax, "size", std::to_string(size));
      octal(h + 124, 12, 0);
    }
    if (e.mtime < 0 || !octal(h + 136, 12, static_cast<uint64_t>(e.mtime))) {
      pax_record(pax, "mtime", std::to_string(e.mtime));
      octal(h + 136, 12, 0);
    }
    h[156] = e.kind == EntryKind::Folder ? '5' : e.kind == EntryKind::Link ? '2' : '0';
    if (e.kind == EntryKind::Link) {
      if (link_target.size() <= 100 && arc::is_ascii(link_target)) {
        std::memcpy(h + 157, link_target.data(), link_target.size());
      } else {
        pax_record(pax, "linkpath", link_target);
        std::string f = fallback(link_target, 100);
        std::memcpy(h + 157, f.data(), f.size());
      }
    }
    std::memcpy(h + 257, "ustar", 6);
    std::memcpy(h + 263, "00", 2);
    octal(h + 329, 8, 0);
    octal(h + 337, 8, 0);

    Status s;
    if (!pax.empty()) s = write_pax(name, pax);
    if (s.ok()) s = write_header(h);
    if (s.ok() && size > 0) s = write_content(*content, size);
    return s;
  }

  Status finish() override {
    // Two zero blocks end the archive; zeros fill up the last record.
    uint64_t end = out_->offset() + 2 * kBlock;
    end = (end + kRecord - 1) / kRecord * kRecord;
    Status s = zeros(static_cast<size_t>(end - out_->offset()));
    if (s.ok()) s = out_->flush();
    return s;
  }

 private:
  Status write_header(char* h) {
    std::memset(h + 148, ' ', 8);
    unsigned sum = 0;
    for (size_t i = 0; i < kBlock; ++i) sum += static_cast<unsigned char>(h[i]);
    octal(h + 148, 7, sum);  // six digits, NUL, and the space already there
    return out_->write(h, kBlock);
  }

  // The extended header that precedes an entry ustar cannot hold.
  Status write_pax(const std::string& name, const std::string& records) {
    char h[kBlock];
    std::memset(h, 0, sizeof h);
    size_t slash = name.find_last_of('/', name.size() > 1 ? name.size() - 2 : 0);
    std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
    std::string hname = "PaxHeaders/" + fallback(base, 80);
    std::memcpy(h, hname.data(), std::min<size_t>(hname.size(), 100));
    octal(h + 100, 8, 0644);
    octal(h + 108, 8, 0);
    octal(h + 116, 8, 0);
    octal(h + 124, 12, records.size());
    octal(h + 136, 12, 0);
    h[156] = 'x';
    std::memcpy(h + 257, "ustar", 6);
    std::memcpy(h + 263, "00", 2);
    Status s = write_header(h);
    if (s.ok()) s = out_->write(records.data(), records.size());
    if (s.ok()) s = zeros(pad(records.size()));
    return s;
  }

  // The file's bytes, read straight into the output buffer.
  Status write_content(FileContent& content, uint64_t size) {
    uint64_t left = size;
    while (left > 0) {
      char* at;
      size_t room;
      Status s = out_->space(at, room);
      if (!s.ok()) return s;
      size_t want = static_cast<size_t>(std::min<uint64_t>(room, left));
      size_t n = content.read(at, want);
      if (n == 0) {  // cannot happen: the content fills up a short file
        std::memset(at, 0, want);
        n = want;
      }
      out_->filled(n);
      left -= n;
    }
    return zeros(pad(size));
  }

  static size_t pad(uint64_t size) { return static_cast<size_t>((kBlock - size % kBlock) % kBlock); }

  Status zeros(size_t n) {
    static const char kZeros[kBlock] = {};
    while (n > 0) {
      size_t k = std::min(n, kBlock);
      Status s = out_->write(kZeros, k);
      if (!s.ok()) return s;
      n -= k;
    }
    return Status{};
  }

  std::unique_ptr<BufferedOutput> out_;
};

}  // namespace

std::unique_ptr<arc::EntryWriter> make_tar_writer() { return std::make_unique<TarWriter>(); }

}  // namespace zubeto::tar
