// The Windows worker run as a process, as the system starts it: real job
// files, the fake archiver DLL under the names of the archiver libraries,
// the recording shutdown fake, and the whole 32-bit exit code read back.
#include <gtest/gtest.h>

#include <random>

#include "win_harness.h"

using namespace winh;

namespace {

const std::string kStart = acp("[xx/xx xx:xx:xx]=圧縮処理開始") + "\r\n";
std::string end_line(const std::string& digits) { return acp("[xx/xx xx:xx:xx]=圧縮処理終了=") + digits + "\r\n"; }
const std::string kNotFound = acp("ファイルがありません=");
const std::string kDetail = acp("詳細エラー=");

std::string job(std::initializer_list<std::string> lines) {
  std::string s;
  for (const auto& l : lines) s += l + "\r\n";
  return s;
}

class WorkerRun : public ::testing::Test {
 protected:
  Scratch scratch;
  std::string record = scratch.root() + "\\archiver-record.txt";
  std::string shutdowns = scratch.root() + "\\shutdown-record.txt";
  std::map<std::string, std::string> env = {{"ZUBETO_FAKEARC_RECORD", record},
                                            {"ZUBETO_FAKE_SHUTDOWN_RECORD", shutdowns}};

  void SetUp() override { ASSERT_TRUE(scratch.install("ZUBETOC_test.exe", "ZUBETOC.exe")); }

  std::string data() {  // an existing source folder
    std::string d = scratch.root() + "\\data";
    ::CreateDirectoryA(d.c_str(), nullptr);
    return d;
  }
  std::string dest() {  // an existing destination, with its backslash
    std::string d = scratch.root() + "\\backup";
    ::CreateDirectoryA(d.c_str(), nullptr);
    return d + "\\";
  }
  std::string logfile() const { return scratch.work() + "\\logdata.txt"; }
  Scratch::Result run(const std::string& jobfile) {
    write_file(scratch.work() + "\\jobconf.ini", jobfile);
    return run_as_is();
  }
  Scratch::Result run_as_is() {
    auto r = scratch.run("ZUBETOC.exe", env);
    EXPECT_TRUE(r.started) << "the worker did not start, error " << r.start_error;
    EXPECT_TRUE(r.finished) << "the worker did not end";
    return r;
  }
  void fresh() {
    ::DeleteFileA(logfile().c_str());
    ::DeleteFileA(record.c_str());
    ::DeleteFileA(shutdowns.c_str());
  }
  std::string log() { return unstamp(read_file(logfile())); }
  bool archiver_called() { return exists(record); }
  bool shutdown_asked() { return exists(shutdowns); }
};

// The example run of the run log, on the Japanese system the program is
// made for: the fixed texts in Shift-JIS, every line ending in CR LF.
TEST_F(WorkerRun, MissingJobFileLogIsShiftJisByteForByte) {
  if (::GetACP() != 932) GTEST_SKIP() << "needs the Japanese ANSI code page, this run has " << ::GetACP();
  auto r = run_as_is();
  EXPECT_EQ(r.code, 0x0100u);
  std::string raw = read_file(logfile());
  const std::string stamp = R"(\[\d\d/\d\d \d\d:\d\d:\d\d\]=)";
  // 圧縮処理開始 / ファイルがありません= / 圧縮処理終了=
  const std::string start = "\x88\xb3\x8f\x6b\x8f\x88\x97\x9d\x8a\x4a\x8e\x6e";
  const std::string missing = "\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xaa\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x3d";
  const std::string end = "\x88\xb3\x8f\x6b\x8f\x88\x97\x9d\x8f\x49\x97\xb9\x3d";
  EXPECT_TRUE(std::regex_match(raw, std::regex(stamp + re_escape(start) + "\r\n" + re_escape(missing) +
                                               "jobconf\\.ini\r\n" + stamp + re_escape(end) + "0100\r\n")))
      << raw;
  EXPECT_EQ(unstamp(raw), "[xx/xx xx:xx:xx]=" + start + "\r\n" + missing + "jobconf.ini\r\n[xx/xx xx:xx:xx]=" + end +
                              "0100\r\n");
}

// Every failure of the job file is a result code that the exit code
// carries whole (a POSIX shell would see 0x0100 as success), and none of
// them reaches the archiver or the shutdown asked for on the last line.
TEST_F(WorkerRun, JobFileFailuresExitWithTheirWholeCode) {
  ASSERT_TRUE(scratch.install("fakearc.dll", "ZIP32J.DLL"));
  const std::string d = dest(), src = data();
  struct Case {
    const char* name;
    bool write_job;
    std::string jobfile;
    DWORD code;
    std::string middle;
    std::string digits;
  } cases[] = {
      {"no job file", false, "", 0x0100, kNotFound + "jobconf.ini\r\n", "0100"},
      {"mode error", true, job({"[mode]=7", "[archive]=\"" + d, "[dir_file]=\"" + src + "\"", "[shut_flg]=1"}),
       0x0300, acp("モードエラー=") + "7\r\n", "0300"},
      {"destination under a missing folder", true,
       job({"[mode]=1", "[archive]=\"" + d + "gone\\deeper\\", "[dir_file]=\"" + src + "\"", "[shut_flg]=1"}), 0x0701,
       kNotFound + d + "gone\\deeper\\\r\n" + kDetail + "0003\r\n", "0701"},
      {"missing source", true,
       job({"[mode]=1", "[archive]=\"" + d, "[base_dir]", "[dir_file]=\"" + src + "\\gone.txt\"", "[shut_flg]=1"}),
       0x0701, kNotFound + src + "\\gone.txt\r\n" + kDetail + "0002\r\n", "0701"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fresh();
    ::DeleteFileA((scratch.work() + "\\jobconf.ini").c_str());
    auto r = c.write_job ? run(c.jobfile) : run_as_is();
    EXPECT_EQ(r.code, c.code);
    EXPECT_EQ(log(), kStart + c.middle + end_line(c.digits));
    EXPECT_FALSE(archiver_called());
    EXPECT_FALSE(shutdown_asked());
  }
}

TEST_F(WorkerRun, MissingLibraryIsReportedByType) {
  const char* lines[] = {"ERROR:UNLHA32.DLL not Found on your system.", "ERROR:UNZIP32.DLL not Found on your system.",
                         "ERROR:cab32.DLL not Found on your system.", "ERROR:TAR32.DLL not Found on your system.",
                         "ERROR:BGA32.DLL not Found on your system."};
  const std::string d = dest(), src = data();
  for (int type = 0; type <= 4; ++type) {
    SCOPED_TRACE(type);
    fresh();
    auto r = run(job({"[mode]=" + std::to_string(type), "[archive]=\"" + d, "[dir_file]=\"" + src + "\"", "[shut_flg]=0"}));
    EXPECT_EQ(r.code, 0x0400u + type);
    EXPECT_EQ(log(), kStart + lines[type] + "\r\n" + end_line("040" + std::to_string(type)));
  }
}

// A library of the other bitness beside the worker cannot be loaded: the
// run log keeps the missing library's line and code, and says on the next
// line what the file is. The worker passes over it, as the system's own
// search does, and takes a library of its own bitness further along.
TEST_F(WorkerRun, LibraryOfTheOtherBitnessIsToldAsSuch) {
  const int own = sizeof(void*) == 8 ? 64 : 32, other = 96 - own;
  // The smallest image the header test reads: "MZ", where the PE header
  // lies, the signature and the machine type of the other bitness.
  std::string header(0x48, '\0');
  header[0] = 'M';
  header[1] = 'Z';
  header[0x3C] = 0x40;
  header.replace(0x40, 4, std::string("PE\0\0", 4));
  header[0x44] = static_cast<char>(other == 32 ? 0x4C : 0x64);
  header[0x45] = static_cast<char>(other == 32 ? 0x01 : 0x86);
  struct Case {
    std::string name;
    std::string bytes;
  };
  std::vector<Case> cases = {{"a header of the other bitness", header}};
  // The real archiver library of the other build, when that build is there.
  if (const char* built = std::getenv("ZUBETO_OTHER_BITNESS_DLL")) {
    std::string path = built;
    if (!path.empty() && path[0] == '/') {  // a Linux path: Wine's drive Z:
      for (char& c : path)
        if (c == '/') c = '\\';
      path = "Z:" + path;
    }
    std::string bytes = read_file(path);
    if (!bytes.empty()) cases.push_back({"the " + std::to_string(other) + "-bit ZIP32J.DLL", bytes});
  }
  std::printf("libraries of the other bitness tried: %zu\n", cases.size());
  const std::string jobfile = job({"[mode]=1", "[archive]=\"" + dest(), "[dir_file]=\"" + data() + "\"", "[shut_flg]=0"});
  const std::string beside = scratch.prog() + "\\ZIP32J.DLL";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fresh();
    write_file(beside, c.bytes);
    auto r = run(jobfile);
    EXPECT_EQ(r.code, 0x0401u);
    EXPECT_EQ(log(), kStart + "ERROR:UNZIP32.DLL not Found on your system.\r\n" + beside + " is a " +
                         std::to_string(other) + "-bit library; this worker is " + std::to_string(own) + "-bit.\r\n" +
                         end_line("0401"));
    EXPECT_FALSE(archiver_called());
  }

  // One of the worker's own bitness in a folder of PATH is taken.
  fresh();
  const std::string more = scratch.root() + "\\more";
  ::CreateDirectoryA(more.c_str(), nullptr);
  ASSERT_TRUE(::CopyFileA((here() + "\\fakearc.dll").c_str(), (more + "\\ZIP32J.DLL").c_str(), FALSE));
  char path[32768] = {};
  ::GetEnvironmentVariableA("PATH", path, sizeof path);
  env["PATH"] = more + ";" + path;
  auto r = run(jobfile);
  EXPECT_EQ(r.code, 0u);
  EXPECT_EQ(log(), kStart + "UNZIP32.DLL Loading\r\n" + end_line("0000"));
  ::SetEnvironmentVariableA("PATH", path);
}

TEST_F(WorkerRun, LibraryIsNeverTakenFromTheCurrentFolder) {
  const std::string planted = scratch.work() + "\\ZIP32J.DLL";
  ASSERT_TRUE(::CopyFileA((here() + "\\fakearc.dll").c_str(), planted.c_str(), FALSE));
  auto r = run(job({"[mode]=1", "[archive]=\"" + dest(), "[dir_file]=\"" + data() + "\"", "[shut_flg]=0"}));
  EXPECT_EQ(r.code, 0x0401u);
  EXPECT_FALSE(archiver_called());
}

TEST_F(WorkerRun, LibraryWithoutItsCommandFunctionCountsAsMissing) {
  ASSERT_TRUE(scratch.install("fakearc_nocmd.dll", "TAR32.dll"));
  auto r = run(job({"[mode]=3", "[archive]=\"" + dest(), "[base_dir]=\"C:\\\"", "[dir_file]=\"" + data() + "\"",
                    "[shut_flg]=0"}));
  EXPECT_EQ(r.code, 0x0403u);
  EXPECT_EQ(log(), kStart + "ERROR:TAR32.DLL not Found on your system.\r\n" + end_line("0403"));
}

// The library is found beside the program whatever the letter case of its
// file; the archiver receives the whole argument text and its output size.
TEST_F(WorkerRun, SuccessfulRunLeavesThreeLinesAndTheCommandText) {
  ASSERT_TRUE(scratch.install("fakearc.dll", "zip32j.dll"));
  ASSERT_TRUE(scratch.install("fakearc.dll", "TAR32.DLL"));
  const std::string d = dest(), src = data();
  struct Case {
    std::string jobfile;
    std::string loading;
    std::string function;
    std::string size;
    std::string command;  // regular expression
  } cases[] = {
      {job({"[mode]=1", "[archive]=\"" + d, "[base_dir]", "[dir_file]=\"" + src + "\"", "[shut_flg]=0"}),
       "UNZIP32.DLL Loading", "Zip", "32767", "-rq \"" + re_escape(d) + R"(20\d{12}\.zip" ")" + re_escape(src) + "\" "},
      {job({"[mode]=3", "[archive]=\"" + d, "[base_dir]=\"C:\\\"", "[dir_file]=\"" + src + "\"", "[shut_flg]=0"}),
       "TAR32.DLL Loading", "Tar", "1000",
       "-cvf \"" + re_escape(d) + R"(20\d{12}\.tar" --display-dialog=0 "C:\\" ")" + re_escape(src) + "\" "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.function);
    fresh();
    auto r = run(c.jobfile);
    EXPECT_EQ(r.code, 0u);
    EXPECT_EQ(log(), kStart + c.loading + "\r\n" + end_line("0000"));
    std::string rec = read_file(record);
    std::string head = "function=" + c.function + "\nsize=" + c.size + "\n";
    ASSERT_EQ(rec.substr(0, head.size()), head);
    EXPECT_TRUE(std::regex_match(rec.substr(head.size()), std::regex(c.command))) << rec;
    EXPECT_FALSE(shutdown_asked());
  }
}

TEST_F(WorkerRun, VersionAndProgressGoToStandardOutputWhenItIsRedirected) {
  ASSERT_TRUE(scratch.install("fakearc.dll", "ZIP32J.DLL"));
  env["ZUBETO_FAKEARC_VERSION"] = "241";
  auto r = run(job({"[mode]=1", "[archive]=\"" + dest(), "[dir_file]=\"" + data() + "\""}));
  EXPECT_EQ(r.code, 0u);
  EXPECT_EQ(r.out, "UNZIP32.DLL Version 2.41 \r\nProcessing .... Please Wait...\r\n");
}

// An archiver failure does not stop the shutdown: the job file was read to
// its end. The output text stands in the log line by line (a CR LF is one
// line end, as a LF alone).
TEST_F(WorkerRun, ArchiverFailureWithSeveralLinesIsLoggedAndStillShutsDown) {
  ASSERT_TRUE(scratch.install("fakearc.dll", "ZIP32J.DLL"));
  env["ZUBETO_FAKEARC_RETURN"] = "0x8005";
  env["ZUBETO_FAKEARC_OUTPUT"] = "first line\r\nsecond line\nthird";
  auto r = run(job({"[mode]=1", "[archive]=\"" + dest(), "[dir_file]=\"" + data() + "\"", "[shut_flg]=1"}));
  EXPECT_EQ(r.code, 0x8005u);
  EXPECT_EQ(log(), kStart + "UNZIP32.DLL Loading\r\nfirst line\r\nsecond line\r\nthird\r\n" +
                       acp("[xx/xx xx:xx:xx]=シャットダウンします。") + "\r\n" + end_line("8005"));
  EXPECT_EQ(read_file(shutdowns),
            "version\nprivilege enable SeShutdownPrivilege\nrequest\nprivilege disable SeShutdownPrivilege\n");
}

// The end line shows four digits; the exit code keeps all 32 bits.
TEST_F(WorkerRun, ArchiverCodesKeepAllTheirBitsInTheExitCode) {
  ASSERT_TRUE(scratch.install("fakearc.dll", "ZIP32J.DLL"));
  struct {
    const char* ret;
    DWORD code;
    const char* digits;
  } cases[] = {{"0x12345", 0x12345, "1234"},
               {"-2147483647", 0x80000001u, "8000"},
               {"-1", 0xFFFFFFFFu, "ffff"},
               {"0x100", 0x100, "0100"},
               {"1", 1, "0001"}};
  for (auto c : cases) {
    SCOPED_TRACE(c.ret);
    fresh();
    env["ZUBETO_FAKEARC_RETURN"] = c.ret;
    env["ZUBETO_FAKEARC_OUTPUT"] = "failed";
    auto r = run(job({"[mode]=1", "[archive]=\"" + dest(), "[dir_file]=\"" + data() + "\""}));
    EXPECT_EQ(r.code, c.code);
    EXPECT_EQ(log(), kStart + "UNZIP32.DLL Loading\r\nfailed\r\n" + end_line(c.digits));
  }
}

// What the shutdown step logs and asks for on each kind of platform.
TEST_F(WorkerRun, ShutdownStepByPlatform) {
  ASSERT_TRUE(scratch.install("fakearc.dll", "ZIP32J.DLL"));
  const std::string jobfile =
      job({"[mode]=1", "[archive]=\"" + dest(), "[dir_file]=\"" + data() + "\"", "[shut_flg]=1"});
  struct Case {
    const char* platform;
    const char* privilege;
    std::string line;  // between the loading line and the end line
    std::string calls;
    std::string out;  // part of standard output
  } cases[] = {
      {"nt", "ok", acp("[xx/xx xx:xx:xx]=シャットダウンします。") + "\r\n",
       "version\nprivilege enable SeShutdownPrivilege\nrequest\nprivilege disable SeShutdownPrivilege\n", ""},
      {"nt", "adjust", acp("[xx/xx xx:xx:xx]=シャットダウン出来ませんでした。") + "\r\n",
       "version\nprivilege enable SeShutdownPrivilege\nprivilege disable SeShutdownPrivilege\n",
       "AdjustTokenPrivileges err\r\n"},
      {"95", "ok", "", "version\nrequest\n", ""},
      {"fail", "ok", acp("[xx/xx xx:xx:xx]=バージョン獲得異常") + "\r\n", "version\n", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.platform) + " " + c.privilege);
    fresh();
    env["ZUBETO_FAKE_PLATFORM"] = c.platform;
    env["ZUBETO_FAKE_PRIVILEGE"] = c.privilege;
    auto r = run(jobfile);
    EXPECT_EQ(r.code, 0u);
    EXPECT_EQ(log(), kStart + "UNZIP32.DLL Loading\r\n" + c.line + end_line("0000"));
    EXPECT_EQ(read_file(shutdowns), c.calls);
    EXPECT_NE(r.out.find(c.out), std::string::npos) << r.out;
  }
}

TEST_F(WorkerRun, RunLogThatCannotBeOpenedEndsTheRunWith9990) {
  ASSERT_TRUE(scratch.install("fakearc.dll", "ZIP32J.DLL"));
  const std::string jobfile =
      job({"[mode]=1", "[archive]=\"" + dest(), "[dir_file]=\"" + data() + "\"", "[shut_flg]=1"});
  struct Case {
    const char* name;
    bool folder;
  } cases[] = {{"a folder of that name", true}, {"held open by another program that shares it with nobody", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fresh();
    ::RemoveDirectoryA(logfile().c_str());
    HANDLE held = INVALID_HANDLE_VALUE;
    if (c.folder) {
      ASSERT_TRUE(::CreateDirectoryA(logfile().c_str(), nullptr));
    } else {
      write_file(logfile(), "old\r\n");
      held = ::CreateFileA(logfile().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
      ASSERT_NE(held, INVALID_HANDLE_VALUE);
    }
    auto r = run(jobfile);
    if (held != INVALID_HANDLE_VALUE) ::CloseHandle(held);
    EXPECT_EQ(r.code, 0x9990u);
    EXPECT_FALSE(archiver_called());
    EXPECT_FALSE(shutdown_asked());
    EXPECT_EQ(r.out, "");
    if (!c.folder) EXPECT_EQ(read_file(logfile()), "old\r\n");
  }
  ::RemoveDirectoryA(logfile().c_str());
}

TEST_F(WorkerRun, RunsAppendToTheLogAndADeletedLogIsCreatedAgain) {
  run_as_is();
  run_as_is();
  const std::string one = kStart + kNotFound + "jobconf.ini\r\n" + end_line("0100");
  EXPECT_EQ(log(), one + one);
  ::DeleteFileA(logfile().c_str());
  run_as_is();
  EXPECT_EQ(log(), one);
}

// Paths are already in the ANSI code page: they reach the archiver and the
// run log byte for byte, never converted like the program's own texts. The
// Japanese name ends in 表, whose second byte is a backslash.
TEST_F(WorkerRun, NonAsciiPathsPassThroughUnchanged) {
  std::string name = acp_exact(L"写真表");
  if (name.empty()) name = acp_exact(L"caf\u00e9");
  ASSERT_FALSE(name.empty());
  ASSERT_TRUE(scratch.install("fakearc.dll", "ZIP32J.DLL"));
  const std::string d = dest();
  const std::string src = scratch.root() + "\\" + name;
  ASSERT_TRUE(::CreateDirectoryA(src.c_str(), nullptr));

  auto ok = run(job({"[mode]=1", "[archive]=\"" + d, "[dir_file]=\"" + src + "\""}));
  EXPECT_EQ(ok.code, 0u);
  std::string rec = read_file(record);
  EXPECT_NE(rec.find(" \"" + src + "\" "), std::string::npos) << rec;

  fresh();
  auto missing = run(job({"[mode]=1", "[archive]=\"" + d, "[dir_file]=\"" + src + "\\" + name + "\""}));
  EXPECT_EQ(missing.code, 0x0701u);
  EXPECT_EQ(log(), kStart + kNotFound + src + "\\" + name + "\r\n" + kDetail + "0002\r\n" + end_line("0701"));
}

// The worker copied into a folder whose name ends in ソ, 十, 表, 能 or 予
// (each one's second Shift-JIS byte is the backslash) still finds the
// archiver library beside it and runs the job to its end.
TEST(WorkerFolder, ProgramFolderEndingInTheByteOfABackslashFindsItsLibrary) {
  if (::GetACP() != 932) GTEST_SKIP() << "needs the Japanese ANSI code page, this run has " << ::GetACP();
  const char* endings[] = {"\x83\x5c", "\x8f\x5c", "\x95\x5c", "\x94\x5c", "\x97\x5c"};  // ソ 十 表 能 予
  for (const char* end : endings) {
    Scratch s(std::string("\x83\x76\x83\x8d\x83\x4f") + end);  // プログ + the character
    SCOPED_TRACE(s.prog());
    ASSERT_TRUE(s.install("ZUBETOC_test.exe", "ZUBETOC.exe"));
    ASSERT_TRUE(s.install("fakearc.dll", "ZIP32J.DLL"));
    const std::string src = s.root() + "\\data", dest = s.root() + "\\";
    ::CreateDirectoryA(src.c_str(), nullptr);
    const std::string record = s.root() + "\\archiver-record.txt";
    write_file(s.work() + "\\jobconf.ini",
               job({"[mode]=1", "[archive]=\"" + dest, "[dir_file]=\"" + src + "\"", "[shut_flg]=0"}));
    auto r = s.run("ZUBETOC.exe", {{"ZUBETO_FAKEARC_RECORD", record}});
    EXPECT_EQ(r.code, 0u);
    EXPECT_EQ(unstamp(read_file(s.work() + "\\logdata.txt")), kStart + "UNZIP32.DLL Loading\r\n" + end_line("0000"));
    EXPECT_TRUE(exists(record));
  }
}

TEST_F(WorkerRun, GarbageJobFileGetsAClearOutcome) {
  ASSERT_TRUE(scratch.install("fakearc.dll", "ZIP32J.DLL"));
  std::mt19937 rng(7);
  std::string garbage;
  for (int i = 0; i < 20000; ++i) garbage += static_cast<char>(rng() & 0xFF);
  auto r = run(garbage);
  EXPECT_TRUE(r.finished);
  std::string l = log();
  EXPECT_EQ(l.substr(0, kStart.size()), kStart);
  std::string end_prefix = end_line("");  // up to the digits
  end_prefix.resize(end_prefix.size() - 2);
  ASSERT_GE(l.size(), end_prefix.size() + 6);
  EXPECT_EQ(l.substr(l.size() - end_prefix.size() - 6, end_prefix.size()), end_prefix) << l;
  EXPECT_EQ(l.substr(l.size() - 2), "\r\n");
}

}  // namespace
