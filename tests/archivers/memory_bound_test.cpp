// Memory that does not grow with the files: each library, loaded as the
// worker loads it (arc_call, a process of its own), archives a tree of
// 200,000 empty files; its peak memory (the child's maximum resident set,
// which no machine load changes) is held against the same library's run
// over one file. What grows in between is what the run keeps per file.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "arc/codes.h"
#include "fixture.h"

using arctest::TempDir;

namespace {

constexpr int kFolders = 200;
constexpr int kPerFolder = 1000;
constexpr long kFiles = long{kFolders} * kPerFolder;

struct Format {
  const char* label;
  const char* lib;
  const char* function;
  const char* ext;
  long most_bytes_per_file;  // the goal
  const char* pending;       // set: not yet held, and why
};

const Format kFormats[] = {
    {"TAR", ZUBETO_TAR_LIB, "Tar", "tar", 40, nullptr},
    {"ZIP", ZUBETO_ZIP_LIB, "Zip", "zip", 150, nullptr},
    {"LZH", ZUBETO_LZH_LIB, "Unlha", "lzh", 150, nullptr},
    // 200,000 files make a set of four cabinets: the count, the set and
    // the open cabinet's file table are held to the bound too.
    {"CAB", ZUBETO_CAB_LIB, "Cab", "cab", 150, nullptr},
};
void PrintTo(const Format& f, std::ostream* os) { *os << f.label; }

class MemoryBound : public ::testing::TestWithParam<Format> {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir;
    arctest::make_dirs(*dir_ / "many");
    for (int d = 0; d < kFolders; ++d) {
      char folder[64];
      std::snprintf(folder, sizeof folder, "many/d%03d", d);
      ASSERT_EQ(::mkdir((*dir_ / folder).c_str(), 0755), 0);
      for (int f = 0; f < kPerFolder; ++f) {
        char name[96];
        std::snprintf(name, sizeof name, "%s/file-%06d.txt", folder, d * kPerFolder + f);
        int fd = ::open((*dir_ / name).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0) << name;
        ::close(fd);
      }
    }
    arctest::make_dirs(*dir_ / "one");
    arctest::write_file(*dir_ / "one/file-000000.txt", "");
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }

  std::string command(const std::string& archive, const std::string& source) const {
    const std::string f = GetParam().label;
    const std::string a = "\"" + archive + "\" ";
    if (f == "LZH") return "a " + a + "-x1r2a2 -n1 \"" + source + "\" ";
    if (f == "ZIP") return "-rq " + a + "\"" + source + "\" ";
    if (f == "CAB") return "-a -ri " + a + "\"" + source + "/*.*\" ";
    return "-cvf " + a + "--display-dialog=0 \"/\" \"" + source + "\" ";
  }

  // Runs the library over `source`; its return code and peak resident set in bytes.
  std::pair<int, long> run(const std::string& source, const std::string& tag) {
    const std::string archive = *dir_ / (tag + "." + GetParam().ext);
    ::unlink(archive.c_str());
    arctest::write_file(*dir_ / "command", command(archive, source));
    std::vector<std::string> args = {ZUBETO_ARC_CALL, GetParam().lib, GetParam().function, "32767",
                                     *dir_ / "command", *dir_ / "result"};
    pid_t pid = ::fork();
    if (pid == 0) {
      std::vector<char*> argv;
      for (std::string& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    int status = 0;
    struct rusage ru {};
    ::wait4(pid, &status, 0, &ru);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "arc_call failed: " << status;
    const std::string result = arctest::read_file(*dir_ / "result");
    ::unlink(archive.c_str());
    return {std::atoi(result.c_str()), ru.ru_maxrss * 1024L};
  }

  static TempDir* dir_;
};

TempDir* MemoryBound::dir_ = nullptr;

TEST_P(MemoryBound, PeakMemoryPerFileStaysUnderTheGoal) {
  const Format& f = GetParam();
  if (f.pending) GTEST_SKIP() << f.pending;
  auto [one_code, one_peak] = run(*dir_ / "one", "one");
  ASSERT_EQ(one_code, ARC_OK);
  auto [many_code, many_peak] = run(*dir_ / "many", "many");
  ASSERT_EQ(many_code, ARC_OK);
  const long per_file = (many_peak - one_peak) / kFiles;
  std::printf("%s: one file %ld KiB, %ld files %ld KiB: %ld bytes a file\n", f.label, one_peak / 1024, kFiles,
              many_peak / 1024, per_file);
  EXPECT_LE(per_file, f.most_bytes_per_file) << "peak " << many_peak << " bytes over " << kFiles
                                             << " files, one file " << one_peak;
}

INSTANTIATE_TEST_SUITE_P(Formats, MemoryBound, ::testing::ValuesIn(kFormats),
                         [](const ::testing::TestParamInfo<Format>& info) { return std::string(info.param.label); });

}  // namespace
