// What the format checks share: a reader that serves small reads from a
// window of the file, little-endian fields, and the report's failure.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "arcverify/verify.h"

namespace arcverify::detail {

// Serves reads from a window of up to 1 MiB of the source, so that walking
// headers does not cost one system call each.
class Reader {
 public:
  explicit Reader(Source& s) : s_(s), size_(s.size()) {}
  uint64_t size() const { return size_; }

  bool read(uint64_t off, void* out, size_t n) {
    if (off > size_ || n > size_ - off) return false;
    uint8_t* o = static_cast<uint8_t*>(out);
    while (n > 0) {
      if (off < win_at_ || off >= win_at_ + win_.size()) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(kWindow, size_ - off));
        win_.resize(want);
        if (!s_.read_at(off, win_.data(), want)) {
          win_.clear();
          return false;
        }
        win_at_ = off;
      }
      const size_t at = static_cast<size_t>(off - win_at_);
      const size_t k = std::min(n, win_.size() - at);
      std::memcpy(o, win_.data() + at, k);
      o += k;
      off += k;
      n -= k;
    }
    return true;
  }

 private:
  static constexpr size_t kWindow = 1 << 20;
  Source& s_;
  uint64_t size_;
  std::vector<uint8_t> win_;
  uint64_t win_at_ = 0;
};

inline uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint64_t le64(const uint8_t* p) { return uint64_t(le32(p)) | uint64_t(le32(p + 4)) << 32; }

inline bool fail(Report& r, std::string why) {
  r.ok = false;
  r.problem = std::move(why);
  return false;
}

// A name as the report shows it: control characters escaped, cut when long.
inline std::string shown(std::string_view name) {
  std::string out;
  for (unsigned char c : name.substr(0, 200)) {
    if (c < 0x20 || c == 0x7F) {
      static const char* hex = "0123456789abcdef";
      out += "\\x";
      out += hex[c >> 4];
      out += hex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  if (name.size() > 200) out += "...";
  return out;
}

inline void note_data(Report& r, uint64_t offset, uint64_t size) {
  if (r.first_data_size == 0 && size > 0) {
    r.first_data_offset = offset;
    r.first_data_size = size;
  }
}

bool check_zip(Reader& in, Report& r);
bool check_lzh(Reader& in, Report& r);
bool check_cab(Reader& in, Report& r);
bool check_tar(Reader& in, Report& r);

}  // namespace arcverify::detail
