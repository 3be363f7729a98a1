#include "tar_writer.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

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

// xattr names go into a record's key, which cannot hold "=": it is
// written %3D, and a "%" that would read as such an escape %25, as GNU tar
// decodes them. Every other "%" stays as it is, which bsdtar (decoding
// nothing) reads the same.
std::string key_escape(const std::string& name) {
  std::string out;
  for (size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    const std::string next = name.substr(i + 1, 2);
    if (c == '=') out += "%3D";
    else if (c == '%' && (next == "25" || next == "3D" || next == "3d")) out += "%25";
    else out += c;
  }
  return out;
}

// A POSIX ACL as the system keeps it in its attribute (version 2, then
// entries of tag, permissions and id) in the text form tar readers take:
// one entry a line, "user::rw-", "user:1000:r--", ..., ids as numbers.
// Empty when the bytes are no ACL we know.
std::string acl_text(const std::string& blob) {
  auto u16 = [&](size_t at) { return unsigned(uint8_t(blob[at])) | unsigned(uint8_t(blob[at + 1])) << 8; };
  if (blob.size() < 4 || (blob.size() - 4) % 8 != 0 || u16(0) != 2 || u16(2) != 0) return "";
  std::string text;
  for (size_t at = 4; at < blob.size(); at += 8) {
    const unsigned tag = u16(at), perm = u16(at + 2);
    const uint32_t id = uint32_t(u16(at + 4)) | uint32_t(u16(at + 6)) << 16;
    switch (tag) {
      case 0x01: text += "user::"; break;
      case 0x02: text += "user:" + std::to_string(id) + ":"; break;
      case 0x04: text += "group::"; break;
      case 0x08: text += "group:" + std::to_string(id) + ":"; break;
      case 0x10: text += "mask::"; break;
      case 0x20: text += "other::"; break;
      default: return "";
    }
    text += perm & 4 ? 'r' : '-';
    text += perm & 2 ? 'w' : '-';
    text += perm & 1 ? 'x' : '-';
    text += '\n';
  }
  return text;
}

// The pax records of an entry's extended attributes: user.* and
// security.* as they are, the POSIX ACLs as text. Other namespaces
// (system.*, trusted.*) belong to the system that made them.
void attribute_records(std::string& pax, const std::vector<platform::ExtAttr>& attrs) {
  for (const platform::ExtAttr& a : attrs) {
    if (a.name == "system.posix_acl_access" || a.name == "system.posix_acl_default") {
      std::string text = acl_text(a.value);
      if (!text.empty())
        pax_record(pax, a.name == "system.posix_acl_access" ? "SCHILY.acl.access" : "SCHILY.acl.default", text);
    } else if (a.name.compare(0, 5, "user.") == 0 || a.name.compare(0, 9, "security.") == 0) {
      pax_record(pax, "SCHILY.xattr." + key_escape(a.name), a.value);
    }
  }
}

// The map that opens the data of a sparse entry: the number of pairs,
// then each stretch's offset and length, one number a line, zeros up to
// a whole block. The last pair always ends at the file's size (a length
// of 0 when the file ends in a hole), so readers give the file its size.
std::string sparse_map(const std::vector<platform::DataRun>& runs, uint64_t size) {
  std::string map = std::to_string(runs.size() + 1) + "\n";
  for (const platform::DataRun& r : runs) map += std::to_string(r.offset) + "\n" + std::to_string(r.length) + "\n";
  map += std::to_string(size) + "\n0\n";
  map.resize((map.size() + kBlock - 1) / kBlock * kBlock, '\0');
  return map;
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
    const uint64_t real_size = e.kind == EntryKind::File && content ? content->size() : 0;
    platform::InputFile* file = content ? content->file() : nullptr;
    // A file with holes keeps them: only its stretches of data are stored,
    // behind a map of where they lie (the pax sparse format 1.0).
    std::vector<platform::DataRun> runs;
    const bool sparse = file && real_size > 0 && file->data_runs(real_size, runs);
    std::string map;
    uint64_t size = real_size;
    if (sparse) {
      map = sparse_map(runs, real_size);
      size = map.size();
      for (const platform::DataRun& r : runs) size += r.length;
    }
    std::vector<platform::ExtAttr> attrs;
    platform::SysError attr_err;
    if (file)
      file->attributes(attrs, attr_err);
    else if (e.kind == EntryKind::Folder)
      platform::folder_attributes(e.path, e.dev, e.ino, attrs, attr_err);

    char h[kBlock];
    std::memset(h, 0, sizeof h);
    std::string pax;
    // pax records are UTF-8 unless told otherwise: a name (or link target)
    // that is not valid UTF-8 is stored as the bytes it is, and said so.
    if (!arc::is_valid_utf8(name) || (e.kind == EntryKind::Link && !arc::is_valid_utf8(link_target)))
      pax_record(pax, "hdrcharset", "BINARY");

    std::string prefix, rest;
    if (sparse) {
      // The real name goes into its own record; the header names a
      // stand-in in a folder of its own, so that a reader without sparse
      // support puts the map and the data there, never under the real name.
      pax_record(pax, "GNU.sparse.major", "1");
      pax_record(pax, "GNU.sparse.minor", "0");
      pax_record(pax, "GNU.sparse.name", name);
      pax_record(pax, "GNU.sparse.realsize", std::to_string(real_size));
      const size_t slash = name.find_last_of('/');
      const std::string stand_in = (slash == std::string::npos ? "" : name.substr(0, slash + 1)) + "GNUSparseFile.0/" +
                                   (slash == std::string::npos ? name : name.substr(slash + 1));
      if (arc::is_ascii(stand_in) && split_name(stand_in, prefix, rest)) {
        std::memcpy(h, rest.data(), rest.size());
        std::memcpy(h + 345, prefix.data(), prefix.size());
      } else {
        std::string f = fallback(stand_in, 100);
        std::memcpy(h, f.data(), f.size());
      }
    } else if (arc::is_ascii(name) && split_name(name, prefix, rest)) {
      std::memcpy(h, rest.data(), rest.size());
      std::memcpy(h + 345, prefix.data(), prefix.size());
    } else {
      pax_record(pax, "path", name);
      std::string f = fallback(name, 100);
      std::memcpy(h, f.data(), f.size());
    }
    attribute_records(pax, attrs);
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

    const uint64_t start = out_->offset();
    Status s;
    if (!pax.empty()) s = write_pax(name, pax);
    if (s.ok()) s = write_header(h);
    if (s.ok() && sparse) s = write_sparse(*content, map, runs, real_size, size);
    else if (s.ok() && size > 0) s = write_content(*content, size);
    // A file that could not be read whole leaves nothing behind: the
    // archive goes back to where its entry began.
    if (s.ok() && content && content->incomplete()) s = out_->truncate(start);
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

  // The map, then each stretch of data, passing over the holes between
  // them and after the last, so the file is read to its end.
  Status write_sparse(FileContent& content, const std::string& map, const std::vector<platform::DataRun>& runs,
                      uint64_t real_size, uint64_t stored) {
    Status s = out_->write(map.data(), map.size());
    uint64_t at = 0;
    for (size_t i = 0; s.ok() && i < runs.size(); ++i) {
      content.skip(runs[i].offset - at);
      s = copy(content, runs[i].length);
      at = runs[i].offset + runs[i].length;
    }
    if (!s.ok()) return s;
    content.skip(real_size - at);
    return zeros(pad(stored));
  }

  // The file's bytes, read straight into the output buffer.
  Status write_content(FileContent& content, uint64_t size) {
    Status s = copy(content, size);
    return s.ok() ? zeros(pad(size)) : s;
  }

  Status copy(FileContent& content, uint64_t size) {
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
      if (content.incomplete()) return Status{};  // cut back by add()
    }
    return Status{};
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
