// The window's controls beyond its first ones, as one table that every
// view draws: each row is a control with its name (object name and
// identifier stem), kind, caption, accessible name and place in twips. The
// texts are the Japanese originals in UTF-8; a view shows them through its
// own translation (Services::localized for the core's texts).
//
// The first controls keep their places; these lie below them, in rows,
// left to right and top to bottom, which is also their tab order. The
// window's client area grows by what they need.
#pragma once
#include <cstddef>

namespace zubeto::layout {

enum class Kind {
  label,   // a caption for the control to its right
  number,  // a whole number box (0 up)
  check,   // a check box with its caption
  time,    // an hour and minute box (HH:MM)
  button,
  text,    // a line of text the window sets (status, next run)
};

struct Control {
  const char* name;
  Kind kind;
  const char* caption;     // UTF-8; empty for boxes the core fills
  const char* accessible;  // the name a screen reader says
  int left, top, width, height;  // twips from the client area's top-left corner
};

// Row by row. The "keep" caption names the number box beside it; its value
// 0 shows as "すべて".
inline constexpr Control kNewControls[] = {
    {"KeepLabel", Kind::label, "最新の N 個の圧縮ファイルを残す", "", 120, 6000, 2895, 300},
    {"KeepCount", Kind::number, "", "残す圧縮ファイルの数（0=すべて）", 3120, 6000, 855, 300},
    {"ScheduleCheck", Kind::check, "毎日 HH:MM に実行する", "毎日決まった時刻に実行する", 120, 6360, 2895, 300},
    {"ScheduleTime", Kind::time, "", "実行する時刻", 3120, 6360, 855, 300},
    {"ScheduleNext", Kind::text, "", "次回の実行", 120, 6720, 3855, 255},
    {"AddButton", Kind::button, "追加…", "ファイルかフォルダを追加", 120, 7020, 1155, 300},
    {"VerifyButton", Kind::button, "圧縮ファイル検査", "圧縮ファイルを検査する", 1320, 7020, 2655, 300},
    {"StatusLine", Kind::text, "", "前回の実行結果", 120, 7380, 3855, 510},
};
inline constexpr std::size_t kNewControlCount = sizeof(kNewControls) / sizeof(kNewControls[0]);

// The first client area was 6480 twips high; the new rows need this much.
inline constexpr int kFirstClientHeight = 6480;
inline constexpr int kClientHeight = 7995;

// Accessible names of the first controls that show no caption of their own
// (the list, the destination box, the shutdown box whose caption is a
// separate label).
struct AccessibleName {
  const char* control;  // the system's control name
  const char* name;
};
inline constexpr AccessibleName kAccessibleNames[] = {
    {"List1", "圧縮するファイルとフォルダ"},
    {"Text1", "圧縮先フォルダ"},
    {"Check1", "圧縮処理終了後シャットダウンする。"},
};

// A row by name; nullptr when there is none.
constexpr const Control* find(const char* name) {
  for (const Control& c : kNewControls) {
    const char* a = c.name;
    const char* b = name;
    while (*a && *a == *b) ++a, ++b;
    if (*a == *b) return &c;
  }
  return nullptr;
}

}  // namespace zubeto::layout
