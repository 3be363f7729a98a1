// Retention and the read-back check, end to end: the test build of the
// worker with our real archiver libraries beside it, a job with "[keep]=N",
// and a destination that holds older archives of ours beside look-alikes
// that must survive every run.
#include <gtest/gtest.h>

#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <set>

#include "arcverify/verify.h"
#include "harness.h"

using namespace e2e;

namespace {

const char* const kExt[] = {".lzh", ".zip", ".cab", ".tar"};

std::set<std::string> names_in(const fs::path& dir) {
  std::set<std::string> out;
  for (auto& e : fs::directory_iterator(dir)) out.insert(e.path().filename().string());
  return out;
}

// The archive a run made: the one name of the extension that is not in `before`.
std::string new_archive(const fs::path& dir, const std::set<std::string>& before, const std::string& ext) {
  std::string found;
  for (const std::string& n : names_in(dir))
    if (!before.count(n) && n.size() == 14 + ext.size() && n.compare(14, ext.size(), ext) == 0) found = n;
  return found;
}

std::string end_code(const std::string& log) {
  const std::string key = "]=圧縮処理終了=";
  size_t at = log.rfind(key);
  return at == std::string::npos ? std::string() : log.substr(at + key.size(), 4);
}

class Retention : public ::testing::Test {
 protected:
  Scratch scratch;
  fs::path data = scratch.root() / "data";
  fs::path backup = scratch.root() / "backup";
  fs::path sock = scratch.root() / "agent.sock";
  int temp_fd = -1;

  // Older archives of ours (every format) and names that only look alike.
  const std::vector<std::string> ours_zip = {"20200101000000.zip", "20210101000000.zip", "20220101000000.zip"};
  const std::vector<std::string> ours_other = {"20200101000000.lzh", "20200101000000.cab", "20200101000000.tar"};
  const std::vector<std::string> look_alikes = {
      "2019010100000.zip",    // 13 digits
      "201901010000000.zip",  // 15 digits
      "2019010100000a.zip",   // a letter among the digits
      "20190101000000.ZIP",   // another letter case
      "20190101000000.zip.bak",
      "old-backup.zip",
      "x20190101000000.zip",
  };
  const std::string folder_alike = "20100101000000.zip";             // a folder
  const std::string link_alike = "20110101000000.zip";               // a symbolic link to an archive of ours
  const std::string locked_temp = "20300101000000.zip.abcdefgh.part";  // a worker still at work

  void SetUp() override {
    scratch.install(ZUBETOC_TEST_EXE, "ZUBETOC");
    scratch.install(ZIP_LIB, "zip32j.so");
    scratch.install(TAR_LIB, "tar32.so");
    scratch.install(LZH_LIB, "unlha32.so");
    scratch.install(CAB_LIB, "cab32.so");
    fs::create_directories(data / "sub");
    fs::create_directories(backup);
    std::string text;
    for (int i = 0; i < 3000; ++i) text += "line " + std::to_string(i % 89) + " of the notes\r\n";
    write_file(data / "notes.txt", text);
    std::string bytes;
    uint32_t x = 2463534242u;
    for (int i = 0; i < 70000; ++i) {  // xorshift: bytes that do not shrink
      x ^= x << 13;
      x ^= x >> 17;
      x ^= x << 5;
      bytes += static_cast<char>(x >> 24);
    }
    write_file(data / "sub" / "bytes.bin", bytes);
    write_file(data / "empty.txt", "");
    for (const auto& n : ours_zip) write_file(backup / n, "old archive " + n);
    for (const auto& n : ours_other) write_file(backup / n, "old archive " + n);
    for (const auto& n : look_alikes) write_file(backup / n, "look-alike " + n);
    fs::create_directories(backup / folder_alike);
    fs::create_symlink(backup / ours_zip[0], backup / link_alike);
    write_file(backup / locked_temp, "half written");
    temp_fd = ::open((backup / locked_temp).c_str(), O_RDWR);
    ASSERT_GE(temp_fd, 0);
    ASSERT_EQ(::flock(temp_fd, LOCK_EX | LOCK_NB), 0);
  }
  void TearDown() override {
    if (temp_fd >= 0) ::close(temp_fd);
  }

  // A socket named as a source: the archiver keeps everything else and
  // ends with 8011, its archive written.
  void make_socket() {
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    struct sockaddr_un a {};
    a.sun_family = AF_UNIX;
    std::strncpy(a.sun_path, sock.c_str(), sizeof a.sun_path - 1);
    ASSERT_EQ(bind(fd, reinterpret_cast<struct sockaddr*>(&a), sizeof a), 0);
    close(fd);
  }

  std::string job(int type, const std::string& keep_line, const std::string& extra_sources = "") {
    std::string base = type == 3 ? "[base_dir]=\"/\"" : "[base_dir]";
    std::string src = data.string() + (type == 2 ? "/*.*" : "");
    return "[mode]=" + std::to_string(type) + "\r\n[archive]=\"" + backup.string() + "/\r\n" + base +
           "\r\n[dir_file]=\"" + src + "\"\r\n" + extra_sources + keep_line + "[shut_flg]=0\r\n";
  }

  std::string log() const { return unstamp(read_file(scratch.work() / "logdata.txt")); }

  // Every name that must survive every run.
  void expect_look_alikes_survive() {
    for (const auto& n : look_alikes) EXPECT_TRUE(fs::is_regular_file(backup / n)) << n;
    EXPECT_TRUE(fs::is_directory(backup / folder_alike));
    EXPECT_TRUE(fs::is_symlink(backup / link_alike));
    EXPECT_TRUE(fs::is_regular_file(backup / locked_temp));
  }
};

// Only a run that ends 0000 removes anything, only archives of the job's
// format named exactly as the worker names them, and only the oldest.
TEST_F(Retention, OnlyASuccessfulRunRemovesAndOnlyTheOldestOfItsOwnFormat) {
  enum class Source { data, missing, socket };
  struct Case {
    const char* name;
    int type;
    std::string keep_line;
    Source source;
    const char* code;
    int status;
    std::vector<std::string> removed;  // of ours_zip and ours_other
  };
  const Case cases[] = {
      {"0000, keep 2: the two oldest ZIP archives go", 1, "[keep]=2\r\n", Source::data, "0000", 0,
       {"20200101000000.zip", "20210101000000.zip"}},
      {"0000, keep 1: every older ZIP archive goes", 1, "[keep]=1\r\n", Source::data, "0000", 0,
       {"20200101000000.zip", "20210101000000.zip", "20220101000000.zip"}},
      {"0000, keep 9: fewer than nine, none goes", 1, "[keep]=9\r\n", Source::data, "0000", 0, {}},
      {"0000, LZH job, keep 1: only the LZH archive goes", 0, "[keep]=1\r\n", Source::data, "0000", 0,
       {"20200101000000.lzh"}},
      {"0000, keep 0 keeps everything", 1, "[keep]=0\r\n", Source::data, "0000", 0, {}},
      {"0000, no key keeps everything", 1, "", Source::data, "0000", 0, {}},
      {"0000, a value that is no number keeps everything", 1, "[keep]=two\r\n", Source::data, "0000", 0, {}},
      {"8011: a file left out removes nothing", 1, "[keep]=1\r\n", Source::socket, "8011", 1, {}},
      {"0701: a missing source removes nothing", 1, "[keep]=1\r\n", Source::missing, "0701", 7, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const auto& n : ours_zip) write_file(backup / n, "old archive " + n);
    for (const auto& n : ours_other) write_file(backup / n, "old archive " + n);
    fs::remove(scratch.work() / "logdata.txt");
    std::string extra;
    if (c.source == Source::missing) extra = "[dir_file]=\"" + (scratch.root() / "gone").string() + "\"\r\n";
    if (c.source == Source::socket) {
      if (!fs::exists(sock)) make_socket();
      extra = "[dir_file]=\"" + sock.string() + "\"\r\n";
    }
    write_file(scratch.work() / "jobconf.ini", job(c.type, c.keep_line, extra));
    const std::set<std::string> before = names_in(backup);
    auto r = scratch.run("ZUBETOC");
    const std::string text = log();
    EXPECT_EQ(r.status, c.status) << text;
    EXPECT_EQ(end_code(text), c.code) << text;

    std::set<std::string> gone(c.removed.begin(), c.removed.end());
    std::vector<std::string> all(ours_zip);
    all.insert(all.end(), ours_other.begin(), ours_other.end());
    for (const auto& n : all) EXPECT_EQ(fs::exists(backup / n), !gone.count(n)) << n;
    for (const auto& n : c.removed)
      EXPECT_NE(text.find("\r\nREMOVED: " + (backup / n).string() + "\r\n"), std::string::npos) << n << "\n" << text;
    size_t removed_lines = 0;
    for (size_t at = text.find("REMOVED: "); at != std::string::npos; at = text.find("REMOVED: ", at + 1))
      ++removed_lines;
    EXPECT_EQ(removed_lines, c.removed.size()) << text;
    expect_look_alikes_survive();

    // The new archive of this run is always kept.
    const std::string made = new_archive(backup, before, kExt[c.type]);
    if (c.source != Source::missing) {
      EXPECT_FALSE(made.empty()) << "the run's archive";
      fs::remove(backup / made);
    } else {
      EXPECT_TRUE(made.empty());
    }
  }
}

// A new archive that does not read back (one byte flipped on its way back
// from the disk, in every format) removes nothing, is kept and named, and
// ends the run with 0800. The same run without the flip removes the old
// archive: the check passes what our libraries write.
TEST_F(Retention, AnArchiveThatDoesNotReadBackRemovesNothing) {
  for (int type : {0, 1, 2, 3}) {
    for (bool flip : {true, false}) {
      SCOPED_TRACE(std::string(kExt[type]) + (flip ? " flipped" : " whole"));
      const std::string old = std::string("20200101000000") + kExt[type];
      write_file(backup / old, "old archive");
      fs::remove(scratch.work() / "logdata.txt");
      write_file(scratch.work() / "jobconf.ini", job(type, "[keep]=1\r\n"));
      const std::set<std::string> before = names_in(backup);
      // TAR keeps no checksum of its data: its headers carry the check.
      std::map<std::string, std::string> env;
      if (flip) env["ZUBETO_TEST_FLIP"] = type == 3 ? "header" : "data";
      auto r = scratch.run("ZUBETOC", env);
      const std::string text = log();
      const std::string made = new_archive(backup, before, kExt[type]);
      ASSERT_FALSE(made.empty()) << text;
      if (flip) {
        EXPECT_EQ(r.status, 8);
        EXPECT_EQ(end_code(text), "0800");
        EXPECT_TRUE(fs::exists(backup / old)) << "nothing removed";
        EXPECT_EQ(text.find("REMOVED: "), std::string::npos) << text;
        const std::string line =
            "\r\nERROR: the new archive failed its read-back check; it is kept for inspection and no archive was "
            "removed: " +
            (backup / made).string() + " (";
        EXPECT_NE(text.find(line), std::string::npos) << text;
      } else {
        EXPECT_EQ(r.status, 0) << text;
        EXPECT_EQ(end_code(text), "0000");
        EXPECT_FALSE(fs::exists(backup / old));
      }
      EXPECT_TRUE(fs::is_regular_file(backup / made)) << "the new archive is kept";
      expect_look_alikes_survive();
      fs::remove(backup / made);
      fs::remove(backup / old);
    }
  }
}

// "ZUBETOC --verify <archive>" checks one archive and runs no job: a whole
// archive gives 0 and a CHECKED line, a damaged one 0800 and an ERROR line.
TEST_F(Retention, TheCheckOnItsOwn) {
  for (int type : {0, 1, 2, 3}) {
    SCOPED_TRACE(kExt[type]);
    fs::remove(scratch.work() / "logdata.txt");
    write_file(scratch.work() / "jobconf.ini", job(type, ""));
    const std::set<std::string> before = names_in(backup);
    ASSERT_EQ(scratch.run("ZUBETOC").status, 0) << log();
    const fs::path archive = backup / new_archive(backup, before, kExt[type]);
    const std::string bytes = read_file(archive);

    arcverify::Format format;
    ASSERT_TRUE(arcverify::format_of_path(archive.string(), format));
    arcverify::Report report = arcverify::verify_file(archive.string(), format);
    ASSERT_TRUE(report.ok) << report.problem;
    ASSERT_GT(report.first_data_size, 0u);

    // Whole: 0, and no job is run (the job file would make a new archive).
    fs::remove(scratch.work() / "logdata.txt");
    auto r = scratch.run("ZUBETOC", {}, Scratch::Output::file, {}, {"--verify", archive.string()});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(log(), "[xx/xx xx:xx:xx]=圧縮処理開始\r\nCHECKED: " + archive.string() + " reads back whole (" +
                         std::to_string(report.entries) + " entries)\r\n[xx/xx xx:xx:xx]=圧縮処理終了=0000\r\n");
    EXPECT_EQ(names_in(backup).size(), before.size() + 1) << "no job was run";

    // Damaged on the disk: in its data (a header for TAR), or cut short.
    struct Damage {
      const char* name;
      std::string bytes;
    };
    std::string flipped = bytes;
    const size_t at = type == 3 ? 0 : static_cast<size_t>(report.first_data_offset + report.first_data_size / 2);
    flipped[at] = static_cast<char>(flipped[at] ^ 0x01);
    const Damage damages[] = {
        {"one byte flipped", flipped},
        {"cut short", bytes.substr(0, bytes.size() - 700)},
        {"empty", ""},
    };
    for (const Damage& d : damages) {
      SCOPED_TRACE(d.name);
      write_file(archive, d.bytes);
      fs::remove(scratch.work() / "logdata.txt");
      r = scratch.run("ZUBETOC", {}, Scratch::Output::file, {}, {"--verify", archive.string()});
      EXPECT_EQ(r.status, 8);
      const std::string text = log();
      EXPECT_TRUE(text.rfind("[xx/xx xx:xx:xx]=圧縮処理開始\r\nERROR: failed its read-back check: " + archive.string() +
                                 " (",
                             0) == 0)
          << text;
      EXPECT_EQ(end_code(text), "0800");
      EXPECT_TRUE(fs::exists(archive)) << "the check removes nothing";
    }
    fs::remove(archive);
  }
  // No archive of ours, or none at all.
  for (const std::string& path : {(backup / "old-backup.7z").string(), (backup / "20990101000000.zip").string()}) {
    SCOPED_TRACE(path);
    fs::remove(scratch.work() / "logdata.txt");
    auto r = scratch.run("ZUBETOC", {}, Scratch::Output::file, {}, {"--verify", path});
    EXPECT_EQ(r.status, 8);
    EXPECT_EQ(end_code(log()), "0800");
  }
}

}  // namespace
