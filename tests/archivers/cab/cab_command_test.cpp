// The cab32 command in-process: limits shrunk through the options, and the
// stand-in command reader, walker and output text.
#include <gtest/gtest.h>

#include <cstring>
#include <unistd.h>

#include "cab_command.h"
#include "cab_test_support.h"
#include "local/command_reader.h"
#include "local/file_walker.h"
#include "local/output_text.h"

using namespace cabtest;

namespace {

TEST(CabCommand, RefusesMoreFilesThanTheLimitAndLeavesNothing) {
  TempDir tmp;
  for (int i = 0; i < 4; ++i) write_file(tmp.path() / "src" / ("f" + std::to_string(i)), "x");
  fs::create_directories(tmp.path() / "dest");
  cab::Options o;
  o.limits.max_files = 3;
  std::string text;
  int rc = cab::run_command("-a -ri \"" + (tmp.path() / "dest/a.cab").string() + "\" \"" +
                                (tmp.path() / "src").string() + "/*.*\" ",
                            text, o);
  EXPECT_EQ(rc, cab::kErrLimit);
  EXPECT_NE(text.find("too many files"), std::string::npos) << text;
  EXPECT_TRUE(list_dir(tmp.path() / "dest").empty());

  o.limits.max_files = 4;
  rc = cab::run_command("-a -ri \"" + (tmp.path() / "dest/a.cab").string() + "\" \"" + (tmp.path() / "src").string() +
                            "/*.*\" ",
                        text, o);
  EXPECT_EQ(rc, cab::kOk) << text;
}

TEST(CabCommand, RefusesACabinetOverTheSizeLimitAndLeavesNothing) {
  TempDir tmp;
  write_file(tmp.path() / "src/r.bin", random_bytes(200000, 3));
  fs::create_directories(tmp.path() / "dest");
  cab::Options o;
  o.limits.max_cabinet = 100000;
  std::string text;
  int rc = cab::run_command("-a -ri \"" + (tmp.path() / "dest/a.cab").string() + "\" \"" +
                                (tmp.path() / "src/r.bin").string() + "\" ",
                            text, o);
  EXPECT_EQ(rc, cab::kErrLimit);
  EXPECT_NE(text.find("would exceed"), std::string::npos) << text;
  EXPECT_TRUE(list_dir(tmp.path() / "dest").empty());
}

TEST(CommandReader, SplitsQuotedWordsSwitchesAndFolderForms) {
  arc_local::Command c;
  std::string err;
  ASSERT_TRUE(arc_local::read_command("-a -ri \"/b/20240515.cab\" \"/home/u/my data/*.*\" \"/home/u/memo.txt\" ", c, err));
  EXPECT_EQ(c.switches, (std::vector<std::string>{"-a", "-ri"}));
  EXPECT_EQ(c.archive, "/b/20240515.cab");
  ASSERT_EQ(c.sources.size(), 2u);
  EXPECT_EQ(c.sources[0].path, "/home/u/my data");
  EXPECT_TRUE(c.sources[0].contents);
  EXPECT_EQ(c.sources[1].path, "/home/u/memo.txt");
  EXPECT_FALSE(c.sources[1].contents);
}

TEST(CommandReader, ReadsResponseFilesWithCrLfOrLf) {
  TempDir tmp;
  write_file(tmp.path() / "resp.tmp", "\"/a/one\"\r\n\"/a/two words/*.*\"\r\n\r\n\"/a/three\"\n\"/a/last\"");
  std::vector<arc_local::Source> s;
  std::string err;
  ASSERT_TRUE(arc_local::read_response_file((tmp.path() / "resp.tmp").string(), s, err)) << err;
  ASSERT_EQ(s.size(), 4u);
  EXPECT_EQ(s[0].path, "/a/one");
  EXPECT_EQ(s[1].path, "/a/two words");
  EXPECT_TRUE(s[1].contents);
  EXPECT_EQ(s[2].path, "/a/three");
  EXPECT_EQ(s[3].path, "/a/last");
}

TEST(FileWalker, VisitsInByteOrderAndNeverFollowsFolderLinks) {
  TempDir tmp;
  fs::path r = tmp.path() / "r";
  write_file(r / "b.txt", "b");
  write_file(r / "a/z.txt", "z");
  write_file(r / "B.txt", "B");
  write_file(r / "a b/c.txt", "c");
  fs::create_directory_symlink(r, r / "a/loop");  // would loop if followed
  fs::create_symlink(r / "b.txt", r / "link.txt");
  std::vector<arc_local::WalkItem> items;
  std::vector<arc_local::WalkNote> notes;
  arc_local::walk_source(r.string(), true, true, 100, items, notes);
  std::vector<std::string> names;
  for (const auto& it : items) names.push_back(it.name);
  EXPECT_EQ(names, (std::vector<std::string>{"B.txt", "a/z.txt", "a b/c.txt", "b.txt", "link.txt"}));
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_FALSE(notes[0].error);
  EXPECT_NE(notes[0].what.find("not followed"), std::string::npos);

  // Without "/*.*" a folder keeps its own name in front.
  items.clear();
  arc_local::walk_source((r / "a b").string(), false, true, 100, items, notes);
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].name, "a b/c.txt");
}

TEST(OutputText, CutsBeforeAUtf8CharacterAndAlwaysEndsWithZero) {
  const std::string text = "ab日本";  // 2 + 3 + 3 bytes
  struct Case {
    uint32_t size;
    std::string expected;
  } cases[] = {{1, ""}, {3, "ab"}, {5, "ab"}, {6, "ab日"}, {9, "ab日本"}, {100, "ab日本"}};
  for (const Case& c : cases) {
    char buf[16];
    std::memset(buf, '#', sizeof buf);
    arc_local::put_output_text(text, buf, c.size);
    EXPECT_EQ(std::string(buf), c.expected) << "size " << c.size;
  }
}

}  // namespace
