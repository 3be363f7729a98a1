// The LZH writer on the shared core, with its limits lowered where that
// reaches the chunked and the give-up paths; archives read back by lhasa,
// bsdtar and 7-Zip and compared byte for byte.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cmath>
#include <random>
#include <set>

#include "arc/codes.h"
#include "arcverify/verify.h"
#include "arc/driver.h"
#include "crc16.h"
#include "huffman.h"
#include "lh5_encoder.h"
#include "lzh_names.h"
#include "lzh_test_util.h"
#include "lzh_writer.h"

using namespace lzhtest;

namespace {

// Writes `archive` from `sources` through the core's command run.
int write_lzh(const fs::path& archive, const std::vector<fs::path>& sources, const lzh::LzhLimits& limits,
              std::string* text = nullptr) {
  std::string cmd = "a \"" + archive.string() + "\" -x1r2a2 -n1";
  for (const fs::path& s : sources) cmd += " \"" + s.string() + "\"";
  std::vector<char> out(32768, '\0');
  int rc = zubeto::arc::run_archiver(zubeto::arc::FormatId::Lzh, cmd.c_str(), out.data(),
                                     static_cast<uint32_t>(out.size()), [&] { return lzh::make_lzh_writer(limits); });
  if (text) *text = out.data();
  return rc;
}

// The name under which an absolute source path is stored: without its root.
std::string stored(const fs::path& p) { return p.string().substr(1); }

// Extracts with every reader and checks each result against `want`, the
// tree stored under `top`.
void check_readers(const fs::path& archive, const fs::path& work, const std::map<std::string, std::string>& want,
                   const std::string& top) {
  std::string out;
  ASSERT_EQ(run("lhasa t " + quote(archive), &out), 0) << out;
  for (const Reader& r : readers()) {
    SCOPED_TRACE(r.name);
    const fs::path x = work / (std::string("x-") + r.name);
    ASSERT_EQ(extract(r, archive, x, &out), 0) << out;
    EXPECT_EQ(under(snapshot(x), top + "/"), r.shift_jis_names ? cp932_names(want) : want);
  }
}

lzh::LzhLimits limits(size_t chunk, unsigned threads, uint64_t give_up = 4 << 20) {
  lzh::LzhLimits l;
  l.chunk = chunk;
  l.threads = threads;
  l.give_up_after = give_up;
  return l;
}

// Whole files, files in chunks (with a chunk size that is no multiple of
// the window), more threads than cores, one thread: every way gives the
// same tree back in every reader, and each file is kept the cheaper way.
TEST(LzhWriter, FixtureTreeReadsBackInEveryReader) {
  struct Case {
    const char* name;
    lzh::LzhLimits limits;
  };
  const Case cases[] = {
      {"defaults", lzh::LzhLimits{}},
      {"small chunks, one thread", limits(64 * 1024, 1)},
      {"odd chunks, four threads", limits(10007, 4, 40000)},
  };
  TempDir t;
  make_fixture(t.path / "src");
  const auto want = snapshot(t.path / "src");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path dir = t.path / c.name;
    fs::create_directories(dir);
    std::string text;
    ASSERT_EQ(write_lzh(dir / "a.lzh", {t.path / "src"}, c.limits, &text), 0) << text;
    check_readers(dir / "a.lzh", dir, want, stored(t.path / "src"));

    std::map<std::string, std::string> method;
    for (const StoredEntry& e : list_headers(dir / "a.lzh")) method[e.name.substr(stored(t.path).size() + 1)] = e.method;
    EXPECT_EQ(method["src/random.bin"], "-lh0-");
    EXPECT_EQ(method["src/zero"], "-lh0-");
    EXPECT_EQ(method["src/one"], "-lh0-");
    EXPECT_EQ(method["src/big.txt"], "-lh5-");
    EXPECT_EQ(method["src/mixed.bin"], "-lh5-");
    EXPECT_EQ(method["src/empty folder/"], "-lhd-");
  }
}

// A file that does not shrink is kept as it is: a large one found part way
// (after give_up_after bytes) or only at its end in small chunks, or at
// once when its first 64 KiB do not shrink; a file that shrinks only after
// an incompressible start is still compressed when that start is shorter
// than 64 KiB or the chunks are small.
TEST(LzhWriter, FilesKeptAsTheyAreWhenCompressionDoesNotPay) {
  TempDir t;
  std::string text;
  for (int i = 0; text.size() < 600000; ++i) text += "line " + std::to_string(i % 97) + " of some text\n";
  write_file(t.path / "src/random-long.bin", random_bytes(700000, 7));
  write_file(t.path / "src/random-short.bin", random_bytes(150000, 8));
  write_file(t.path / "src/late.bin", random_bytes(120000, 9) + text);
  write_file(t.path / "src/early.bin", random_bytes(30000, 10) + text);
  struct Case {
    const char* name;
    lzh::LzhLimits limits;
    std::map<std::string, std::string> method;
  };
  const Case cases[] = {
      {"small chunks", limits(32768, 2, 200000),
       {{"random-long.bin", "-lh0-"}, {"random-short.bin", "-lh0-"}, {"late.bin", "-lh5-"}, {"early.bin", "-lh5-"}}},
      {"whole files", limits(1 << 20, 2),
       {{"random-long.bin", "-lh0-"}, {"random-short.bin", "-lh0-"}, {"late.bin", "-lh0-"}, {"early.bin", "-lh5-"}}},
      {"first chunk decides", limits(128 * 1024, 3),
       {{"random-long.bin", "-lh0-"}, {"random-short.bin", "-lh0-"}, {"late.bin", "-lh0-"}, {"early.bin", "-lh5-"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path dir = t.path / c.name;
    fs::create_directories(dir);
    ASSERT_EQ(write_lzh(dir / "a.lzh", {t.path / "src"}, c.limits), 0);
    check_readers(dir / "a.lzh", dir, snapshot(t.path / "src"), stored(t.path / "src"));
    std::map<std::string, StoredEntry> by_name;
    for (const StoredEntry& e : list_headers(dir / "a.lzh")) by_name[fs::path(e.name).filename().string()] = e;
    for (const auto& [file, method] : c.method) {
      SCOPED_TRACE(file);
      EXPECT_EQ(by_name[file].method, method);
      EXPECT_EQ(by_name[file].original, fs::file_size(t.path / "src" / file));
    }
  }
}

TEST(LzhWriter, TimesAndPermissionsAreKept) {
  TempDir t;
  write_file(t.path / "src/run.sh", "#!/bin/sh\n");
  write_file(t.path / "src/ro.txt", "read only\n");
  ::chmod((t.path / "src/run.sh").c_str(), 0750);
  ::chmod((t.path / "src/ro.txt").c_str(), 0444);
  for (const char* n : {"src/run.sh", "src/ro.txt"}) {
    struct timespec ts[2] = {{1600000000, 0}, {1600000000, 0}};
    ::utimensat(AT_FDCWD, (t.path / n).c_str(), ts, 0);
  }
  ASSERT_EQ(write_lzh(t.path / "a.lzh", {t.path / "src"}, {}), 0);
  // 7-Zip restores times but not Unix permissions.
  for (const Reader& r : readers()) {
    SCOPED_TRACE(r.name);
    const fs::path x = t.path / r.name;
    ASSERT_EQ(extract(r, t.path / "a.lzh", x), 0);
    const fs::path top = x / stored(t.path / "src");
    struct stat st;
    ASSERT_EQ(::stat((top / "run.sh").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 1600000000);
    if (std::string(r.name) == "7-Zip") continue;
    EXPECT_EQ(st.st_mode & 07777, 0750u);
    ASSERT_EQ(::stat((top / "ro.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0444u);
  }
}

// Each entry carries the headers its name and its mode need, and no more:
// a name that its Shift-JIS fields spell exactly (plain ASCII) carries no
// code page and no UTF-16 name, a mixed one only the UTF-16 part that is
// not ASCII; the usual attributes are left out, any other kept; the
// permissions are always kept. A folder entry, but for its permissions
// (which jlha does not keep), is smaller than the one jlha writes (which
// adds an empty file name field). Every reader, ours included, reads the
// tree back.
TEST(LzhHeader, EachEntryCarriesOnlyTheHeadersItNeeds) {
  const std::string deep = "long-folder-name-0/long-folder-name-1/long-folder-name-2/long-folder-name-3/"
                           "long-folder-name-4/long-folder-name-5/long-folder-name-6/long-folder-name-7";
  struct Case {
    const char* what;
    std::string path;  // under src/; a trailing "/" makes a folder
    unsigned mode;
    std::set<int> headers;  // extended header types the entry carries
  };
  const Case cases[] = {
      {"ASCII file", "docs/a.txt", 0644, {0x00, 0x01, 0x02, 0x50}},
      {"ASCII folder", "docs/", 0755, {0x00, 0x02, 0x50}},
      {"ASCII file at the top of the stored tree", "top.txt", 0644, {0x00, 0x01, 0x02, 0x50}},
      {"Japanese file in a Japanese folder", "資料/会議.txt", 0644, {0x00, 0x01, 0x02, 0x44, 0x45, 0x46, 0x50}},
      {"Japanese folder", "資料/", 0755, {0x00, 0x02, 0x45, 0x46, 0x50}},
      {"ASCII file in a Japanese folder", "資料/a.txt", 0644, {0x00, 0x01, 0x02, 0x45, 0x46, 0x50}},
      {"Japanese file in an ASCII folder", "docs/会議.txt", 0644, {0x00, 0x01, 0x02, 0x44, 0x46, 0x50}},
      {"empty Japanese folder", "資料/空/", 0755, {0x00, 0x02, 0x45, 0x46, 0x50}},
      {"long ASCII path", deep + "/f.txt", 0644, {0x00, 0x01, 0x02, 0x50}},
      {"long ASCII folder", deep + "/", 0755, {0x00, 0x02, 0x50}},
      {"read-only file: attributes and permissions", "ro.txt", 0444, {0x00, 0x01, 0x02, 0x40, 0x50}},
      {"executable: permissions", "run.sh", 0755, {0x00, 0x01, 0x02, 0x50}},
      {"hidden file: attributes", ".hidden", 0644, {0x00, 0x01, 0x02, 0x40, 0x50}},
      {"private folder: permissions", "private/", 0700, {0x00, 0x02, 0x50}},
      {"hidden folder: attributes", ".config/", 0755, {0x00, 0x02, 0x40, 0x50}},
  };
  TempDir t;
  for (const Case& c : cases) {
    const fs::path p = t.path / "src" / c.path;
    if (c.path.back() == '/') fs::create_directories(p);
    else write_file(p, std::string("content of ") + c.what);
  }
  // Modes last, from the deepest path up, so that no folder is closed
  // before what lies in it is written.
  for (auto c = std::rbegin(cases); c != std::rend(cases); ++c) ::chmod((t.path / "src" / c->path).c_str(), c->mode);
  const fs::path archive = t.path / "a.lzh";
  ASSERT_EQ(write_lzh(archive, {t.path / "src"}, {}), 0);

  const std::string top = stored(t.path / "src") + "/";
  std::map<std::string, StoredEntry> by_name;
  const std::vector<StoredEntry> entries = list_headers(archive);
  for (const StoredEntry& e : entries)
    if (e.name.size() > top.size() && e.name.rfind(top, 0) == 0) by_name[e.name.substr(top.size())] = e;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto it = by_name.find(to_cp932(c.path));
    ASSERT_NE(it, by_name.end()) << c.path;
    const StoredEntry& e = it->second;
    std::set<int> got;
    for (const auto& [type, data] : e.ext) got.insert(type);
    EXPECT_EQ(got, c.headers);
    EXPECT_EQ(e.os, 'W');
    if (got.count(0x46)) {
      EXPECT_EQ(e.ext.at(0x46), std::string("\xA4\x03\0\0", 4));
    }
    const bool hidden = fs::path(c.path.back() == '/' ? c.path.substr(0, c.path.size() - 1) : c.path)
                            .filename().string()[0] == '.';
    if (got.count(0x40)) {
      EXPECT_EQ(e.ext.at(0x40)[0] & 0x03, (c.mode & 0200 ? 0 : 0x01) | (hidden ? 0x02 : 0));
    }
    if (got.count(0x50)) {
      EXPECT_EQ(static_cast<uint8_t>(e.ext.at(0x50)[0]) | static_cast<uint8_t>(e.ext.at(0x50)[1]) << 8,
                static_cast<int>((c.path.back() == '/' ? 0040000 : 0100000) | c.mode));
    }
    if (c.path.back() == '/') {
      EXPECT_EQ(e.method, "-lhd-");
      // jlha's folder entry, which keeps no mode and no UTF-16 name: the
      // fixed part, the header CRC, an empty file name field and the
      // folder field. Ours, for a folder of the same kind, is smaller.
      const size_t jlha = 26 + 5 + 3 + 3 + e.ext.at(0x02).size();
      if (c.headers == std::set<int>{0x00, 0x02, 0x50}) {
        const size_t permissions = 3 + e.ext.at(0x50).size();
        EXPECT_LT(e.header_size - permissions, jlha);
      }
    }
  }
  // The parts that are not ASCII, exactly, in UTF-16.
  const StoredEntry& mixed = by_name[to_cp932("資料/a.txt")];
  EXPECT_EQ(mixed.ext.at(0x01), "a.txt");
  const std::string dir16 = mixed.ext.at(0x45);
  EXPECT_EQ(dir16.substr(dir16.size() - 6), std::string("\xc7\x8c\x99\x65/\0", 6));  // 資料/
  EXPECT_EQ(by_name[to_cp932("docs/会議.txt")].ext.at(0x44), std::string("\x1a\x4f\x70\x8b.\0t\0x\0t\0", 12));

  check_readers(archive, t.path, snapshot(t.path / "src"), stored(t.path / "src"));
  const arcverify::Report r = arcverify::verify_file(archive.string(), arcverify::Format::Lzh);
  EXPECT_TRUE(r.ok) << r.problem;
  EXPECT_EQ(r.entries, entries.size());
}

// Block boundaries, single-symbol tables, search depths and block
// splitting: each setting must still give data that every reader decodes.
TEST(LzhWriter, EncoderSettingsAllDecode) {
  struct Case {
    const char* name;
    lzh::Lh5Options options;
  };
  auto o = [](int chain, int nice, int block, bool split, bool cost) {
    lzh::Lh5Options x;
    x.max_chain = chain;
    x.nice_length = nice;
    x.skip_length = nice;
    x.block_codes = block;
    x.split_blocks = split;
    x.cost_parse = cost;
    return x;
  };
  const Case cases[] = {
      {"one code per block", o(48, 128, 1, false, true)},
      {"two codes per block", o(48, 128, 2, false, false)},
      {"three codes per block", o(48, 128, 3, true, true)},
      {"largest blocks, no split", o(48, 128, 65535, false, true)},
      {"largest blocks, split", o(48, 128, 65535, true, true)},
      {"lazy parse", o(48, 128, 65535, true, false)},
      {"shallow search", o(1, 3, 32768, true, true)},
      {"shallow lazy search", o(1, 3, 32768, true, false)},
      {"deep search", o(4096, 256, 32768, true, true)},
  };
  TempDir t;
  std::string text;
  for (int i = 0; text.size() < 300000; ++i) text += "word" + std::to_string(i % 37) + (i % 11 ? " " : "\n");
  write_file(t.path / "src/text.txt", text);
  write_file(t.path / "src/runs.bin", std::string(70000, 'z') + random_bytes(3000, 3) + std::string(9000, 'q'));
  write_file(t.path / "src/few.txt", "abcabcabcabcabcabc");
  // Text, then bytes of another kind: a block worth splitting.
  std::string shift = text.substr(0, 100000);
  for (int i = 0; i < 100000; ++i) shift += static_cast<char>(0x80 + (i * 7 % 13) * (i % 3));
  write_file(t.path / "src/shift.bin", shift);
  // Blocks made only of equal matches: one symbol in each table.
  std::string period;
  for (int i = 0; i < 1000; ++i) period += "abcdefgh";
  write_file(t.path / "src/period.txt", period);
  write_file(t.path / "src/same.txt", std::string(1000, 'z'));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path dir = t.path / c.name;
    fs::create_directories(dir);
    lzh::LzhLimits l = limits(128 * 1024, 2);
    l.options = c.options;
    ASSERT_EQ(write_lzh(dir / "a.lzh", {t.path / "src"}, l), 0);
    check_readers(dir / "a.lzh", dir, snapshot(t.path / "src"), stored(t.path / "src"));
  }
}

// A file larger than an entry can hold is left out and named; the rest
// of the archive is kept, and the readers get it whole. A job whose only
// file is too large has nothing to archive. (The limit is lowered: a real
// file of 4 GiB is out of reach of a test.)
TEST(LzhWriter, FileTooLargeForAnEntryIsLeftOutTheRestKept) {
  TempDir t;
  write_file(t.path / "src/small.txt", "small");
  write_file(t.path / "src/big.bin", std::string(5000, 'b'));
  lzh::LzhLimits l;
  l.max_size = 4096;
  std::string text;
  EXPECT_EQ(write_lzh(t.path / "a.lzh", {t.path / "src"}, l, &text), ARC_E_SOURCE_UNREADABLE) << text;
  EXPECT_NE(text.find("left out: " + (t.path / "src/big.bin").string() + " (file too large"), std::string::npos)
      << text;
  std::map<std::string, std::string> want = snapshot(t.path / "src");
  want.erase("big.bin");
  check_readers(t.path / "a.lzh", t.path, want, stored(t.path / "src"));

  EXPECT_EQ(write_lzh(t.path / "b.lzh", {t.path / "src/big.bin"}, l, &text), ARC_E_NOTHING) << text;
  EXPECT_FALSE(fs::exists(t.path / "b.lzh"));
  EXPECT_NE(text.find("big.bin"), std::string::npos) << text;
}

// A header whose size has a zero low byte would read as the end of the
// archive: it is padded, and the readers still find the entry.
TEST(LzhHeader, SizeWithZeroLowByteIsPadded) {
  lzh::HeaderFields f;
  f.name = lzh::stored_name("x", false);
  const size_t base = lzh::build_header(f).size();
  // Each ASCII character adds one byte.
  for (size_t extra = 0; extra < 256; ++extra) {
    f.name = lzh::stored_name(std::string(1 + extra, 'n'), false);
    std::vector<uint8_t> h = lzh::build_header(f);
    ASSERT_NE(h.size() & 0xFF, 0u);
    ASSERT_EQ(h[0] | (h[1] << 8), static_cast<int>(h.size()));
    const uint16_t stored_crc = static_cast<uint16_t>(h[27] | (h[28] << 8));
    h[27] = h[28] = 0;
    ASSERT_EQ(lzh::crc16_update(0, h.data(), h.size()), stored_crc) << "the header CRC covers the whole header";
  }
  (void)base;
  TempDir t;
  for (size_t extra = 0; extra < 256; extra += 1) {
    f.name = lzh::stored_name(std::string(1 + extra, 'n'), false);
    if ((lzh::build_header(f).size() & 0xFF) == 1) {
      write_file(t.path / "src" / std::string(1 + extra, 'n'), "data");
      break;
    }
  }
  ASSERT_EQ(write_lzh(t.path / "a.lzh", {t.path / "src"}, {}), 0);
  check_readers(t.path / "a.lzh", t.path, snapshot(t.path / "src"), stored(t.path / "src"));
}

// Pieces of any bit length join into the same bytes as one piece of all
// their bits.
TEST(BitJoin, PiecesJoinWithoutGaps) {
  std::mt19937 gen(5);
  std::vector<bool> all;
  std::vector<uint8_t> joined;
  lzh::BitJoin join;
  for (int piece = 0; piece < 200; ++piece) {
    lzh::Bits b;
    const size_t n = gen() % 40;  // bits, 0 to 39
    std::vector<bool> bits;
    for (size_t i = 0; i < n; ++i) bits.push_back(gen() & 1);
    for (size_t i = 0; i + 8 <= n; i += 8) {
      uint8_t v = 0;
      for (size_t k = 0; k < 8; ++k) v = static_cast<uint8_t>(v << 1 | bits[i + k]);
      b.bytes.push_back(v);
    }
    for (size_t i = n / 8 * 8; i < n; ++i) b.tail = static_cast<uint8_t>(b.tail << 1 | bits[i]), b.tail_bits++;
    join.append(b, joined);
    all.insert(all.end(), bits.begin(), bits.end());
  }
  join.finish(joined);
  while (all.size() % 8) all.push_back(false);
  std::vector<uint8_t> want;
  for (size_t i = 0; i < all.size(); i += 8) {
    uint8_t v = 0;
    for (size_t k = 0; k < 8; ++k) v = static_cast<uint8_t>(v << 1 | all[i + k]);
    want.push_back(v);
  }
  EXPECT_EQ(joined, want);
}

TEST(Huffman, LengthsStayWithinLimitAndCodeIsComplete) {
  // Fibonacci frequencies give the deepest possible tree.
  std::vector<uint32_t> freq(40);
  freq[0] = freq[1] = 1;
  for (size_t i = 2; i < freq.size(); ++i) freq[i] = freq[i - 1] + freq[i - 2];
  std::vector<uint8_t> len(freq.size());
  ASSERT_EQ(lzh::huffman_lengths(freq.data(), static_cast<int>(freq.size()), 16, len.data(), nullptr), 40);
  double kraft = 0;
  for (uint8_t l : len) {
    EXPECT_GE(l, 1);
    EXPECT_LE(l, 16);
    kraft += std::ldexp(1.0, -l);
  }
  EXPECT_DOUBLE_EQ(kraft, 1.0);
  // More frequent symbols never get longer codes.
  for (size_t i = 1; i < freq.size(); ++i) EXPECT_LE(len[i], len[i - 1]);

  uint32_t one[5] = {0, 0, 7, 0, 0};
  int only = -1;
  EXPECT_EQ(lzh::huffman_lengths(one, 5, 16, len.data(), &only), 1);
  EXPECT_EQ(only, 2);
}

TEST(Crc16, KnownValuesAtEveryLength) {
  const char* s = "123456789";
  EXPECT_EQ(lzh::crc16_update(0, reinterpret_cast<const uint8_t*>(s), 9), 0xBB3D);
  // Eight bytes at a time must agree with one at a time, whatever the split.
  const std::string data = random_bytes(1000, 4);
  const auto* d = reinterpret_cast<const uint8_t*>(data.data());
  for (size_t n : {0u, 1u, 7u, 8u, 9u, 15u, 16u, 17u, 999u, 1000u}) {
    uint16_t bytewise = 0;
    for (size_t i = 0; i < n; ++i) bytewise = lzh::crc16_update(bytewise, d + i, 1);
    EXPECT_EQ(lzh::crc16_update(0, d, n), bytewise) << n;
  }
}

}  // namespace
