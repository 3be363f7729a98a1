// CAB: the header, every CAB folder's data blocks (each checksum, each
// MSZIP block inflated to its stated size), and every file inside its CAB
// folder's data.
#include <zlib.h>

#include "internal.h"

namespace arcverify::detail {
namespace {

constexpr uint16_t kFlagPrev = 0x0001, kFlagNext = 0x0002, kFlagReserve = 0x0004;
constexpr size_t kMaxBlock = 32768;

// The data block checksum: four bytes at a time as little-endian words,
// XORed; the last one to three bytes folded in with the first one highest.
uint32_t checksum(const uint8_t* p, size_t n, uint32_t seed) {
  uint32_t sum = seed;
  size_t i = 0;
  for (; i + 4 <= n; i += 4) sum ^= le32(p + i);
  uint32_t tail = 0;
  for (; i < n; ++i) tail = (tail << 8) | p[i];
  return sum ^ tail;
}

struct Folder {
  uint32_t start = 0;
  uint16_t blocks = 0;
  uint16_t compression = 0;
  uint64_t data_size = 0;  // uncompressed bytes, found by reading the blocks
};

}  // namespace

bool check_cab(Reader& in, Report& r) {
  uint8_t h[36];
  if (!in.read(0, h, 36) || std::memcmp(h, "MSCF", 4) != 0) return fail(r, "no cabinet header");
  const uint32_t cabinet = le32(h + 8);
  if (cabinet != in.size())
    return fail(r, "the cabinet says " + std::to_string(cabinet) + " bytes, the file has " + std::to_string(in.size()));
  const uint32_t files_at = le32(h + 16);
  const uint16_t nfolders = le16(h + 26), nfiles = le16(h + 28), flags = le16(h + 30);
  if (flags & (kFlagPrev | kFlagNext)) return fail(r, "a cabinet of a set cannot be checked on its own");
  uint64_t p = 36;
  size_t folder_reserve = 0, data_reserve = 0;
  if (flags & kFlagReserve) {
    uint8_t res[4];
    if (!in.read(p, res, 4)) return fail(r, "the header is cut off");
    p += 4 + le16(res);
    folder_reserve = res[2];
    data_reserve = res[3];
  }
  std::vector<Folder> folders(nfolders);
  for (Folder& f : folders) {
    uint8_t e[8];
    if (!in.read(p, e, 8)) return fail(r, "the folder table is cut off");
    f.start = le32(e);
    f.blocks = le16(e + 4);
    f.compression = le16(e + 6);
    p += 8 + folder_reserve;
  }

  // Every folder's blocks, in order; a block's MSZIP data continues the
  // block before it (its history is the dictionary of the next).
  std::vector<uint8_t> packed(0xFFFF), out(kMaxBlock);
  for (size_t fi = 0; fi < folders.size(); ++fi) {
    Folder& f = folders[fi];
    const std::string where = "folder " + std::to_string(fi + 1);
    const int type = f.compression & 0x0F;
    if (type != 0 && type != 1)
      return fail(r, where + ": compression type " + std::to_string(type) + " cannot be checked");
    uint64_t q = f.start;
    std::vector<uint8_t> history;
    z_stream z{};
    if (type == 1 && inflateInit2(&z, -15) != Z_OK) return fail(r, "the decompressor could not be set up");
    for (uint32_t b = 0; b < f.blocks; ++b) {
      const std::string block = where + ", data block " + std::to_string(b + 1);
      uint8_t d[8];
      if (!in.read(q, d, 8)) {
        if (type == 1) inflateEnd(&z);
        return fail(r, block + ": cut off");
      }
      const uint32_t sum = le32(d);
      const uint16_t cb = le16(d + 4), ucb = le16(d + 6);
      const uint64_t at = q + 8 + data_reserve;
      if (!in.read(at, packed.data(), cb)) {
        if (type == 1) inflateEnd(&z);
        return fail(r, block + ": cut off");
      }
      note_data(r, at, cb);
      // No checksum is written as zero.
      if (sum != 0 && checksum(d + 4, 4, checksum(packed.data(), cb, 0)) != sum) {
        if (type == 1) inflateEnd(&z);
        return fail(r, block + ": checksum mismatch");
      }
      if (ucb > kMaxBlock) {
        if (type == 1) inflateEnd(&z);
        return fail(r, block + ": larger than a block can be");
      }
      if (type == 0) {
        if (cb != ucb) return fail(r, block + ": stored with two different sizes");
      } else {
        bool ok = cb >= 2 && packed[0] == 'C' && packed[1] == 'K' && inflateReset(&z) == Z_OK;
        if (ok && !history.empty())
          ok = inflateSetDictionary(&z, history.data(), static_cast<uInt>(history.size())) == Z_OK;
        if (ok) {
          z.next_in = packed.data() + 2;
          z.avail_in = cb - 2u;
          z.next_out = out.data();
          z.avail_out = static_cast<uInt>(out.size());
          const int rc = inflate(&z, Z_FINISH);
          ok = rc == Z_STREAM_END && z.avail_in == 0 && out.size() - z.avail_out == ucb;
        }
        if (!ok) {
          inflateEnd(&z);
          return fail(r, block + ": compressed data is damaged");
        }
        history.assign(out.begin(), out.begin() + ucb);
      }
      f.data_size += ucb;
      q = at + cb;
    }
    if (type == 1) inflateEnd(&z);
  }

  // Files: each inside its folder's data.
  p = files_at;
  for (uint16_t i = 0; i < nfiles; ++i) {
    uint8_t e[16];
    if (!in.read(p, e, 16)) return fail(r, "the file table is cut off");
    const uint32_t fsize = le32(e), offset = le32(e + 4);
    const uint16_t folder = le16(e + 8);
    std::string name;
    uint64_t q = p + 16;
    for (;;) {
      char c;
      if (name.size() > 1024 || !in.read(q++, &c, 1)) return fail(r, "the file table is cut off");
      if (c == '\0') break;
      name += c;
    }
    p = q;
    const std::string who = "entry " + shown(name);
    if (folder >= folders.size()) return fail(r, who + ": names a folder the cabinet does not have");
    if (uint64_t(offset) + fsize > folders[folder].data_size) return fail(r, who + ": lies beyond its folder's data");
    ++r.entries;
  }
  return true;
}

}  // namespace arcverify::detail
