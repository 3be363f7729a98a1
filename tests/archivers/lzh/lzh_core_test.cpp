// The LZH core, read back by lhasa and bsdtar.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cmath>

#include <algorithm>
#include <numeric>

#include "crc16.h"
#include "huffman.h"
#include "lzh_test_util.h"
#include "lzh_writer.h"

using namespace lzhtest;

namespace {

// Entries for everything under `root`, named "<top>/<relative path>",
// folders before their contents.
std::vector<lzh::Entry> entries_for(const fs::path& root, const std::string& top) {
  std::vector<fs::path> paths{root};
  for (auto& e : fs::recursive_directory_iterator(root)) paths.push_back(e.path());
  std::sort(paths.begin() + 1, paths.end());
  std::vector<lzh::Entry> out;
  for (const fs::path& p : paths) {
    struct stat st;
    if (::lstat(p.c_str(), &st) != 0) continue;
    lzh::Entry e;
    std::string rel = fs::relative(p, root).generic_string();
    e.name = rel == "." ? top : top + "/" + rel;
    e.source = p.string();
    e.is_folder = S_ISDIR(st.st_mode);
    e.size = static_cast<uint64_t>(st.st_size);
    e.mtime = st.st_mtime;
    e.mode = st.st_mode & 07777;
    out.push_back(e);
  }
  return out;
}

std::map<std::string, std::string> under(const std::map<std::string, std::string>& m, const std::string& prefix) {
  std::map<std::string, std::string> r;
  for (auto& [k, v] : m)
    if (k.rfind(prefix, 0) == 0 && k.size() > prefix.size()) r[k.substr(prefix.size())] = v;
  return r;
}

struct Readers {
  // Extracts with both readers and checks each result against `want`.
  static void check(const fs::path& archive, const fs::path& work, const std::map<std::string, std::string>& want,
                    const std::string& top) {
    std::string out;
    ASSERT_EQ(run("lhasa t " + quote(archive), &out), 0) << out;
    fs::create_directories(work / "lhasa");
    ASSERT_EQ(run("cd " + quote(work / "lhasa") + " && lhasa xq " + quote(archive), &out), 0) << out;
    EXPECT_EQ(under(snapshot(work / "lhasa"), top + "/"), want);
    fs::create_directories(work / "bsdtar");
    ASSERT_EQ(run("cd " + quote(work / "bsdtar") + " && LC_ALL=C.UTF-8 bsdtar xf " + quote(archive), &out), 0) << out;
    EXPECT_EQ(under(snapshot(work / "bsdtar"), top + "/"), want);
  }
};

TEST(LzhArchive, FixtureTreeReadsBackByteForByte) {
  TempDir t;
  make_fixture(t.path / "src");
  const fs::path archive = t.path / "out.lzh";
  std::vector<std::string> skipped;
  std::string error;
  ASSERT_TRUE(lzh::write_archive(archive.string(), entries_for(t.path / "src", "tree"), {}, &skipped, &error)) << error;
  EXPECT_TRUE(skipped.empty());
  Readers::check(archive, t.path, snapshot(t.path / "src"), "tree");

  // Random data is kept stored, text is compressed, folders are folder entries.
  std::map<std::string, std::string> method;
  for (const StoredEntry& e : list_headers(archive)) method[e.name] = e.method;
  EXPECT_EQ(method["tree/random.bin"], "-lh0-");
  EXPECT_EQ(method["tree/zero"], "-lh0-");
  EXPECT_EQ(method["tree/one"], "-lh0-");
  EXPECT_EQ(method["tree/big.txt"], "-lh5-");
  EXPECT_EQ(method["tree/mixed.bin"], "-lh5-");
  EXPECT_EQ(method["tree/empty folder/"], "-lhd-");
  EXPECT_EQ(method["tree/sub dir/日本語のファイル名.txt"], "-lh5-");
}

TEST(LzhArchive, TimesAndPermissionsAreKept) {
  TempDir t;
  write_file(t.path / "src/run.sh", "#!/bin/sh\n");
  write_file(t.path / "src/ro.txt", "read only\n");
  ::chmod((t.path / "src/run.sh").c_str(), 0750);
  ::chmod((t.path / "src/ro.txt").c_str(), 0444);
  for (const char* n : {"src/run.sh", "src/ro.txt"}) {
    struct timespec ts[2] = {{1600000000, 0}, {1600000000, 0}};
    ::utimensat(AT_FDCWD, (t.path / n).c_str(), ts, 0);
  }
  const fs::path archive = t.path / "out.lzh";
  std::string error;
  ASSERT_TRUE(lzh::write_archive(archive.string(), entries_for(t.path / "src", "top"), {}, nullptr, &error));
  for (const char* reader : {"lhasa xq", "bsdtar xpf"}) {
    SCOPED_TRACE(reader);
    fs::path x = t.path / (std::string("x-") + reader).substr(0, 8);
    fs::create_directories(x);
    ASSERT_EQ(run("cd " + quote(x) + " && " + reader + " " + quote(archive)), 0);
    struct stat st;
    ASSERT_EQ(::stat((x / "top/run.sh").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0750u);
    EXPECT_EQ(st.st_mtime, 1600000000);
    ASSERT_EQ(::stat((x / "top/ro.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0444u);
  }
}

// Block boundaries, single-symbol tables and search depths: each setting
// must still give data that both readers decode.
TEST(LzhArchive, EncoderSettingsAllDecode) {
  struct Case {
    const char* name;
    lzh::Lh5Options options;
  };
  const Case cases[] = {
      {"one code per block", {48, 128, 64, 1}},
      {"two codes per block", {48, 128, 64, 2}},
      {"three codes per block", {48, 128, 64, 3}},
      {"largest blocks", {48, 128, 64, 65535}},
      {"shallow search", {1, 3, 3, 32768}},
      {"deep search", {4096, 256, 256, 32768}},
  };
  TempDir t;
  std::string text;
  for (int i = 0; text.size() < 300000; ++i) text += "word" + std::to_string(i % 37) + (i % 11 ? " " : "\n");
  write_file(t.path / "src/text.txt", text);
  write_file(t.path / "src/runs.bin", std::string(70000, 'z') + random_bytes(3000, 3) + std::string(9000, 'q'));
  write_file(t.path / "src/few.txt", "abcabcabcabcabcabc");
  // Blocks made only of equal matches: one symbol in each table.
  std::string period;
  for (int i = 0; i < 1000; ++i) period += "abcdefgh";
  write_file(t.path / "src/period.txt", period);
  write_file(t.path / "src/same.txt", std::string(1000, 'z'));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::path dir = t.path / c.name;
    fs::create_directories(dir);
    std::string error;
    ASSERT_TRUE(lzh::write_archive((dir / "a.lzh").string(), entries_for(t.path / "src", "s"), c.options, nullptr, &error));
    Readers::check(dir / "a.lzh", dir, snapshot(t.path / "src"), "s");
  }
}

TEST(LzhArchive, UnreadableSourceIsLeftOutAndTheRestKept) {
  TempDir t;
  write_file(t.path / "src/a.txt", std::string(5000, 'a'));
  write_file(t.path / "src/c.txt", "ccc");
  std::vector<lzh::Entry> entries = entries_for(t.path / "src", "s");
  lzh::Entry missing = entries.back();
  missing.name = "s/b.txt";
  missing.source = (t.path / "src/b.txt").string();
  entries.insert(entries.begin() + 2, missing);
  std::vector<std::string> skipped;
  std::string error;
  ASSERT_TRUE(lzh::write_archive((t.path / "a.lzh").string(), entries, {}, &skipped, &error));
  ASSERT_EQ(skipped.size(), 1u);
  EXPECT_NE(skipped[0].find("b.txt"), std::string::npos);
  Readers::check(t.path / "a.lzh", t.path, snapshot(t.path / "src"), "s");
}

// A header whose size has a zero low byte would read as the end of the
// archive: it is padded, and the readers still find the entry.
TEST(LzhArchive, HeaderSizeWithZeroLowByteIsPadded) {
  lzh::HeaderFields f;
  f.file_name = "x";
  size_t base = lzh::build_header(f).size();
  f.file_name = std::string(256 - (base % 256) + 1, 'n');
  std::vector<uint8_t> h = lzh::build_header(f);
  EXPECT_NE(h.size() & 0xFF, 0u);
  EXPECT_EQ(h[0] | (h[1] << 8), static_cast<int>(h.size()));

  TempDir t;
  write_file(t.path / "src" / f.file_name, "data");
  std::string error;
  ASSERT_TRUE(lzh::write_archive((t.path / "a.lzh").string(), entries_for(t.path / "src", "s"), {}, nullptr, &error));
  Readers::check(t.path / "a.lzh", t.path, snapshot(t.path / "src"), "s");
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

TEST(Crc16, KnownValue) {
  const char* s = "123456789";
  EXPECT_EQ(lzh::crc16_update(0, reinterpret_cast<const uint8_t*>(s), 9), 0xBB3D);
}

}  // namespace
