// ZIP: the end record (and its ZIP64 form), every central directory entry,
// and every entry's data inflated and its CRC-32 and size compared.
#include <zlib.h>

#include <algorithm>

#include "internal.h"

namespace arcverify::detail {
namespace {

constexpr uint32_t kEndSig = 0x06054b50;
constexpr uint32_t kEnd64Sig = 0x06064b50;
constexpr uint32_t kLocatorSig = 0x07064b50;
constexpr uint32_t kCentralSig = 0x02014b50;
constexpr uint32_t kLocalSig = 0x04034b50;
constexpr uint32_t kDescriptorSig = 0x08074b50;

struct Central {
  std::string name;
  uint16_t flags = 0, method = 0;
  uint32_t crc = 0;
  uint64_t csize = 0, usize = 0, offset = 0;
};

// Finds the end record: at the very end for an archive without a comment,
// else searched backwards over the largest comment.
bool find_end(Reader& in, uint64_t& at, std::vector<uint8_t>& rec) {
  const uint64_t size = in.size();
  if (size < 22) return false;
  const uint64_t span = std::min<uint64_t>(size, 22 + 0xFFFF);
  std::vector<uint8_t> tail(static_cast<size_t>(span));
  if (!in.read(size - span, tail.data(), tail.size())) return false;
  for (size_t i = tail.size() - 22 + 1; i-- > 0;) {
    if (le32(&tail[i]) != kEndSig) continue;
    const uint16_t comment = le16(&tail[i + 20]);
    if (i + 22 + comment != tail.size()) continue;
    at = size - span + i;
    rec.assign(tail.begin() + static_cast<std::ptrdiff_t>(i), tail.begin() + static_cast<std::ptrdiff_t>(i) + 22);
    return true;
  }
  return false;
}

// The ZIP64 extra field of a central entry: the values whose 32-bit field
// reads 0xFFFFFFFF, in the order usize, csize, offset.
bool apply_zip64(const uint8_t* extra, size_t len, Central& c, bool big_u, bool big_c, bool big_o) {
  size_t p = 0;
  while (p + 4 <= len) {
    const uint16_t id = le16(extra + p), n = le16(extra + p + 2);
    if (p + 4 + n > len) return false;
    if (id == 0x0001) {
      size_t q = p + 4;
      auto take = [&](uint64_t& v) {
        if (q + 8 > p + 4 + n) return false;
        v = le64(extra + q);
        q += 8;
        return true;
      };
      if (big_u && !take(c.usize)) return false;
      if (big_c && !take(c.csize)) return false;
      if (big_o && !take(c.offset)) return false;
      return true;
    }
    p += 4 + n;
  }
  return !(big_u || big_c || big_o);
}

// Reads the entry's data and compares its CRC-32 and size. Returns where
// the data ends.
bool check_data(Reader& in, const Central& c, uint64_t data_at, Report& r) {
  const std::string who = "entry " + shown(c.name);
  if (c.flags & 1) return fail(r, who + ": encrypted, cannot be checked");
  if (c.method != 0 && c.method != 8)
    return fail(r, who + ": compression method " + std::to_string(c.method) + " cannot be checked");
  if (c.method == 0 && c.csize != c.usize) return fail(r, who + ": stored with two different sizes");
  if (data_at > in.size() || c.csize > in.size() - data_at) return fail(r, who + ": data cut off");
  note_data(r, data_at, c.csize);
  std::vector<uint8_t> buf(256 * 1024), out(256 * 1024);
  uLong crc = crc32(0L, Z_NULL, 0);
  uint64_t produced = 0;
  if (c.method == 0) {
    for (uint64_t done = 0; done < c.csize;) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(buf.size(), c.csize - done));
      if (!in.read(data_at + done, buf.data(), n)) return fail(r, who + ": cannot be read");
      crc = crc32(crc, buf.data(), static_cast<uInt>(n));
      done += n;
    }
    produced = c.csize;
  } else {
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) return fail(r, "the decompressor could not be set up");
    uint64_t fed = 0;
    int rc = Z_OK;
    while (rc != Z_STREAM_END) {
      if (z.avail_in == 0) {
        if (fed == c.csize) break;  // input ended before the stream did
        const size_t n = static_cast<size_t>(std::min<uint64_t>(buf.size(), c.csize - fed));
        if (!in.read(data_at + fed, buf.data(), n)) {
          inflateEnd(&z);
          return fail(r, who + ": cannot be read");
        }
        fed += n;
        z.next_in = buf.data();
        z.avail_in = static_cast<uInt>(n);
      }
      z.next_out = out.data();
      z.avail_out = static_cast<uInt>(out.size());
      rc = inflate(&z, Z_NO_FLUSH);
      const size_t got = out.size() - z.avail_out;
      crc = crc32(crc, out.data(), static_cast<uInt>(got));
      produced += got;
      if (rc != Z_OK && rc != Z_STREAM_END) {
        inflateEnd(&z);
        return fail(r, who + ": compressed data is damaged");
      }
      if (produced > c.usize) break;
    }
    const bool whole = rc == Z_STREAM_END && z.avail_in == 0 && fed == c.csize;
    inflateEnd(&z);
    if (!whole && produced <= c.usize) return fail(r, who + ": compressed data is damaged or cut off");
  }
  if (produced != c.usize)
    return fail(r, who + ": holds " + std::to_string(produced) + " bytes, the directory says " +
                       std::to_string(c.usize));
  if (static_cast<uint32_t>(crc) != c.crc) return fail(r, who + ": CRC-32 mismatch");
  return true;
}

}  // namespace

bool check_zip(Reader& in, Report& r) {
  uint64_t end_at = 0;
  std::vector<uint8_t> end;
  if (!find_end(in, end_at, end)) return fail(r, "no end record: the archive is cut off or not a ZIP archive");
  if (le16(&end[4]) != 0 || le16(&end[6]) != 0) return fail(r, "a multi-part archive cannot be checked");
  uint64_t count = le16(&end[10]);
  uint64_t cd_size = le32(&end[12]);
  uint64_t cd_start = le32(&end[16]);
  uint64_t cd_end_limit = end_at;
  if (count == 0xFFFF || cd_size == 0xFFFFFFFF || cd_start == 0xFFFFFFFF) {
    uint8_t loc[20];
    if (end_at < 20 || !in.read(end_at - 20, loc, 20) || le32(loc) != kLocatorSig)
      return fail(r, "the ZIP64 locator is missing");
    const uint64_t rec_at = le64(loc + 8);
    uint8_t rec[56];
    if (!in.read(rec_at, rec, 56) || le32(rec) != kEnd64Sig) return fail(r, "the ZIP64 end record is missing");
    count = le64(rec + 32);
    cd_size = le64(rec + 40);
    cd_start = le64(rec + 48);
    cd_end_limit = rec_at;
  }
  if (cd_start > cd_end_limit || cd_size != cd_end_limit - cd_start)
    return fail(r, "the central directory does not lie where the end record says");

  std::vector<Central> entries;
  entries.reserve(static_cast<size_t>(std::min<uint64_t>(count, 1 << 20)));
  uint64_t p = cd_start;
  for (uint64_t i = 0; i < count; ++i) {
    uint8_t h[46];
    if (p + 46 > cd_end_limit || !in.read(p, h, 46) || le32(h) != kCentralSig)
      return fail(r, "central directory entry " + std::to_string(i + 1) + " is damaged");
    Central c;
    c.flags = le16(h + 8);
    c.method = le16(h + 10);
    c.crc = le32(h + 16);
    c.csize = le32(h + 20);
    c.usize = le32(h + 24);
    const uint16_t name_len = le16(h + 28), extra_len = le16(h + 30), comment_len = le16(h + 32);
    c.offset = le32(h + 42);
    const uint64_t next = p + 46 + name_len + extra_len + comment_len;
    if (next > cd_end_limit) return fail(r, "central directory entry " + std::to_string(i + 1) + " is cut off");
    std::vector<uint8_t> var(name_len + extra_len);
    if (!var.empty() && !in.read(p + 46, var.data(), var.size())) return fail(r, "the central directory cannot be read");
    c.name.assign(reinterpret_cast<const char*>(var.data()), name_len);
    if (!apply_zip64(var.data() + name_len, extra_len, c, c.usize == 0xFFFFFFFF, c.csize == 0xFFFFFFFF,
                     c.offset == 0xFFFFFFFF))
      return fail(r, "entry " + shown(c.name) + ": its ZIP64 sizes are missing");
    entries.push_back(std::move(c));
    p = next;
  }
  if (p != cd_end_limit) return fail(r, "the central directory holds more than the end record counts");

  // The entries follow one another from the archive's start to the central
  // directory: an entry missing from the directory would leave a gap.
  std::vector<size_t> order(entries.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return entries[a].offset < entries[b].offset; });
  uint64_t expect = 0;
  for (size_t k : order) {
    const Central& c = entries[k];
    const std::string who = "entry " + shown(c.name);
    if (c.offset != expect) return fail(r, who + ": does not start where the entry before it ends");
    uint8_t h[30];
    if (!in.read(c.offset, h, 30) || le32(h) != kLocalSig) return fail(r, who + ": its local header is damaged");
    const uint16_t name_len = le16(h + 26), extra_len = le16(h + 28);
    std::string local_name(name_len, '\0');
    if (name_len && !in.read(c.offset + 30, local_name.data(), name_len)) return fail(r, who + ": cut off");
    if (local_name != c.name) return fail(r, who + ": its local header names another entry");
    const uint64_t data_at = c.offset + 30 + name_len + extra_len;
    if (!check_data(in, c, data_at, r)) return false;
    expect = data_at + c.csize;
    if (c.flags & 8) {  // a data descriptor follows: signature optional, ZIP64 sizes possible
      uint8_t d[4];
      if (in.read(expect, d, 4) && le32(d) == kDescriptorSig) expect += 4;
      const bool wide = c.csize >= 0xFFFFFFFF || c.usize >= 0xFFFFFFFF;
      expect += wide ? 20 : 12;
    }
    ++r.entries;
  }
  if (expect != cd_start) return fail(r, "bytes between the last entry and the central directory belong to no entry");
  return true;
}

}  // namespace arcverify::detail
