// Names as stored for Japanese Windows readers: Shift-JIS with "_" for what
// code page 932 cannot hold, the exact name in UTF-16LE.
#include <gtest/gtest.h>

#include "lzh_names.h"
#include "lzh_test_util.h"

using namespace lzhtest;

namespace {

std::string utf16le(const std::u16string& s) {
  std::string out;
  for (char16_t c : s) {
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>(c >> 8);
  }
  return out;
}

TEST(LzhNames, PartsConvertToShiftJisAndUtf16) {
  struct Case {
    const char* what;
    std::string utf8;
    std::string sjis;
    std::u16string utf16;
  };
  const Case cases[] = {
      {"ASCII, case kept", "README.TXT", "README.TXT", u"README.TXT"},
      {"kanji and kana", "日本語のファイル", "\x93\xfa\x96\x7b\x8c\xea\x82\xcc\x83\x74\x83\x40\x83\x43\x83\x8b",
       u"日本語のファイル"},
      {"half-width katakana: one byte", "ｱｲｳ", "\xb1\xb2\xb3", u"ｱｲｳ"},
      {"a code page 932 extension (circled one)", "x①", "x\x87\x40", u"x①"},
      {"outside code page 932: accented letter", "café", "caf_", u"café"},
      {"outside the BMP: surrogate pair in UTF-16", "a😀b", "a_b", u"a😀b"},
      {"Hangul", "한국", "__", u"한국"},
      {"a backslash would separate folders on Windows", "a\\b", "a_b", u"a\\b"},
      {"a yen sign is not the backslash byte", "¥100", "_100", u"¥100"},
      {"not UTF-8: a Latin-1 byte", "caf\xE9.txt", "caf\xE9.txt", u"café.txt"},
      {"not UTF-8: a cut sequence after kanji", "日\xE6\x97", "\xE6\x97\xA5\xE6\x97", u"日\u00e6\u0097"},
      {"not UTF-8: an encoded surrogate", "\xED\xA0\x80", "\xED\xA0\x80", u"\u00ed\u00a0\u0080"},
      {"not UTF-8: an overlong slash", "\xC0\xAF", "\xC0\xAF", u"\u00c0\u00af"},
      {"not UTF-8: the folder separator byte and a backslash", "\xFF" "a\\\xE9", "_a_\xE9", u"\u00ffa\\\u00e9"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string sjis, u16;
    lzh::convert_part(c.utf8, sjis, u16);
    EXPECT_EQ(sjis, c.sjis);
    EXPECT_EQ(u16, utf16le(c.utf16));
  }
}

// Every character that iconv converts to code page 932 converts the same
// here: the table in the source agrees with the system it was made from.
TEST(LzhNames, TableAgreesWithIconv) {
  std::string all;
  for (char32_t c = 0x80; c < 0x10000; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    std::string u8;
    if (c < 0x800) {
      u8 += static_cast<char>(0xC0 | (c >> 6));
    } else {
      u8 += static_cast<char>(0xE0 | (c >> 12));
      u8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    }
    u8 += static_cast<char>(0x80 | (c & 0x3F));
    const std::string want = to_cp932(u8);
    std::string sjis, u16;
    lzh::convert_part(u8, sjis, u16);
    // Characters iconv writes as one byte below 0x80 are left out on purpose.
    if (want.empty() || (want.size() == 1 && static_cast<uint8_t>(want[0]) < 0x80))
      ASSERT_EQ(sjis, "_") << std::hex << static_cast<uint32_t>(c);
    else
      ASSERT_EQ(sjis, want) << std::hex << static_cast<uint32_t>(c);
  }
}

TEST(LzhNames, FolderAndFileParts) {
  lzh::StoredName n = lzh::stored_name("home/資料/a.txt", false);
  EXPECT_EQ(n.sjis_dir, "home\xff\x8e\x91\x97\xbf\xff");
  EXPECT_EQ(n.sjis_file, "a.txt");
  EXPECT_EQ(n.utf16_dir, utf16le(u"home/資料/"));
  EXPECT_EQ(n.utf16_file, utf16le(u"a.txt"));

  n = lzh::stored_name("home/資料", true);
  EXPECT_EQ(n.sjis_dir, "home\xff\x8e\x91\x97\xbf\xff");
  EXPECT_EQ(n.sjis_file, "");
  EXPECT_EQ(n.utf16_dir, utf16le(u"home/資料/"));

  n = lzh::stored_name("top.txt", false);
  EXPECT_EQ(n.sjis_dir, "");
  EXPECT_EQ(n.utf16_dir, "");
  EXPECT_EQ(n.sjis_file, "top.txt");
}

}  // namespace

namespace {

// Letter case folded in Shift-JIS as Windows ignores it in file names, a
// trail byte never taken for a letter.
TEST(LzhNames, CaseFoldsInShiftJis) {
  const struct {
    const char* what;
    std::string sjis;
    std::string folded;
  } cases[] = {
      {"ASCII", "README.TXT", "readme.txt"},
      {"full-width Latin", "\x82\x60\x82\x79", "\x82\x81\x82\x9a"},                  // ＡＺ -> ａｚ
      {"Greek", "\x83\x9f\x83\xb6", "\x83\xbf\x83\xd6"},                            // ΑΩ -> αω
      {"Cyrillic on both sides of the gap", "\x84\x4e\x84\x4f\x84\x60", "\x84\x7e\x84\x80\x84\x91"},  // НОЯ -> ноя
      {"a trail byte in the range of A-Z stays", "\x83\x41\x83\x5a", "\x83\x41\x83\x5a"},  // アゼ
      {"half-width katakana stays", "\xb1\xb2", "\xb1\xb2"},
      {"a lone lead byte at the end", "A\x83", "a\x83"},
  };
  for (const auto& c : cases) EXPECT_EQ(lzh::fold_cp932_case(c.sjis), c.folded) << c.what;
}

}  // namespace
