// The worker's plain functions: run-log lines, the job file reader and its
// argument text, the archiver dispatch and the shutdown step.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "archiver.h"
#include "job.h"
#include "platform/fileinfo.h"
#include "platform/localtime.h"
#include "retention.h"
#include "run.h"
#include "runlog.h"
#include "shutdown.h"
#include "shutdown_fake.h"

using namespace worker;
using namespace std::string_literals;

namespace {

// A run log in memory.
struct MemLog {
  RunLog log;
  MemLog() { log.file = std::tmpfile(); }
  ~MemLog() { std::fclose(log.file); }
  std::string text() {
    std::fflush(log.file);
    std::rewind(log.file);
    std::string s;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, log.file)) > 0) s.append(buf, n);
    return s;
  }
};

platform::LocalTime may15() { return {2024, 5, 15, 21, 30, 5}; }

// The file system as the job examples see it.
std::map<std::string, uint32_t>& fake_fs() {
  static std::map<std::string, uint32_t> fs;
  return fs;
}
uint32_t fake_attributes(const std::string& path, uint32_t* error) {
  auto it = fake_fs().find(path);
  if (it != fake_fs().end()) return it->second;
  if (error) *error = 3;
  return platform::kInvalidAttributes;
}

class JobTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::set_local_time_source(may15);
    platform::set_file_attributes_source(fake_attributes);
    fake_fs() = {{"D:\\backup\\", 16}, {"C:\\data", 16}, {"C:\\data\\", 16}, {"C:\\memo.txt", 32}};
  }
  void TearDown() override {
    platform::set_local_time_source(nullptr);
    platform::set_file_attributes_source(nullptr);
  }

  struct Result {
    int rc;
    int shut;
    int type;
    std::string args;
    std::string log;
  };
  Result assemble(const std::string& file, JobFacts* facts = nullptr) {
    MemLog log;
    std::FILE* in = fmemopen(const_cast<char*>(file.data()), file.size(), "rb");
    Result r{0, 0, kJobTypeUnset, {}, {}};
    r.rc = job_assemble(log.log, in, r.shut, r.type, r.args, facts);
    std::fclose(in);
    r.log = log.text();
    return r;
  }
};

TEST_F(JobTest, ExampleArgumentTextsAreReproducedExactly) {
  const std::string common_tail = "[dir_file]=\"C:\\data\"\r\n[dir_file]=\"C:\\memo.txt\"\r\n[shut_flg]=0\r\n";
  auto lzh = assemble("[mode]=0\r\n[archive]=\"D:\\backup\\\r\n[base_dir]\r\n" + common_tail);
  EXPECT_EQ(lzh.rc, 0);
  EXPECT_EQ(lzh.args, "a \"D:\\backup\\20240515213005.lzh\" -x1r2a2 -n1 \"C:\\data\" \"C:\\memo.txt\" ");

  auto tar = assemble("[mode]=3\r\n[archive]=\"D:\\backup\\\r\n[base_dir]=\"C:\\\"\r\n" + common_tail);
  EXPECT_EQ(tar.rc, 0);
  EXPECT_EQ(tar.args,
            "-cvf \"D:\\backup\\20240515213005.tar\" --display-dialog=0 \"C:\\\" \"C:\\data\" \"C:\\memo.txt\" ");

  auto cab = assemble("[mode]=2\r\n[archive]=\"D:\\backup\\\r\n[base_dir]\r\n[dir_file]=\"@resp.tmp\"\r\n[shut_flg]=0\r\n");
  EXPECT_EQ(cab.rc, 0);
  EXPECT_EQ(cab.args, "-a -ri \"D:\\backup\\20240515213005.cab\" \"@resp.tmp\" ");
  EXPECT_EQ(cab.type, 2);
  EXPECT_EQ(cab.log, "");
}

TEST_F(JobTest, LinesAndTheirEffects) {
  struct Case {
    const char* name;
    std::string file;
    int rc;
    int shut;
    int type;
    std::string args;
    std::string log;
  };
  const std::string arch = "[archive]=\"D:\\backup\\\n";
  const Case cases[] = {
      {"mode 7 is refused", "[mode]=7\n" + arch, 0x0300, 0, kJobTypeUnset, "", "モードエラー=7\r\n"},
      {"mode 5 is refused", "[mode]=5\n", 0x0300, 0, kJobTypeUnset, "", "モードエラー=5\r\n"},
      {"mode letter is refused", "[mode]=z\n", 0x0300, 0, kJobTypeUnset, "", "モードエラー=z\r\n"},
      {"empty mode is refused", "[mode]=\n", 0x0300, 0, kJobTypeUnset, "", "モードエラー=\r\n"},
      {"mode 10 reads as ZIP", "[mode]=10\n", 0, 0, 1, "-rq ", ""},
      {"mode 4 is BGA", "[mode]=4\n" + arch, 0, 0, 4, "a \"D:\\backup\\20240515213005.bza\" ", ""},
      {"other letter case is ignored", "[Mode]=1\n[SHUT_FLG]=1\n", 0, 0, kJobTypeUnset, "", ""},
      {"leading space is ignored", " [mode]=1\n [shut_flg]=1\n", 0, 0, kJobTypeUnset, "", ""},
      {"shutdown anywhere sets it for good", "[shut_flg]=1\n[mode]=1\n[shut_flg]=0\n", 0, 1, 1, "-rq ", ""},
      {"shutdown value other than 1", "[shut_flg]=2\n[shut_flg]=\n", 0, 0, kJobTypeUnset, "", ""},
      {"second mode appends a second switch", "[mode]=1\n[mode]=3\n" + arch, 0, 0, 3,
       "-rq -cvf \"D:\\backup\\20240515213005.tar\" --display-dialog=0 ", ""},
      {"lines in another order", "[mode]=1\n[dir_file]=\"C:\\data\"\n" + arch, 0, 0, 1,
       "-rq \"C:\\data\" \"D:\\backup\\20240515213005.zip\" ", ""},
      {"no archive line is not refused", "[mode]=1\n[dir_file]=\"C:\\data\"\n", 0, 0, 1, "-rq \"C:\\data\" ", ""},
      {"response file is not tested", "[mode]=1\n[dir_file]=\"@nowhere.tmp\"\n", 0, 0, 1, "-rq \"@nowhere.tmp\" ", ""},
      {"CAB folder suffix is tested as the folder", "[mode]=2\n[dir_file]=\"C:\\data\\*.*\"\n", 0, 0, 2,
       "-a -ri \"C:\\data\\*.*\" ", ""},
      {"bare base_dir is ignored", "[mode]=1\n[base_dir]\n", 0, 0, 1, "-rq ", ""},
      {"archive before mode stops the job", arch + "[mode]=1\n", 0x0300, 0, kJobTypeUnset, "", "モードエラー=\r\n"},
      {"missing source stops reading before the shutdown line",
       "[mode]=1\n" + arch + "[dir_file]=\"C:\\gone\"\n[shut_flg]=1\n", 0x0701, 0, 1, "-rq \"D:\\backup\\20240515213005.zip\" ",
       "ファイルがありません=C:\\gone\r\n詳細エラー=0003\r\n"},
      {"missing destination", "[mode]=1\n[archive]=\"E:\\none\\\n[shut_flg]=1\n", 0x0701, 0, 1, "-rq ",
       "ファイルがありません=E:\\none\\\r\n詳細エラー=0003\r\n"},
      {"CR LF and LF line ends alike", "[mode]=1\r\n[dir_file]=\"C:\\data\"\n", 0, 0, 1, "-rq \"C:\\data\" ", ""},
      {"NUL in base folder stops the job", "[mode]=3\n[base_dir]=\"C:\\\0\"\n"s, 0x0701, 0, 3, "-cvf ",
       "ファイルがありません=\"C:\\?\"\r\n詳細エラー=0016\r\n"},
      // The archiver would see the command cut at the NUL: every later
      // source would vanish while the run ended 0000.
      {"NUL after a response file name stops the job", "[mode]=1\n[dir_file]=\"@resp.tmp\0x\"\n"s, 0x0701, 0, 1, "-rq ",
       "ファイルがありません=@resp.tmp?x\r\n詳細エラー=0016\r\n"},
      {"NUL inside a source stops the job", "[mode]=1\n[dir_file]=\"C:\\data\0x\"\n"s, 0x0701, 0, 1, "-rq ",
       "ファイルがありません=C:\\data?x\r\n詳細エラー=0016\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto r = assemble(c.file);
    EXPECT_EQ(r.rc, c.rc);
    EXPECT_EQ(r.shut, c.shut);
    EXPECT_EQ(r.type, c.type);
    EXPECT_EQ(r.args, c.args);
    EXPECT_EQ(r.log, c.log);
  }
}

// A path longer than any fixed line buffer goes through whole; a shorter
// folder whose name is a prefix of it must never be backed up instead.
TEST_F(JobTest, LongPathsAreReadWholeNeverCut) {
  std::string longdir = "C:\\" + std::string(200, 'p');
  fake_fs()[longdir.substr(0, 85)] = 16;  // what a cut at 88 bytes would test
  auto cut = assemble("[mode]=1\n[dir_file]=\"" + longdir + "\"\n");
  EXPECT_EQ(cut.rc, 0x0701) << "a cut path was tested in place of the real one";

  fake_fs()[longdir] = 16;
  std::string huge = "C:\\" + std::string(100 * 1024, 'h');
  fake_fs()[huge] = 16;
  auto whole = assemble("[mode]=1\n[archive]=\"D:\\backup\\\n[dir_file]=\"" + longdir + "\"\n[dir_file]=\"" + huge + "\"\n");
  EXPECT_EQ(whole.rc, 0);
  EXPECT_EQ(whole.args, "-rq \"D:\\backup\\20240515213005.zip\" \"" + longdir + "\" \"" + huge + "\" ");
}

// Which path is tested: only a CAB job drops "*.*" and every other "*";
// the separator before a dropped "*.*" stays, so the folder is tested as
// "C:\data\" (the only form this fixture knows).
TEST_F(JobTest, PathCheckDropsWildcardsOnlyForCab) {
  fake_fs() = {{"C:\\data\\", 16}, {"C:\\ab", 32}};
  struct Case {
    const char* value;
    int job_type;
    int rc;
    std::string log;
  } cases[] = {
      {"\"C:\\data\\*.*\"", 2, 0, ""},
      {"\"C:\\data\\*.*\"", 1, 3, "ファイルがありません=C:\\data\\*.*\r\n詳細エラー=0003\r\n"},
      {"\"C:\\a*b\"", 2, 0, ""},
      {"\"C:\\a*b\"", 3, 3, "ファイルがありません=C:\\a*b\r\n詳細エラー=0003\r\n"},
      {"\"C:\\a\"b\"", 1, 0, ""},  // every quote goes, not only the outer ones
      {"\"C:\\data*.*\"", 2, 3, "ファイルがありません=C:\\data\r\n詳細エラー=0003\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.value) + " type " + std::to_string(c.job_type));
    MemLog log;
    EXPECT_EQ(path_check(log.log, c.value, c.job_type), c.rc);
    EXPECT_EQ(log.text(), c.log);
  }
}

// "[keep]=N" is a line older workers ignore: it changes nothing of what the
// archiver is given, and reaches the run only as the number of archives to
// keep. Anything but plain digits keeps every archive.
TEST_F(JobTest, KeepLineIsReadBesideTheArgumentTextNotIntoIt) {
  const std::string head = "[mode]=1\r\n[archive]=\"D:\\backup\\\r\n[base_dir]\r\n[dir_file]=\"C:\\data\"\r\n";
  const std::string tail = "[shut_flg]=1\r\n";
  JobFacts without;
  auto plain = assemble(head + tail, &without);
  EXPECT_EQ(without.keep, 0);
  EXPECT_EQ(without.archive, "D:\\backup\\20240515213005.zip");
  struct Case {
    const char* line;
    int keep;
  } cases[] = {
      {"[keep]=3", 3},        {"[keep]=0", 0},       {"[keep]=007", 7},   {"[keep]=", 0},
      {"[keep]=-1", 0},       {"[keep]=3 ", 0},      {"[keep]=two", 0},   {"[keep]=99999999999999", 1000000},
      {"[Keep]=3", 0},        {" [keep]=3", 0},      {"[keep]=1\r\n[keep]=5", 5},
      {"[future]=1\r\n[keep]=2", 2},  // a line no worker knows is ignored
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    JobFacts facts;
    auto r = assemble(head + c.line + "\r\n" + tail, &facts);
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(r.args, plain.args);
    EXPECT_EQ(r.shut, 1) << "the shutdown line after it is still read";
    EXPECT_EQ(r.log, "");
    EXPECT_EQ(facts.keep, c.keep);
    EXPECT_EQ(facts.archive, without.archive);
  }
  // The archive named is the first one: the one the archiver makes.
  JobFacts two;
  assemble("[mode]=3\n[archive]=\"D:\\backup\\\n[mode]=1\n[archive]=\"D:\\backup\\\n", &two);
  EXPECT_EQ(two.archive, "D:\\backup\\20240515213005.tar");
}

// Which archives retention removes: the oldest by name, only names of the
// job's format written exactly as the worker writes them, never the new one.
TEST(Retention, OnlyTheOldestArchivesOfTheFormatGo) {
  const std::string now = "20240515213005.zip";
  const std::vector<std::string> mixed = {
      "20240101000000.zip", "20230101000000.zip", "20220101000000.zip",  // ours, oldest last
      "20200101000000.lzh",                                            // another format
      "2019010100000.zip",  "201901010000000.zip",  "2019010100000a.zip", "20190101000000.ZIP",
      "20190101000000.zip.abcdefgh.part", "x20190101000000.zip", "20190101000000.zip ", now};
  struct Case {
    const char* name;
    std::vector<std::string> names;
    std::string newest;
    int keep;
    std::vector<std::string> removed;
  } cases[] = {
      {"keep 1", mixed, now, 1, {"20220101000000.zip", "20230101000000.zip", "20240101000000.zip"}},
      {"keep 2", mixed, now, 2, {"20220101000000.zip", "20230101000000.zip"}},
      {"keep 4: exactly four", mixed, now, 4, {}},
      {"keep 0 keeps all", mixed, now, 0, {}},
      {"negative keeps all", mixed, now, -3, {}},
      {"the new archive sorts first (a clock set back): kept all the same", {"20990101000000.zip", now}, now, 1,
       {"20990101000000.zip"}},
      {"a new archive not named as ours removes nothing", mixed, "backup.zip", 1, {}},
      {"LZH", mixed, "20240515213005.lzh", 1, {"20200101000000.lzh"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(archives_to_remove(c.names, c.newest, c.newest.substr(c.newest.rfind('.')), c.keep), c.removed);
  }
  EXPECT_TRUE(is_archive_name("20240515213005.cab", ".cab"));
  EXPECT_FALSE(is_archive_name("20240515213005.cab", ".tar"));
  EXPECT_FALSE(is_archive_name("20240515213005.cab", ""));
}

TEST_F(JobTest, ArchiveNameUsesTwoDigitFieldsAndTheCentury20) {
  platform::set_local_time_source([] { return platform::LocalTime{2031, 3, 1, 9, 5, 7}; });
  auto r = assemble("[mode]=1\n[archive]=\"D:\\backup\\\n");
  EXPECT_EQ(r.args, "-rq \"D:\\backup\\20310301090507.zip\" ");
}

TEST(PathCheck, ReportsTheSystemErrorCodeInHex) {
  char dir[] = "/tmp/zubeto-pc-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  std::string file = std::string(dir) + "/f.txt";
  std::fclose(std::fopen(file.c_str(), "w"));
  struct Case {
    std::string value;
    int job_type;
    int rc;
    std::string log;
  } cases[] = {
      {"\"" + std::string(dir) + "/\"", 1, 0, ""},
      {"\"" + std::string(dir) + "/*.*\"", 2, 0, ""},  // CAB drops the *.*
      {"\"" + file + "\"", 1, 0, ""},
      {"\"" + std::string(dir) + "/none\"", 1, 2, "ファイルがありません=" + std::string(dir) + "/none\r\n詳細エラー=0002\r\n"},
      {"\"" + file + "/\"", 1, 20, "ファイルがありません=" + file + "/\r\n詳細エラー=0014\r\n"},
      {"\"@resp.tmp\"", 1, 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    MemLog log;
    EXPECT_EQ(path_check(log.log, c.value, c.job_type), c.rc);
    EXPECT_EQ(log.text(), c.log);
  }
  std::remove(file.c_str());
  rmdir(dir);
}

TEST(RunLogLines, StampsAndLineEnds) {
  EXPECT_EQ(stamp_text("[xx/xx xx:xx:xx]=圧縮処理開始", {2024, 3, 1, 9, 5, 7}), "[03/01 09:05:07]=圧縮処理開始");
  EXPECT_EQ(stamp_text("[xx/xx xx:xx:xx]=x", {2024, 12, 31, 23, 59, 58}), "[12/31 23:59:58]=x");

  struct {
    int code;
    const char* digits;
  } codes[] = {{0, "0000"}, {0x100, "0100"}, {0x0701, "0701"}, {0xffff, "ffff"}, {0x12345, "1234"}, {-1, "ffff"}};
  for (auto c : codes) EXPECT_EQ(result_digits(c.code), c.digits) << c.code;

  MemLog log;
  log_put(log.log, "one");
  log_put(log.log, "a\nb");
  log_put(log.log, "x\r\ny");
  log_put(log.log, "");
  EXPECT_EQ(log.text(), "one\r\na\r\nb\r\nx\r\r\ny\r\n\r\n");
}

TEST(ArchiverDispatch, TypesOutsideTheTableLoadNothing) {
  for (int t : {-1, 5, 9, 1000}) {
    MemLog log;
    const RunOutcome outcome = arc_dispatch(log.log, t, "-rq ");
    EXPECT_EQ(outcome.code, 0);
    EXPECT_FALSE(outcome.from_archiver());
    EXPECT_EQ(outcome.text, "");
    EXPECT_EQ(log.text(), "");
  }
}

TEST(ArchiverDispatch, TableRowsDifferOnlyWhereTheyMust) {
  EXPECT_STREQ(kArcTable[1].library, "ZIP32J.DLL");
  EXPECT_STREQ(kArcTable[1].loading_line, "UNZIP32.DLL Loading");
  EXPECT_STREQ(kArcTable[2].not_found_line, "ERROR:cab32.DLL not Found on your system.");
  for (int t = 0; t < 5; ++t) {
    EXPECT_EQ(kArcTable[t].not_found_code, 0x0400 + t);
    EXPECT_EQ(kArcTable[t].output_size, t == 3 ? 1000u : 32767u);
  }
}

class ShutdownTest : public ::testing::Test {
 protected:
  void TearDown() override {
    unsetenv("ZUBETO_FAKE_PLATFORM");
    unsetenv("ZUBETO_FAKE_PRIVILEGE");
    unsetenv("ZUBETO_FAKE_REQUEST");
  }
};

TEST_F(ShutdownTest, PlatformKinds) {
  struct {
    const char* platform;
    int kind;
  } cases[] = {{"win32s", 1}, {"95", 2}, {"98", 3}, {"nt", 4}, {"other", 9}, {"fail", 9}};
  for (auto c : cases) {
    setenv("ZUBETO_FAKE_PLATFORM", c.platform, 1);
    EXPECT_EQ(os_kind_get(), c.kind) << c.platform;
  }
}

TEST_F(ShutdownTest, StepLogsTheOutcomeAndGivesThePrivilegeBack) {
  const std::string en = "privilege enable SeShutdownPrivilege";
  const std::string dis = "privilege disable SeShutdownPrivilege";
  struct Case {
    const char* platform;
    const char* privilege;
    std::string line;  // after the stamp
    std::vector<std::string> calls;
    const char* request = "ok";  // what the system answers the request
  } cases[] = {
      {"nt", "ok", "シャットダウンします。", {"version", en, "request", dis}},
      {"nt", "adjust", "シャットダウン出来ませんでした。", {"version", en, dis}},
      {"nt", "token", "シャットダウン出来ませんでした。", {"version", en, dis}},
      {"nt", "lookup", "シャットダウン出来ませんでした。", {"version", en, dis}},
      {"nt", "ok", "シャットダウン出来ませんでした。", {"version", en, "request", dis}, "refuse"},
      {"95", "ok", "", {"version", "request"}, "refuse"},
      {"95", "adjust", "", {"version", "request"}},
      {"98", "ok", "", {"version", "request"}},
      {"win32s", "ok", "", {"version", "request"}},
      {"fail", "ok", "バージョン獲得異常", {"version"}},
  };
  platform::set_local_time_source(may15);
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.platform) + "/" + c.privilege);
    setenv("ZUBETO_FAKE_PLATFORM", c.platform, 1);
    setenv("ZUBETO_FAKE_PRIVILEGE", c.privilege, 1);
    setenv("ZUBETO_FAKE_REQUEST", c.request, 1);
    fake_shutdown::calls().clear();
    MemLog log;
    shutdown_step(log.log);
    EXPECT_EQ(log.text(), c.line.empty() ? "" : "[05/15 21:30:05]=" + c.line + "\r\n");
    EXPECT_EQ(fake_shutdown::calls(), c.calls);
  }
  platform::set_local_time_source(nullptr);
}

TEST_F(ShutdownTest, PrivilegeErrorsArePrintedOnStandardOutput) {
  struct {
    const char* privilege;
    const char* text;
  } cases[] = {{"token", "OpenProcessToken err\n"},
               {"lookup", "LookupPrivilegeValue err\n"},
               {"adjust", "AdjustTokenPrivileges err\n"}};
  for (auto c : cases) {
    setenv("ZUBETO_FAKE_PRIVILEGE", c.privilege, 1);
    testing::internal::CaptureStdout();
    EXPECT_EQ(shut_priv_set("SeShutdownPrivilege", true), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.text);
  }
}

TEST(ExitStatus, EveryFailureStaysAFailureIn8Bits) {
  struct {
    int code;
    bool archiver;
    int status;
  } cases[] = {{0, false, 0},      {0, true, 0},      {0x0100, false, 2}, {0x0300, false, 3}, {0x0400, false, 4},
               {0x0404, false, 4}, {0x0701, false, 7}, {0x9990, false, 9}, {0x0800, false, 8}, {0x0100, true, 1},  {0x8005, true, 1},
               {0x0200, true, 1},  {-1, true, 1}};
  for (auto c : cases)
    EXPECT_EQ(exit_status_for(RunOutcome{c.code, c.archiver ? Origin::archiver : Origin::worker, {}}), c.status)
        << std::hex << c.code;
}

// A successful archiver's text is not logged, except the lines it marks as
// notes: what the user must know although the archive is complete.
TEST(ArchiverNotes, OnlyNoteLinesOfASuccessAreKept) {
  struct Case {
    const char* label;
    std::string output;
    std::string notes;
  } cases[] = {
      {"empty", "", ""},
      {"a listing only", "a memo.txt\r\na data/", ""},
      {"notes among a listing", "NOTE: left out: /h/s (a socket)\r\na x\r\nNOTE: two sources give f.txt",
       "NOTE: left out: /h/s (a socket)\nNOTE: two sources give f.txt"},
      {"a note must begin its line", "a NOTE: x\r\n NOTE: y", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(success_notes(c.output), c.notes) << c.label;
}

// A stop signal noted before the archiver is called: no library is even
// loaded, the log says why, and the code is the archivers' "stopped".
TEST(ArchiverStop, AStopBeforeTheCallCallsNothing) {
  char name[] = "/tmp/zubeto-stop-XXXXXX";
  int fd = mkstemp(name);
  ASSERT_GE(fd, 0);
  close(fd);
  RunLog log;
  ASSERT_TRUE(log_open(log, name));
  const ArcRow row = {"no-such-archiver.dll", "V", "C", "%1.2f\n", "LOADING", "NOT FOUND", 0x0401, 100};
  request_stop();
  const RunOutcome outcome = arc_run(log, row, "-rq \"x.zip\" ");
  clear_stop();
  log_close(log);
  EXPECT_EQ(outcome.code, 0x800E);
  EXPECT_FALSE(outcome.from_archiver());
  FILE* in = fopen(name, "rb");
  ASSERT_NE(in, nullptr);
  char buf[512] = {};
  size_t n = fread(buf, 1, sizeof buf - 1, in);
  fclose(in);
  unlink(name);
  std::string text(buf, n);
  EXPECT_NE(text.find("stopped by a signal before the archive was begun"), std::string::npos) << text;
  EXPECT_EQ(text.find("NOT FOUND"), std::string::npos) << "no library was looked for";
}

// What arc_run hands back: the code, whether the archiver gave it, and the
// archiver's text as the run log shows it. An archiver may return a number
// that is also one of the worker's codes; only the origin tells them apart,
// and the exit status with it.
TEST(ArchiverOutcome, CodeOriginAndTextAsLogged) {
  struct Case {
    const char* name;
    const char* library;
    const char* returns;
    const char* output;
    int code;
    Origin origin;
    std::string text;
    int status;
  } cases[] = {
      {"success without notes", "fakearc.dll", "0", "a memo.txt\r\n", 0, Origin::archiver, "", 0},
      {"success keeps its notes", "fakearc.dll", "0", "a x\r\nNOTE: left out: /s\r\n", 0, Origin::archiver,
       "NOTE: left out: /s", 0},
      {"failure keeps its text, escaped", "fakearc.dll", "0x8005", "cannot write\r\nname\x1b\r\n", 0x8005,
       Origin::archiver, "cannot write\nname\\x1b", 1},
      {"a worker's number from the archiver", "fakearc.dll", "0x0701", "", 0x0701, Origin::archiver, "", 1},
      {"missing library", "no-such-archiver.dll", "0", "", 0x0401, Origin::worker, "", 4},
  };
  for (const Case& c : cases) {
    setenv("ZUBETO_FAKEARC_RETURN", c.returns, 1);
    setenv("ZUBETO_FAKEARC_OUTPUT", c.output, 1);
    MemLog log;
    const ArcRow row = {c.library, "ZipGetVersion", "Zip", "%1.2f\n", "LOADING", "NOT FOUND", 0x0401, 1000};
    testing::internal::CaptureStdout();
    const RunOutcome outcome = arc_run(log.log, row, "-rq \"x.zip\" ");
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(outcome.code, c.code) << c.name;
    EXPECT_EQ(outcome.origin, c.origin) << c.name;
    EXPECT_EQ(outcome.text, c.text) << c.name;
    EXPECT_EQ(exit_status_for(outcome), c.status) << c.name;
    if (!c.text.empty()) {
      EXPECT_NE(log.text().find(c.text.substr(0, c.text.find('\n'))), std::string::npos) << c.name;
    }
  }
  unsetenv("ZUBETO_FAKEARC_RETURN");
  unsetenv("ZUBETO_FAKEARC_OUTPUT");
}

}  // namespace
