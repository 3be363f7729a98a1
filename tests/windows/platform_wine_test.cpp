// The Win32 platform services on a real Win32 system.
#include <gtest/gtest.h>

#include "platform/dynlib.h"
#include "platform/fileinfo.h"
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
