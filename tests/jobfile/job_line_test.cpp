// The job-line codec: keys, values and quotes as the worker, the settings
// core and the archivers read and write them.
#include "jobfile/job_line.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "text/lines.h"

namespace {

using jobfile::Key;

// Shift-JIS names whose second byte is 0x5C, the folder separator's byte:
// 表 (95 5C) and ソ (83 5C).
const std::string kSjisTable = "\x95\x5C";
const std::string kSjisSo = "\x83\x5C";

TEST(JobLine, SplitFindsTheKeyThatStartsTheLine) {
  struct Case {
    const char* name;
    std::string line;
    Key key;
    std::string value;
  };
  const Case cases[] = {
      {"mode", "[mode]=1", Key::mode, "1"},
      {"archive keeps its opening quote", "[archive]=\"D:\\backup\\", Key::archive, "\"D:\\backup\\"},
      {"base folder", "[base_dir]=\"C:\\\"", Key::base_dir, "\"C:\\\""},
      {"source keeps its quotes", "[dir_file]=\"C:\\data\"", Key::source, "\"C:\\data\""},
      {"keep", "[keep]=7", Key::keep, "7"},
      {"shutdown", "[shut_flg]=1", Key::shutdown, "1"},
      {"empty value", "[dir_file]=", Key::source, ""},
      {"quotes inside a name stay in the value", "[dir_file]=\"C:\\a\"b\"", Key::source, "\"C:\\a\"b\""},
      {"a key later in the value is part of it", "[dir_file]=\"[mode]=1\"", Key::source, "\"[mode]=1\""},
      {"Shift-JIS name ending in 0x5C", "[dir_file]=\"C:\\" + kSjisTable + "\"", Key::source,
       "\"C:\\" + kSjisTable + "\""},
      {"unknown key is ignored", "[other]=1", Key::none, "[other]=1"},
      {"other letter case is no key", "[Mode]=1", Key::none, "[Mode]=1"},
      {"a space before the key", " [mode]=1", Key::none, " [mode]=1"},
      {"bare base folder line", "[base_dir]", Key::none, "[base_dir]"},
      {"key without its equals sign", "[dir_file]\"C:\\\"", Key::none, "[dir_file]\"C:\\\""},
      {"empty line", "", Key::none, ""},
  };
  for (const Case& c : cases) {
    const jobfile::JobLine got = jobfile::split_line(c.line);
    EXPECT_EQ(got.key, c.key) << c.name;
    EXPECT_EQ(got.value, c.value) << c.name;
  }
}

TEST(JobLine, MadeLinesSplitBackToTheirPath) {
  const std::string paths[] = {
      "C:\\data",
      "",
      "/home/u/写真 2024",
      "C:\\" + kSjisTable,
      "C:\\" + kSjisSo + "\\" + kSjisTable + "\\memo.txt",
      "\\\\server\\share\\dir",
  };
  for (Key key : {Key::source, Key::base_dir}) {
    for (const std::string& path : paths) {
      const std::string line = jobfile::make_line(key, jobfile::quoted(path));
      const jobfile::JobLine got = jobfile::split_line(line);
      EXPECT_EQ(got.key, key) << line;
      std::optional<std::string_view> back = jobfile::unquoted(got.value);
      ASSERT_TRUE(back) << line;
      EXPECT_EQ(*back, path) << line;
      EXPECT_EQ(jobfile::without_quotes(got.value), path) << line;
    }
  }
  // The archive line holds an opening quote only.
  const std::string archive = jobfile::make_line(Key::archive, jobfile::opened("D:\\" + kSjisTable + "\\"));
  EXPECT_EQ(archive, "[archive]=\"D:\\" + kSjisTable + "\\");
  EXPECT_EQ(jobfile::unopened(jobfile::split_line(archive).value).value_or("?"), "D:\\" + kSjisTable + "\\");
}

TEST(JobLine, UnquotingShortAndOddValues) {
  struct Case {
    std::string value;
    std::optional<std::string> unquoted, unopened;
    std::string loosely;
  };
  const Case cases[] = {
      {"", std::nullopt, std::nullopt, ""},
      {"\"", std::nullopt, "", ""},
      {"\"\"", "", "\"", ""},
      {"\"a\"", "a", "a\"", "a"},
      {"\"a", "", "a", "a"},
      {"a\"", "", "\"", "a\""},
      {"abc", "b", "bc", "abc"},
      {"\"a\"b\"", "a\"b", "a\"b\"", "a\"b"},
  };
  for (const Case& c : cases) {
    const std::optional<std::string_view> u = jobfile::unquoted(c.value);
    EXPECT_EQ(u.has_value(), c.unquoted.has_value()) << c.value;
    if (u && c.unquoted) {
      EXPECT_EQ(*u, *c.unquoted) << c.value;
    }
    const std::optional<std::string_view> o = jobfile::unopened(c.value);
    EXPECT_EQ(o.has_value(), c.unopened.has_value()) << c.value;
    if (o && c.unopened) {
      EXPECT_EQ(*o, *c.unopened) << c.value;
    }
    EXPECT_EQ(jobfile::unquoted_loosely(c.value), c.loosely) << c.value;
  }
}

TEST(JobLine, OnlyPathsWithoutQuoteOrLineBreakFitALine) {
  const std::pair<std::string, bool> cases[] = {
      {"/home/u/写真 2024/a.txt", true}, {"C:\\" + kSjisTable, true}, {"", true},
      {"/a\"b", false},                  {"/a\nb", false},            {"/a\rb", false},
  };
  for (const auto& [path, fits] : cases) EXPECT_EQ(jobfile::quotable(path), fits) << path;
}

TEST(JobLine, AllFilesSuffixComesOffWhole) {
  const std::string sep(1, jobfile::kPathSeparator);
  const std::string folders[] = {"C:" + sep + "data", "C:" + sep + kSjisTable, "C:" + sep + kSjisSo, ""};
  for (const std::string& folder : folders) {
    const std::string value = jobfile::with_all_files(folder);
    EXPECT_EQ(value, folder + jobfile::kAllFilesSuffix);
    EXPECT_EQ(jobfile::without_all_files(value), folder);
  }
  // Nothing else is cut: a path without the suffix, or with a part of it.
  for (const std::string& path : {"C:" + sep + "data", std::string("*.*"), "C:" + sep + "a*.*"})
    EXPECT_EQ(jobfile::without_all_files(path), path);
}

TEST(JobLine, AJobFileWithCrLfReadsAsItsValues) {
  const std::string file = "[mode]=2\r\n[archive]=\"D:\\backup\\\r\n[base_dir]\r\n[dir_file]=\"C:\\" + kSjisTable +
                           "\\*.*\"\r\n[new_key]=x\r\n[shut_flg]=1\r\n";
  std::vector<std::pair<Key, std::string>> got;
  for (const std::string& line : zubeto::text::split_lines(file)) {
    const jobfile::JobLine parts = jobfile::split_line(line);
    if (parts.key != Key::none) got.emplace_back(parts.key, std::string(parts.value));
  }
  const std::vector<std::pair<Key, std::string>> want = {
      {Key::mode, "2"},
      {Key::archive, "\"D:\\backup\\"},
      {Key::source, "\"C:\\" + kSjisTable + "\\*.*\""},
      {Key::shutdown, "1"},
  };
  EXPECT_EQ(got, want);
}

}  // namespace
