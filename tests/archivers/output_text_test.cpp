// The output text always fits the caller's buffer, zero byte included.
#include <gtest/gtest.h>

#include <cstring>

#include "arc/output_text.h"

using namespace zubeto::arc;

namespace {

struct Case {
  const char* label;
  std::string text;
  uint32_t size;
  std::string want;  // what the buffer holds before its zero byte
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.label; }

class OutputSize : public ::testing::TestWithParam<Case> {};

TEST_P(OutputSize, FitsAndEndsWithZero) {
  const Case& c = GetParam();
  std::string buf(64, '#');
  write_output(c.text, buf.data(), c.size);
  ASSERT_LE(c.want.size() + 1, c.size);
  EXPECT_EQ(std::string(buf.data()), c.want);
  EXPECT_EQ(buf[c.want.size()], '\0');
  // Nothing written past the size given.
  EXPECT_EQ(buf.substr(c.size), std::string(64 - c.size, '#'));
}

const std::string kLines = "ERROR: first\r\nsecond line\r\nthird";

INSTANTIATE_TEST_SUITE_P(
    Sizes, OutputSize,
    ::testing::Values(
        Case{"one_byte_holds_only_the_zero", "hello", 1, ""},
        Case{"exact_fit", "hello", 6, "hello"},
        Case{"one_short_cuts_last_byte", "hello", 5, "hell"},
        Case{"roomy", "hello", 40, "hello"},
        Case{"empty_text", "", 3, ""},
        // Too long for all lines: only whole lines, no dangling CR.
        Case{"cut_after_whole_line", kLines, 20, "ERROR: first"},
        Case{"cut_after_two_lines", kLines, 30, "ERROR: first\r\nsecond line"},
        Case{"exact_multi_line", kLines, static_cast<uint32_t>(kLines.size() + 1), kLines},
        // The first line alone is too long: cut, but never inside a character
        // ("日" is three bytes).
        Case{"cut_before_split_character", "ab日本", 5, "ab"},
        Case{"cut_after_whole_character", "ab日本", 6, "ab日"},
        Case{"tiny_long_error", "ERROR: archive not written: the destination folder does not exist", 10,
             "ERROR: ar"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(OutputText, SizeZeroOrNoBufferWritesNothing) {
  std::string buf(8, '#');
  write_output("hello", buf.data(), 0);
  EXPECT_EQ(buf, std::string(8, '#'));
  write_output("hello", nullptr, 100);  // must not crash
}

// A line of ours stays one line whatever a name in it holds: control
// characters are written visibly, every other byte (UTF-8, Shift-JIS with
// its 0x5C second bytes, a lone backslash) as it is.
TEST(OutputText, ControlCharactersInALineAreWrittenVisibly) {
  struct {
    std::string line;
    std::string shown;
  } cases[] = {
      {"cannot read: /d/y\n[12/10 12:00:01]=x=0000\nNOTE: all good", "cannot read: /d/y\\n[12/10 12:00:01]=x=0000\\nNOTE: all good"},
      {"a\r\nb\tc\x1b[2Jd\x7f\x01", "a\\r\\nb\\tc\\x1b[2Jd\\x7f\\x01"},
      {std::string("nul\0byte", 8), "nul\\x00byte"},
      {"\x83\x5c\x95\x5c back\\slash caf\xC3\xA9 \xFF", "\x83\x5c\x95\x5c back\\slash caf\xC3\xA9 \xFF"},
  };
  for (const auto& c : cases) {
    OutputText t;
    t.line(c.line);
    t.line("next");
    EXPECT_EQ(t.text(), c.shown + "\r\nnext");
  }
}

TEST(OutputText, JoinsLinesWithCrLfAndNoTrailingLineEnd) {
  OutputText t;
  t.line("one");
  t.line("two");
  EXPECT_EQ(t.text(), "one\r\ntwo");
  char buf[16];
  t.write(buf, sizeof buf);
  EXPECT_STREQ(buf, "one\r\ntwo");
}

// A list that does not fit ends with how many lines are not shown; a line
// too long to fit whole is cut rather than dropped; the first line leads.
TEST(OutputFitting, ACutListSaysHowManyMore) {
  struct Case {
    const char* label;
    size_t lines;      // "problem N: /some/path/..." lines after a header
    size_t line_size;  // bytes of each such line
    uint32_t size;
    bool all;          // every line fits
  } cases[] = {
      {"fits", 5, 40, 1000, true},
      {"sixty problems in a thousand bytes", 60, 60, 1000, false},
      {"one long line", 1, 1500, 1000, false},
      {"many lines in the worker's size", 2000, 80, 32767, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    OutputText text;
    text.line("ERROR: header");
    for (size_t i = 0; i < c.lines; ++i) {
      std::string l = "problem " + std::to_string(i) + ": ";
      l += std::string(c.line_size - l.size(), 'p');
      text.line(l);
    }
    std::string got = text.fitted(c.size);
    ASSERT_LT(got.size(), c.size);
    EXPECT_EQ(got.rfind("ERROR: header", 0), 0u);
    if (c.all) {
      EXPECT_EQ(got, text.text());
      continue;
    }
    // Lines shown (a cut one included) plus the count not shown make all.
    size_t shown = 0;
    for (size_t at = 0; (at = got.find("problem ", at)) != std::string::npos; ++at) ++shown;
    size_t more_at = got.rfind("\r\n... and ");
    if (c.lines == 1) {
      EXPECT_EQ(more_at, std::string::npos) << "nothing else to count";
      EXPECT_EQ(shown, 1u) << "the long line is cut, not dropped";
      EXPECT_EQ(got.substr(got.size() - 3), "...");
      continue;
    }
    ASSERT_NE(more_at, std::string::npos) << got;
    size_t more = std::stoul(got.substr(more_at + 10));
    EXPECT_EQ(shown + more, c.lines) << got.substr(got.size() - 80);
    EXPECT_EQ(got.substr(got.size() - 10), " not shown");
  }
}

// Too small for the header with a count beside it: cut as the text stands.
TEST(OutputFitting, TinyRoomCutsTheTextItself) {
  OutputText text;
  text.line("ERROR: archive not written: somewhere");
  text.line("second");
  EXPECT_EQ(text.fitted(12), "ERROR: arch");
  EXPECT_EQ(text.fitted(1), "");
}

}  // namespace

namespace {

// A long list kept as a number past what any buffer shows gives the very
// text the whole list gives, for every buffer size up to the kept part.
TEST(OutputList, LinesCountedNotKeptGiveTheSameText) {
  OutputText whole, counted;
  for (OutputText* t : {&whole, &counted}) t->line("ERROR: 1 source was not archived");
  size_t kept_bytes = 0;
  for (int i = 0; i < 500; ++i) {
    const std::string line = "a dir/file-" + std::to_string(i) + ".txt";
    whole.line(line);
    if (kept_bytes <= 300) {
      counted.line(line);
      kept_bytes += line.size() + 2;
    } else {
      counted.lines_not_kept(1);
    }
  }
  for (uint32_t size : {1u, 30u, 60u, 100u, 200u, 300u}) EXPECT_EQ(counted.fitted(size), whole.fitted(size)) << size;
}

}  // namespace
