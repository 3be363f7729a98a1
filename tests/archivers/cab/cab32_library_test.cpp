// cab32.so called as the worker calls it: loaded by path, the version
// function, then the command function once with a real command text.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "arc/codes.h"
#include "archiver_api.h"
#include "cab_test_support.h"

using namespace cabtest;

namespace {

constexpr uint32_t kWorkerOutputSize = 32767;

class Cab32 : public ::testing::Test {
 protected:
  void SetUp() override {
    lib_ = dlopen(CAB32_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib_, nullptr) << dlerror();
    version_ = reinterpret_cast<ArcVersionFn>(dlsym(lib_, "CabGetVersion"));
    cab_ = reinterpret_cast<ArcCommandFn>(dlsym(lib_, "Cab"));
    ASSERT_NE(version_, nullptr);
    ASSERT_NE(cab_, nullptr);
  }
  void TearDown() override {
    if (lib_) dlclose(lib_);
  }

  // Runs a command the way the worker does: zero-filled 32768-byte buffer.
  int call(const std::string& command, std::string& output, uint32_t size = kWorkerOutputSize) {
    std::vector<char> buf(32768, '\0');
    int rc = cab_(nullptr, command.c_str(), buf.data(), size);
    output.assign(buf.data());
    return rc;
  }

  void* lib_ = nullptr;
  ArcVersionFn version_ = nullptr;
  ArcCommandFn cab_ = nullptr;
};

std::string q(const fs::path& p) { return "\"" + p.string() + "\""; }

TEST_F(Cab32, ReportsItsVersion) { EXPECT_EQ(version_(), 100); }

// A folder written with "/*.*" gives its contents relative to it; a file
// source is stored under its own name. Both readers get the bytes back.
TEST_F(Cab32, ArchivesFolderContentsAndFilesAsTheWorkerAsks) {
  TempDir tmp;
  fs::path data = tmp.path() / "home/data", memo = tmp.path() / "home/memo.txt", dest = tmp.path() / "backup";
  make_fixture_tree(data);
  write_file(memo, "memo\r\n");
  fs::create_directories(dest);
  fs::path archive = dest / "20240515213005.cab";
  std::string out;
  int rc = call("-a -ri " + q(archive) + " " + q(data.string() + "/*.*") + " " + q(memo) + " ", out);
  ASSERT_EQ(rc, 0) << out;
  EXPECT_EQ(list_dir(dest), std::vector<std::string>{"20240515213005.cab"}) << "no temporary file is left";

  // Expected tree: data's contents at the top, memo.txt beside them.
  fs::path expected = tmp.path() / "expected";
  fs::copy(data, expected, fs::copy_options::recursive);
  fs::copy_file(memo, expected / "memo.txt");

  std::string log;
  EXPECT_TRUE(cabextract_test(archive, &log)) << log;
  ASSERT_TRUE(cabextract_extract(archive, tmp.path() / "x1", &log)) << log;
  EXPECT_EQ(tree_diff(expected, tmp.path() / "x1"), "");
  ASSERT_TRUE(gcab_extract(archive, tmp.path() / "x2", &log)) << log;
  EXPECT_EQ(tree_diff(expected, tmp.path() / "x2"), "");

  CabInfo info = read_cabinet(archive);
  ASSERT_TRUE(info.valid);
  bool deep = false;
  for (const CabFile& f : info.files) deep = deep || f.name == "a\\b\\c\\d\\e\\f\\g\\h\\i\\j\\deep.txt";
  EXPECT_TRUE(deep) << "sub folders are stored relative to the source folder, with backslashes";
}

// More than ten sources come in a response file in the current folder, one
// quoted path a line, CR LF.
TEST_F(Cab32, ReadsSourcesFromAResponseFile) {
  TempDir tmp;
  fs::path data = tmp.path() / "data", dest = tmp.path() / "dest";
  fs::create_directories(dest);
  std::string resp;
  fs::path expected = tmp.path() / "expected";
  for (int i = 0; i < 12; ++i) {
    fs::path f = data / ("file " + std::to_string(i) + ".txt");
    write_file(f, text_bytes(1000 + i * 5000, i));
    write_file(expected / f.filename(), read_file(f));
    resp += "\"" + f.string() + "\"\r\n";
  }
  write_file(data / "folder/inner/x.txt", "inner");
  write_file(expected / "inner/x.txt", "inner");
  resp += "\"" + (data / "folder").string() + "/*.*\"\r\n";
  write_file(tmp.path() / "resp.tmp", resp);

  fs::path archive = dest / "r.cab";
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(chdir(tmp.path().c_str()), 0);
  std::string out;
  int rc = call("-a -ri " + q(archive) + " \"@resp.tmp\" ", out);
  ASSERT_EQ(chdir(cwd), 0);
  ASSERT_EQ(rc, 0) << out;

  std::string log;
  EXPECT_TRUE(cabextract_test(archive, &log)) << log;
  ASSERT_TRUE(cabextract_extract(archive, tmp.path() / "x", &log)) << log;
  EXPECT_EQ(tree_diff(expected, tmp.path() / "x"), "");
}

// A source that cannot be read is named, the return is non-zero, and the
// rest is archived and kept.
TEST_F(Cab32, KeepsTheRestWhenASourceIsMissing) {
  TempDir tmp;
  fs::path good = tmp.path() / "good.txt", missing = tmp.path() / "missing.txt";
  write_file(good, "good");
  fs::path archive = tmp.path() / "m.cab";
  std::string out;
  int rc = call("-a -ri " + q(archive) + " " + q(missing) + " " + q(good) + " ", out);
  EXPECT_EQ(rc, ARC_E_SOURCE_MISSING);
  EXPECT_NE(out.find(missing.string()), std::string::npos) << out;
  ASSERT_TRUE(fs::exists(archive));
  std::string log;
  ASSERT_TRUE(cabextract_extract(archive, tmp.path() / "x", &log)) << log;
  EXPECT_EQ(read_file(tmp.path() / "x" / "good.txt"), "good");
}

struct FailureCase {
  const char* label;
  const char* command;  // {A} archive, {S} an existing source, {E} an empty folder, {M} a missing folder
  int code;
  const char* message;
};

// Test names and failure texts show the case label, not its bytes.
void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.label; }

class Cab32Failures : public Cab32, public ::testing::WithParamInterface<FailureCase> {};

std::string substitute(std::string s, const std::string& key, const std::string& value) {
  for (size_t p; (p = s.find(key)) != std::string::npos;) s.replace(p, key.size(), value);
  return s;
}

// Every failure returns a code from 0x8000 up with a text saying what went
// wrong, and leaves no archive and no temporary file behind.
TEST_P(Cab32Failures, LeavesNoArchive) {
  const FailureCase& c = GetParam();
  TempDir tmp;
  fs::path dest = tmp.path() / "dest";
  fs::create_directories(dest);
  fs::create_directories(tmp.path() / "empty/sub");
  write_file(tmp.path() / "src.txt", "source");
  fs::path archive = dest / "f.cab";
  std::string cmd = substitute(c.command, "{A}", archive.string());
  cmd = substitute(cmd, "{S}", (tmp.path() / "src.txt").string());
  cmd = substitute(cmd, "{E}", (tmp.path() / "empty").string());
  cmd = substitute(cmd, "{M}", (tmp.path() / "nowhere").string());
  std::string message = substitute(c.message, "{M}", (tmp.path() / "nowhere").string());
  std::string out;
  int rc = call(cmd, out);
  EXPECT_EQ(rc, c.code) << out;
  EXPECT_NE(out.find(message), std::string::npos) << out;
  EXPECT_TRUE(list_dir(dest).empty()) << "left behind: " << list_dir(dest).size();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Cab32Failures,
    ::testing::Values(
        FailureCase{"missing_destination", "-a -ri \"{M}/x.cab\" \"{S}\" ", ARC_E_DESTINATION, "{M}"},
        FailureCase{"only_missing_source", "-a -ri \"{A}\" \"{M}/*.*\" ", ARC_E_NOTHING, "{M}"},
        FailureCase{"nothing_but_empty_folders", "-a -ri \"{A}\" \"{E}/*.*\" ", ARC_E_NOTHING, "nothing archived"},
        FailureCase{"unknown_switch", "-a -ri \"{A}\" -q \"{S}\" ", ARC_E_COMMAND, "-q"},
        FailureCase{"no_add_switch", "-ri \"{A}\" \"{S}\" ", ARC_E_COMMAND, "ERROR"},
        FailureCase{"no_source", "-a -ri \"{A}\" ", ARC_E_COMMAND, "ERROR"},
        FailureCase{"missing_response_file", "-a -ri \"{A}\" \"@{M}/resp.tmp\" ", ARC_E_RESPONSE, "{M}/resp.tmp"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(Cab32, NeverReplacesAnExistingArchive) {
  TempDir tmp;
  fs::path src = tmp.path() / "src.txt", archive = tmp.path() / "exists.cab";
  write_file(src, "new");
  write_file(archive, "old archive");
  std::string out;
  EXPECT_EQ(call("-a -ri " + q(archive) + " " + q(src) + " ", out), ARC_E_EXISTS);
  EXPECT_NE(out.find("already exists"), std::string::npos) << out;
  EXPECT_EQ(read_file(archive), "old archive");
  EXPECT_EQ(list_dir(tmp.path()).size(), 2u) << "no temporary file is left";
}

// The text always fits the size given, ends with a zero byte, and nothing is
// written past it.
TEST_F(Cab32, KeepsTheOutputWithinTheGivenSize) {
  TempDir tmp;
  fs::path missing = tmp.path() / "日本語の長い名前のないファイル";
  std::string full;
  std::string cmd = "-a -ri " + q(tmp.path() / "a.cab") + " " + q(missing) + " ";
  ASSERT_NE(call(cmd, full), 0);
  ASSERT_GT(full.size(), 40u);
  for (uint32_t size : {0u, 1u, 2u, 9u, 40u}) {
    std::vector<char> buf(64, '#');
    cab_(nullptr, cmd.c_str(), buf.data(), size);
    if (size == 0) {
      EXPECT_EQ(buf[0], '#') << "size 0: nothing written";
      continue;
    }
    size_t len = strnlen(buf.data(), size);
    EXPECT_LT(len, size) << "zero-terminated within " << size;
    EXPECT_EQ(std::string(buf.data(), len), full.substr(0, len));
    for (size_t i = size; i < buf.size(); ++i) ASSERT_EQ(buf[i], '#') << "written past size " << size;
  }
}

}  // namespace

namespace {

// More files than one cabinet holds: the job is written as a cabinet set,
// the archive's own name first and "_2" after it, and cabextract given the
// first cabinet restores every file.
TEST_F(Cab32, WritesAJobOfSeventyThousandFilesAsACabinetSet) {
  TempDir tmp;
  fs::path data = tmp.path() / "data", dest = tmp.path() / "backup";
  constexpr int kFiles = 70000;
  for (int d = 0; d < 70; ++d) {
    fs::path dir = data / ("d" + std::to_string(d));
    fs::create_directories(dir);
    for (int i = 0; i < kFiles / 70; ++i) {
      int n = d * (kFiles / 70) + i;
      write_file(dir / ("f" + std::to_string(n) + ".txt"), "file " + std::to_string(n) + "\n");
    }
  }
  fs::create_directories(dest);
  fs::path archive = dest / "20261211123456.cab";
  std::string out;
  ASSERT_EQ(call("-a -ri " + q(archive) + " " + q(data.string() + "/*.*") + " ", out), 0) << out;
  std::vector<std::string> there = list_dir(dest);
  std::sort(there.begin(), there.end());
  EXPECT_EQ(there, (std::vector<std::string>{"20261211123456.cab", "20261211123456_2.cab"}));
  EXPECT_EQ(read_cabinet(archive).files.size() + read_cabinet(dest / "20261211123456_2.cab").files.size(),
            size_t(kFiles));

  std::string log;
  ASSERT_TRUE(cabextract_extract(archive, tmp.path() / "x", &log)) << log.substr(0, 2000);
  size_t count = 0;
  for (auto it = fs::recursive_directory_iterator(tmp.path() / "x"); it != fs::recursive_directory_iterator(); ++it)
    count += it->is_regular_file();
  EXPECT_EQ(count, size_t(kFiles));
  for (int n = 0; n < kFiles; n += 997) {
    fs::path f = tmp.path() / "x" / ("d" + std::to_string(n / (kFiles / 70))) / ("f" + std::to_string(n) + ".txt");
    EXPECT_EQ(read_file(f), "file " + std::to_string(n) + "\n") << f;
  }
  fs::path last = tmp.path() / "x" / "d69" / ("f" + std::to_string(kFiles - 1) + ".txt");
  EXPECT_EQ(read_file(last), "file " + std::to_string(kFiles - 1) + "\n");
}

}  // namespace
