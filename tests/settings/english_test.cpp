// The window's English table (settings/english.h), which the Win32 view
// shows under any interface language but Japanese: every fixed text either
// view shows has its English words, and those words keep what the window
// fills in or shows literally.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "english.h"
#include "last_run.h"
#include "layout.h"  // the Win32 view's first controls
#include "window_layout.h"
#include "window_texts.h"

namespace {

// UTF-8 decoded far enough to tell Japanese characters: kana, the CJK
// ideographs, the full- and half-width forms.
bool has_japanese(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    char32_t cp = c;
    std::size_t n = 1;
    if (c >= 0xF0 && i + 3 < s.size())
      cp = ((c & 0x07u) << 18) | ((s[i + 1] & 0x3Fu) << 12) | ((s[i + 2] & 0x3Fu) << 6) | (s[i + 3] & 0x3Fu), n = 4;
    else if (c >= 0xE0 && i + 2 < s.size())
      cp = ((c & 0x0Fu) << 12) | ((s[i + 1] & 0x3Fu) << 6) | (s[i + 2] & 0x3Fu), n = 3;
    else if (c >= 0xC0 && i + 1 < s.size())
      cp = ((c & 0x1Fu) << 6) | (s[i + 1] & 0x3Fu), n = 2;
    if ((cp >= 0x3000 && cp <= 0x30FF) || (cp >= 0x3400 && cp <= 0x9FFF) || (cp >= 0xFF00 && cp <= 0xFFEF))
      return true;
    i += n;
  }
  return false;
}

// Every fixed text the windows show: the tables of controls (captions and
// accessible names), the core's messages and captions, and the status
// line's words for every outcome and cause.
std::set<std::string> window_texts() {
  namespace t = zubeto::texts;
  std::set<std::string> all = {t::kTitleError, t::kTitleErrorMessage, t::kTitleProduct, t::kTarOtherDrive,
                               t::kEmptyJobSave, t::kEmptyJobRunNow, t::kSaveFailed, t::kExitChanged,
                               t::kEditorFailed, t::kRepeatSuffix, t::kOneDestination, t::kNotAFolder,
                               t::kUnfitPathOpen, t::kUnfitPathClose, t::kSourceFrameCaption,
                               t::kDestinationFrameCaption, t::kVerifyNotStarted, t::kScheduleFailed,
                               t::kScheduleOffFailed, t::kTaskFailed, t::kTaskOffFailed, t::kNextRun, t::kDailyAt,
                               zubeto::win32::kCaption};
  for (const auto& c : zubeto::win32::kControls) all.insert(c.caption);
  for (const auto& c : zubeto::layout::kNewControls) all.insert({c.caption, c.accessible});
  for (const auto& a : zubeto::layout::kAccessibleNames) all.insert(a.name);
  using O = zubeto::LastRun::Outcome;
  using C = zubeto::LastRun::Cause;
  for (O o : {O::none, O::running, O::done, O::done_left_out, O::failed})
    for (C c : {C::none, C::missing, C::mode, C::text, C::code}) {
      zubeto::LastRun run;
      run.outcome = o;
      run.cause = c;
      zubeto::status_text(run, [&](std::string_view s) {
        all.insert(std::string(s));
        return std::string(s);
      });
    }
  all.erase("");
  return all;
}

TEST(EnglishTable, EveryJapaneseTextOfTheWindowHasEnglishWords) {
  const std::set<std::string> texts = window_texts();
  ASSERT_GT(texts.size(), 40u);
  for (const std::string& japanese : texts) {
    if (!has_japanese(japanese)) continue;  // LZH, ZIP, CAB, TAR
    const std::optional<std::string_view> english = zubeto::english::text(japanese);
    ASSERT_TRUE(english.has_value()) << "no English for " << japanese;
    EXPECT_FALSE(has_japanese(*english)) << japanese << " -> " << *english;
    EXPECT_FALSE(english->empty()) << japanese;
  }
}

// What the window fills in or shows as it is survives the translation:
// the placeholders %1..%9, a closing line break (the output follows it),
// the program's name "ZUBETOC", and in the frame captions the "&&" that
// shows one ampersand (a message box shows "&&" as it is: the run-now
// message's two are the original's own, which English need not copy).
TEST(EnglishTable, TranslationsKeepPlaceholdersLineEndsAndAmpersands) {
  auto count = [](std::string_view s, std::string_view what) {
    std::size_t n = 0;
    for (std::size_t at = s.find(what); at != std::string_view::npos; at = s.find(what, at + what.size())) ++n;
    return n;
  };
  for (std::size_t i = 0; i < zubeto::english::row_count(); ++i) {
    const zubeto::english::Row& r = zubeto::english::rows()[i];
    const std::string_view ja = r.japanese, en = r.english;
    for (const char* p : {"%1", "%2", "%3", "ZUBETOC"})
      EXPECT_EQ(count(ja, p), count(en, p)) << p << " in " << ja << " -> " << en;
    EXPECT_EQ(!ja.empty() && ja.back() == '\n', !en.empty() && en.back() == '\n') << ja;
  }
  for (const char* caption : {zubeto::texts::kSourceFrameCaption, zubeto::texts::kDestinationFrameCaption})
    EXPECT_NE(zubeto::english::text(caption).value_or("").find("&&"), std::string_view::npos) << caption;
  // A row by its Japanese text, and none for a text of no window.
  EXPECT_EQ(zubeto::english::text("更新"), std::optional<std::string_view>("Save"));
  EXPECT_FALSE(zubeto::english::text("更新しない").has_value());
}

}  // namespace
