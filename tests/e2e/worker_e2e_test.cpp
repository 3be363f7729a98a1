// The built worker run as a process in a scratch folder, with real job files,
// a fake archiver library and the recording shutdown fake.
#include <gtest/gtest.h>

#include <random>

#include "harness.h"

using namespace e2e;

namespace {

const std::string kStart = "[xx/xx xx:xx:xx]=圧縮処理開始\r\n";
std::string end_line(const std::string& digits) { return "[xx/xx xx:xx:xx]=圧縮処理終了=" + digits + "\r\n"; }

std::string job(std::initializer_list<std::string> lines) {
  std::string s;
  for (const auto& l : lines) s += l + "\r\n";
  return s;
}

class WorkerRun : public ::testing::Test {
 protected:
  Scratch scratch;
  fs::path record = scratch.root() / "archiver-record.txt";
  fs::path shutdowns = scratch.root() / "shutdown-record.txt";
  std::map<std::string, std::string> env = {{"ZUBETO_FAKEARC_RECORD", record.string()},
                                            {"ZUBETO_FAKE_SHUTDOWN_RECORD", shutdowns.string()}};

  void SetUp() override { scratch.install(ZUBETOC_TEST_EXE, "ZUBETOC"); }

  fs::path data() {  // an existing source folder
    fs::create_directories(scratch.root() / "data");
    return scratch.root() / "data";
  }
  std::string dest() {  // an existing destination, with its separator
    fs::create_directories(scratch.root() / "backup");
    return (scratch.root() / "backup").string() + "/";
  }
  Scratch::Result run(const std::string& jobfile) {
    write_file(scratch.work() / "jobconf.ini", jobfile);
    return scratch.run("ZUBETOC", env);
  }
  std::string log() { return unstamp(read_file(scratch.work() / "logdata.txt")); }
  bool archiver_called() { return fs::exists(record); }
  bool shutdown_asked() { return fs::exists(shutdowns); }
};

TEST_F(WorkerRun, MissingJobFile) {
  auto r = scratch.run("ZUBETOC", env);
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(log(), kStart + "ファイルがありません=jobconf.ini\r\n" + end_line("0100"));
  EXPECT_FALSE(shutdown_asked());
}

// Jobs that stop while the job file is read: no archiver, no shutdown, even
// though every one of them asks for the shutdown on its last line.
TEST_F(WorkerRun, JobFileFailuresStopBeforeArchiverAndShutdown) {
  scratch.install(FAKEARC, "zip32j.so");
  fs::path file = scratch.root() / "file.txt";
  write_file(file, "x");
  const std::string d = dest(), src = data().string();
  struct Case {
    const char* name;
    std::string jobfile;
    int status;
    std::string middle;
    std::string digits;
  } cases[] = {
      {"mode error", job({"[mode]=7", "[archive]=\"" + d, "[dir_file]=\"" + src + "\"", "[shut_flg]=1"}), 3,
       "モードエラー=7\r\n", "0300"},
      {"missing destination", job({"[mode]=1", "[archive]=\"" + d + "gone/", "[dir_file]=\"" + src + "\"", "[shut_flg]=1"}),
       7, "ファイルがありません=" + d + "gone/\r\n詳細エラー=0002\r\n", "0701"},
      {"missing source", job({"[mode]=1", "[archive]=\"" + d, "[base_dir]", "[dir_file]=\"" + src + "/gone\"", "[shut_flg]=1"}),
       7, "ファイルがありません=" + src + "/gone\r\n詳細エラー=0002\r\n", "0701"},
      {"destination is a file", job({"[mode]=1", "[archive]=\"" + file.string() + "/", "[dir_file]=\"" + src + "\"", "[shut_flg]=1"}),
       7, "ファイルがありません=" + file.string() + "/\r\n詳細エラー=0014\r\n", "0701"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(scratch.work() / "logdata.txt");
    auto r = run(c.jobfile);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(log(), kStart + c.middle + end_line(c.digits));
    EXPECT_FALSE(archiver_called());
    EXPECT_FALSE(shutdown_asked());
  }
}

TEST_F(WorkerRun, JobFileThatIsAFolderIsNoJobFile) {
  fs::create_directories(scratch.work() / "jobconf.ini");
  auto r = scratch.run("ZUBETOC", env);
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(log(), kStart + "ファイルがありません=jobconf.ini\r\n" + end_line("0100"));
}

TEST_F(WorkerRun, MissingLibraryIsReportedByType) {
  const char* lines[] = {"ERROR:UNLHA32.DLL not Found on your system.", "ERROR:UNZIP32.DLL not Found on your system.",
                         "ERROR:cab32.DLL not Found on your system.", "ERROR:TAR32.DLL not Found on your system.",
                         "ERROR:BGA32.DLL not Found on your system."};
  const std::string d = dest(), src = data().string();
  for (int type = 0; type <= 4; ++type) {
    SCOPED_TRACE(type);
    fs::remove(scratch.work() / "logdata.txt");
    auto r = run(job({"[mode]=" + std::to_string(type), "[archive]=\"" + d, "[dir_file]=\"" + src + "\"", "[shut_flg]=0"}));
    EXPECT_EQ(r.status, 4);
    EXPECT_EQ(log(), kStart + lines[type] + "\r\n" + end_line("040" + std::to_string(type)));
  }
}

// The job files lie in the current folder, so a library planted there must
// never load: not by itself, and not through an empty or relative entry of
// LD_LIBRARY_PATH, which the system loader would read as that folder.
TEST_F(WorkerRun, LibraryIsNeverTakenFromTheCurrentFolder) {
  fs::copy_file(FAKEARC, scratch.work() / "zip32j.so");
  const std::string jobfile =
      job({"[mode]=1", "[archive]=\"" + dest(), "[dir_file]=\"" + data().string() + "\"", "[shut_flg]=0"});
  for (const char* path : {"", "/nonexistent:", ":/nonexistent", "/a::/b", ".", "work"}) {
    SCOPED_TRACE(std::string("LD_LIBRARY_PATH=") + path);
    fs::remove(scratch.work() / "logdata.txt");
    fs::remove(record);
    env["LD_LIBRARY_PATH"] = path;
    auto r = run(jobfile);
    EXPECT_EQ(r.status, 4);
    EXPECT_FALSE(archiver_called());
    EXPECT_EQ(log(), kStart + "ERROR:UNZIP32.DLL not Found on your system.\r\n" + end_line("0401"));
  }
}

// Not beside the program, the library is still found in an absolute folder
// of LD_LIBRARY_PATH, after the entries that name no folder of it.
TEST_F(WorkerRun, LibraryIsFoundInAnAbsoluteLibraryPathFolder) {
  fs::create_directories(scratch.root() / "libs");
  fs::copy_file(FAKEARC, scratch.root() / "libs" / "zip32j.so");
  env["LD_LIBRARY_PATH"] = ":/nonexistent:" + (scratch.root() / "libs").string();
  auto r = run(job({"[mode]=1", "[archive]=\"" + dest(), "[dir_file]=\"" + data().string() + "\"", "[shut_flg]=0"}));
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(archiver_called());
  EXPECT_EQ(log(), kStart + "UNZIP32.DLL Loading\r\n" + end_line("0000"));
}

// An archiver runs inside the worker: when it brings the process down, the
// lines logged before it must already be in the run log.
TEST_F(WorkerRun, LinesLoggedBeforeAnArchiverCrashAreKept) {
  scratch.install(FAKEARC, "zip32j.so");
  env["ZUBETO_FAKEARC_CRASH"] = "1";
  auto r = run(job({"[mode]=1", "[archive]=\"" + dest(), "[dir_file]=\"" + data().string() + "\"", "[shut_flg]=0"}));
  EXPECT_EQ(r.signal, SIGABRT);
  EXPECT_TRUE(archiver_called());
  EXPECT_EQ(log(), kStart + "UNZIP32.DLL Loading\r\n");
}

// A scheduler or a window whose output pipe has gone away: the version and
// progress lines are lost, the backup and its log are not.
TEST_F(WorkerRun, StandardOutputThatNobodyReadsDoesNotStopTheRun) {
  scratch.install(FAKEARC, "zip32j.so");
  write_file(scratch.work() / "jobconf.ini",
             job({"[mode]=1", "[archive]=\"" + dest(), "[dir_file]=\"" + data().string() + "\"", "[shut_flg]=1"}));
  auto r = scratch.run("ZUBETOC", env, Scratch::Output::closed_pipe);
  EXPECT_EQ(r.signal, 0);
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(archiver_called());
  EXPECT_TRUE(shutdown_asked());
  EXPECT_EQ(log(), kStart + "UNZIP32.DLL Loading\r\n[xx/xx xx:xx:xx]=シャットダウンします。\r\n" + end_line("0000"));
}

TEST_F(WorkerRun, LibraryWithoutItsCommandFunctionCountsAsMissing) {
  scratch.install(FAKEARC_NOCMD, "tar32.so");
  auto r = run(job({"[mode]=3", "[archive]=\"" + dest(), "[base_dir]=\"/\"", "[dir_file]=\"" + data().string() + "\"",
                    "[shut_flg]=0"}));
  EXPECT_EQ(r.status, 4);
  EXPECT_EQ(log(), kStart + "ERROR:TAR32.DLL not Found on your system.\r\n" + end_line("0403"));
}

TEST_F(WorkerRun, SuccessfulRunLeavesThreeLinesAndTheCommandText) {
  scratch.install(FAKEARC, "zip32j.so");
  scratch.install(FAKEARC, "tar32.so");
  const std::string d = dest(), src = data().string();
  struct Case {
    std::string jobfile;
    std::string loading;
    std::string function;
    std::string size;
    std::regex command;
  } cases[] = {
      {job({"[mode]=1", "[archive]=\"" + d, "[base_dir]", "[dir_file]=\"" + src + "\"", "[shut_flg]=0"}),
       "UNZIP32.DLL Loading", "Zip", "32767", std::regex("-rq \"" + d + R"(20\d{12}\.zip" ")" + src + "\" ")},
      {job({"[mode]=3", "[archive]=\"" + d, "[base_dir]=\"/\"", "[dir_file]=\"" + src + "\"", "[shut_flg]=0"}),
       "TAR32.DLL Loading", "Tar", "1000",
       std::regex("-cvf \"" + d + R"(20\d{12}\.tar" --display-dialog=0 "/" ")" + src + "\" ")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.function);
    fs::remove(scratch.work() / "logdata.txt");
    auto r = run(c.jobfile);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(log(), kStart + c.loading + "\r\n" + end_line("0000"));
    std::string rec = read_file(record);
    std::string head = "function=" + c.function + "\nsize=" + c.size + "\n";
    ASSERT_EQ(rec.substr(0, head.size()), head);
    EXPECT_TRUE(std::regex_match(rec.substr(head.size()), c.command)) << rec;
    EXPECT_FALSE(shutdown_asked());
  }
}

TEST_F(WorkerRun, VersionAndProgressGoToStandardOutput) {
  scratch.install(FAKEARC, "zip32j.so");
  env["ZUBETO_FAKEARC_VERSION"] = "241";
  auto r = run(job({"[mode]=1", "[archive]=\"" + dest(), "[dir_file]=\"" + data().string() + "\""}));
  EXPECT_EQ(r.out, "UNZIP32.DLL Version 2.41 \nProcessing .... Please Wait...\n");
}

// An archiver failure does not stop the shutdown: the job file was read to
// its end. Its output text stands in the log as its lines (CR LF and LF
// alike), every other control character written visibly, and no line of
// it can pass for one of the log's own time-stamped lines: an archiver
// that lists a file's name unescaped (not ours) cannot forge an end line.
TEST_F(WorkerRun, ArchiverFailureIsLoggedAndStillShutsDown) {
  scratch.install(FAKEARC, "zip32j.so");
  env["ZUBETO_FAKEARC_RETURN"] = "0x8005";
  env["ZUBETO_FAKEARC_OUTPUT"] =
      "first line\r\nsecond line\nthird \x1b[31mred\x7f\ttab\rcr\r\n[12/10 12:00:01]=圧縮処理終了=0000\nNOTE: x\r\n";
  auto r = run(job({"[mode]=1", "[archive]=\"" + dest(), "[dir_file]=\"" + data().string() + "\"", "[shut_flg]=1"}));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(log(), kStart + "UNZIP32.DLL Loading\r\nfirst line\r\nsecond line\r\n" +
                       "third \\x1b[31mred\\x7f\\ttab\\rcr\r\n\\x5b12/10 12:00:01]=圧縮処理終了=0000\r\nNOTE: x\r\n" +
                       "[xx/xx xx:xx:xx]=シャットダウンします。\r\n" + end_line("8005"));
  EXPECT_EQ(read_file(shutdowns),
            "version\nprivilege enable SeShutdownPrivilege\nrequest\nprivilege disable SeShutdownPrivilege\n");
}

TEST_F(WorkerRun, ShutdownRefusedIsLoggedAndTheMachineKeepsRunning) {
  scratch.install(FAKEARC, "zip32j.so");
  env["ZUBETO_FAKE_PRIVILEGE"] = "adjust";
  auto r = run(job({"[mode]=1", "[archive]=\"" + dest(), "[dir_file]=\"" + data().string() + "\"", "[shut_flg]=1"}));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(log(), kStart + "UNZIP32.DLL Loading\r\n[xx/xx xx:xx:xx]=シャットダウン出来ませんでした。\r\n" + end_line("0000"));
  EXPECT_EQ(read_file(shutdowns), "version\nprivilege enable SeShutdownPrivilege\nprivilege disable SeShutdownPrivilege\n");
  EXPECT_NE(r.out.find("AdjustTokenPrivileges err\n"), std::string::npos);
}

TEST_F(WorkerRun, ArchiverCodesKeepTheirDigitsAndFailTheExitStatus) {
  scratch.install(FAKEARC, "zip32j.so");
  struct {
    const char* ret;
    const char* digits;
  } cases[] = {{"0x12345", "1234"}, {"0x100", "0100"}, {"0x200", "0200"}, {"1", "0001"}};
  for (auto c : cases) {
    SCOPED_TRACE(c.ret);
    fs::remove(scratch.work() / "logdata.txt");
    env["ZUBETO_FAKEARC_RETURN"] = c.ret;
    env["ZUBETO_FAKEARC_OUTPUT"] = "failed";
    auto r = run(job({"[mode]=1", "[archive]=\"" + dest(), "[dir_file]=\"" + data().string() + "\""}));
    EXPECT_EQ(r.status, 1) << "an archiver failure must never read as success or as a worker code";
    EXPECT_EQ(log(), kStart + "UNZIP32.DLL Loading\r\nfailed\r\n" + end_line(c.digits));
  }
}

TEST_F(WorkerRun, RunLogThatCannotBeOpenedEndsTheRunAtOnce) {
  scratch.install(FAKEARC, "zip32j.so");
  fs::create_directories(scratch.work() / "logdata.txt");
  auto r = run(job({"[mode]=1", "[archive]=\"" + dest(), "[dir_file]=\"" + data().string() + "\"", "[shut_flg]=1"}));
  EXPECT_EQ(r.status, 9);
  EXPECT_FALSE(archiver_called());
  EXPECT_FALSE(shutdown_asked());
  EXPECT_EQ(r.out, "");
}

TEST_F(WorkerRun, RunsAppendToTheLogAndADeletedLogIsCreatedAgain) {
  scratch.run("ZUBETOC", env);
  scratch.run("ZUBETOC", env);
  const std::string one = kStart + "ファイルがありません=jobconf.ini\r\n" + end_line("0100");
  EXPECT_EQ(log(), one + one);
  fs::remove(scratch.work() / "logdata.txt");
  scratch.run("ZUBETOC", env);
  EXPECT_EQ(log(), one);
}

TEST_F(WorkerRun, GarbageAndHugeLinesGetAClearOutcome) {
  scratch.install(FAKEARC, "zip32j.so");
  std::mt19937 rng(7);
  std::string garbage;
  for (int i = 0; i < 20000; ++i) garbage += static_cast<char>(rng() & 0xFF);
  auto r = run(garbage);
  EXPECT_GE(r.status, 0) << "the worker crashed on binary garbage";
  std::string l = log();
  EXPECT_EQ(l.substr(0, kStart.size()), kStart);
  EXPECT_TRUE(std::regex_search(l, std::regex(R"(\[xx/xx xx:xx:xx\]=圧縮処理終了=[0-9a-f]{4}\r\n$)"))) << l;

  // A 100 KB line that matches no key is passed over whole: none of it leaks
  // into the next line or into the archiver's command text.
  fs::remove(scratch.work() / "logdata.txt");
  const std::string src = data().string();
  auto ok = run(job({"[mode]=1", std::string(100 * 1024, 'g') + "[dir_file]=\"/etc\"", "[archive]=\"" + dest(),
                     "[dir_file]=\"" + src + "\""}));
  EXPECT_EQ(ok.status, 0);
  std::string rec = read_file(record);
  EXPECT_EQ(rec.find("ggg"), std::string::npos);
  EXPECT_EQ(rec.find("/etc"), std::string::npos);
}

}  // namespace
