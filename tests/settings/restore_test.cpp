// The restore reader: job settings file lines (and the response file they
// point to) into the job that the window shows.
#include <gtest/gtest.h>

#include <map>

#include "restore.h"

namespace zubeto {
namespace {

using Lines = std::vector<std::string>;

using Files = std::map<std::string, Lines>;

struct RestoreCase {
  const char* name;
  Lines lines;
  RestoredJob want;
  Files responses = {};  // the response files that exist, by name
};

void PrintTo(const RestoreCase& c, std::ostream* os) { *os << c.name; }

const Lines kResponse = {"\"/data\"", "\"/home/u/docs/*.*\"", "\"/memo.txt\""};

RestoredJob job(std::optional<int> type, std::optional<int> shut, std::optional<std::string> dest, Lines sources) {
  RestoredJob j;
  j.type = type;
  j.shutdown = shut;
  j.destination = std::move(dest);
  j.sources = std::move(sources);
  return j;
}

RestoredJob keeping(RestoredJob j, std::optional<int> keep) {
  j.keep = keep;
  return j;
}

const std::optional<int> none;
const std::optional<std::string> no_dest;

class RestoreTable : public ::testing::TestWithParam<RestoreCase> {};

TEST_P(RestoreTable, ReadsTheJob) {
  const RestoreCase& c = GetParam();
  RestoredJob got = restore_job(c.lines, [&](const std::string& name) -> std::optional<Lines> {
    auto it = c.responses.find(name);
    if (it == c.responses.end()) return std::nullopt;
    return it->second;
  });
  EXPECT_EQ(got.type, c.want.type);
  EXPECT_EQ(got.shutdown, c.want.shutdown);
  EXPECT_EQ(got.destination, c.want.destination);
  EXPECT_EQ(got.sources, c.want.sources);
  EXPECT_EQ(got.keep, c.want.keep);
}

const RestoreCase kCases[] = {
    {"saved_lzh_job",
     {"[mode]=0", "[archive]=\"/backup/", "[base_dir]", "[dir_file]=\"/data\"", "[dir_file]=\"/memo.txt\"",
      "[shut_flg]=0"},
     job(0, 0, "/backup/", {"/data", "/memo.txt"})},
    {"saved_tar_job_with_base_dir_and_shutdown",
     {"[mode]=3", "[archive]=\"/backup/", "[base_dir]=\"/\"", "[dir_file]=\"/data\"", "[shut_flg]=1"},
     job(3, 1, "/backup/", {"/data"})},
    {"empty_file", {}, job(none, none, no_dest, {})},
    {"mode_zip", {"[mode]=1"}, job(1, none, no_dest, {})},
    {"mode_cab", {"[mode]=2"}, job(2, none, no_dest, {})},
    {"mode_with_spaces_and_leading_zero", {"[mode]= 02 "}, job(2, none, no_dest, {})},
    {"mode_bga_is_not_offered_and_passed_over", {"[mode]=4"}, job(none, none, no_dest, {})},
    {"mode_out_of_range_keeps_the_earlier_one", {"[mode]=2", "[mode]=7", "[mode]=-1"}, job(2, none, no_dest, {})},
    {"mode_not_a_number", {"[mode]=x", "[mode]=", "[mode]=1.5"}, job(none, none, no_dest, {})},
    {"later_mode_line_wins", {"[mode]=1", "[mode]=3"}, job(3, none, no_dest, {})},
    {"key_in_other_case_is_no_key", {"[MODE]=1", "[Shut_flg]=1", "[Dir_File]=\"/x\""}, job(none, none, no_dest, {})},
    // The key is found anywhere, but its value is taken where the key stands
    // at the start of a line: " [mode]=1" gives "=1", no number.
    {"key_after_a_space_gives_a_shifted_value", {" [mode]=1"}, job(none, none, no_dest, {})},
    {"key_inside_a_line_gives_a_shifted_source", {"xx[dir_file]=\"/a\""}, job(none, none, no_dest, {"=\"/a"})},
    {"archive_keeps_its_trailing_separator", {"[archive]=\"/mnt/backup dir/"},
     job(none, none, "/mnt/backup dir/", {})},
    {"archive_with_only_its_quote_is_empty", {"[archive]=\"/b/", "[archive]=\""}, job(none, none, "", {})},
    {"archive_without_value_is_passed_over", {"[archive]=\"/b/", "[archive]="}, job(none, none, "/b/", {})},
    {"japanese_paths_stay_bytes", {"[archive]=\"/バックアップ/", "[dir_file]=\"/データ/ﾒﾓ.txt\""},
     job(none, none, "/バックアップ/", {"/データ/ﾒﾓ.txt"})},
    {"all_files_suffix_removed", {"[dir_file]=\"/data/*.*\""}, job(none, none, no_dest, {"/data"})},
    {"other_separator_suffix_kept", {"[dir_file]=\"C:\\data\\*.*\""}, job(none, none, no_dest, {"C:\\data\\*.*"})},
    {"suffix_only_in_the_middle_kept", {"[dir_file]=\"/a/*.*/b\""}, job(none, none, no_dest, {"/a/*.*/b"})},
    {"root_kept", {"[dir_file]=\"/\"", "[dir_file]=\"/etc\""}, job(none, none, no_dest, {"/", "/etc"})},
    {"root_with_suffix_becomes_root", {"[dir_file]=\"//*.*\""}, job(none, none, no_dest, {"/"})},
    {"empty_quotes_give_an_empty_entry", {"[dir_file]=\"\""}, job(none, none, no_dest, {""})},
    {"source_too_short_for_its_quotes", {"[dir_file]=\"", "[dir_file]=", "[dir_file]=\"/z\""},
     job(none, none, no_dest, {"/z"})},
    {"response_file_in_its_order_keeping_suffixes",
     {"[mode]=2", "[dir_file]=\"@resp.tmp\"", "[shut_flg]=1"},
     job(2, 1, no_dest, {"/data", "/home/u/docs/*.*", "/memo.txt"}), Files{{"resp.tmp", kResponse}}},
    {"response_file_between_sources",
     {"[dir_file]=\"/first\"", "[dir_file]=\"@resp.tmp\"", "[dir_file]=\"/last\""},
     job(none, none, no_dest, {"/first", "/data", "/home/u/docs/*.*", "/memo.txt", "/last"}),
     Files{{"resp.tmp", kResponse}}},
    {"missing_response_file_adds_nothing_and_reading_goes_on",
     {"[dir_file]=\"@resp.tmp\"", "[dir_file]=\"/after\"", "[shut_flg]=1"}, job(none, 1, no_dest, {"/after"}),
     Files{{"other.tmp", kResponse}}},
    {"response_lines_too_short_are_passed_over", {"[dir_file]=\"@resp.tmp\""}, job(none, none, no_dest, {"/a", "/b"}),
     Files{{"resp.tmp", {"\"/a\"", "\"", "", "\"/b\""}}}},
    {"shutdown_on", {"[shut_flg]=1"}, job(none, 1, no_dest, {})},
    {"shutdown_off", {"[shut_flg]=0"}, job(none, 0, no_dest, {})},
    {"shutdown_other_number_is_off", {"[shut_flg]=1", "[shut_flg]=2"}, job(none, 0, no_dest, {})},
    {"shutdown_not_a_number_is_passed_over", {"[shut_flg]=1", "[shut_flg]=yes", "[shut_flg]="},
     job(none, 1, no_dest, {})},
    {"base_dir_and_unknown_lines_ignored", {"[base_dir]=\"/\"", "[base_dir]", "hello", ""},
     job(none, none, no_dest, {})},
    {"lines_in_another_order",
     {"[shut_flg]=1", "[dir_file]=\"/s\"", "[archive]=\"/d/", "[mode]=1"}, job(1, 1, "/d/", {"/s"})},
    // The number of archives kept: its own line, before the shutdown line.
    {"keep_before_the_shutdown_line",
     {"[mode]=1", "[archive]=\"/d/", "[base_dir]", "[dir_file]=\"/s\"", "[keep]=7", "[shut_flg]=1"},
     keeping(job(1, 1, "/d/", {"/s"}), 7)},
    {"keep_zero_keeps_all", {"[keep]=0"}, keeping(job(none, none, no_dest, {}), 0)},
    {"no_keep_line_leaves_it_unset", {"[shut_flg]=0"}, job(none, 0, no_dest, {})},
    {"later_keep_wins_unusable_ones_passed_over",
     {"[keep]=3", "[keep]=-1", "[keep]=x", "[keep]=", "[keep]=10000", "[keep]= 12 "},
     keeping(job(none, none, no_dest, {}), 12)},
    {"keep_only_at_the_start_of_a_line", {"[keep]=2", " [keep]=5", "x[keep]=6"},
     keeping(job(none, none, no_dest, {}), 2)},
    {"keep_line_holds_no_other_key", {"[keep]=4[shut_flg]=1"}, job(none, none, no_dest, {})},
};

INSTANTIATE_TEST_SUITE_P(Lines, RestoreTable, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RestoreReader, AsksForTheResponseFileByItsNameWithoutTheAt) {
  std::vector<std::string> asked;
  restore_job({"[dir_file]=\"@resp.tmp\"", "[dir_file]=\"/x/@resp.tmp\""}, [&](const std::string& n) {
    asked.push_back(n);
    return std::optional<Lines>();
  });
  EXPECT_EQ(asked, (std::vector<std::string>{"resp.tmp", "x/@resp.tmp"}));
}

TEST(WholeNumber, ReadsOnlyWholeDecimalNumbers) {
  const std::pair<const char*, std::optional<long>> cases[] = {
      {"0", 0},   {"3", 3},         {" 12 ", 12},  {"+1", 1},           {"-4", -4},
      {"", {}},   {" ", {}},        {"1x", {}},    {"x1", {}},          {"1 2", {}},
      {"1.0", {}}, {"-", {}},       {"999999999", 999999999}, {"1234567890", {}},
  };
  for (const auto& [text, want] : cases) EXPECT_EQ(whole_number(text), want) << '"' << text << '"';
}

}  // namespace
}  // namespace zubeto
