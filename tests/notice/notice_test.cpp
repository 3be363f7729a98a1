// The desktop notice after a run, through a private session bus: the worker
// (the test build, shutdown faked, notice real) runs in a job folder with
// the bus in its environment; a small recording notification service
// writes down every notice it is sent.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <optional>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

#include "harness.h"

namespace fs = std::filesystem;
using e2e::read_file;
using e2e::write_file;

namespace {

// One notice as the recording service wrote it down.
struct Recorded {
  std::string app, icon, summary, body, urgency, entry;
};

std::vector<std::string> split(const std::string& s, char sep) {
  std::vector<std::string> out;
  std::string cur;
  for (char c : s) {
    if (c == sep) {
      out.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  out.push_back(cur);
  return out;
}

bool wait_for(const fs::path& p, std::chrono::seconds limit) {
  auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    if (fs::exists(p)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return fs::exists(p);
}

void stop(pid_t& pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  int st = 0;
  waitpid(pid, &st, 0);
  pid = -1;
}

pid_t spawn(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
            const fs::path& log) {
  pid_t pid = fork();
  if (pid == 0) {
    for (const auto& [k, v] : env) setenv(k.c_str(), v.c_str(), 1);
    int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(fd, 1);
    dup2(fd, 2);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  return pid;
}

// A private session bus with nothing on it but what a test puts there, and
// no service files, so nothing on this machine can be started by a call.
class PrivateBus {
 public:
  PrivateBus() {
    char tmpl[] = "/tmp/zubeto-notice-XXXXXX";
    root_ = mkdtemp(tmpl);
    write_file(root_ / "session.conf",
               "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN\"\n"
               " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
               "<busconfig>\n  <type>session</type>\n"
               "  <listen>unix:path=" + (root_ / "bus").string() + "</listen>\n"
               "  <auth>EXTERNAL</auth>\n"
               "  <policy context=\"default\">\n"
               "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
               "    <allow eavesdrop=\"true\"/>\n    <allow own=\"*\"/>\n  </policy>\n</busconfig>\n");
    daemon_ = spawn({DBUS_DAEMON, "--config-file=" + (root_ / "session.conf").string(), "--nofork",
                     "--nopidfile"},
                    {}, root_ / "daemon.log");
    ready_ = wait_for(root_ / "bus", std::chrono::seconds(20));
  }
  ~PrivateBus() {
    stop(service_);
    stop(daemon_);
    std::error_code ec;
    fs::remove_all(root_, ec);
  }
  bool ready() const { return ready_; }
  std::string address() const { return "unix:path=" + (root_ / "bus").string(); }

  // Puts the recording service on the bus ("markup", "plain" or "silent").
  bool start_service(const std::string& mode) {
    stop(service_);
    fs::remove(root_ / "ready");
    fs::remove(record());
    service_ = spawn({NOTICE_RECORDER, record().string(), (root_ / "ready").string(), mode},
                     {{"DBUS_SESSION_BUS_ADDRESS", address()}}, root_ / "service.log");
    return wait_for(root_ / "ready", std::chrono::seconds(20));
  }
  void clear() { fs::remove(record()); }

  std::vector<Recorded> notices() const {
    std::vector<Recorded> out;
    if (!fs::exists(record())) return out;
    std::istringstream in(read_file(record()));
    std::string line;
    while (std::getline(in, line)) {
      auto f = split(line, '\t');
      if (f.size() != 6) {
        ADD_FAILURE() << "unreadable record line: " << line;
        continue;
      }
      out.push_back({f[0], f[1], f[2], f[3], f[4], f[5]});
    }
    return out;
  }

 private:
  fs::path record() const { return root_ / "record.txt"; }
  fs::path root_;
  pid_t daemon_ = -1;
  pid_t service_ = -1;
  bool ready_ = false;
};

// A scratch job: the worker and a fake ZIP library in a program folder, a
// job folder (named as the case asks), a source and a destination.
class Job {
 public:
  explicit Job(const std::string& folder_name = "job") {
    char tmpl[] = "/tmp/zubeto-noticejob-XXXXXX";
    root_ = mkdtemp(tmpl);
    folder_ = root_ / folder_name;
    fs::create_directories(folder_);
    fs::create_directories(root_ / "prog");
    fs::create_directories(root_ / "dest");
    fs::create_directories(root_ / "runtime");
    write_file(root_ / "memo.txt", "memo\n");
    fs::copy_file(ZUBETOC_TEST_EXE, root_ / "prog" / "ZUBETOC");
    fs::copy_file(FAKEARC, root_ / "prog" / "zip32j.so");
  }
  ~Job() {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }
  const fs::path& folder() const { return folder_; }
  fs::path root() const { return root_; }

  // A ZIP job of one source; "missing_dest" names a destination that is not there.
  void write_zip_job(bool missing_dest = false) const {
    write_job(root_ / (missing_dest ? "gone" : "dest"), root_ / "memo.txt");
  }
  // A ZIP job into the folder from the source, with extra lines before the shutdown line.
  void write_job(const fs::path& dest, const fs::path& source, const std::string& extra = "") const {
    write_file(folder_ / "jobconf.ini", "[mode]=1\r\n[archive]=\"" + dest.string() + "/\r\n[base_dir]\r\n[dir_file]=\"" +
                                            source.string() + "\"\r\n" + extra + "[shut_flg]=0\r\n");
  }

  struct Run {
    int status = -1;
    double seconds = 0;
  };
  // Runs the worker in the job folder with only the given session settings.
  Run run(const std::map<std::string, std::string>& env) const {
    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
      if (chdir(folder_.c_str()) != 0) _exit(126);
      unsetenv("DBUS_SESSION_BUS_ADDRESS");
      // The language only as the case gives it.
      for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG", "LANGUAGE"}) unsetenv(name);
      setenv("XDG_RUNTIME_DIR", (root_ / "runtime").c_str(), 1);  // holds no bus
      for (const auto& [k, v] : env) setenv(k.c_str(), v.c_str(), 1);
      int fd = open((root_ / "stdout.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(fd, 1);
      dup2(fd, 2);
      std::string exe = (root_ / "prog" / "ZUBETOC").string();
      execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    int st = 0;
    waitpid(pid, &st, 0);
    Run r;
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return r;
  }

  std::string log() const {
    fs::path p = folder_ / "logdata.txt";
    return fs::is_regular_file(p) ? e2e::unstamp(read_file(p)) : std::string();
  }

 private:
  fs::path root_;
  fs::path folder_;
};

// The four digits of the run log's last end line.
std::string end_line_code(const std::string& log) {
  const std::string key = "]=圧縮処理終了=";
  size_t at = log.rfind(key);
  return at == std::string::npos ? std::string() : log.substr(at + key.size(), 4);
}

const std::string kFailed = "バックアップが失敗しました。";
const std::string kNoJobCause = "ジョブ設定ファイル jobconf.ini がありません。設定画面でジョブを保存してください。";
const std::string kNoLog = "ログファイルを開けませんでした。";

class NoticeTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    bus_ = new PrivateBus();
    ASSERT_TRUE(bus_->ready()) << "the private session bus did not start";
    ASSERT_TRUE(bus_->start_service("markup")) << "the recording service did not start";
  }
  static void TearDownTestSuite() {
    delete bus_;
    bus_ = nullptr;
  }
  void SetUp() override {
    ASSERT_NE(bus_, nullptr);
    bus_->clear();
  }
  static PrivateBus* bus_;
};
PrivateBus* NoticeTest::bus_ = nullptr;

// Every way a run can end: failures send exactly one notice naming the end
// line's code and the run log; successes send none.
TEST_F(NoticeTest, OneNoticePerFailedRunNoneOnSuccess) {
  enum class Setup { zip_job, empty_job, no_job, mode_error, missing_dest, log_is_folder };
  struct Case {
    const char* name;
    Setup setup;
    const char* archiver_return;  // what the fake ZIP library answers
    int status;                   // the worker's exit status
    const char* code;             // the end line's code; "" when there is no end line
    bool notice;
    std::string cause;            // the sentence naming the cause, if the log tells one
  };
  const Case cases[] = {
      {"archive written", Setup::zip_job, "0", 0, "0000", false, ""},
      {"job without mode or archive", Setup::empty_job, "0", 0, "0000", false, ""},
      {"no job file", Setup::no_job, "0", 2, "0100", true, kNoJobCause},
      {"mode error", Setup::mode_error, "0", 3, "0300", true, ""},
      {"missing destination", Setup::missing_dest, "0", 7, "0701", true, "*"},
      {"archiver failure", Setup::zip_job, "0x8010", 1, "8010", true, ""},
      {"run log cannot be opened", Setup::log_is_folder, "0", 9, "", true, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    bus_->clear();
    Job job;
    switch (c.setup) {
      case Setup::zip_job:
        job.write_zip_job();
        break;
      case Setup::empty_job:
        write_file(job.folder() / "jobconf.ini", "");
        break;
      case Setup::no_job:
        break;
      case Setup::mode_error:
        write_file(job.folder() / "jobconf.ini", "[mode]=9\r\n");
        break;
      case Setup::missing_dest:
        job.write_zip_job(true);
        break;
      case Setup::log_is_folder:
        job.write_zip_job();
        fs::create_directory(job.folder() / "logdata.txt");
        break;
    }
    auto run = job.run({{"DBUS_SESSION_BUS_ADDRESS", bus_->address()},
                        {"ZUBETO_FAKEARC_RETURN", c.archiver_return},
                        {"LANG", "ja_JP.UTF-8"}});
    EXPECT_EQ(run.status, c.status);
    std::string log = job.log();
    EXPECT_EQ(end_line_code(log), c.code) << log;

    auto notices = bus_->notices();
    if (!c.notice) {
      EXPECT_TRUE(notices.empty()) << notices.size() << " notice(s), first: " << notices.front().body;
      continue;
    }
    ASSERT_EQ(notices.size(), 1u);
    const Recorded& n = notices.front();
    EXPECT_EQ(n.app, "ズベト");
    EXPECT_EQ(n.summary, "ズベト");
    EXPECT_EQ(n.icon, "zubeto");
    EXPECT_EQ(n.entry, "zubeto");
    EXPECT_EQ(n.urgency, "2");
    std::string where = "ログ: " + job.folder().string() + "/logdata.txt";
    std::string cause = c.cause == "*" ? "圧縮先フォルダ " + job.root().string() +
                                             "/gone/ が見つかりません。ドライブがつながっているか確かめてください。"
                                       : c.cause;
    if (!cause.empty()) cause += "\\n";
    std::string expected =
        *c.code ? kFailed + "\\n" + cause + "圧縮処理終了=" + c.code + "\\n" + where : kNoLog + "\\n" + where;
    EXPECT_EQ(n.body, expected);
  }
}

// A failed run's notice says what went wrong as the run log tells it, in
// a sentence: the missing folder (0701), the file left out (8011), the disk
// (8006), the archive that did not read back (0800); in Japanese under a
// Japanese locale and in English under any other.
TEST_F(NoticeTest, TheCauseInASentenceInTheUsersLanguage) {
  enum class Setup { missing_dest, missing_source, left_out, two_left_out, disk, readback };
  struct Case {
    const char* name;
    Setup setup;
    const char* lang;
    int status;
    const char* code;
    std::string cause;  // {root} is the job's scratch folder, {archive} the new archive's path
  };
  const Case cases[] = {
      {"destination, English", Setup::missing_dest, "en_US.UTF-8", 7, "0701",
       "The destination folder {root}/gone/ is missing. Is its drive connected?"},
      {"destination, Japanese", Setup::missing_dest, "ja_JP.UTF-8", 7, "0701",
       "圧縮先フォルダ {root}/gone/ が見つかりません。ドライブがつながっているか確かめてください。"},
      {"destination, C locale", Setup::missing_dest, "C", 7, "0701",
       "The destination folder {root}/gone/ is missing. Is its drive connected?"},
      {"source, English", Setup::missing_source, "en_US.UTF-8", 7, "0701",
       "The file or folder to back up, {root}/gone.txt, is missing."},
      {"source, Japanese", Setup::missing_source, "ja_JP.UTF-8", 7, "0701",
       "バックアップするファイルかフォルダ {root}/gone.txt が見つかりません。"},
      {"file left out, English", Setup::left_out, "en_US.UTF-8", 1, "8011",
       "{root}/secret.txt could not be read and was left out (permission denied); the archive holds everything "
       "else."},
      {"file left out, Japanese", Setup::left_out, "ja_JP.UTF-8", 1, "8011",
       "{root}/secret.txt を読めなかったため、アーカイブに入っていません（permission "
       "denied）。ほかのファイルはアーカイブにあります。"},
      {"two left out, English", Setup::two_left_out, "en_US.UTF-8", 1, "8011",
       "{root}/secret.txt could not be read and was left out (permission denied); the archive holds everything "
       "else. 1 more was left out too."},
      {"two left out, Japanese", Setup::two_left_out, "ja_JP.UTF-8", 1, "8011",
       "{root}/secret.txt を読めなかったため、アーカイブに入っていません（permission "
       "denied）。ほかのファイルはアーカイブにあります。ほかに 1 件も入っていません。"},
      {"disk, English", Setup::disk, "en_US.UTF-8", 1, "8006",
       "The archive could not be written to {root}/dest/ (disk full). Check that the disk has room and works."},
      {"disk, Japanese", Setup::disk, "ja_JP.UTF-8", 1, "8006",
       "{root}/dest/ にアーカイブを書き込めませんでした（disk full）。ディスクの空きと状態を確かめてください。"},
      {"read-back, English", Setup::readback, "en_US.UTF-8", 8, "0800",
       "The new archive {archive} did not read back correctly. It is kept for inspection, and no older archive "
       "was removed."},
      {"read-back, Japanese", Setup::readback, "ja_JP.UTF-8", 8, "0800",
       "新しいアーカイブ {archive} を読み戻して確かめたところ、正しく読めませんでした。調べられるよう残してあり、古い"
       "アーカイブは削除していません。"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    bus_->clear();
    Job job;
    const std::string root = job.root().string();
    const std::string archive_text = "ERROR: archive not written: cannot write the archive " + root +
                                     "/dest/20240515213005.zip (disk full)";
    const std::string left_text = "ERROR: 1 source was not archived (or not completely); the archive holds "
                                  "everything else: " + root + "/dest/20240515213005.zip\n"
                                  "cannot read: " + root + "/secret.txt (permission denied)";
    std::map<std::string, std::string> env = {{"DBUS_SESSION_BUS_ADDRESS", bus_->address()}, {"LANG", c.lang}};
    switch (c.setup) {
      case Setup::missing_dest:
        job.write_zip_job(true);
        break;
      case Setup::missing_source:
        job.write_job(job.root() / "dest", job.root() / "gone.txt");
        break;
      case Setup::left_out:
        job.write_zip_job();
        env["ZUBETO_FAKEARC_RETURN"] = "0x8011";
        env["ZUBETO_FAKEARC_OUTPUT"] = left_text;
        break;
      case Setup::two_left_out:
        job.write_zip_job();
        env["ZUBETO_FAKEARC_RETURN"] = "0x8011";
        env["ZUBETO_FAKEARC_OUTPUT"] = left_text + "\ncannot read folder: " + root + "/locked (permission denied)";
        break;
      case Setup::disk:
        job.write_zip_job();
        env["ZUBETO_FAKEARC_RETURN"] = "0x8006";
        env["ZUBETO_FAKEARC_OUTPUT"] = archive_text;
        break;
      case Setup::readback:
        // The fake library says it wrote the archive, but there is none to read back.
        job.write_job(job.root() / "dest", job.root() / "memo.txt", "[keep]=1\r\n");
        break;
    }
    auto run = job.run(env);
    EXPECT_EQ(run.status, c.status);
    const std::string log = job.log();
    EXPECT_EQ(end_line_code(log), c.code) << log;
    auto notices = bus_->notices();
    ASSERT_EQ(notices.size(), 1u);
    std::string cause = std::regex_replace(c.cause, std::regex("\\{root\\}"), root);
    const bool ja = std::string(c.lang).rfind("ja", 0) == 0;
    const std::string head = ja ? kFailed + "\\n" : "The backup failed.\\n";
    const std::string tail = (ja ? "\\n圧縮処理終了=" : "\\nResult code: ") + std::string(c.code) +
                             (ja ? "\\nログ: " : "\\nRun log: ") + job.folder().string() + "/logdata.txt";
    const std::string& body = notices.front().body;
    EXPECT_EQ(notices.front().summary, ja ? "ズベト" : "Zubeto");
    if (c.setup == Setup::readback) {
      // The archive's name holds the time of the run.
      const std::regex archive(root + "/dest/20[0-9]{12}\\.zip");
      std::string shown = std::regex_replace(body, archive, "{archive}");
      EXPECT_EQ(shown, head + c.cause + tail);
    } else {
      EXPECT_EQ(body, head + cause + tail);
    }
  }
}

// The folder of the run log is named in the notice as the user would read
// it: a name that is not UTF-8 does not cost the notice (the bus carries
// UTF-8 only), and "<" or "&" are escaped only for a service that reads
// markup, where they would otherwise start a tag or an entity.
TEST_F(NoticeTest, FolderNamesReachTheNoticeReadable) {
  struct Case {
    const char* name;
    std::string folder;
    const char* service;
    std::string shown;
  };
  const Case cases[] = {
      {"plain name", "job", "markup", "job"},
      {"markup characters, markup service", "a&b <c>", "markup", "a&amp;b &lt;c&gt;"},
      {"markup characters, plain service", "a&b <c>", "plain", "a&b <c>"},
      {"not UTF-8", "bad\xff\xfe-\xe3\x81", "plain", "bad\xEF\xBF\xBD\xEF\xBF\xBD-\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"Japanese name", "ジョブ", "markup", "ジョブ"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(bus_->start_service(c.service));
    Job job(c.folder);
    auto run = job.run({{"DBUS_SESSION_BUS_ADDRESS", bus_->address()}, {"LANG", "ja_JP.UTF-8"}});
    EXPECT_EQ(run.status, 2);
    auto notices = bus_->notices();
    ASSERT_EQ(notices.size(), 1u);
    std::string shown_folder = (job.root() / "").string();
    EXPECT_EQ(notices.front().body, kFailed + "\\n" + kNoJobCause + "\\n圧縮処理終了=0100\\nログ: " + shown_folder +
                                        c.shown + "/logdata.txt");
  }
  ASSERT_TRUE(bus_->start_service("markup"));
}

// Without anyone to show the notice the run is the same run: the same log,
// the same exit status, and no long wait. The bound is far above the
// notice's own timeout and below the bus library's default of 25 seconds.
TEST_F(NoticeTest, NoSessionOrNoServiceCostsTheRunNothing) {
  enum class Session { no_bus, bus_without_service, service_never_answers };
  struct Case {
    const char* name;
    Session session;
  };
  const Case cases[] = {
      {"no session bus", Session::no_bus},
      {"no notification service on the bus", Session::bus_without_service},
      {"a service that never answers", Session::service_never_answers},
  };
  const std::string expected_log =
      "[xx/xx xx:xx:xx]=圧縮処理開始\r\nファイルがありません=jobconf.ini\r\n[xx/xx xx:xx:xx]=圧縮処理終了=0100\r\n";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PrivateBus bus;
    ASSERT_TRUE(bus.ready());
    if (c.session == Session::service_never_answers) {
      ASSERT_TRUE(bus.start_service("silent"));
    }
    Job job;
    std::map<std::string, std::string> env;
    if (c.session == Session::no_bus)
      env["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=" + (job.root() / "no-bus-here").string();
    else
      env["DBUS_SESSION_BUS_ADDRESS"] = bus.address();
    auto run = job.run(env);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(job.log(), expected_log);
    EXPECT_LT(run.seconds, 12.0);
  }
  // No address at all, and no bus in the runtime folder either (a cron job).
  Job job;
  auto run = job.run({});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(job.log(), expected_log);
  EXPECT_LT(run.seconds, 12.0);
}

}  // namespace
