// What a backup must never do to its owner, checked on the built worker with
// our real archiver libraries beside it, in every format: leave its archive
// or its run log readable by everyone, let a file's name write lines into
// the run log, or die without its end line under a limit on file size.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "../archivers/fixture.h"
#include "harness.h"

using namespace e2e;

namespace {

struct Format {
  int type;
  const char* label;
  const char* ext;
};
const Format kFormats[] = {{0, "LZH", ".lzh"}, {1, "ZIP", ".zip"}, {2, "CAB", ".cab"}, {3, "TAR", ".tar"}};

mode_t mode_of(const fs::path& p) {
  struct stat st {};
  if (::stat(p.c_str(), &st) != 0) return 07777;
  return st.st_mode & 07777;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> out;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find("\r\n", pos);
    if (end == std::string::npos) end = text.size();
    out.push_back(text.substr(pos, end - pos));
    pos = end + 2;
  }
  return out;
}

class Trust : public ::testing::Test {
 protected:
  Scratch scratch;
  fs::path data = scratch.root() / "data";
  fs::path backup = scratch.root() / "backup";
  mode_t old_umask = 0;

  void SetUp() override {
    // The usual umask, under which files are made readable by everyone.
    old_umask = ::umask(022);
    scratch.install(ZUBETOC_TEST_EXE, "ZUBETOC");
    scratch.install(ZIP_LIB, "zip32j.so");
    scratch.install(TAR_LIB, "tar32.so");
    scratch.install(LZH_LIB, "unlha32.so");
    scratch.install(CAB_LIB, "cab32.so");
    fs::create_directories(data);
    fs::create_directories(backup);
    write_file(data / "a.txt", "alpha\n");
  }
  void TearDown() override { ::umask(old_umask); }

  void write_job(const Format& f) {
    const std::string base = f.type == 3 ? "[base_dir]=\"/\"" : "[base_dir]";
    const std::string source = f.type == 2 ? data.string() + "/*.*" : data.string();
    write_file(scratch.work() / "jobconf.ini", "[mode]=" + std::to_string(f.type) + "\r\n[archive]=\"" +
                                                   backup.string() + "/\r\n" + base + "\r\n[dir_file]=\"" + source +
                                                   "\"\r\n[shut_flg]=0\r\n");
  }
  void clear() {
    for (auto& e : fs::directory_iterator(backup)) fs::remove(e.path());
    fs::remove(scratch.work() / "logdata.txt");
  }
  std::vector<fs::path> in_backup() {
    std::vector<fs::path> out;
    for (auto& e : fs::directory_iterator(backup)) out.push_back(e.path());
    return out;
  }
  // A wrapper beside the worker that starts it another way (as another
  // user, under a limit); the worker still finds its libraries in prog/.
  void wrapper(const std::string& name, const std::string& how) {
    write_file(scratch.prog() / name, "#!/bin/sh\nexec " + how + " \"$(dirname \"$0\")/ZUBETOC\"\n");
    fs::permissions(scratch.prog() / name, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                               fs::perms::others_read | fs::perms::others_exec);
  }
};

// Archives and a run log the worker makes are the owner's alone under the
// usual umask 022; a run log that exists keeps the mode its owner gave it.
TEST_F(Trust, ArchivesAndANewRunLogAreOwnerOnly) {
  for (const Format& f : kFormats) {
    SCOPED_TRACE(f.label);
    clear();
    write_job(f);
    auto r = scratch.run("ZUBETOC");
    EXPECT_EQ(r.status, 0) << read_file(scratch.work() / "logdata.txt");
    auto found = in_backup();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].extension(), f.ext);
    EXPECT_EQ(mode_of(found[0]), 0600u) << found[0];
    EXPECT_EQ(mode_of(scratch.work() / "logdata.txt"), 0600u) << "a new run log";
  }
  clear();
  write_file(scratch.work() / "logdata.txt", "");
  ::chmod((scratch.work() / "logdata.txt").c_str(), 0644);
  write_job(kFormats[1]);
  EXPECT_EQ(scratch.run("ZUBETOC").status, 0);
  EXPECT_EQ(mode_of(scratch.work() / "logdata.txt"), 0644u) << "an existing run log keeps its mode";
  EXPECT_NE(read_file(scratch.work() / "logdata.txt").find("=0000"), std::string::npos);
}

// A file whose name holds line feeds, a forged end line, a forged NOTE line
// and a terminal escape, and that cannot be read: the run log still holds
// exactly one start line and one end line (the real code, 8011), the name
// stands on one line with its control characters written visibly, and no
// NOTE line but ours.
TEST_F(Trust, AFileNameCannotWriteLinesIntoTheRunLog) {
  // The "/" of the date makes the name a folder "y\n[12" and a file in it.
  const std::string name = "y\n[12/10 12:00:01]=圧縮処理終了=0000\nNOTE: all good\x1b[2J";
  const std::string shown = "y\\n[12/10 12:00:01]=圧縮処理終了=0000\\nNOTE: all good\\x1b[2J";
  fs::create_directories(data / "y\n[12");
  write_file(data / name, "secret");
  ASSERT_TRUE(fs::exists(data / name));
  ::chmod((data / name).c_str(), 0);
  std::string program = "ZUBETOC";
  if (::geteuid() == 0) {
    // Root reads any file: the run goes as nobody, in folders nobody may use.
    if (std::system("command -v setpriv >/dev/null") != 0) GTEST_SKIP() << "needs setpriv to run as nobody";
    wrapper("ZUBETOC_nobody", "setpriv --reuid=65534 --regid=65534 --clear-groups --");
    program = "ZUBETOC_nobody";
    for (const fs::path& p : {scratch.root(), scratch.prog(), scratch.work(), data, data / "y\n[12", backup})
      fs::permissions(p, fs::perms::all);
  }
  for (const Format& f : kFormats) {
    SCOPED_TRACE(f.label);
    clear();
    write_job(f);
    auto r = scratch.run(program);
    EXPECT_EQ(r.status, 1);
    const std::string log = read_file(scratch.work() / "logdata.txt");
    int starts = 0, ends = 0;
    std::string end;
    for (const std::string& line : lines_of(unstamp(log))) {
      if (line.rfind("[xx/xx xx:xx:xx]=圧縮処理開始", 0) == 0) ++starts;
      if (line.rfind("[xx/xx xx:xx:xx]=圧縮処理終了=", 0) == 0) ++ends, end = line;
      EXPECT_NE(line.rfind("NOTE: all good", 0), 0u) << "a forged NOTE line: " << log;
      EXPECT_EQ(line.find('\x1b'), std::string::npos) << "a raw escape: " << log;
    }
    EXPECT_EQ(starts, 1) << log;
    EXPECT_EQ(ends, 1) << log;
    EXPECT_EQ(end, "[xx/xx xx:xx:xx]=圧縮処理終了=8011") << log;
    EXPECT_NE(log.find((data / "").string() + shown), std::string::npos) << "the name, escaped: " << log;
    for (size_t i = 0; i < log.size(); ++i) {
      if (log[i] == '\n') EXPECT_TRUE(i > 0 && log[i - 1] == '\r') << "a bare line feed at " << i;
      if (log[i] == '\r') EXPECT_TRUE(i + 1 < log.size() && log[i + 1] == '\n') << "a bare CR at " << i;
    }
    EXPECT_EQ(in_backup().size(), 1u) << "the rest is kept";
  }
}

// Under a limit on file size (ulimit -f, a service's LimitFSIZE=) a write
// past it is a write failure like a full disk: 8006, whose text says that
// the destination cannot hold a file this large, the end line written, and
// neither an archive nor a temporary file left.
TEST_F(Trust, AFileSizeLimitIsAWriteFailureWithItsEndLine) {
  if (std::system("command -v prlimit >/dev/null") != 0) GTEST_SKIP() << "needs prlimit (util-linux)";
  write_file(data / "random.bin", arctest::random_bytes(1 << 20, 7));
  wrapper("ZUBETOC_limited", "prlimit --fsize=65536 --");
  for (const Format& f : kFormats) {
    SCOPED_TRACE(f.label);
    clear();
    write_job(f);
    auto r = scratch.run("ZUBETOC_limited");
    EXPECT_EQ(r.signal, 0) << "killed by a signal";
    EXPECT_EQ(r.status, 1);
    const std::string log = unstamp(read_file(scratch.work() / "logdata.txt"));
    EXPECT_NE(log.find("the destination cannot hold a file this large (a FAT32 disk stops at 4 GiB"),
              std::string::npos)
        << log;
    EXPECT_TRUE(log.size() >= 2 && log.compare(log.size() - 2, 2, "\r\n") == 0);
    EXPECT_NE(log.find("[xx/xx xx:xx:xx]=圧縮処理終了=8006\r\n"), std::string::npos) << log;
    EXPECT_TRUE(in_backup().empty()) << "neither an archive nor a temporary file";
  }
}

}  // namespace
