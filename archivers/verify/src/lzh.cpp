// LZH: every header (levels 0, 1 and 2; a level-2 header's own CRC-16),
// every entry decoded and its CRC-16 and size compared, and the end mark.
#include <array>

#include "internal.h"

namespace arcverify::detail {
namespace {

uint16_t crc16(uint16_t crc, const uint8_t* p, size_t n) {
  static const std::array<uint16_t, 256> table = [] {
    std::array<uint16_t, 256> t{};
    for (unsigned i = 0; i < 256; ++i) {
      uint16_t v = static_cast<uint16_t>(i);
      for (int k = 0; k < 8; ++k) v = (v & 1) ? static_cast<uint16_t>((v >> 1) ^ 0xA001) : static_cast<uint16_t>(v >> 1);
      t[i] = v;
    }
    return t;
  }();
  for (size_t i = 0; i < n; ++i) crc = static_cast<uint16_t>(table[(crc ^ p[i]) & 0xFF] ^ (crc >> 8));
  return crc;
}

// Bits of the packed data, most significant first; past the packed size
// the stream reads zeros and says it overran.
class BitIn {
 public:
  BitIn(Reader& in, uint64_t at, uint64_t size) : in_(in), at_(at), left_(size) {}
  unsigned get(unsigned n) {
    unsigned v = 0;
    for (unsigned i = 0; i < n; ++i) v = (v << 1) | bit();
    return v;
  }
  unsigned bit() {
    if (count_ == 0) refill();
    --count_;
    return (acc_ >> count_) & 1u;
  }
  bool overran() const { return overran_; }
  bool failed() const { return failed_; }

 private:
  void refill() {
    if (pos_ == buf_.size()) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(64 * 1024, left_));
      buf_.resize(n);
      pos_ = 0;
      if (n == 0) {
        overran_ = true;
        acc_ = 0;
        count_ = 8;
        return;
      }
      if (!in_.read(at_, buf_.data(), n)) {
        failed_ = overran_ = true;
        buf_.clear();
        acc_ = 0;
        count_ = 8;
        return;
      }
      at_ += n;
      left_ -= n;
    }
    acc_ = buf_[pos_++];
    count_ = 8;
  }
  Reader& in_;
  uint64_t at_, left_;
  std::vector<uint8_t> buf_;
  size_t pos_ = 0;
  uint32_t acc_ = 0;
  unsigned count_ = 0;
  bool overran_ = false, failed_ = false;
};

// A canonical Huffman code (shorter codes first, in symbol order within a
// length), decoded bit by bit; a table of one symbol and no lengths reads
// that symbol from no bits at all.
class Code {
 public:
  bool build(const uint8_t* len, int n, int only = -1) {
    only_ = only;
    if (only >= 0) return true;
    count_.fill(0);
    symbols_.clear();
    for (int i = 0; i < n; ++i) {
      if (len[i] > 16) return false;
      count_[len[i]]++;
    }
    count_[0] = 0;
    int left = 1;  // the code must not be over-full
    for (int l = 1; l <= 16; ++l) {
      left <<= 1;
      left -= count_[l];
      if (left < 0) return false;
    }
    for (int l = 1; l <= 16; ++l)
      for (int i = 0; i < n; ++i)
        if (len[i] == l) symbols_.push_back(static_cast<uint16_t>(i));
    return !symbols_.empty();
  }
  // -1 for a bit pattern that is no code.
  int decode(BitIn& b) const {
    if (only_ >= 0) return only_;
    int code = 0, first = 0, index = 0;
    for (int l = 1; l <= 16; ++l) {
      code |= static_cast<int>(b.bit());
      const int n = count_[l];
      if (code - first < n) return symbols_[static_cast<size_t>(index + code - first)];
      index += n;
      first = (first + n) << 1;
      code <<= 1;
    }
    return -1;
  }

 private:
  int only_ = -1;
  std::array<int, 17> count_{};
  std::vector<uint16_t> symbols_;
};

constexpr int kNC = 510, kNT = 19, kCBit = 9, kTBit = 5;

// Lengths of the code-length or position code: three bits each, longer
// ones as a run of ones; after index `special` two bits of zero lengths.
bool read_pt(BitIn& b, int nn, int nbit, int special, Code& code) {
  const int n = static_cast<int>(b.get(static_cast<unsigned>(nbit)));
  if (n == 0) {
    const int c = static_cast<int>(b.get(static_cast<unsigned>(nbit)));
    return c < nn && code.build(nullptr, 0, c);
  }
  if (n > nn) return false;
  uint8_t len[32] = {0};
  int i = 0;
  while (i < n) {
    int c = static_cast<int>(b.get(3));
    if (c == 7)
      while (b.bit()) {
        if (++c > 16) return false;
      }
    len[i++] = static_cast<uint8_t>(c);
    if (i == special) {
      int z = static_cast<int>(b.get(2));
      while (z-- > 0 && i < nn) len[i++] = 0;
    }
  }
  return code.build(len, nn);
}

bool read_c(BitIn& b, const Code& t, Code& code) {
  const int n = static_cast<int>(b.get(kCBit));
  if (n == 0) {
    const int c = static_cast<int>(b.get(kCBit));
    return c < kNC && code.build(nullptr, 0, c);
  }
  if (n > kNC) return false;
  uint8_t len[kNC] = {0};
  int i = 0;
  while (i < n) {
    const int c = t.decode(b);
    if (c < 0) return false;
    if (c <= 2) {
      int z = c == 0 ? 1 : c == 1 ? static_cast<int>(b.get(4)) + 3 : static_cast<int>(b.get(kCBit)) + 20;
      if (i + z > n) return false;
      while (z-- > 0) len[i++] = 0;
    } else {
      len[i++] = static_cast<uint8_t>(c - 2);
    }
  }
  return code.build(len, kNC);
}

// Decodes `original` bytes of an -lh4- to -lh7- stream, folding them into
// the CRC-16. A false return names the damage in `why`.
bool decode(Reader& in, uint64_t at, uint64_t packed, uint64_t original, int dicbit, uint16_t& crc,
            std::string& why) {
  // -lh4- and -lh5- have 14 position codes, -lh6- 16, -lh7- 17.
  const int np = dicbit <= 13 ? 14 : dicbit == 16 ? 17 : 16;
  const int pbit = dicbit <= 13 ? 4 : 5;
  const size_t window = size_t{1} << dicbit;
  std::vector<uint8_t> ring(window, ' ');
  size_t pos = 0;
  BitIn b(in, at, packed);
  uint64_t out = 0;
  std::vector<uint8_t> chunk;
  chunk.reserve(64 * 1024);
  auto emit = [&](uint8_t c) {
    ring[pos] = c;
    pos = (pos + 1) & (window - 1);
    chunk.push_back(c);
    if (chunk.size() == chunk.capacity()) {
      crc = crc16(crc, chunk.data(), chunk.size());
      chunk.clear();
    }
    ++out;
  };
  Code t, c, p;
  unsigned block_left = 0;
  while (out < original) {
    if (block_left == 0) {
      block_left = b.get(16);
      if (block_left == 0 || !read_pt(b, kNT, kTBit, 3, t) || !read_c(b, t, c) || !read_pt(b, np, pbit, -1, p)) {
        why = "its code tables are damaged";
        return false;
      }
      if (b.overran()) break;
    }
    --block_left;
    const int code = c.decode(b);
    if (code < 0) {
      why = "a code is damaged";
      return false;
    }
    if (code < 256) {
      emit(static_cast<uint8_t>(code));
    } else {
      const unsigned length = static_cast<unsigned>(code - 256 + 3);
      int j = p.decode(b);
      if (j < 0) {
        why = "a position code is damaged";
        return false;
      }
      size_t dist = j <= 1 ? static_cast<size_t>(j) : (size_t{1} << (j - 1)) + b.get(static_cast<unsigned>(j - 1));
      if (dist >= window || dist + 1 > out) {
        why = "a match reaches before the data's start";
        return false;
      }
      size_t from = (pos - dist - 1) & (window - 1);
      for (unsigned k = 0; k < length && out < original; ++k) {
        emit(ring[from]);
        from = (from + 1) & (window - 1);
      }
    }
    if (b.overran()) break;
  }
  crc = crc16(crc, chunk.data(), chunk.size());
  if (b.failed()) {
    why = "cannot be read";
    return false;
  }
  if (b.overran() || out != original) {
    why = "its compressed data is cut off";
    return false;
  }
  return true;
}

bool stored_crc(Reader& in, uint64_t at, uint64_t size, uint16_t& crc) {
  std::vector<uint8_t> buf(256 * 1024);
  for (uint64_t done = 0; done < size;) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(buf.size(), size - done));
    if (!in.read(at + done, buf.data(), n)) return false;
    crc = crc16(crc, buf.data(), n);
    done += n;
  }
  return true;
}

}  // namespace

bool check_lzh(Reader& in, Report& r) {
  const uint64_t size = in.size();
  uint64_t p = 0;
  for (;;) {
    uint8_t first[2];
    if (p >= size) return fail(r, "the end mark is missing: the archive is cut off");
    if (!in.read(p, first, 1)) return fail(r, "cannot be read");
    if (first[0] == 0) {
      // The end mark; nothing but zeros may follow it.
      for (uint64_t q = p + 1; q < size; ++q) {
        uint8_t z;
        if (!in.read(q, &z, 1) || z != 0) return fail(r, "bytes after the end mark belong to no entry");
      }
      return true;
    }
    uint8_t fixed[26];
    if (p + 22 > size || !in.read(p, fixed, std::min<uint64_t>(26, size - p)))
      return fail(r, "header " + std::to_string(r.entries + 1) + " is cut off");
    const int level = fixed[20];
    const std::string where = "header " + std::to_string(r.entries + 1);
    std::string method(reinterpret_cast<const char*>(fixed + 2), 5);
    uint64_t packed = le32(fixed + 7);
    const uint64_t original = le32(fixed + 11);
    uint16_t data_crc = 0;
    std::string name;
    uint64_t data_at = 0;
    if (level == 2) {
      const uint16_t total = le16(fixed);
      if (total < 26 || p + total > size) return fail(r, where + " is cut off");
      std::vector<uint8_t> h(total);
      if (!in.read(p, h.data(), total)) return fail(r, where + " cannot be read");
      data_crc = le16(&h[21]);
      size_t crc_at = 0;
      uint16_t next = le16(&h[24]);
      size_t q = 26;
      while (next != 0) {
        if (next < 3 || q + next > total) return fail(r, where + ": its extended headers are damaged");
        const uint8_t type = h[q];
        const size_t d = q + 1, dl = next - 3u;
        std::string field(h.begin() + static_cast<std::ptrdiff_t>(d), h.begin() + static_cast<std::ptrdiff_t>(d + dl));
        if (type == 0x00 && dl >= 2) crc_at = d;
        if (type == 0x01) name = name.empty() ? field : name + field;
        if (type == 0x02) {
          for (char& ch : field)
            if (static_cast<unsigned char>(ch) == 0xFF) ch = '/';
          name = field + name;
        }
        next = le16(&h[q + 1 + dl]);
        q += 1 + dl + 2;
      }
      if (crc_at) {
        const uint16_t want = le16(&h[crc_at]);
        h[crc_at] = h[crc_at + 1] = 0;
        if (crc16(0, h.data(), h.size()) != want) return fail(r, where + " (" + shown(name) + "): header CRC mismatch");
      }
      data_at = p + total;
    } else if (level == 0 || level == 1) {
      const size_t hs = fixed[0];
      if (hs < 20 || p + 2 + hs > size) return fail(r, where + " is cut off");
      std::vector<uint8_t> h(2 + hs);
      if (!in.read(p, h.data(), h.size())) return fail(r, where + " cannot be read");
      uint8_t sum = 0;
      for (size_t i = 2; i < h.size(); ++i) sum = static_cast<uint8_t>(sum + h[i]);
      if (sum != h[1]) return fail(r, where + ": header checksum mismatch");
      const size_t name_len = h[21];
      if (22 + name_len + 2 > h.size()) return fail(r, where + " is damaged");
      name.assign(reinterpret_cast<const char*>(&h[22]), name_len);
      for (char& ch : name)
        if (ch == '\\' || static_cast<unsigned char>(ch) == 0xFF) ch = '/';
      data_crc = le16(&h[22 + name_len]);
      data_at = p + h.size();
      if (level == 1) {
        // Extended headers follow the base header and count in the packed size.
        if (h.size() < 22 + name_len + 5) return fail(r, where + " is damaged");
        uint16_t next = le16(&h[h.size() - 2]);
        uint64_t q = data_at;
        while (next != 0) {
          if (next < 3 || q + next > size) return fail(r, where + ": its extended headers are cut off");
          std::vector<uint8_t> e(next);
          if (!in.read(q, e.data(), next)) return fail(r, where + " cannot be read");
          if (packed < next) return fail(r, where + ": its sizes disagree");
          packed -= next;
          if (e[0] == 0x01) name.assign(reinterpret_cast<const char*>(&e[1]), next - 3u);
          q += next;
          next = le16(&e[next - 2]);
        }
        data_at = q;
      }
    } else {
      return fail(r, where + ": header level " + std::to_string(level) + " cannot be checked");
    }
    const std::string who = "entry " + shown(name);
    if (data_at > size || packed > size - data_at) return fail(r, who + ": data cut off");
    note_data(r, data_at, packed);
    uint16_t crc = 0;
    if (method == "-lhd-") {
      if (packed != 0 || original != 0) return fail(r, who + ": a folder that holds data");
    } else if (method == "-lh0-") {
      if (packed != original) return fail(r, who + ": stored with two different sizes");
      if (!stored_crc(in, data_at, packed, crc)) return fail(r, who + ": cannot be read");
      if (crc != data_crc) return fail(r, who + ": CRC-16 mismatch");
    } else if (method == "-lh4-" || method == "-lh5-" || method == "-lh6-" || method == "-lh7-") {
      const int dicbit = method[3] == '4' ? 12 : method[3] == '5' ? 13 : method[3] == '6' ? 15 : 16;
      std::string why;
      if (original > 0 && !decode(in, data_at, packed, original, dicbit, crc, why)) return fail(r, who + ": " + why);
      if (crc != data_crc) return fail(r, who + ": CRC-16 mismatch");
    } else {
      return fail(r, who + ": method " + shown(method) + " cannot be checked");
    }
    ++r.entries;
    p = data_at + packed;
  }
}

}  // namespace arcverify::detail
