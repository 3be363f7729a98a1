// The Win32 platform services on a real Win32 system.
#include <gtest/gtest.h>

#include <memory>

#include "platform/ansi_path.h"
#include "platform/dynlib.h"
#include "platform/fileinfo.h"
#include "platform/process.h"
#include "platform/system.h"
#include "platform/text.h"
#include "win_harness.h"

using namespace winh;

namespace {

TEST(Win32FileInfo, AttributesAndErrorCodes) {
  Scratch s;
  const std::string dir = s.root() + "\\folder";
  const std::string hidden = s.root() + "\\hidden";
  const std::string file = s.root() + "\\file.txt";
  ASSERT_TRUE(::CreateDirectoryA(dir.c_str(), nullptr));
  ASSERT_TRUE(::CreateDirectoryA(hidden.c_str(), nullptr));
  ASSERT_TRUE(::SetFileAttributesA(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN));
  write_file(file, "x");
  struct Case {
    std::string path;
    uint32_t attributes;
    uint32_t error;  // when the query fails
  } cases[] = {
      {dir, 16, 0},
      {dir + "\\", 16, 0},
      {hidden, 18, 0},
      {file, FILE_ATTRIBUTE_ARCHIVE, 0},
      {s.root() + "\\missing.txt", platform::kInvalidAttributes, ERROR_FILE_NOT_FOUND},
      {s.root() + "\\missing\\deeper", platform::kInvalidAttributes, ERROR_PATH_NOT_FOUND},
      // What stands before a NUL byte exists, but the path as given does not.
      {dir + std::string(1, '\0') + "x", platform::kInvalidAttributes, ERROR_INVALID_NAME},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    uint32_t error = 0;
    EXPECT_EQ(platform::file_attributes(c.path, &error), c.attributes);
    if (c.attributes == platform::kInvalidAttributes) EXPECT_EQ(error, c.error);
  }
}

TEST(Win32DynLib, LoadsByPlainNameFromTheProgramFolder) {
  EXPECT_EQ(platform::program_dir(), here());
  platform::LibHandle lib = platform::lib_load("FAKEARC.DLL");
  ASSERT_NE(lib, nullptr);
  EXPECT_NE(platform::lib_symbol(lib, "ZipGetVersion"), nullptr);
  EXPECT_NE(platform::lib_symbol(lib, "Zip"), nullptr);
  EXPECT_EQ(platform::lib_symbol(lib, "Zip@16"), nullptr);
  EXPECT_EQ(platform::lib_symbol(lib, "NoSuchFunction"), nullptr);
  platform::lib_free(lib);
  // A bare name stands for its ".dll" file, as the window binds "ZUBETO".
  lib = platform::lib_load("FAKEARC");
  EXPECT_NE(lib, nullptr);
  platform::lib_free(lib);
  EXPECT_EQ(platform::lib_load("zubeto-no-such-library.dll"), nullptr);
}

// Folders whose last character ends in the byte of a backslash under code
// page 932: the helper cuts, joins and compares by characters, so the
// folder keeps its last character and a name joined to it gets its own
// separator.
TEST(Win32AnsiPath, FolderNamesEndingInTheByteOfABackslash) {
  namespace ap = platform::ansi;
  const unsigned sjis = 932;
  // ソ 十 表 能 予: each one's second byte is 0x5C.
  const char* endings[] = {"\x83\x5c", "\x8f\x5c", "\x95\x5c", "\x94\x5c", "\x97\x5c"};
  for (const char* end : endings) {
    const std::string folder = std::string("C:\\Zubeto\\\x83\x76\x83\x8d\x83\x4f") + end;  // プログ + end
    SCOPED_TRACE(folder);
    const std::string exe = folder + "\\ZUBETOC.exe";
    EXPECT_EQ(ap::last_separator(exe, sjis), folder.size());
    EXPECT_EQ(ap::folder_part(exe, sjis), folder);
    EXPECT_EQ(ap::name_part(exe, sjis), "ZUBETOC.exe");
    EXPECT_EQ(ap::folder_part(folder, sjis), "C:\\Zubeto");
    EXPECT_FALSE(ap::ends_with_separator(folder, sjis));
    EXPECT_TRUE(ap::ends_with_separator(folder + "\\", sjis));
    EXPECT_EQ(ap::join(folder, "ZIP32J.DLL", sjis), folder + "\\ZIP32J.DLL");
    EXPECT_EQ(ap::join(folder + "\\", "ZIP32J.DLL", sjis), folder + "\\ZIP32J.DLL");
    EXPECT_TRUE(ap::same_path(folder, "c:/zubeto/\x83\x76\x83\x8d\x83\x4f" + std::string(end) + "\\", sjis));
    // The same folder less its last character's second byte is another one.
    EXPECT_FALSE(ap::same_path(folder, folder.substr(0, folder.size() - 1) + "/", sjis));
    // A name whose first byte would be read as a trail byte stays whole.
    EXPECT_EQ(ap::name_part(std::string(end) + "\\x", sjis), "x");
  }
  // Where a one-byte code page reads those bytes, 0x5C is a separator.
  EXPECT_EQ(ap::folder_part("C:\\a\x83\\b", 1252), "C:\\a\x83");
  EXPECT_TRUE(ap::ends_with_separator("C:\\a\x83\\", 1252));
  // Plain cases: no separator, the drive root, an empty folder.
  EXPECT_EQ(ap::folder_part("ZUBETOC.exe"), "");
  EXPECT_EQ(ap::folder_part("C:\\ZUBETOC.exe"), "C:");
  EXPECT_EQ(ap::join("", "x.txt"), "x.txt");
  EXPECT_EQ(ap::join("C:", "x.txt"), "C:\\x.txt");
  EXPECT_EQ(ap::last_separator("abc"), std::string::npos);
  // Without a code page the system's own is taken.
  EXPECT_EQ(ap::folder_part("C:\\\x95\x5cx.exe"), ::GetACP() == 932 ? "C:" : "C:\\\x95");
}

// One mark per program and user: a second holder sees the first, and once
// the first is gone the next one is alone again.
TEST(Win32SingleCopy, ASecondHolderSeesTheFirstUntilItEnds) {
  const std::string name = "zubeto-copy-test-" + std::to_string(::GetCurrentProcessId());
  auto first = std::make_unique<platform::SingleCopy>(name);
  EXPECT_FALSE(first->another_running());
  {
    platform::SingleCopy second(name);
    EXPECT_TRUE(second.another_running());
  }
  first.reset();
  platform::SingleCopy third(name);
  EXPECT_FALSE(third.another_running());
  EXPECT_FALSE(platform::SingleCopy("zubeto-other-" + name).another_running());
}

// A program named without a folder is found beside the running program,
// never in the current folder; one named by its full path starts there, in
// the current folder, and nothing waits for it.
TEST(Win32ProgramStart, NeverFromTheCurrentFolder) {
  Scratch s;
  ASSERT_TRUE(::CopyFileA((here() + "\\ZUBETOC_test.exe").c_str(), (s.work() + "\\zbprobe.exe").c_str(), FALSE));
  ASSERT_TRUE(s.install("ZUBETOC_test.exe", "ZUBETOC.exe"));
  char cwd[MAX_PATH + 1] = {};
  ::GetCurrentDirectoryA(sizeof cwd, cwd);
  ASSERT_TRUE(::SetCurrentDirectoryA(s.work().c_str()));
  EXPECT_FALSE(platform::program_start("zbprobe.exe"));
  EXPECT_FALSE(platform::program_start("zbprobe"));
  // The worker, run without a job, logs its missing job file in the
  // current folder.
  EXPECT_TRUE(platform::program_start("\"" + s.prog() + "\\ZUBETOC.exe\""));
  ::SetCurrentDirectoryA(cwd);
  std::string log;
  // A first start in a code page the prefix has not seen yet may take Wine a while.
  for (int i = 0; i < 1200 && log.find("jobconf.ini") == std::string::npos; ++i) {
    ::Sleep(50);
    log = read_file(s.work() + "\\logdata.txt");
  }
  EXPECT_NE(log.find("jobconf.ini"), std::string::npos) << log;
  ::Sleep(500);  // the worker lets go of its run log before the folder goes
  EXPECT_EQ(platform::text_editor_command("logdata.txt"), "Notepad.exe logdata.txt");
}

// The program's fixed texts leave in the ANSI code page; plain ASCII stays
// as it is in every code page.
TEST(Win32Text, FixedTextsInTheAnsiCodePage) {
  EXPECT_EQ(platform::system_text("[xx/xx xx:xx:xx]=UNZIP32.DLL Loading"), "[xx/xx xx:xx:xx]=UNZIP32.DLL Loading");
  EXPECT_EQ(platform::system_text(""), "");
  if (::GetACP() == 932) {
    EXPECT_EQ(platform::system_text("[xx/xx xx:xx:xx]=シャットダウンします。"),
              "[xx/xx xx:xx:xx]=\x83\x56\x83\x83\x83\x62\x83\x67\x83\x5f\x83\x45\x83\x93\x82\xb5\x82\xdc\x82\xb7\x81\x42");
    EXPECT_EQ(platform::system_text("詳細エラー="), "\x8f\xda\x8d\xd7\x83\x47\x83\x89\x81\x5b\x3d");
  } else {
    // A Western code page lacks the characters: each shows as one default
    // character, and the text's ASCII keeps its place.
    std::string s = platform::system_text("[xx/xx xx:xx:xx]=圧縮処理開始");
    EXPECT_EQ(s.substr(0, 17), "[xx/xx xx:xx:xx]=");
    EXPECT_EQ(s.size(), 17u + 6u);
  }
}

TEST(Win32Version, WineReportsTheNtLine) {
  platform::VersionInfo v = platform::version_query();
  EXPECT_TRUE(v.ok);
  EXPECT_EQ(v.platform_id, platform::kPlatformNT);
}

}  // namespace
