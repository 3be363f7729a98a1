#include "lzh_writer.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "crc16.h"

namespace lzh {
namespace {

constexpr size_t kReadSize = 1 << 16;
constexpr uint8_t kOsUnix = 'U';

// Extended header types of a level-2 header.
constexpr uint8_t kExtHeaderCrc = 0x00;
constexpr uint8_t kExtFileName = 0x01;
constexpr uint8_t kExtDirectory = 0x02;
constexpr uint8_t kExtDosAttributes = 0x40;
constexpr uint8_t kExtUnixMode = 0x50;

void put16(std::vector<uint8_t>& v, size_t at, uint32_t x) {
  v[at] = static_cast<uint8_t>(x);
  v[at + 1] = static_cast<uint8_t>(x >> 8);
}
void put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
  for (int i = 0; i < 4; ++i) v[at + i] = static_cast<uint8_t>(x >> (8 * i));
}

std::string errno_text(int e) { return std::strerror(e); }

uint32_t clamp_time(int64_t t) {
  if (t < 0) return 0;
  if (t > 0xFFFFFFFFLL) return 0xFFFFFFFFu;
  return static_cast<uint32_t>(t);
}

uint16_t dos_attributes_of(const Entry& e) {
  uint16_t a = e.is_folder ? 0x10 : 0x20;
  if ((e.mode & 0222) == 0) a |= 0x01;
  std::string::size_type slash = e.name.rfind('/');
  std::string last = slash == std::string::npos ? e.name : e.name.substr(slash + 1);
  if (!last.empty() && last[0] == '.') a |= 0x02;
  return a;
}

}  // namespace

void split_name(const std::string& name, bool is_folder, std::string* directory, std::string* file_name) {
  if (is_folder) {
    *directory = name;
    file_name->clear();
    return;
  }
  std::string::size_type slash = name.rfind('/');
  if (slash == std::string::npos) {
    directory->clear();
    *file_name = name;
  } else {
    *directory = name.substr(0, slash);
    *file_name = name.substr(slash + 1);
  }
}

std::vector<uint8_t> build_header(const HeaderFields& f) {
  // Fixed part: size, method, packed and original size, time, reserved byte,
  // level, data CRC, OS, then the chain of extended headers, each one
  // holding its type, its data and the size of the next one.
  std::vector<uint8_t> h(26, 0);
  std::memcpy(&h[2], f.method, 5);
  put32(h, 7, f.packed_size);
  put32(h, 11, f.original_size);
  put32(h, 15, f.mtime);
  h[19] = 0x20;
  h[20] = 2;
  put16(h, 21, f.data_crc);
  h[23] = kOsUnix;
  size_t next_size_at = 24;
  auto ext = [&](uint8_t type, const std::vector<uint8_t>& data) {
    put16(h, next_size_at, static_cast<uint32_t>(data.size() + 3));
    h.push_back(type);
    h.insert(h.end(), data.begin(), data.end());
    next_size_at = h.size();
    h.push_back(0);
    h.push_back(0);
  };
  ext(kExtHeaderCrc, {0, 0});
  const size_t crc_at = 27;
  if (!f.file_name.empty() || f.directory.empty())
    ext(kExtFileName, std::vector<uint8_t>(f.file_name.begin(), f.file_name.end()));
  if (!f.directory.empty()) {
    // Folder names are stored with 0xFF between the parts and after the last.
    std::vector<uint8_t> d;
    for (char c : f.directory) d.push_back(c == '/' ? 0xFF : static_cast<uint8_t>(c));
    d.push_back(0xFF);
    ext(kExtDirectory, d);
  }
  ext(kExtDosAttributes, {static_cast<uint8_t>(f.dos_attributes), static_cast<uint8_t>(f.dos_attributes >> 8)});
  ext(kExtUnixMode, {static_cast<uint8_t>(f.unix_mode), static_cast<uint8_t>(f.unix_mode >> 8)});
  // A header size whose low byte is zero would read as the end mark: pad it.
  if ((h.size() & 0xFF) == 0) h.push_back(0);
  if (h.size() > 0xFFFF) return {};
  put16(h, 0, static_cast<uint32_t>(h.size()));
  put16(h, crc_at, crc16_update(0, h.data(), h.size()));
  return h;
}

ArchiveWriter::ArchiveWriter(ArchiveOutput& out, const Lh5Options& options)
    : out_(out), options_(options), in_buffer_(kReadSize) {}

bool ArchiveWriter::write_at(int64_t offset, const uint8_t* data, size_t size, std::string* error) {
  return out_.seek(offset, error) && out_.write(data, size, error);
}

AddStatus ArchiveWriter::add(const Entry& entry, EntrySource* source, std::string* error) {
  if (entry.name.empty()) {
    *error = entry.source + ": empty name";
    return AddStatus::kSourceFailed;
  }
  if (entry.is_folder) return add_folder(entry, error);
  if (!source) {
    *error = entry.name + ": no data";
    return AddStatus::kSourceFailed;
  }
  return add_file(entry, *source, error);
}

// The fields a folder and a file header share; the method stays as the
// caller sets it.
static HeaderFields fields_of(const Entry& entry, bool is_folder) {
  HeaderFields f;
  f.mtime = clamp_time(entry.mtime);
  f.dos_attributes = dos_attributes_of(entry);
  f.unix_mode = static_cast<uint16_t>((is_folder ? 0040000 : 0100000) | (entry.mode & 07777));
  split_name(entry.name, is_folder, &f.directory, &f.file_name);
  return f;
}

AddStatus ArchiveWriter::add_folder(const Entry& entry, std::string* error) {
  HeaderFields f = fields_of(entry, true);
  std::memcpy(f.method, "-lhd-", 6);
  std::vector<uint8_t> h = build_header(f);
  if (h.empty()) {
    *error = entry.name + ": name too long";
    return AddStatus::kSourceFailed;
  }
  if (!write_at(end_, h.data(), h.size(), error)) return AddStatus::kOutputFailed;
  end_ += static_cast<int64_t>(h.size());
  return AddStatus::kAdded;
}

AddStatus ArchiveWriter::add_file(const Entry& entry, EntrySource& source, std::string* error) {
  HeaderFields f = fields_of(entry, false);
  std::vector<uint8_t> h = build_header(f);
  if (h.empty()) {
    *error = entry.name + ": name too long";
    return AddStatus::kSourceFailed;
  }
  const int64_t header_at = end_;
  const int64_t data_at = header_at + static_cast<int64_t>(h.size());
  // The header goes first with provisional fields; it is rewritten with the
  // sizes and CRC once the data is known. Its length never changes.
  if (!write_at(header_at, h.data(), h.size(), error)) return AddStatus::kOutputFailed;

  auto too_large = [&]() {
    *error = entry.name + ": too large for the archive (4 GiB or more)";
    return AddStatus::kSourceFailed;
  };
  uint64_t original = 0;
  uint64_t packed = 0;
  uint16_t crc = 0;
  bool stored = false;
  {
    Lh5Encoder encoder(options_);
    for (;;) {
      long long n = source.read(in_buffer_.data(), in_buffer_.size(), error);
      if (n < 0) return AddStatus::kSourceFailed;
      if (n == 0) break;
      const size_t k = static_cast<size_t>(n);
      crc = crc16_update(crc, in_buffer_.data(), k);
      original += k;
      if (original > 0xFFFFFFFFull) return too_large();
      encoder.write(in_buffer_.data(), k);
      std::vector<uint8_t>& o = encoder.output();
      if (!out_.write(o.data(), o.size(), error)) return AddStatus::kOutputFailed;
      packed += o.size();
      o.clear();
      // Once the compressed data is as large as the whole file, keeping the
      // file as it is will be smaller: stop compressing. Past 8 MiB, data
      // that has not shrunk at all is taken as incompressible.
      if (packed >= std::max<uint64_t>(entry.size, original) ||
          (original >= (uint64_t{8} << 20) && packed > original)) {
        stored = true;
        break;
      }
    }
    if (!stored) {
      encoder.finish();
      std::vector<uint8_t>& o = encoder.output();
      if (!out_.write(o.data(), o.size(), error)) return AddStatus::kOutputFailed;
      packed += o.size();
      if (packed >= original) stored = true;
    }
  }
  if (stored) {
    if (!source.rewind(error)) return AddStatus::kSourceFailed;
    if (!out_.seek(data_at, error)) return AddStatus::kOutputFailed;
    original = 0;
    crc = 0;
    for (;;) {
      long long n = source.read(in_buffer_.data(), in_buffer_.size(), error);
      if (n < 0) return AddStatus::kSourceFailed;
      if (n == 0) break;
      const size_t k = static_cast<size_t>(n);
      crc = crc16_update(crc, in_buffer_.data(), k);
      original += k;
      if (original > 0xFFFFFFFFull) return too_large();
      if (!out_.write(in_buffer_.data(), k, error)) return AddStatus::kOutputFailed;
    }
    packed = original;
    std::memcpy(f.method, "-lh0-", 6);
  } else {
    std::memcpy(f.method, "-lh5-", 6);
  }
  f.packed_size = static_cast<uint32_t>(packed);
  f.original_size = static_cast<uint32_t>(original);
  f.data_crc = crc;
  h = build_header(f);
  if (!write_at(header_at, h.data(), h.size(), error)) return AddStatus::kOutputFailed;
  end_ = data_at + static_cast<int64_t>(packed);
  return AddStatus::kAdded;
}

bool ArchiveWriter::finish(std::string* error) {
  const uint8_t end_mark = 0;
  if (!write_at(end_, &end_mark, 1, error)) return false;
  return out_.close_at(end_ + 1, error);
}

StdioOutput::~StdioOutput() {
  if (f_) std::fclose(f_);
}

bool StdioOutput::open(const std::string& path, std::string* error) {
  path_ = path;
  f_ = std::fopen(path.c_str(), "wb");
  if (!f_) {
    *error = path + ": " + errno_text(errno);
    return false;
  }
  std::setvbuf(f_, nullptr, _IOFBF, 1 << 18);
  return true;
}

bool StdioOutput::write(const uint8_t* data, size_t size, std::string* error) {
  if (size == 0) return true;
  if (std::fwrite(data, 1, size, f_) != size) {
    *error = path_ + ": " + errno_text(errno);
    return false;
  }
  return true;
}

bool StdioOutput::seek(int64_t offset, std::string* error) {
  if (std::fseek(f_, static_cast<long>(offset), SEEK_SET) != 0) {
    *error = path_ + ": " + errno_text(errno);
    return false;
  }
  return true;
}

bool StdioOutput::close_at(int64_t length, std::string* error) {
  int rc = std::fclose(f_);
  f_ = nullptr;
  if (rc != 0) {
    *error = path_ + ": " + errno_text(errno);
    return false;
  }
  // Entries dropped or kept stored after all may have left bytes past the end.
  std::error_code ec;
  std::filesystem::resize_file(path_, static_cast<uintmax_t>(length), ec);
  if (ec) {
    *error = path_ + ": " + ec.message();
    return false;
  }
  return true;
}

StdioSource::~StdioSource() {
  if (f_) std::fclose(f_);
}

bool StdioSource::open(const std::string& path, std::string* error) {
  path_ = path;
  f_ = std::fopen(path.c_str(), "rb");
  if (!f_) *error = path + ": " + errno_text(errno);
  return f_ != nullptr;
}

long long StdioSource::read(uint8_t* buf, size_t cap, std::string* error) {
  size_t n = std::fread(buf, 1, cap, f_);
  if (n == 0 && std::ferror(f_)) {
    *error = path_ + ": " + errno_text(errno ? errno : EIO);
    return -1;
  }
  return static_cast<long long>(n);
}

bool StdioSource::rewind(std::string* error) {
  std::clearerr(f_);
  if (std::fseek(f_, 0, SEEK_SET) != 0) {
    *error = path_ + ": " + errno_text(errno);
    return false;
  }
  return true;
}

bool write_archive(const std::string& path, const std::vector<Entry>& entries, const Lh5Options& options,
                   std::vector<std::string>* skipped, std::string* error) {
  StdioOutput out;
  if (!out.open(path, error)) return false;
  ArchiveWriter writer(out, options);
  for (const Entry& e : entries) {
    std::string why;
    StdioSource src;
    AddStatus st;
    if (!e.is_folder && !src.open(e.source, &why))
      st = AddStatus::kSourceFailed;
    else
      st = writer.add(e, e.is_folder ? nullptr : &src, &why);
    if (st == AddStatus::kOutputFailed) {
      *error = why;
      return false;
    }
    if (st == AddStatus::kSourceFailed && skipped) skipped->push_back(why);
  }
  return writer.finish(error);
}

}  // namespace lzh
