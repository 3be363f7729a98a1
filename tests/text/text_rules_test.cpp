// The one line splitter and the one UTF-8 decoder.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "text/lines.h"
#include "text/utf8.h"

namespace {

using zubeto::text::split_lines;
using zubeto::text::utf8_char_start;
using zubeto::text::utf8_sequence;

TEST(Utf8Decoder, SequencesAndWhatIsNoneOfThem) {
  struct Case {
    const char* name;
    std::string text;
    std::size_t length;
    std::uint32_t code;
  };
  const Case cases[] = {
      {"ASCII", "a", 1, 'a'},
      {"NUL is a character", std::string(1, '\0'), 1, 0},
      {"two bytes", "\xC3\xA9", 2, 0xE9},
      {"three bytes", "\xE6\x97\xA5", 3, 0x65E5},
      {"four bytes", "\xF0\x9F\x98\x80", 4, 0x1F600},
      {"highest", "\xF4\x8F\xBF\xBF", 4, 0x10FFFF},
      {"overlong two", "\xC0\xAF", 0, 0},
      {"overlong three", "\xE0\x80\xAF", 0, 0},
      {"overlong four", "\xF0\x80\x80\xAF", 0, 0},
      {"surrogate", "\xED\xA0\x80", 0, 0},
      {"past U+10FFFF", "\xF4\x90\x80\x80", 0, 0},
      {"no lead byte F5", "\xF5\x80\x80\x80", 0, 0},
      {"continuation alone", "\x80", 0, 0},
      {"cut short", "\xE6\x97", 0, 0},
      {"Shift-JIS with 0x5C second byte", "\x95\x5C", 0, 0},
      {"Latin-1", "\xE9t\xE9", 0, 0},
  };
  for (const Case& c : cases) {
    std::uint32_t code = 0xFFFFFFFF;
    EXPECT_EQ(utf8_sequence(c.text, 0, &code), c.length) << c.name;
    if (c.length) {
      EXPECT_EQ(code, c.code) << c.name;
    }
    EXPECT_EQ(zubeto::text::is_valid_utf8(c.text), c.length == c.text.size()) << c.name;
  }
  EXPECT_EQ(utf8_sequence("a", 1), 0u) << "past the end";
  EXPECT_TRUE(zubeto::text::is_valid_utf8(""));
  EXPECT_TRUE(zubeto::text::is_ascii("plain"));
  EXPECT_FALSE(zubeto::text::is_ascii("caf\xC3\xA9"));
}

TEST(Utf8Decoder, CharacterStartBacksOverContinuationBytes) {
  const std::string s = "a\xE6\x97\xA5" "b";  // a 日 b
  const std::size_t want[] = {0, 1, 1, 1, 4};
  for (std::size_t i = 0; i < s.size(); ++i) EXPECT_EQ(utf8_char_start(s, i), want[i]) << i;
  EXPECT_EQ(utf8_char_start(s, 99), s.size());
}

TEST(LineSplitter, EndsLinesAtLfDroppingTheCrOfCrLf) {
  using L = std::vector<std::string>;
  const std::pair<std::string, L> cases[] = {
      {"", {}},
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\nb", {"a", "b"}},
      {"a\r\n\r\nb", {"a", "", "b"}},
      {"\n", {""}},
      {"\r\n", {""}},
      {"a\rb\r\n", {"a\rb"}},
      {"last\r", {"last\r"}},
      {"a\r\r\n", {"a\r"}},
      {std::string("a\0b\nc", 5), {std::string("a\0b", 3), "c"}},
      {"\x95\x5C\r\n\x83\x5C", {"\x95\x5C", "\x83\x5C"}},
  };
  for (const auto& [text, want] : cases) {
    EXPECT_EQ(split_lines(text), want) << '"' << text << '"';
    // The cursor gives the same lines and stops at the end.
    std::size_t pos = 0;
    std::string_view line;
    L got;
    while (zubeto::text::next_line(text, pos, line)) got.emplace_back(line);
    EXPECT_EQ(got, want);
    EXPECT_EQ(pos, text.size());
    EXPECT_FALSE(zubeto::text::next_line(text, pos, line));
  }
}

}  // namespace
