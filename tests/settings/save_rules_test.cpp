// The save writer and the drop rules as plain functions: file lines, the TAR
// drive check, the ten/eleven source rule, repeats and destination drops.
#include <gtest/gtest.h>

#include <set>

#include "drop.h"
#include "save.h"

using namespace settings;

namespace {

std::set<std::string> folders = {"/data", "/home/u/docs", "/", "/caf\xE9"};
bool folder_exists(const std::string& p) { return folders.count(p) > 0; }

std::vector<std::string> numbered(int n) {
  std::vector<std::string> v;
  for (int i = 0; i < n; ++i) v.push_back("/home/u/file" + std::to_string(i) + ".txt");
  return v;
}

TEST(SaveLines, ExampleJobIsWrittenLineByLine) {
  Job job{0, false, "/backup/", {"/data", "/memo.txt"}};
  SaveLines s = save_lines(job, folder_exists);
  EXPECT_EQ(s.jobconf, (std::vector<std::string>{"[mode]=0", "[archive]=\"/backup/", "[base_dir]",
                                                 "[dir_file]=\"/data\"", "[dir_file]=\"/memo.txt\"", "[shut_flg]=0"}));
  EXPECT_FALSE(s.write_resp);
}

TEST(SaveLines, KeepLineOnlyWhenArchivesAreCounted) {
  Job job{1, true, "/backup/", {"/data"}};
  const std::vector<std::string> without = {"[mode]=1", "[archive]=\"/backup/", "[base_dir]", "[dir_file]=\"/data\"",
                                            "[shut_flg]=1"};
  // 0 keeps every archive: the job is saved exactly as one without the key.
  EXPECT_EQ(save_lines(job, folder_exists).jobconf, without);
  job.keep = 5;
  std::vector<std::string> with = without;
  with.insert(with.end() - 1, "[keep]=5");
  EXPECT_EQ(save_lines(job, folder_exists).jobconf, with);
  // With more than ten sources the line stays in the job file.
  job.sources = numbered(11);
  EXPECT_EQ(save_lines(job, folder_exists).jobconf,
            (std::vector<std::string>{"[mode]=1", "[archive]=\"/backup/", "[base_dir]", "[dir_file]=\"@resp.tmp\"",
                                      "[keep]=5", "[shut_flg]=1"}));
}

TEST(SaveLines, TypeDecidesBaseFolderAndFolderSuffix) {
  struct Case {
    int type;
    bool shutdown;
    std::vector<std::string> lines;
  } cases[] = {
      {1, true, {"[mode]=1", "[archive]=\"/backup/", "[base_dir]", "[dir_file]=\"/data\"", "[dir_file]=\"/memo.txt\"", "[dir_file]=\"/\"", "[shut_flg]=1"}},
      // CAB: folders (also a root, which then shows a doubled separator) get "/*.*", files do not.
      {2, false, {"[mode]=2", "[archive]=\"/backup/", "[base_dir]", "[dir_file]=\"/data/*.*\"", "[dir_file]=\"/memo.txt\"", "[dir_file]=\"//*.*\"", "[shut_flg]=0"}},
      {3, false, {"[mode]=3", "[archive]=\"/backup/", "[base_dir]=\"/\"", "[dir_file]=\"/data\"", "[dir_file]=\"/memo.txt\"", "[dir_file]=\"/\"", "[shut_flg]=0"}},
  };
  for (const auto& c : cases) {
    Job job{c.type, c.shutdown, "/backup/", {"/data", "/memo.txt", "/"}};
    EXPECT_EQ(save_lines(job, folder_exists).jobconf, c.lines) << c.type;
  }
}

TEST(SaveLines, TenSourcesStayInlineElevenGoToTheResponseFile) {
  Job ten{1, false, "/backup/", numbered(10)};
  SaveLines s10 = save_lines(ten, folder_exists);
  EXPECT_FALSE(s10.write_resp);
  EXPECT_EQ(s10.jobconf.size(), 3u + 10u + 1u);
  EXPECT_EQ(s10.jobconf[12], "[dir_file]=\"/home/u/file9.txt\"");

  Job eleven{2, false, "/backup/", numbered(10)};
  eleven.sources.push_back("/home/u/docs");
  SaveLines s11 = save_lines(eleven, folder_exists);
  ASSERT_TRUE(s11.write_resp);
  EXPECT_EQ(s11.jobconf, (std::vector<std::string>{"[mode]=2", "[archive]=\"/backup/", "[base_dir]",
                                                   "[dir_file]=\"@resp.tmp\"", "[shut_flg]=0"}));
  ASSERT_EQ(s11.resp.size(), 11u);
  EXPECT_EQ(s11.resp[0], "\"/home/u/file0.txt\"");
  EXPECT_EQ(s11.resp[10], "\"/home/u/docs/*.*\"");
}

TEST(SaveLines, LongEntriesAreWrittenWhole) {
  std::string deep = "/" + std::string(3000, 'd');
  Job job{1, false, "/" + std::string(500, 'b') + "/", {deep}};
  SaveLines s = save_lines(job, folder_exists);
  EXPECT_EQ(s.jobconf[1], "[archive]=\"" + job.destination);
  EXPECT_EQ(s.jobconf[3], "[dir_file]=\"" + deep + "\"");
}

TEST(SaveChecks, DriveCheckAndEmptyJob) {
  struct {
    int type;
    std::vector<std::string> sources;
    int mismatch;
  } cases[] = {
      {3, {"/a", "/b"}, -1},
      {3, {"/a"}, -1},
      {3, {"/a", "relative/b", "c"}, 1},
      {3, {"x", "/a"}, 1},
      {1, {"/a", "relative"}, -1},  // only TAR checks drives
      {3, {}, -1},
  };
  for (const auto& c : cases) EXPECT_EQ(tar_drive_mismatch(Job{c.type, false, "/d/", c.sources}), c.mismatch);

  EXPECT_TRUE(job_is_empty(Job{1, false, "", {"/a"}}));
  EXPECT_TRUE(job_is_empty(Job{1, false, "/d/", {}}));
  EXPECT_FALSE(job_is_empty(Job{1, false, "/d/", {"/a"}}));
}

TEST(SourceDrops, PathsTheJobFileCannotCarry) {
  EXPECT_TRUE(path_fits_job_file("/home/u/写真 2024/a.txt"));
  EXPECT_TRUE(path_fits_job_file("\\\\server\\share"));
  EXPECT_FALSE(path_fits_job_file("/a\"b"));
  EXPECT_FALSE(path_fits_job_file("/a\nb"));
  EXPECT_FALSE(path_fits_job_file("/a\rb"));
}

TEST(SourceDrops, AcceptOnlyFileListsWhoseFirstPathIsNoShareRoot) {
  auto share = [](const std::string& p) { return p == "\\\\server\\share"; };
  struct {
    bool file_list;
    std::vector<std::string> paths;
    bool accepted;
  } cases[] = {
      {true, {"/a.txt", "/b.txt"}, true},
      {false, {"/a.txt"}, false},
      {true, {}, false},
      {true, {"\\\\server\\share"}, false},
      {true, {"\\\\server\\share\\dir"}, true},
      {true, {"/a.txt", "\\\\server\\share"}, true},
      {true, {"\\\\server\\share", "/a.txt"}, false},
  };
  for (const auto& c : cases) EXPECT_EQ(source_drag_accepted(c.file_list, c.paths, share), c.accepted);
}

TEST(SourceDrops, RepeatsAreReportedAndRemovedFirstOneStays) {
  struct {
    std::vector<std::string> before, dropped, after, repeats;
    std::vector<size_t> removed_at;
  } cases[] = {
      {{}, {"/a.txt", "/b.txt"}, {"/a.txt", "/b.txt"}, {}, {}},
      {{"/a.txt"}, {"/a.txt"}, {"/a.txt"}, {"/a.txt"}, {1}},
      {{"/x", "/x", "/x"}, {"/y"}, {"/x", "/y"}, {"/x", "/x"}, {1, 1}},
      {{"/Data"}, {"/data"}, {"/Data", "/data"}, {}, {}},
      // a b b c a c: the later a goes first (j = 0), then b, then the second c.
      {{"/a", "/b"}, {"/b", "/c", "/a", "/c"}, {"/a", "/b", "/c"}, {"/a", "/b", "/c"}, {4, 2, 3}},
      {{"/a", "/b", "/a", "/b"}, {}, {"/a", "/b"}, {"/a", "/b"}, {2, 2}},
      // Bytes are compared: names that are not valid UTF-8 and would show
      // alike are different files; equal bytes are a repeat.
      {{"/caf\xE9"}, {"/caf\xE8", "/caf\xEF\xBF\xBD", "/caf\xE9"}, {"/caf\xE9", "/caf\xE8", "/caf\xEF\xBF\xBD"},
       {"/caf\xE9"}, {3}},
  };
  for (const auto& c : cases) {
    SourceDrop d = source_drop(c.before, c.dropped);
    EXPECT_EQ(d.list, c.after);
    EXPECT_EQ(d.repeats, c.repeats);
    EXPECT_EQ(d.removed_at, c.removed_at);
    // Taking the entries out at the given places, in order, gives the list.
    std::vector<std::string> replay = c.before;
    replay.insert(replay.end(), c.dropped.begin(), c.dropped.end());
    for (size_t i = 0; i < d.removed_at.size(); ++i) {
      ASSERT_LT(d.removed_at[i], replay.size());
      EXPECT_EQ(replay[d.removed_at[i]], d.repeats[i]);
      replay.erase(replay.begin() + static_cast<std::ptrdiff_t>(d.removed_at[i]));
    }
    EXPECT_EQ(replay, c.after);
  }
}

TEST(DestinationDrops, OneExistingFolderGetsItsSeparator) {
  struct {
    bool file_list;
    std::vector<std::string> paths;
    DestinationDrop::Outcome outcome;
    std::string text;
  } cases[] = {
      {true, {"/data"}, DestinationDrop::accepted, "/data/"},
      {true, {"/"}, DestinationDrop::accepted, "//"},
      {true, {"/memo.txt"}, DestinationDrop::not_folder, ""},
      {true, {"/caf\xE9"}, DestinationDrop::accepted, "/caf\xE9/"},
      {true, {"/caf\xEF\xBF\xBD"}, DestinationDrop::not_folder, ""},
      {true, {"/data", "/home/u/docs"}, DestinationDrop::too_many, ""},
      {true, {}, DestinationDrop::too_many, ""},
      {false, {"/data"}, DestinationDrop::ignored, ""},
  };
  for (const auto& c : cases) {
    DestinationDrop d = destination_drop(c.file_list, c.paths, folder_exists);
    EXPECT_EQ(d.outcome, c.outcome);
    EXPECT_EQ(d.text, c.text);
  }
}

}  // namespace
