// unlha32.so called as the worker calls it, with real command texts; the
// archives are read back by lhasa, bsdtar and 7-Zip.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "archiver_api.h"
#include "lzh_test_util.h"

using namespace lzhtest;

namespace {

class Unlha32 : public ::testing::Test {
 protected:
  void SetUp() override {
    lib_ = ::dlopen(UNLHA32_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib_, nullptr) << ::dlerror();
    version_ = reinterpret_cast<ArcVersionFn>(::dlsym(lib_, "UnlhaGetVersion"));
    command_ = reinterpret_cast<ArcCommandFn>(::dlsym(lib_, "Unlha"));
    ASSERT_NE(version_, nullptr);
    ASSERT_NE(command_, nullptr);
    fs::create_directories(t_.path / "dest");
  }
  void TearDown() override {
    if (lib_) ::dlclose(lib_);
  }

  int call(const std::string& text, uint32_t size = 32767) {
    output_.assign(32768, '\x7f');
    return command_(nullptr, text.c_str(), output_.data(), size);
  }
  std::string output() const { return std::string(output_.data()); }

  // The folder under which an extracted absolute path appears: the path
  // without its root.
  static std::string stripped(const fs::path& p) { return p.string().substr(1); }

  std::map<std::string, std::string> extract(const std::string& reader, const fs::path& archive) {
    fs::path x = t_.path / ("x-" + reader.substr(0, reader.find(' ')));
    fs::create_directories(x);
    std::string out;
    EXPECT_EQ(run("cd " + quote(x) + " && LC_ALL=C.UTF-8 " + reader + " " + quote(archive), &out), 0) << out;
    return snapshot(x);
  }

  TempDir t_;
  void* lib_ = nullptr;
  ArcVersionFn version_ = nullptr;
  ArcCommandFn command_ = nullptr;
  std::vector<char> output_;
};

TEST_F(Unlha32, VersionIsReported) { EXPECT_EQ(version_(), 100); }

TEST_F(Unlha32, FolderAndFileSourcesReadBack) {
  make_fixture(t_.path / "src/data");
  write_file(t_.path / "src/memo.txt", "memo\r\n");
  const fs::path archive = t_.path / "dest/20240515213005.lzh";
  const std::string cmd = "a \"" + archive.string() + "\" -x1r2a2 -n1 \"" + (t_.path / "src/data").string() + "\" \"" +
                          (t_.path / "src/memo.txt").string() + "\" ";
  ASSERT_EQ(call(cmd), 0) << output();
  std::string out;
  ASSERT_EQ(run("lhasa t " + quote(archive), &out), 0) << out;
  const std::map<std::string, std::string> want = snapshot(t_.path / "src");
  for (const Reader& r : readers()) {
    SCOPED_TRACE(r.name);
    const fs::path x = t_.path / r.name;
    ASSERT_EQ(lzhtest::extract(r, archive, x, &out), 0) << out;
    EXPECT_EQ(under(snapshot(x), stripped(t_.path / "src") + "/"), r.shift_jis_names ? cp932_names(want) : want);
  }
  // Only the archive is left in the destination: no temporary file.
  EXPECT_EQ(std::distance(fs::directory_iterator(t_.path / "dest"), fs::directory_iterator()), 1);
}

TEST_F(Unlha32, ResponseFileInCurrentFolder) {
  write_file(t_.path / "src/a b.txt", std::string(20000, 'a'));
  write_file(t_.path / "src/二.txt", "ni");
  fs::create_directories(t_.path / "src/empty");
  write_file(t_.path / "work/resp.tmp", "\"" + (t_.path / "src/a b.txt").string() + "\"\r\n\"" +
                                            (t_.path / "src/二.txt").string() + "\"\r\n\"" +
                                            (t_.path / "src/empty").string() + "\"\n");
  const fs::path archive = t_.path / "dest/r.lzh";
  const fs::path before = fs::current_path();
  fs::current_path(t_.path / "work");
  int rc = call("a \"" + archive.string() + "\" -x1r2a2 -n1 \"@resp.tmp\" ");
  fs::current_path(before);
  ASSERT_EQ(rc, 0) << output();
  std::map<std::string, std::string> want = snapshot(t_.path / "src");
  EXPECT_EQ(under(extract("bsdtar xf", archive), stripped(t_.path / "src") + "/"), want);
  EXPECT_EQ(under(extract("lhasa xq", archive), stripped(t_.path / "src") + "/"), cp932_names(want));
}

TEST_F(Unlha32, FailuresLeaveNoPartialArchiveAndSayWhy) {
  write_file(t_.path / "src/f.txt", "file");
  const std::string src = "\"" + (t_.path / "src/f.txt").string() + "\" ";
  write_file(t_.path / "dest/old.lzh", "previous archive");
  struct Case {
    const char* name;
    std::string archive;
    int code;
    const char* says;
  };
  const Case cases[] = {
      {"existing archive", (t_.path / "dest/old.lzh").string(), 0x8004, "exists"},
      {"missing destination", (t_.path / "nowhere/x.lzh").string(), 0x8003, "nowhere"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(call("a \"" + c.archive + "\" -x1r2a2 -n1 " + src), c.code);
    EXPECT_NE(output().find(c.says), std::string::npos) << output();
  }
  EXPECT_EQ(read_file(t_.path / "dest/old.lzh"), "previous archive");
  EXPECT_FALSE(fs::exists(t_.path / "nowhere"));
  EXPECT_EQ(std::distance(fs::directory_iterator(t_.path / "dest"), fs::directory_iterator()), 1);
}

TEST_F(Unlha32, MissingSourceIsNamedAndTheRestArchived) {
  write_file(t_.path / "src/f.txt", "file");
  const fs::path archive = t_.path / "dest/m.lzh";
  int rc = call("a \"" + archive.string() + "\" -x1r2a2 -n1 \"" + (t_.path / "src/gone.txt").string() + "\" \"" +
                (t_.path / "src/f.txt").string() + "\" ");
  EXPECT_GE(rc, 0x8000);
  EXPECT_NE(output().find("gone.txt"), std::string::npos) << output();
  ASSERT_TRUE(fs::exists(archive));
  EXPECT_EQ(under(extract("lhasa xq", archive), stripped(t_.path / "src") + "/"), snapshot(t_.path / "src"));
}

TEST_F(Unlha32, OutputTextStaysWithinTheGivenSize) {
  write_file(t_.path / "dest/old.lzh", "x");
  const std::string cmd = "a \"" + (t_.path / "dest/old.lzh").string() + "\" -x1r2a2 -n1 \"/tmp\" ";
  for (uint32_t size : {1u, 2u, 12u, 200u}) {
    SCOPED_TRACE(size);
    EXPECT_EQ(call(cmd, size), 0x8004);
    EXPECT_LT(std::strlen(output_.data()), size);
    for (size_t i = size; i < output_.size(); ++i) ASSERT_EQ(output_[i], '\x7f') << "written at " << i;
  }
}

// Names for Japanese Windows readers, read back on Linux: bsdtar gives the
// exact names (from the UTF-16 fields), lhasa and 7-Zip write the Shift-JIS
// names as they are, as for any archive made on Japanese Windows, and a
// name that is not UTF-8 with its own bytes. Every
// entry comes out in every reader, with its case, its bytes and, where the
// reader keeps them, its permissions.
TEST_F(Unlha32, NamesForJapaneseWindowsReaders) {
  struct Case {
    const char* what;
    std::string path;       // under src/, UTF-8 or not
    std::string exact;      // what bsdtar writes
    std::string shift_jis;  // what lhasa and 7-Zip write
  };
  const Case cases[] = {
      {"Japanese folder and file", "資料/会議の予定.txt", "資料/会議の予定.txt", to_cp932("資料/会議の予定.txt")},
      {"Japanese folder, empty", "空のフォルダ/", "空のフォルダ/", to_cp932("空のフォルダ/")},
      {"outside code page 932", "絵文字😀.txt", "絵文字😀.txt", to_cp932("絵文字") + "_.txt"},
      {"all capitals", "README.TXT", "README.TXT", "README.TXT"},
      {"first character U+4E00", "一覧.txt", "一覧.txt", to_cp932("一覧.txt")},
      {"not UTF-8", "caf\xE9.txt", "café.txt", "caf\xE9.txt"},
      {"after the name that is not UTF-8", "zz-last.txt", "zz-last.txt", "zz-last.txt"},
  };
  std::map<std::string, std::string> exact, sjis;
  for (const Case& c : cases) {
    std::string content = c.path.back() == '/' ? "" : std::string("content of ") + c.what;
    if (c.path.back() == '/') fs::create_directories(t_.path / "src" / c.path);
    else write_file(t_.path / "src" / c.path, content);
    exact[c.exact] = content;
    sjis[c.shift_jis] = content;
  }
  const fs::path archive = t_.path / "dest/names.lzh";
  ASSERT_EQ(call("a \"" + archive.string() + "\" -x1r2a2 -n1 \"" + (t_.path / "src").string() + "\" "), 0) << output();
  const std::string top = stripped(t_.path / "src") + "/";
  for (const Reader& r : readers()) {
    SCOPED_TRACE(r.name);
    const fs::path x = t_.path / r.name;
    std::string out;
    ASSERT_EQ(lzhtest::extract(r, archive, x, &out), 0) << out;
    std::map<std::string, std::string> got;
    for (auto& [k, v] : under(snapshot(x), top)) got[k] = v;
    // Folders appear with "/" in the snapshot; compare files and the empty folder.
    std::map<std::string, std::string> want = r.shift_jis_names ? sjis : exact;
    // 7-Zip on Linux takes every 0x5C byte for a folder separator, also the
    // second byte of a Shift-JIS character such as 予 (0x97 0x5C): the
    // file comes out whole, one folder deeper.
    if (std::string(r.name) == "7-Zip") {
      std::map<std::string, std::string> split;
      for (const auto& [name, v] : want) {
        std::string k = name;
        for (char& ch : k)
          if (ch == '\\') ch = '/';
        split[k] = v;
      }
      want = split;
    }
    for (auto& [k, v] : want) {
      ASSERT_EQ(got.count(k), 1u) << k;
      EXPECT_EQ(got[k], v) << k;
    }
  }

  // The headers themselves: the Windows mark and Shift-JIS names on every
  // entry; the code page 932 mark and the exact names in UTF-16LE on every
  // entry whose name is not plain ASCII, and on no other.
  auto u16 = [](const std::string& utf8) {
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
      unsigned char c = static_cast<unsigned char>(utf8[i]);
      uint32_t v;
      int n;
      if (c < 0x80) v = c, n = 1;
      else if (c < 0xE0) v = c & 0x1F, n = 2;
      else if (c < 0xF0) v = c & 0x0F, n = 3;
      else v = c & 0x07, n = 4;
      for (int k = 1; k < n; ++k) v = (v << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
      i += n;
      auto put = [&](uint32_t u) { out += static_cast<char>(u & 0xFF); out += static_cast<char>(u >> 8); };
      if (v >= 0x10000) put(0xD800 + ((v - 0x10000) >> 10)), put(0xDC00 + ((v - 0x10000) & 0x3FF));
      else put(v);
    }
    return out;
  };
  std::map<std::string, StoredEntry> by_name;
  for (const StoredEntry& e : list_headers(archive)) {
    EXPECT_EQ(e.os, 'W') << e.name;
    const bool ascii = std::all_of(e.name.begin(), e.name.end(), [](char c) { return static_cast<uint8_t>(c) < 0x80; });
    ASSERT_EQ(e.ext.count(0x46), ascii ? 0u : 1u) << e.name;
    if (!ascii) {
      EXPECT_EQ(e.ext.at(0x46), std::string("\xA4\x03\0\0", 4)) << e.name;
    }
    // A UTF-16 name wherever the plain one is not ASCII, but for the one
    // whose UTF-16 form would start with a zero byte (see below).
    const bool utf16 = e.ext.count(0x44) || e.ext.count(0x45);
    EXPECT_EQ(utf16, !ascii && e.name != top + to_cp932("一覧.txt")) << e.name;
    by_name[e.name.substr(top.size())] = e;
  }
  const StoredEntry& jp = by_name[to_cp932("資料/会議の予定.txt")];
  EXPECT_EQ(jp.ext.at(0x01), to_cp932("会議の予定.txt"));
  EXPECT_EQ(jp.ext.at(0x44), u16("会議の予定.txt"));
  EXPECT_EQ(jp.ext.at(0x45).substr(jp.ext.at(0x45).size() - u16("/資料/").size()), u16("/資料/"));
  const StoredEntry& emoji = by_name[to_cp932("絵文字") + "_.txt"];
  EXPECT_EQ(emoji.ext.at(0x44), u16("絵文字😀.txt"));
  EXPECT_EQ(by_name["caf\xE9.txt"].ext.at(0x44), u16("café.txt"));
  // A UTF-16 name whose first byte would be zero is left out; the
  // Shift-JIS name holds it whole.
  EXPECT_EQ(by_name[to_cp932("一覧.txt")].ext.count(0x44), 0u);
  EXPECT_EQ(by_name[to_cp932("一覧.txt")].ext.at(0x01), to_cp932("一覧.txt"));
  const StoredEntry& folder = by_name[to_cp932("空のフォルダ/")];
  EXPECT_EQ(folder.method, "-lhd-");
  EXPECT_EQ(folder.ext.count(0x44), 0u);
  EXPECT_EQ(folder.ext.at(0x45).substr(folder.ext.at(0x45).size() - u16("空のフォルダ/").size()), u16("空のフォルダ/"));
}

// The benchmark's tree, made small, through the library and back out of
// every reader byte for byte: text, records, random and packed files, and
// large files that go through the chunked path (compressed or kept).
TEST_F(Unlha32, BenchmarkTreeRoundTrip) {
  std::string out;
  ASSERT_EQ(run(std::string(GEN_TREE_PATH) + " " + quote(t_.path / "tree") + " 0.04", &out), 0) << out;
  const fs::path archive = t_.path / "dest/bench.lzh";
  ASSERT_EQ(call("a \"" + archive.string() + "\" -x1r2a2 -n1 \"" + (t_.path / "tree").string() + "\" "), 0) << output();
  const auto want = snapshot(t_.path / "tree");
  for (const Reader& r : readers()) {
    SCOPED_TRACE(r.name);
    const fs::path x = t_.path / r.name;
    ASSERT_EQ(lzhtest::extract(r, archive, x, &out), 0) << out;
    EXPECT_TRUE(under(snapshot(x), stripped(t_.path / "tree") + "/") == want);
  }
  std::map<std::string, std::string> method;
  for (const StoredEntry& e : list_headers(archive)) method[fs::path(e.name).filename().string()] = e.method;
  EXPECT_EQ(method["log.txt"], "-lh5-");
  EXPECT_EQ(method["db.dat"], "-lh5-");
  EXPECT_EQ(method["media.bin"], "-lh0-");
}

}  // namespace
