// The POSIX platform services: library names and file attributes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/dynlib.h"
#include "platform/fileinfo.h"

namespace {

TEST(LibraryNames, WindowsNamesMapToLowerCaseStemAndSo) {
  struct {
    const char* windows;
    const char* file;
  } cases[] = {{"ZIP32J.DLL", "zip32j.so"}, {"unlha32.dll", "unlha32.so"}, {"TAR32.dll", "tar32.so"},
               {"cab32.dll", "cab32.so"},   {"BGA32.dll", "bga32.so"},     {"ZUBETO", "zubeto.so"},
               {"my.lib.Dll", "my.lib.so"}, {"C:\\x\\Y.DLL", "y.so"}};
  for (auto c : cases) EXPECT_EQ(platform::library_file_name(c.windows), c.file) << c.windows;
}

TEST(LibraryNames, ALibraryThatIsNowhereDoesNotLoad) {
  EXPECT_EQ(platform::lib_load("NOSUCHLIB32.DLL"), nullptr);
  EXPECT_EQ(platform::lib_load(""), nullptr);
}

TEST(FileAttributes, FoldersFilesAndFailures) {
  char dir[] = "/tmp/zubeto-attr-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string d = dir;
  mkdir((d + "/plain").c_str(), 0755);
  mkdir((d + "/locked").c_str(), 0555);
  mkdir((d + "/.hidden").c_str(), 0755);
  std::fclose(std::fopen((d + "/file.txt").c_str(), "w"));

  struct {
    std::string path;
    uint32_t attrs;
    uint32_t error;
  } cases[] = {
      {d + "/plain", 16, 0},
      {d + "/plain/", 16, 0},
      {d + "/locked", 17, 0},
      {d + "/.hidden", 18, 0},
      {d + "/.hidden/", 18, 0},
      {d + "/plain/.", 16, 0},
      {d + "/file.txt", 32, 0},
      {d + "/missing", platform::kInvalidAttributes, ENOENT},
      {d + "/file.txt/", platform::kInvalidAttributes, ENOTDIR},
      {d + std::string("/plain\0/x", 9), platform::kInvalidAttributes, EINVAL},
  };
  for (const auto& c : cases) {
    uint32_t error = 0;
    EXPECT_EQ(platform::file_attributes(c.path, &error), c.attrs) << c.path;
    if (c.attrs == platform::kInvalidAttributes) {
      EXPECT_EQ(error, c.error) << c.path;
    }
  }
  std::remove((d + "/file.txt").c_str());
  rmdir((d + "/plain").c_str());
  rmdir((d + "/locked").c_str());
  rmdir((d + "/.hidden").c_str());
  rmdir(dir);
}

}  // namespace
