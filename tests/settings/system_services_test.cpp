// The real services of the settings window on the file system, and the
// operating-system services below them: program start, the single-copy mark
// and the text editor command line.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/dynlib.h"
#include "platform/process.h"
#include "system_services.h"

namespace fs = std::filesystem;

namespace zubeto {
namespace {

// Runs each test in a fresh temporary folder, as the current directory.
class InTempDir : public ::testing::Test {
 protected:
  void SetUp() override {
    char templ[] = "/tmp/zubeto-settings-XXXXXX";
    ASSERT_NE(::mkdtemp(templ), nullptr);
    dir_ = templ;
    old_ = fs::current_path();
    fs::current_path(dir_);
  }
  void TearDown() override {
    fs::current_path(old_);
    std::error_code ec;
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(dir_, ec);
  }
  static void write(const std::string& name, const std::string& bytes) {
    std::ofstream(name, std::ios::binary) << bytes;
  }
  static std::string read(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  // Waits up to about five seconds for a file to appear.
  static bool appears(const std::string& name) {
    for (int i = 0; i < 100; ++i) {
      if (fs::exists(name)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }
  fs::path dir_, old_;
};

// How a file's content splits into lines is the shared splitter's rule,
// tested with its every case in tests/text.

using SystemFiles = InTempDir;

TEST_F(SystemFiles, WrittenLinesEndInCrLfAndReadBack) {
  SystemServices s;
  write("jobconf.ini", "old content that must go\r\n");
  std::string failed;
  ASSERT_TRUE(s.write_text_files({{"jobconf.ini", {"[mode]=0", "[archive]=\"/バックアップ/"}}}, &failed));
  EXPECT_EQ(read("jobconf.ini"), "[mode]=0\r\n[archive]=\"/バックアップ/\r\n");

  auto lines = read_text_lines(s, "jobconf.ini");
  ASSERT_TRUE(lines);
  EXPECT_EQ(*lines, (std::vector<std::string>{"[mode]=0", "[archive]=\"/バックアップ/"}));
}

TEST_F(SystemFiles, LongLinesAndLfOnlyFilesReadWhole) {
  SystemServices s;
  std::string long_line = "[dir_file]=\"/" + std::string(5000, 'x') + "\"";
  write("resp.tmp", long_line + "\n\"/b\"");
  auto lines = read_text_lines(s, "resp.tmp");
  ASSERT_TRUE(lines);
  EXPECT_EQ(*lines, (std::vector<std::string>{long_line, "\"/b\""}));
}

TEST_F(SystemFiles, OpenNeverCreatesAndFailsForMissingFolderOrUnreadable) {
  SystemServices s;
  EXPECT_EQ(s.open_text("jobconf.ini"), nullptr);
  EXPECT_FALSE(fs::exists("jobconf.ini"));
  fs::create_directory("afolder");
  EXPECT_EQ(s.open_text("afolder"), nullptr);
  if (::geteuid() != 0) {  // root reads anything
    write("locked.ini", "x\r\n");
    fs::permissions("locked.ini", fs::perms::none);
    EXPECT_EQ(s.open_text("locked.ini"), nullptr);
  }
}

TEST_F(SystemFiles, FolderExistsOnlyForFolders) {
  SystemServices s;
  fs::create_directory("dest");
  write("file.txt", "x");
  fs::create_directory_symlink("dest", "link");
  EXPECT_TRUE(s.folder_exists("dest"));
  EXPECT_TRUE(s.folder_exists((dir_ / "dest/").string()));
  EXPECT_TRUE(s.folder_exists("link"));
  EXPECT_FALSE(s.folder_exists("file.txt"));
  EXPECT_FALSE(s.folder_exists("missing"));
  EXPECT_FALSE(s.folder_exists(""));
}

TEST_F(SystemFiles, DeleteIsNotForced) {
  SystemServices s;
  write("logdata.txt", "line\r\n");
  EXPECT_TRUE(s.delete_file("logdata.txt"));
  EXPECT_FALSE(fs::exists("logdata.txt"));
  EXPECT_FALSE(s.delete_file("logdata.txt"));  // missing: nothing happens

  write("logdata.txt", "line\r\n");
  fs::permissions("logdata.txt", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  EXPECT_FALSE(s.delete_file("logdata.txt"));
  EXPECT_TRUE(fs::exists("logdata.txt"));

  fs::create_directory("folder");
  EXPECT_FALSE(s.delete_file("folder"));
  EXPECT_TRUE(fs::exists("folder"));
}

// No scratch file of a save is ever left in the folder.
bool no_scratch_files(const fs::path& dir) {
  for (auto& e : fs::directory_iterator(dir))
    for (const char* mark : {".new~", ".old~"})
      if (e.path().filename().string().find(mark) != std::string::npos) return false;
  return true;
}

TEST_F(SystemFiles, WholeFilesReplaceTheOldOnes) {
  SystemServices s;
  write("jobconf.ini", "a much longer old job file that must not leave a tail behind\r\n");
  write("resp.tmp", "old\r\n");
  std::string failed = "untouched";
  ASSERT_TRUE(s.write_text_files({{"resp.tmp", {"\"/a\"", "\"/b\""}}, {"jobconf.ini", {"[mode]=1", ""}}}, &failed));
  EXPECT_EQ(failed, "untouched");
  EXPECT_EQ(read("resp.tmp"), "\"/a\"\r\n\"/b\"\r\n");
  EXPECT_EQ(read("jobconf.ini"), "[mode]=1\r\n\r\n");
  EXPECT_TRUE(no_scratch_files(dir_));
}

TEST_F(SystemFiles, AFailedWriteKeepsEveryOldFile) {
  struct Case {
    const char* name;
    void (*prepare)();
    const char* failed;
  } cases[] = {
      {"job file is a folder",
       [] {
         fs::remove("jobconf.ini");
         fs::create_directory("jobconf.ini");
       },
       "jobconf.ini"},
      {"job file is read-only",
       [] { fs::permissions("jobconf.ini", fs::perms::owner_read | fs::perms::group_read, fs::perm_options::replace); },
       "jobconf.ini"},
      {"response file is read-only",
       [] { fs::permissions("resp.tmp", fs::perms::owner_read, fs::perm_options::replace); }, "resp.tmp"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::error_code ec;
    fs::permissions("jobconf.ini", fs::perms::owner_all, fs::perm_options::add, ec);
    fs::permissions("resp.tmp", fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all("jobconf.ini");
    write("jobconf.ini", "old job\r\n");
    write("resp.tmp", "old list\r\n");
    c.prepare();
    SystemServices s;
    std::string failed;
    EXPECT_FALSE(s.write_text_files({{"resp.tmp", {"\"/new\""}}, {"jobconf.ini", {"[mode]=0"}}}, &failed));
    EXPECT_EQ(failed, c.failed);
    // The response file written first is not put in place either.
    EXPECT_EQ(read("resp.tmp"), "old list\r\n");
    if (!fs::is_directory("jobconf.ini")) {
      EXPECT_EQ(read("jobconf.ini"), "old job\r\n");
    }
    EXPECT_TRUE(no_scratch_files(dir_));
  }
}

// Services whose putting in place of one named file fails, as a file that
// changed under the window between the check and the rename would.
class RenameFails : public SystemServices {
 public:
  explicit RenameFails(std::string name) : name_(std::move(name)) {}

 protected:
  bool rename_file(const std::string& from, const std::string& to) override {
    if (to == name_ && from.find(".new~") != std::string::npos) return false;
    return SystemServices::rename_file(from, to);
  }

 private:
  std::string name_;
};

// The response file is put in place first; when the job file then fails,
// the response file goes back to what it was, so the old job never reads
// the new list.
TEST_F(SystemFiles, AJobFileThatCannotBePutInPlaceTakesTheResponseFileBack) {
  for (bool had_list : {true, false}) {
    SCOPED_TRACE(had_list ? "old response file" : "no response file before");
    fs::remove("resp.tmp");
    write("jobconf.ini", "[mode]=0\r\n[dir_file]=\"@resp.tmp\"\r\n");
    if (had_list) write("resp.tmp", "\"/old\"\r\n");
    RenameFails s("jobconf.ini");
    std::string failed;
    EXPECT_FALSE(s.write_text_files({{"resp.tmp", {"\"/new\""}}, {"jobconf.ini", {"[mode]=1"}}}, &failed));
    EXPECT_EQ(failed, "jobconf.ini");
    EXPECT_EQ(read("jobconf.ini"), "[mode]=0\r\n[dir_file]=\"@resp.tmp\"\r\n");
    if (had_list)
      EXPECT_EQ(read("resp.tmp"), "\"/old\"\r\n");
    else
      EXPECT_FALSE(fs::exists("resp.tmp"));
    EXPECT_TRUE(no_scratch_files(dir_));
  }
}

TEST_F(SystemFiles, AFullDiskKeepsTheOldJob) {
  write("jobconf.ini", "old job\r\n");
  // A file size limit stands in for a full disk: the write stops part way.
  pid_t pid = ::fork();
  if (pid == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit lim {4096, 4096};
    ::setrlimit(RLIMIT_FSIZE, &lim);
    SystemServices s;
    std::string failed;
    bool ok = s.write_text_files({{"jobconf.ini", {"[mode]=0", std::string(100000, 'x'), "[shut_flg]=0"}}}, &failed);
    ::_exit(!ok && failed == "jobconf.ini" ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the write did not report the failure";
  EXPECT_EQ(read("jobconf.ini"), "old job\r\n");
  EXPECT_TRUE(no_scratch_files(dir_));
}

TEST_F(SystemFiles, AFolderNobodyMayWriteKeepsTheOldJob) {
  write("jobconf.ini", "old job\r\n");
  fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec, fs::perm_options::replace);
  {
    std::ofstream probe("probe");
    if (probe) {
      fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
      GTEST_SKIP() << "this user writes into read-only folders (root)";
    }
  }
  SystemServices s;
  std::string failed;
  EXPECT_FALSE(s.write_text_files({{"jobconf.ini", {"[mode]=0"}}}, &failed));
  EXPECT_EQ(failed, "jobconf.ini");
  fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
  EXPECT_EQ(read("jobconf.ini"), "old job\r\n");
}

TEST(SystemProgramFolder, TheRunningProgramsFolderUnlessSet) {
  SystemServices s;
  EXPECT_EQ(s.program_folder(), platform::program_dir());
  EXPECT_FALSE(s.program_folder().empty());
  s.set_program_folder("/opt/zubeto");
  EXPECT_EQ(s.program_folder(), "/opt/zubeto");
}

TEST(SystemShareCheck, MissingLibraryGivesNoAnswer) {
  // The test binary's folder holds no share check library.
  SystemServices s;
  EXPECT_EQ(s.share_check("/tmp"), std::nullopt);
}

// ---- program start --------------------------------------------------------

TEST(CommandWords, SplitsAtSpacesOutsideQuotes) {
  using W = std::vector<std::string>;
  const std::pair<const char*, W> cases[] = {
      {"xdg-open logdata.txt", {"xdg-open", "logdata.txt"}},
      {"  a   b  ", {"a", "b"}},
      {"ZUBETOC", {"ZUBETOC"}},
      {"prog \"a file.txt\" x", {"prog", "a file.txt", "x"}},
      {"prog \"\"", {"prog", ""}},
      {"pre\"fix mid\"dle", {"prefix middle"}},
      {"", {}},
  };
  for (const auto& [line, want] : cases) EXPECT_EQ(platform::command_words(line), want) << line;
}

TEST(TextEditor, OpensTheFileWithTheDesktopDefault) {
  EXPECT_EQ(platform::text_editor_command("logdata.txt"), "xdg-open logdata.txt");
  EXPECT_EQ(platform::text_editor_command("my log.txt"), "xdg-open \"my log.txt\"");
}

using ProgramStart = InTempDir;

TEST_F(ProgramStart, StartsInTheCurrentDirectoryWithoutWaiting) {
  // The child writes its mark only once the caller has answered it with a
  // "go" file, which the caller makes after program_start has returned. A
  // program_start that waited for the child would come back only when the
  // child gave up waiting and had written the mark anyway. The mark is
  // written under another name and renamed, so that it appears whole.
  ASSERT_TRUE(platform::program_start(
      "sh -c \"i=0; while [ ! -f go ] && [ $i -lt 300 ]; do sleep 0.05; i=$((i+1)); done; "
      "pwd > started.tmp && mv started.tmp started.txt\""));
  EXPECT_FALSE(fs::exists("started.txt")) << "program_start waited for the program to end";
  write("go", "");
  ASSERT_TRUE(appears("started.txt"));
  EXPECT_EQ(read("started.txt"), dir_.string() + "\n");
}

TEST_F(ProgramStart, FailsForAProgramThatIsNotThere) {
  EXPECT_FALSE(platform::program_start("no-such-program-zubeto logdata.txt"));
  EXPECT_FALSE(platform::program_start("/no/such/folder/prog"));
  EXPECT_FALSE(platform::program_start(""));
  EXPECT_FALSE(platform::program_start("   "));
}

TEST_F(ProgramStart, NeverTakesAProgramFromTheCurrentDirectory) {
  write("zubeto-here", "#!/bin/sh\ntouch ran.txt\n");
  fs::permissions("zubeto-here", fs::perms::owner_all);
  EXPECT_FALSE(platform::program_start("zubeto-here"));
  EXPECT_TRUE(platform::program_start("./zubeto-here"));
  EXPECT_TRUE(appears("ran.txt"));
}

TEST_F(ProgramStart, AFileThatCannotBeRunFails) {
  write("notes.txt", "just text\n");
  fs::permissions("notes.txt", fs::perms::owner_all);  // executable bit, but no program
  EXPECT_FALSE(platform::program_start("./notes.txt"));
}

// ---- single copy ----------------------------------------------------------

// Points the runtime folder at a temporary folder for the test's lifetime.
class SingleCopyTest : public InTempDir {
 protected:
  void SetUp() override {
    InTempDir::SetUp();
    const char* old = std::getenv("XDG_RUNTIME_DIR");
    had_ = old != nullptr;
    if (had_) old_runtime_ = old;
    ::setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
  }
  void TearDown() override {
    if (had_)
      ::setenv("XDG_RUNTIME_DIR", old_runtime_.c_str(), 1);
    else
      ::unsetenv("XDG_RUNTIME_DIR");
    InTempDir::TearDown();
  }
  bool had_ = false;
  std::string old_runtime_;
};

TEST_F(SingleCopyTest, MarkLiesInTheRuntimeFolder) {
  EXPECT_EQ(platform::SingleCopy::mark_path("ZUBETOB"), dir_.string() + "/ZUBETOB.lock");
  ::setenv("XDG_RUNTIME_DIR", "relative/dir", 1);
  EXPECT_EQ(platform::SingleCopy::mark_path("ZUBETOB"), "/tmp/ZUBETOB-" + std::to_string(::getuid()) + ".lock");
  ::unsetenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(platform::SingleCopy::mark_path("ZUBETOB"), "/tmp/ZUBETOB-" + std::to_string(::getuid()) + ".lock");
}

TEST_F(SingleCopyTest, SecondHolderSeesTheFirstUntilItEnds) {
  auto first = std::make_unique<platform::SingleCopy>("ZUBETOB");
  EXPECT_FALSE(first->another_running());
  {
    platform::SingleCopy second("ZUBETOB");
    EXPECT_TRUE(second.another_running());
  }
  platform::SingleCopy other_program("ZUBETOC");
  EXPECT_FALSE(other_program.another_running());
  first.reset();
  platform::SingleCopy third("ZUBETOB");
  EXPECT_FALSE(third.another_running());
}

TEST_F(SingleCopyTest, ACrashedCopyLeavesNoLiveMark) {
  // A copy that holds the mark and is killed: its lock file stays behind.
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::close(ready[0]);
    platform::SingleCopy held("ZUBETOB");
    char c = held.another_running() ? 'n' : 'y';
    (void)!::write(ready[1], &c, 1);
    for (;;) ::pause();
  }
  ::close(ready[1]);
  char c = 0;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  ::close(ready[0]);
  ASSERT_EQ(c, 'y');
  {
    platform::SingleCopy while_alive("ZUBETOB");
    EXPECT_TRUE(while_alive.another_running());
  }
  ::kill(pid, SIGKILL);
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(fs::exists(platform::SingleCopy::mark_path("ZUBETOB")));
  platform::SingleCopy after_crash("ZUBETOB");
  EXPECT_FALSE(after_crash.another_running());
}

TEST_F(SingleCopyTest, AStaleMarkFileAloneStopsNothing) {
  write("ZUBETOB.lock", "12345\n");
  platform::SingleCopy copy("ZUBETOB");
  EXPECT_FALSE(copy.another_running());
}

TEST_F(SingleCopyTest, AProgramStartedByTheHolderDoesNotCarryTheMarkOn) {
  auto holder = std::make_unique<platform::SingleCopy>("ZUBETOB");
  ASSERT_FALSE(holder->another_running());
  // The started program outlives the holder; its output goes nowhere so that
  // the test runner does not wait for it.
  ASSERT_TRUE(platform::program_start("sh -c \"exec sleep 3 </dev/null >/dev/null 2>&1\""));
  holder.reset();
  platform::SingleCopy next("ZUBETOB");
  EXPECT_FALSE(next.another_running());
}

TEST_F(SingleCopyTest, AMarkThatCannotBeTakenNeverStopsTheProgram) {
  // A folder where the mark file should be: nobody can hold the mark.
  fs::create_directory("ZUBETOB.lock");
  {
    platform::SingleCopy a("ZUBETOB");
    platform::SingleCopy b("ZUBETOB");
    EXPECT_FALSE(a.another_running());
    EXPECT_FALSE(b.another_running());
  }
  if (::geteuid() == 0) return;  // root writes anywhere
  // A runtime folder this user may not write into.
  fs::create_directory("closed");
  fs::permissions("closed", fs::perms::owner_read | fs::perms::owner_exec);
  ::setenv("XDG_RUNTIME_DIR", (dir_ / "closed").c_str(), 1);
  platform::SingleCopy c("ZUBETOB");
  platform::SingleCopy d("ZUBETOB");
  EXPECT_FALSE(c.another_running());
  EXPECT_FALSE(d.another_running());
}

TEST_F(SingleCopyTest, AMarkThatIsASymlinkIsNotFollowed) {
  write("target", "");
  fs::create_symlink(dir_ / "target", "ZUBETOB.lock");
  platform::SingleCopy a("ZUBETOB");
  EXPECT_FALSE(a.another_running());
  // Nothing was locked through the link: a lock on the target still works.
  int fd = ::open("target", O_RDWR);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
  ::close(fd);
}

TEST_F(SingleCopyTest, SystemServicesHoldTheMarkOnceAsked) {
  SystemServices first;
  EXPECT_FALSE(first.previous_instance());
  SystemServices second;
  EXPECT_TRUE(second.previous_instance());
}

}  // namespace
}  // namespace zubeto
