// The cabinet writer behind the shared command run, in-process, with the
// format's limits shrunk so that the limit paths are cheap to reach.
#include <gtest/gtest.h>

#include <algorithm>

#include "arc/codes.h"
#include "arc/driver.h"
#include "cab_writer.h"
#include "cab_test_support.h"

using namespace cabtest;

namespace {

int run_cab(const std::string& command, const cab::Options& o, std::string& text) {
  std::vector<char> out(32768, '\0');
  int rc = zubeto::arc::run_archiver(zubeto::arc::FormatId::Cab, command.c_str(), out.data(), 32767,
                                     [&] { return cab::make_cab_writer(o); });
  text = out.data();
  return rc;
}

struct LeftOutCase {
  const char* label;
  cab::Limits limits;
  const char* left_out;  // the file the cabinet cannot hold, below src
  const char* message;
};
void PrintTo(const LeftOutCase& c, std::ostream* os) { *os << c.label; }

class CabCommandLeftOut : public ::testing::TestWithParam<LeftOutCase> {};

// A file one cabinet entry cannot hold (too large, a name too long) is
// left out and named; every other file is kept and reads back whole.
TEST_P(CabCommandLeftOut, OneFileLeftOutTheRestKept) {
  const LeftOutCase& c = GetParam();
  TempDir tmp;
  write_file(tmp.path() / "src/a.txt", "a");
  write_file(tmp.path() / "src/b.bin", random_bytes(200000, 3));
  write_file(tmp.path() / "src/c/d.txt", "d");
  cab::Options o;
  o.limits = c.limits;
  std::string text;
  const fs::path cab = tmp.path() / "dest/a.cab";
  fs::create_directories(cab.parent_path());
  int rc = run_cab("-a -ri \"" + cab.string() + "\" \"" + (tmp.path() / "src").string() + "/*.*\" ", o, text);
  EXPECT_EQ(rc, ARC_E_SOURCE_UNREADABLE) << text;
  EXPECT_NE(text.find("left out: " + (tmp.path() / "src" / c.left_out).string() + " (" + c.message),
            std::string::npos)
      << text;
  std::string log;
  ASSERT_TRUE(cabextract_extract(cab, tmp.path() / "x", &log)) << log;
  fs::remove(tmp.path() / "src" / c.left_out);
  EXPECT_EQ(tree_diff(tmp.path() / "src", tmp.path() / "x"), "");
}

INSTANTIATE_TEST_SUITE_P(Cases, CabCommandLeftOut,
                         ::testing::Values(LeftOutCase{"file_size", cab::Limits{.folder_blocks = 2}, "b.bin",
                                                       "file too large for CAB archives"},
                                           LeftOutCase{"name_length", cab::Limits{.max_name = 6}, "c/d.txt",
                                                       "name too long for CAB archives: 7 bytes, at most 6"},
                                           // A file that no cabinet of this size holds, even alone.
                                           LeftOutCase{"cabinet_size", cab::Limits{.max_cabinet = 100000}, "b.bin",
                                                       "file too large for CAB archives"}),
                         [](const auto& info) { return std::string(info.param.label); });

// Three files with the count limit at three: written, and readers agree.
TEST(CabCommand, WritesUpToTheLimit) {
  TempDir tmp;
  write_file(tmp.path() / "src/a.txt", "a");
  write_file(tmp.path() / "src/b.bin", random_bytes(200000, 3));
  write_file(tmp.path() / "src/c/d.txt", "d");
  fs::create_directories(tmp.path() / "src/empty");
  cab::Options o;
  o.limits = cab::Limits{.max_files = 3};
  std::string text;
  fs::path cab = tmp.path() / "a.cab";
  ASSERT_EQ(run_cab("-a -ri \"" + cab.string() + "\" \"" + (tmp.path() / "src").string() + "/*.*\" ", o, text), 0)
      << text;
  std::string log;
  ASSERT_TRUE(cabextract_extract(cab, tmp.path() / "x", &log)) << log;
  EXPECT_EQ(tree_diff(tmp.path() / "src", tmp.path() / "x"), "");
}

// More files than a cabinet holds: the run gives a cabinet set, the
// archive's name first and "_2" after it, restored whole from the first.
TEST(CabCommand, WritesACabinetSetPastTheFileCount) {
  TempDir tmp;
  write_file(tmp.path() / "src/a.txt", "a");
  write_file(tmp.path() / "src/b.bin", random_bytes(200000, 3));
  write_file(tmp.path() / "src/c/d.txt", "d");
  fs::create_directories(tmp.path() / "dest");
  cab::Options o;
  o.limits = cab::Limits{.max_files = 2};
  std::string text;
  fs::path cab = tmp.path() / "dest/a.cab";
  ASSERT_EQ(run_cab("-a -ri \"" + cab.string() + "\" \"" + (tmp.path() / "src").string() + "/*.*\" ", o, text), 0)
      << text;
  std::vector<std::string> there = list_dir(tmp.path() / "dest");
  std::sort(there.begin(), there.end());
  EXPECT_EQ(there, (std::vector<std::string>{"a.cab", "a_2.cab"}));
  std::string log;
  ASSERT_TRUE(cabextract_extract(cab, tmp.path() / "x", &log)) << log;
  EXPECT_EQ(tree_diff(tmp.path() / "src", tmp.path() / "x"), "");
}

TEST(CabAttributes, FollowModeAndName) {
  struct Case {
    const char* name;
    uint32_t mode;
    uint16_t expected;
  } cases[] = {
      {"a/b.txt", 0644, 0x20},
      {"a/.hidden", 0644, 0x22},
      {".top", 0600, 0x22},
      {"a/read only", 0444, 0x21},
      {"a/run", 0755, 0x60},
      {"a.b/c", 0644, 0x20},
  };
  for (const Case& c : cases) {
    zubeto::arc::Entry e;
    e.name = c.name;
    e.mode = c.mode;
    EXPECT_EQ(cab::attributes_of(e), c.expected) << c.name;
  }
}

}  // namespace
