// The POSIX platform services: library names and file attributes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/dynlib.h"
#include "platform/fileinfo.h"
#include "platform/stream_file.h"

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

// The worker's two files: the job file opens only as a file, the run log
// is made owner-only whatever the umask, keeps the mode of one that exists,
// and text appended past the stream's buffer lands after what was there.
TEST(StreamFiles, JobFileAndRunLog) {
  char dir[] = "/tmp/zubeto-stream-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string d = dir;
  mkdir((d + "/folder").c_str(), 0755);
  {
    std::FILE* f = std::fopen((d + "/job").c_str(), "wb");
    std::fputs("[mode]=1\r\n", f);
    std::fclose(f);
  }
  EXPECT_EQ(platform::open_for_reading((d + "/folder").c_str()), nullptr);
  EXPECT_EQ(platform::open_for_reading((d + "/missing").c_str()), nullptr);
  std::FILE* job = platform::open_for_reading((d + "/job").c_str());
  ASSERT_NE(job, nullptr);
  char buf[32] = {};
  EXPECT_EQ(std::fread(buf, 1, sizeof buf, job), 10u);
  std::fclose(job);

  const mode_t old_mask = umask(0);
  std::FILE* log = platform::open_for_appending((d + "/log").c_str());
  umask(old_mask);
  ASSERT_NE(log, nullptr);
  std::fputs("buffered ", log);
  EXPECT_TRUE(platform::append_through(log, "through\r\n", 9));
  std::fclose(log);
  struct stat st {};
  ASSERT_EQ(stat((d + "/log").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);

  chmod((d + "/log").c_str(), 0640);
  log = platform::open_for_appending((d + "/log").c_str());
  ASSERT_NE(log, nullptr);
  EXPECT_TRUE(platform::append_through(log, "again\r\n", 7));
  std::fclose(log);
  ASSERT_EQ(stat((d + "/log").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u) << "an existing run log keeps its mode";
  std::FILE* in = std::fopen((d + "/log").c_str(), "rb");
  ASSERT_NE(in, nullptr);
  char text[64] = {};
  const size_t n = std::fread(text, 1, sizeof text, in);
  std::fclose(in);
  EXPECT_EQ(std::string(text, n), "buffered through\r\nagain\r\n");
  EXPECT_EQ(platform::open_for_appending((d + "/folder").c_str()), nullptr);

  for (const char* name : {"/job", "/log", "/folder"}) remove((d + name).c_str());
  rmdir(dir);
}

}  // namespace
