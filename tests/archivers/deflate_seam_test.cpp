// Joining whole-buffer deflate streams into one: every kind of block
// (stored, fixed, dynamic) at every seam, inflated back by zlib.
#include <gtest/gtest.h>
#include <libdeflate.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "deflate_seam.h"
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
        ASSERT_TRUE(zubeto::zip::continue_stream(s)) << "piece " << i;
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
    EXPECT_FALSE(zubeto::zip::continue_stream(copy));
    EXPECT_EQ(copy, bad[i]);
  }
}

}  // namespace
