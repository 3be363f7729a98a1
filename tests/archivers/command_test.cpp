// The command reader: every command text the worker builds, response files
// as the settings window writes them, and malformed texts.
#include <gtest/gtest.h>

#include "arc/codes.h"
#include "arc/command.h"
#include "fixture.h"

using namespace zubeto::arc;

namespace {

struct GoodCase {
  const char* label;
  FormatId format;
  const char* text;
  const char* archive;
  std::vector<std::string> switches;
  const char* base;
  std::vector<std::pair<std::string, bool>> sources;  // path, contents only
};

void PrintTo(const GoodCase& c, std::ostream* os) { *os << c.label; }

class GoodCommand : public ::testing::TestWithParam<GoodCase> {};

TEST_P(GoodCommand, Reads) {
  const GoodCase& c = GetParam();
  Command cmd;
  std::string error;
  ASSERT_EQ(parse_command(format_row(c.format), c.text, cmd, error), ARC_OK) << error;
  EXPECT_EQ(cmd.archive, c.archive);
  EXPECT_EQ(cmd.switches, c.switches);
  EXPECT_EQ(cmd.base_dir, c.base);
  std::vector<std::pair<std::string, bool>> got;
  for (const Source& s : cmd.sources) got.emplace_back(s.path, s.contents_only);
  EXPECT_EQ(got, c.sources);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, GoodCommand,
    ::testing::Values(
        GoodCase{"zip", FormatId::Zip,
                 "-rq \"/backup/20240515213005.zip\" \"/home/u/data\" \"/home/u/memo.txt\" ",
                 "/backup/20240515213005.zip", {}, "",
                 {{"/home/u/data", false}, {"/home/u/memo.txt", false}}},
        GoodCase{"tar", FormatId::Tar,
                 "-cvf \"/backup/20240515213005.tar\" --display-dialog=0 \"/\" \"/home/u/data\" \"/home/u/memo.txt\" ",
                 "/backup/20240515213005.tar", {"--display-dialog=0"}, "/",
                 {{"/home/u/data", false}, {"/home/u/memo.txt", false}}},
        GoodCase{"lzh", FormatId::Lzh,
                 "a \"/backup/20240515213005.lzh\" -x1r2a2 -n1 \"/home/u/data\" \"/home/u/memo.txt\" ",
                 "/backup/20240515213005.lzh", {"-x1r2a2", "-n1"}, "",
                 {{"/home/u/data", false}, {"/home/u/memo.txt", false}}},
        GoodCase{"cab_contents", FormatId::Cab,
                 "-a -ri \"/backup/20240515213005.cab\" \"/home/u/data/*.*\" \"/home/u/memo.txt\" ",
                 "/backup/20240515213005.cab", {}, "",
                 {{"/home/u/data", true}, {"/home/u/memo.txt", false}}},
        GoodCase{"bga", FormatId::Bga, "a \"/b/x.bza\" \"/d\" ", "/b/x.bza", {}, "", {{"/d", false}}},
        // Spaces and Japanese names inside quotes; tabs and runs of spaces between tokens.
        GoodCase{"spaces_japanese", FormatId::Zip,
                 "-rq\t \"/b/x.zip\"   \"/home/u/my data/日本語 フォルダ\" /plain ",
                 "/b/x.zip", {}, "",
                 {{"/home/u/my data/日本語 フォルダ", false}, {"/plain", false}}},
        // A quoted path that looks like a switch is a path.
        GoodCase{"quoted_dash", FormatId::Zip, "-rq \"/b/x.zip\" \"-odd name\" ", "/b/x.zip", {}, "",
                 {{"-odd name", false}}},
        // "*.*" means contents only for CAB; for ZIP it is a name like any other.
        GoodCase{"zip_star_literal", FormatId::Zip, "-rq \"/b/x.zip\" \"/d/*.*\" ", "/b/x.zip", {}, "",
                 {{"/d/*.*", false}}},
        GoodCase{"cab_root_contents", FormatId::Cab, "-a -ri \"/b/x.cab\" \"/*.*\" ", "/b/x.cab", {}, "",
                 {{"/", true}}},
        // A base directory other than the root.
        GoodCase{"tar_base", FormatId::Tar, "-cvf \"/b/x.tar\" --display-dialog=0 \"/home/\" \"/home/u\" ",
                 "/b/x.tar", {"--display-dialog=0"}, "/home/", {{"/home/u", false}}}),
    [](const auto& info) { return std::string(info.param.label); });

struct BadCase {
  const char* label;
  FormatId format;
  const char* text;
  int code;
  const char* says;
};

void PrintTo(const BadCase& c, std::ostream* os) { *os << c.label; }

class BadCommand : public ::testing::TestWithParam<BadCase> {};

TEST_P(BadCommand, IsRefusedWithAReason) {
  const BadCase& c = GetParam();
  Command cmd;
  std::string error;
  EXPECT_EQ(parse_command(format_row(c.format), c.text, cmd, error), c.code);
  EXPECT_NE(error.find(c.says), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, BadCommand,
    ::testing::Values(
        BadCase{"empty", FormatId::Zip, "", ARC_E_COMMAND, "unknown mode"},
        BadCase{"only_mode", FormatId::Zip, "-rq ", ARC_E_COMMAND, "no archive path"},
        BadCase{"empty_archive", FormatId::Zip, "-rq \"\" \"/d\" ", ARC_E_COMMAND, "no archive path"},
        BadCase{"no_sources", FormatId::Zip, "-rq \"/b/x.zip\" ", ARC_E_COMMAND, "no sources"},
        BadCase{"unknown_mode", FormatId::Zip, "-x \"/b/x.zip\" \"/d\" ", ARC_E_COMMAND, "unknown mode \"-x\""},
        BadCase{"mode_of_other_format", FormatId::Zip, "-cvf \"/b/x.zip\" \"/d\" ", ARC_E_COMMAND, "unknown mode"},
        BadCase{"mode_case", FormatId::Zip, "-RQ \"/b/x.zip\" \"/d\" ", ARC_E_COMMAND, "unknown mode"},
        BadCase{"cab_half_mode", FormatId::Cab, "-a \"/b/x.cab\" \"/d\" ", ARC_E_COMMAND, "unknown mode"},
        BadCase{"quoted_mode", FormatId::Zip, "\"-rq\" \"/b/x.zip\" \"/d\" ", ARC_E_COMMAND, "unknown mode"},
        BadCase{"unknown_switch", FormatId::Zip, "-rq \"/b/x.zip\" -v \"/d\" ", ARC_E_COMMAND, "unknown switch \"-v\""},
        BadCase{"switch_as_archive", FormatId::Tar, "-cvf --display-dialog=0 \"/\" \"/d\" ", ARC_E_COMMAND,
                "no archive path"},
        BadCase{"unclosed_quote", FormatId::Zip, "-rq \"/b/x.zip\" \"/d ", ARC_E_COMMAND, "not closed"},
        BadCase{"tar_no_base", FormatId::Tar, "-cvf \"/b/x.tar\" --display-dialog=0 ", ARC_E_COMMAND,
                "no base directory"},
        BadCase{"tar_base_only", FormatId::Tar, "-cvf \"/b/x.tar\" --display-dialog=0 \"/\" ", ARC_E_COMMAND,
                "no sources"},
        BadCase{"missing_response", FormatId::Zip, "-rq \"/b/x.zip\" \"@/nonexistent/resp.tmp\" ", ARC_E_RESPONSE,
                "/nonexistent/resp.tmp"}),
    [](const auto& info) { return std::string(info.param.label); });

// The settings window writes the response file with CR LF; a hand-edited
// one may have LF alone, a missing last line end, or blank lines.
TEST(ResponseFile, ExpandsInPlaceWithCrLfOrLf) {
  struct Case {
    const char* label;
    std::string bytes;
  };
  const Case cases[] = {
      {"crlf", "\"/home/u/a b\"\r\n\"/home/u/日本語.txt\"\r\n\"/home/u/data/*.*\"\r\n"},
      {"lf", "\"/home/u/a b\"\n\"/home/u/日本語.txt\"\n\"/home/u/data/*.*\"\n"},
      {"no_last_end_blank_lines", "\r\n\"/home/u/a b\"\r\n\r\n\"/home/u/日本語.txt\"\n\"/home/u/data/*.*\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    arctest::TempDir dir;
    arctest::write_file(dir / "resp.tmp", c.bytes);
    arctest::InDir in(dir.path());
    Command cmd;
    std::string error;
    ASSERT_EQ(parse_command(format_row(FormatId::Cab), "-a -ri \"/b/x.cab\" \"/first\" \"@resp.tmp\" \"/last\" ", cmd,
                            error),
              ARC_OK)
        << error;
    std::vector<std::pair<std::string, bool>> got;
    for (const Source& s : cmd.sources) got.emplace_back(s.path, s.contents_only);
    std::vector<std::pair<std::string, bool>> want = {
        {"/first", false}, {"/home/u/a b", false}, {"/home/u/日本語.txt", false}, {"/home/u/data", true}, {"/last", false}};
    EXPECT_EQ(got, want);
  }
}

TEST(ResponseFile, EmptyFileMeansNoSources) {
  arctest::TempDir dir;
  arctest::write_file(dir / "resp.tmp", "\r\n");
  arctest::InDir in(dir.path());
  Command cmd;
  std::string error;
  EXPECT_EQ(parse_command(format_row(FormatId::Zip), "-rq \"/b/x.zip\" \"@resp.tmp\" ", cmd, error), ARC_E_COMMAND);
  EXPECT_NE(error.find("no sources"), std::string::npos);
}

}  // namespace
