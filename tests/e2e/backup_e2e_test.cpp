// Real backups: the built worker with our real archiver libraries beside
// it, a job file naming a sample tree, and the archive read back with an
// independent tool and compared with the source, byte for byte.
#include <gtest/gtest.h>

#include <iconv.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <ctime>

#include "../archivers/fixture.h"
#include "harness.h"

using namespace e2e;

namespace {

const std::string kStart = "[xx/xx xx:xx:xx]=圧縮処理開始\r\n";

// A UTF-8 name in code page 932, by the system's iconv: what lhasa writes
// for an LZH name, which we store in Shift-JIS for Japanese Windows.
std::string cp932(const std::string& utf8) {
  iconv_t cd = ::iconv_open("CP932", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return utf8;
  std::string in = utf8, out(utf8.size() * 2 + 8, '\0');
  char* ip = in.data();
  char* op = out.data();
  size_t il = in.size(), ol = out.size();
  const size_t rc = ::iconv(cd, &ip, &il, &op, &ol);
  ::iconv_close(cd);
  if (rc == static_cast<size_t>(-1)) return utf8;
  out.resize(out.size() - ol);
  return out;
}

std::vector<fs::path> archives_in(const fs::path& dir) {
  std::vector<fs::path> out;
  for (auto& e : fs::directory_iterator(dir)) out.push_back(e.path());
  std::sort(out.begin(), out.end());
  return out;
}

class Backup : public ::testing::Test {
 protected:
  Scratch scratch;
  fs::path data = scratch.root() / "data";
  fs::path memo = scratch.root() / "memo note.txt";
  fs::path backup = scratch.root() / "backup";

  void SetUp() override {
    scratch.install(ZUBETOC_TEST_EXE, "ZUBETOC");
    scratch.install(ZIP_LIB, "zip32j.so");
    scratch.install(TAR_LIB, "tar32.so");
    scratch.install(LZH_LIB, "unlha32.so");
    scratch.install(CAB_LIB, "cab32.so");
    fs::create_directories(data / "empty folder");
    fs::create_directories(data / "写真" / "2024" / "夏");
    fs::create_directories(backup);
    write_file(data / "empty.txt", "");
    write_file(data / "one.txt", "1");
    write_file(data / "写真" / "2024" / "夏" / "海 と 空.bin", arctest::random_bytes(100000, 3));
    std::string text;
    for (int i = 0; i < 5000; ++i) text += "line " + std::to_string(i % 97) + " of the notes\r\n";
    write_file(data / "notes.txt", text);
    write_file(memo, "memo\n");
  }

  std::string job(int type, const std::string& sources_lines) {
    std::string base = type == 3 ? "[base_dir]=\"/\"" : "[base_dir]";
    return "[mode]=" + std::to_string(type) + "\r\n[archive]=\"" + backup.string() + "/\r\n" + base + "\r\n" +
           sources_lines + "[shut_flg]=0\r\n";
  }
  std::string two_sources() {
    return "[dir_file]=\"" + data.string() + "\"\r\n[dir_file]=\"" + memo.string() + "\"\r\n";
  }
};

TEST_F(Backup, EveryFormatReadsBackIdentical) {
  struct Case {
    int type;
    const char* loading;
    const char* ext;
    std::string extract;  // shell command; {a} is the archive, {d} the target folder
    bool contents_only;   // CAB: a folder source means its contents, stored relative to it
    bool shift_jis = false;  // the reader writes the stored Shift-JIS names as they are
  } cases[] = {
      {0, "UNLHA32.DLL Loading", ".lzh", "cd {d} && lhasa xq {a}", false, true},
      {0, "UNLHA32.DLL Loading", ".lzh", "LC_ALL=C.UTF-8 bsdtar -xf {a} -C {d}", false},
      {1, "UNZIP32.DLL Loading", ".zip", "unzip -q {a} -d {d}", false},
      {1, "UNZIP32.DLL Loading", ".zip", "bsdtar -xf {a} -C {d}", false},
      {2, "CAB32.DLL Loading", ".cab", "cabextract -q -d {d} {a}", true},
      {2, "CAB32.DLL Loading", ".cab", "cd {d} && gcab -x {a}", true},
      {3, "TAR32.DLL Loading", ".tar", "tar -xf {a} -C {d}", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.extract);
    for (auto& p : archives_in(backup)) fs::remove(p);
    fs::remove(scratch.work() / "logdata.txt");
    // The window writes a CAB folder source with the "/*.*" suffix.
    std::string sources = "[dir_file]=\"" + data.string() + (c.contents_only ? "/*.*" : "") + "\"\r\n" +
                          "[dir_file]=\"" + memo.string() + "\"\r\n";
    write_file(scratch.work() / "jobconf.ini", job(c.type, sources));
    auto r = scratch.run("ZUBETOC");
    ASSERT_EQ(r.status, 0) << read_file(scratch.work() / "logdata.txt");
    EXPECT_EQ(unstamp(read_file(scratch.work() / "logdata.txt")),
              kStart + c.loading + "\r\n[xx/xx xx:xx:xx]=圧縮処理終了=0000\r\n");

    auto found = archives_in(backup);
    ASSERT_EQ(found.size(), 1u) << "exactly the archive, no temporary file";
    EXPECT_TRUE(std::regex_match(found[0].filename().string(), std::regex(std::string(R"(20\d{12})") + "\\" + c.ext)));

    fs::path out = scratch.root() / "extracted";
    fs::remove_all(out);
    fs::create_directories(out);
    std::string cmd = std::regex_replace(c.extract, std::regex("\\{a\\}"), "'" + found[0].string() + "'");
    cmd = std::regex_replace(cmd, std::regex("\\{d\\}"), "'" + out.string() + "'") + " >/dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    // Paths are stored without their root: /tmp/x/data comes back as tmp/x/data.
    fs::path back = c.contents_only ? out : out / data.relative_path();
    fs::path memo_back = c.contents_only ? out / memo.filename() : out / memo.relative_path();
    arctest::Tree want, got;
    arctest::snapshot_into(data.string(), "", want);
    arctest::snapshot_into(back.string(), "", got);
    for (const auto& [utf8_name, node] : want) {
      // A cabinet holds files only: an empty folder cannot come back.
      if (c.type == 2 && node.kind == 'd' && utf8_name == "empty folder") continue;
      const std::string name = c.shift_jis ? cp932(utf8_name) : utf8_name;
      ASSERT_TRUE(got.count(name)) << name;
      EXPECT_EQ(got[name].kind, node.kind) << name;
      EXPECT_TRUE(got[name].data == node.data) << name;
    }
    EXPECT_EQ(read_file(memo_back), "memo\n");
  }
}

// Two runs in one second name the same archive: the second must fail and
// leave the first untouched, and leave nothing half-written behind.
TEST_F(Backup, AnExistingArchiveOfTheSameNameIsNeverReplaced) {
  std::map<fs::path, std::string> before;
  std::time_t now = std::time(nullptr);
  for (int s = 0; s < 6; ++s) {
    std::time_t t = now + s;
    std::tm tm {};
    localtime_r(&t, &tm);
    char name[32];
    std::strftime(name, sizeof name, "20%y%m%d%H%M%S.zip", &tm);
    before[backup / name] = "first archive " + std::to_string(s);
    write_file(backup / name, before[backup / name]);
  }
  write_file(scratch.work() / "jobconf.ini", job(1, two_sources()));
  auto r = scratch.run("ZUBETOC");
  EXPECT_EQ(r.status, 1);
  std::string log = unstamp(read_file(scratch.work() / "logdata.txt"));
  EXPECT_NE(log.find("UNZIP32.DLL Loading\r\nERROR: "), std::string::npos) << log;
  EXPECT_TRUE(std::regex_search(log, std::regex("圧縮処理終了=8004\r\n$"))) << log;
  EXPECT_EQ(archives_in(backup).size(), before.size()) << "a temporary file was left behind";
  for (const auto& [path, bytes] : before) EXPECT_EQ(read_file(path), bytes) << path;
}

// More than ten sources travel through the response file that the window
// writes; the worker names it and the archiver reads it from the job's folder.
TEST_F(Backup, ElevenSourcesThroughTheResponseFile) {
  std::string resp;
  for (int i = 0; i < 11; ++i) {
    fs::path f = scratch.root() / ("source " + std::to_string(i) + ".txt");
    write_file(f, "content " + std::to_string(i));
    resp += "\"" + f.string() + "\"\r\n";
  }
  write_file(scratch.work() / "resp.tmp", resp);
  write_file(scratch.work() / "jobconf.ini", job(3, "[dir_file]=\"@resp.tmp\"\r\n"));
  auto r = scratch.run("ZUBETOC");
  ASSERT_EQ(r.status, 0) << read_file(scratch.work() / "logdata.txt");
  auto found = archives_in(backup);
  ASSERT_EQ(found.size(), 1u);
  fs::path out = scratch.root() / "extracted";
  fs::create_directories(out);
  ASSERT_EQ(std::system(("tar -xf '" + found[0].string() + "' -C '" + out.string() + "'").c_str()), 0);
  for (int i = 0; i < 11; ++i)
    EXPECT_EQ(read_file(out / (scratch.root() / ("source " + std::to_string(i) + ".txt")).relative_path()),
              "content " + std::to_string(i));
}

// A source that is gone by the time the archiver walks it (here: named only
// in the response file, which the worker does not test) is named in the run
// log and fails the job, while everything else is archived and kept.
TEST_F(Backup, ASourceThatVanishedIsNamedAndTheRestIsKept) {
  fs::path gone = scratch.root() / "vanished folder";
  write_file(scratch.work() / "resp.tmp", "\"" + data.string() + "\"\r\n\"" + gone.string() + "\"\r\n");
  write_file(scratch.work() / "jobconf.ini", job(1, "[dir_file]=\"@resp.tmp\"\r\n"));
  auto r = scratch.run("ZUBETOC");
  EXPECT_EQ(r.status, 1);
  std::string log = unstamp(read_file(scratch.work() / "logdata.txt"));
  EXPECT_NE(log.find(gone.string()), std::string::npos) << log;
  EXPECT_TRUE(std::regex_search(log, std::regex("圧縮処理終了=8010\r\n$"))) << log;
  auto found = archives_in(backup);
  ASSERT_EQ(found.size(), 1u) << "the archive of what could be saved is kept";
  fs::path out = scratch.root() / "extracted";
  fs::create_directories(out);
  ASSERT_EQ(std::system(("unzip -q '" + found[0].string() + "' -d '" + out.string() + "'").c_str()), 0);
  EXPECT_EQ(read_file(out / (data / "notes.txt").relative_path()), read_file(data / "notes.txt"));
}

// A run stopped by SIGTERM, SIGINT or SIGHUP while the archive is written:
// the partial archive goes, no archive is named, and the run log still gets
// its end line with the archiver's "stopped" code.
TEST_F(Backup, AStoppedRunRemovesItsPartialArchiveAndEndsItsLog) {
  write_file(data / "big.bin", arctest::random_bytes(24 << 20, 5));
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(sig);
    fs::remove(scratch.work() / "logdata.txt");
    // Shutdown asked for: a stopped run must not shut down. (This worker
    // links the recording fake: no test ever reaches the real request.)
    std::string with_shutdown = job(1, two_sources());
    with_shutdown.replace(with_shutdown.find("[shut_flg]=0"), 12, "[shut_flg]=1");
    write_file(scratch.work() / "jobconf.ini", with_shutdown);
    const fs::path record = scratch.root() / "shutdowns.txt";
    fs::remove(record);
    // The run is held still 1 MiB into the big file (a preloaded read
    // seam) until the signal is sent: stopped part way on any machine.
    const fs::path held = scratch.root() / "held", go = scratch.root() / "go";
    fs::remove(held);
    fs::remove(go);
    bool seen = false;
    auto r = scratch.run("ZUBETOC",
                         {{"ZUBETO_FAKE_SHUTDOWN_RECORD", record.string()},
                          {"LD_PRELOAD", READ_FAULT_LIB},
                          {"ZUBETO_FAULT", "hold"},
                          {"ZUBETO_FAULT_PATH", fs::canonical(data / "big.bin").string()},
                          {"ZUBETO_FAULT_AT", std::to_string(1 << 20)},
                          {"ZUBETO_HOLD_FILE", held.string()},
                          {"ZUBETO_GO_FILE", go.string()}},
                         Scratch::Output::file, [&](pid_t pid) {
      for (int i = 0; i < 150000 && !seen; ++i) {
        seen = fs::exists(held);
        if (!seen) {
          int status;
          if (waitpid(pid, &status, WNOHANG) == pid) return;
          usleep(2000);
        }
      }
      bool part = false;
      for (auto& e : fs::directory_iterator(backup))
        if (e.path().extension() == ".part") part = true;
      EXPECT_TRUE(part) << "a run held part way has its temporary";
      kill(pid, sig);
      write_file(go, "");
    });
    ASSERT_TRUE(seen) << "the run was never held part way through its archive";
    EXPECT_EQ(r.status, 1) << "the worker ends its own way, not by the signal";
    std::string log = unstamp(read_file(scratch.work() / "logdata.txt"));
    EXPECT_NE(log.find("stopped by"), std::string::npos) << log;
    EXPECT_TRUE(std::regex_search(log, std::regex("圧縮処理終了=800e\r\n$"))) << log;
    EXPECT_TRUE(archives_in(backup).empty()) << "neither an archive nor a temporary file";
    EXPECT_EQ(read_file(record).find("request"), std::string::npos) << "a stopped run never shuts down";
  }
}

// A socket inside a folder holds nothing to back up: the run succeeds, and
// the log names it all the same.
TEST_F(Backup, ASocketInsideAFolderIsNamedWithoutFailingTheRun) {
  fs::path sock = data / "agent.sock";
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  struct sockaddr_un a {};
  a.sun_family = AF_UNIX;
  std::strncpy(a.sun_path, sock.c_str(), sizeof a.sun_path - 1);
  ASSERT_EQ(bind(fd, reinterpret_cast<struct sockaddr*>(&a), sizeof a), 0);
  close(fd);
  for (int type : {0, 1, 2, 3}) {
    SCOPED_TRACE(type);
    fs::remove(scratch.work() / "logdata.txt");
    for (auto& e : fs::directory_iterator(backup)) fs::remove(e.path());
    std::string source = type == 2 ? data.string() + "/*.*" : data.string();
    write_file(scratch.work() / "jobconf.ini", job(type, "[dir_file]=\"" + source + "\"\r\n"));
    auto r = scratch.run("ZUBETOC");
    EXPECT_EQ(r.status, 0);
    std::string log = unstamp(read_file(scratch.work() / "logdata.txt"));
    EXPECT_NE(log.find("\r\nNOTE: left out: " + sock.string() + " (a socket"), std::string::npos) << log;
    EXPECT_TRUE(std::regex_search(log, std::regex("圧縮処理終了=0000\r\n$"))) << log;
    EXPECT_EQ(archives_in(backup).size(), 1u);
  }
}

}  // namespace
