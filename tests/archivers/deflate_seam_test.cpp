// The shared deflate (built on one back end: libdeflate or zlib), read back
// by both inflaters, zlib's and libdeflate's; and joining whole-buffer
// deflate streams into one: every kind of block (stored, fixed, dynamic)
// at every seam, inflated back by zlib.
#include <gtest/gtest.h>
#include <libdeflate.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "arc/deflate.h"
#include "fixture.h"

namespace {

std::vector<char> deflate_whole(const std::string& in, int level) {
  libdeflate_compressor* c = libdeflate_alloc_compressor(level);
  std::vector<char> out(libdeflate_deflate_compress_bound(c, in.size()));
  size_t n = libdeflate_deflate_compress(c, in.data(), in.size(), out.data(), out.size());
  libdeflate_free_compressor(c);
  out.resize(n);
  return out;
}

// Inflates a raw deflate stream; returns false unless it ends exactly at
// the end of `data`.
bool inflate_all(const std::vector<char>& data, std::string& out) {
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) return false;
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  char buf[65536];
  int rc;
  do {
    z.next_out = reinterpret_cast<Bytef*>(buf);
    z.avail_out = sizeof buf;
    rc = inflate(&z, Z_NO_FLUSH);
    out.append(buf, sizeof buf - z.avail_out);
  } while (rc == Z_OK);
  bool ok = rc == Z_STREAM_END && z.avail_in == 0;
  inflateEnd(&z);
  return ok;
}

std::string text(size_t n) {
  std::string s;
  while (s.size() < n) s += "line " + std::to_string(s.size() % 7919) + " of some text\n";
  s.resize(n);
  return s;
}

TEST(DeflateSeam, JoinedStreamsInflateToTheJoinedInput) {
  // Pieces that give stored blocks (noise, level 0), fixed blocks (tiny
  // inputs), dynamic blocks (text), empty streams, and end bits at every
  // position in the last byte.
  std::vector<std::string> pieces = {"", "a", "ab", text(100), arctest::random_bytes(70000, 1), text(300000),
                                     arctest::random_bytes(3, 2)};
  for (int i = 0; i < 16; ++i) pieces.push_back(text(static_cast<size_t>(37 + i * 13)));
  for (int level : {0, 1, 6, 12}) {
    SCOPED_TRACE(level);
    std::vector<char> joined;
    std::string want;
    for (size_t i = 0; i < pieces.size(); ++i) {
      std::vector<char> s = deflate_whole(pieces[i], level);
      if (i + 1 < pieces.size()) {
        ASSERT_TRUE(zubeto::arc::continue_stream(s)) << "piece " << i;
      }
      joined.insert(joined.end(), s.begin(), s.end());
      want += pieces[i];
    }
    std::string got;
    ASSERT_TRUE(inflate_all(joined, got));
    EXPECT_TRUE(got == want);
  }
}

TEST(DeflateSeam, RefusesWhatIsNoCompleteStream) {
  std::vector<char> whole = deflate_whole(text(5000), 6);
  std::vector<std::vector<char>> bad = {
      {},
      std::vector<char>(whole.begin(), whole.end() - 1),  // cut short
      [&] { auto v = whole; v.push_back(0); return v; }(),  // a byte too many
      {static_cast<char>(0x07)},                            // reserved block type
      {0x01, 0x05, 0x00, 0x00, 0x00},                       // stored, LEN and NLEN disagree
  };
  for (size_t i = 0; i < bad.size(); ++i) {
    SCOPED_TRACE(i);
    std::vector<char> copy = bad[i];
    EXPECT_FALSE(zubeto::arc::continue_stream(copy));
    EXPECT_EQ(copy, bad[i]);
  }
}

// The stream inflated by libdeflate (the other inflater); false unless it
// is one complete stream of exactly `want_size` bytes.
bool inflate_libdeflate(const std::vector<char>& data, size_t want_size, std::string& out) {
  libdeflate_decompressor* d = libdeflate_alloc_decompressor();
  out.assign(want_size, '\0');
  size_t in_used = 0, got = 0;
  const libdeflate_result r =
      libdeflate_deflate_decompress_ex(d, data.data(), data.size(), out.data(), out.size(), &in_used, &got);
  libdeflate_free_decompressor(d);
  return r == LIBDEFLATE_SUCCESS && in_used == data.size() && got == want_size;
}

TEST(Deflater, IsBuiltOnItsBackEnd) { EXPECT_STREQ(zubeto::arc::Deflater::back_end(), ZUBETO_DEFLATE_BACK_END); }

// Whole buffers and buffers cut into parts compressed apart (each part
// with the bytes before it as history), at the levels the writers use:
// both inflaters give back the input, and no stream is above the bound.
TEST(Deflater, StreamsInflateToTheirInputWithBothInflaters) {
  std::string mixed = text(200000) + arctest::random_bytes(90000, 4) + text(150000);
  const std::vector<std::string> inputs = {"", "a", text(100), arctest::random_bytes(70000, 1), text(300000), mixed};
  for (int level : {1, 6, 9}) {
    zubeto::arc::Deflater d(level);
    for (size_t i = 0; i < inputs.size(); ++i) {
      SCOPED_TRACE("level " + std::to_string(level) + ", input " + std::to_string(i));
      const std::string& in = inputs[i];
      std::vector<char> whole(zubeto::arc::Deflater::bound(in.size()));
      const size_t n = d.compress(in.data(), in.size(), whole.data(), whole.size());
      ASSERT_GT(n, 0u);
      whole.resize(n);
      EXPECT_LE(n, in.size() + in.size() / 512 + 64);
      std::string a, b;
      ASSERT_TRUE(inflate_all(whole, a));
      EXPECT_TRUE(a == in);
      ASSERT_TRUE(inflate_libdeflate(whole, in.size(), b));
      EXPECT_TRUE(b == in);

      // Parts of 64 KiB (the last one shorter), joined.
      std::vector<char> joined;
      const size_t part = 65536;
      size_t at = 0;
      do {
        const size_t len = std::min(part, in.size() - at);
        const size_t hist = std::min<size_t>(at, 32768);
        std::vector<char> out(zubeto::arc::Deflater::part_bound(len));
        const size_t got =
            d.compress_part(in.data() + at, len, in.data() + at - hist, hist, at + len == in.size(), out.data(), out.size());
        ASSERT_GT(got, 0u);
        joined.insert(joined.end(), out.begin(), out.begin() + static_cast<std::ptrdiff_t>(got));
        at += len;
      } while (at < in.size());
      a.clear();
      ASSERT_TRUE(inflate_all(joined, a));
      EXPECT_TRUE(a == in);
      ASSERT_TRUE(inflate_libdeflate(joined, in.size(), b));
      EXPECT_TRUE(b == in);
    }
  }
}

TEST(Deflater, ChecksumsAgreeWithZlibAndCombine) {
  const std::string a = text(100000), b = arctest::random_bytes(5000, 3);
  const std::string ab = a + b;
  const uint32_t want = static_cast<uint32_t>(::crc32(0, reinterpret_cast<const Bytef*>(ab.data()), static_cast<uInt>(ab.size())));
  EXPECT_EQ(zubeto::arc::crc32(0, ab.data(), ab.size()), want);
  EXPECT_EQ(zubeto::arc::crc32(zubeto::arc::crc32(0, a.data(), a.size()), b.data(), b.size()), want);
  EXPECT_EQ(zubeto::arc::crc32_combine(zubeto::arc::crc32(0, a.data(), a.size()), zubeto::arc::crc32(0, b.data(), b.size()), b.size()), want);
}

}  // namespace
