// The window ZBTB as laid out: its class, caption and place, and every
// control with its identifier, kind, caption, rectangle in twips and font.
// Tests find the controls by these identifiers (GetDlgItem).
#pragma once

#include "window_layout.h"

namespace zubeto::win32 {

inline constexpr char kWindowClass[] = "ZBTB";
inline constexpr char kCaption[] = "ズベト Ver2.01";  // UTF-8 in the source

// The client area, in twips: its size, and where its top-left corner opens
// on the screen (the system does not choose the place).
inline constexpr int kClientLeft = 11280;
inline constexpr int kClientTop = 4080;
inline constexpr int kClientWidth = 4095;
// 6480 for the first controls, and the rows of the new ones below them
// (settings/window_layout.h).
inline constexpr int kClientHeight = zubeto::layout::kClientHeight;

// Control identifiers: the system's control names. None is IDOK (1) or
// IDCANCEL (2), so Enter and Escape, which the dialog keys report under
// those two, reach no button.
enum ControlId : int {
  kCommand1 = 101,
  kCommand2 = 102,
  kCommand3 = 103,
  kCommand4 = 104,
  kCommand5 = 105,
  kCommand6 = 106,
  kCommand8 = 108,
  kOption1 = 110,  // Option1(index) is kOption1 + index, index 0-3
  kCheck1 = 120,
  kList1 = 130,
  kText1 = 131,
  kFrame1 = 141,
  kFrame2 = 142,
  kFrame3 = 143,
  kLabel1 = 150,
  kCombo1 = 151,
  // The new controls: kNewControl + their row in zubeto::layout::kNewControls.
  kNewControl = 200,
};

enum class Kind { button, option, check, list, text, frame, label, combo };
enum class Face { gothic, window };  // ＭＳ ゴシック 9 pt, or the window's font

struct ControlLayout {
  int id;
  Kind kind;
  const char* caption;  // UTF-8; frame captions are set at start-up
  int left, top, width, height;  // twips from the client area's top-left corner
  Face face;
};

// In creation order, which is also the order from front to back and the
// tab order: the controls that take the focus in their tab order, each in
// front of the frame it lies on, then the frames, the label (on the
// window's own surface) and the hidden scratch box behind everything.
inline constexpr ControlLayout kControls[] = {
    {kCommand2, Kind::button, "更新", 120, 120, 2415, 420, Face::gothic},
    {kCommand4, Kind::button, "終了", 2520, 120, 1455, 420, Face::gothic},
    {kCommand5, Kind::button, "ﾛｸﾞ表示", 120, 600, 1215, 300, Face::gothic},
    {kCommand6, Kind::button, "ﾛｸﾞ削除", 1320, 600, 1215, 300, Face::gothic},
    {kCommand3, Kind::button, "初期クリア", 2520, 600, 1455, 300, Face::gothic},
    {kCommand1, Kind::button, "削除", 1680, 3480, 855, 255, Face::gothic},
    {kCommand8, Kind::button, "すぐに圧縮する(更新+実行）", 120, 5520, 3855, 375, Face::window},
    {kOption1 + 0, Kind::option, "LZH", 240, 1200, 735, 255, Face::gothic},
    {kOption1 + 1, Kind::option, "ZIP", 1200, 1200, 735, 255, Face::gothic},
    {kOption1 + 2, Kind::option, "CAB", 2160, 1200, 735, 255, Face::gothic},
    {kOption1 + 3, Kind::option, "TAR", 3120, 1200, 735, 255, Face::gothic},
    {kCheck1, Kind::check, "", 240, 1680, 255, 255, Face::window},
    {kList1, Kind::list, "", 360, 2280, 3375, 1140, Face::gothic},
    {kText1, Kind::text, "", 360, 4200, 3375, 1095, Face::gothic},
    {kFrame1, Kind::frame, "圧縮タイプ", 120, 960, 3855, 615, Face::gothic},
    {kFrame2, Kind::frame, "", 120, 2040, 3855, 1815, Face::gothic},
    {kFrame3, Kind::frame, "", 120, 3960, 3855, 1455, Face::gothic},
    {kLabel1, Kind::label, "圧縮処理終了後シャットダウンする。", 600, 1720, 3375, 255, Face::gothic},
    {kCombo1, Kind::combo, "", 360, 4200, 3495, 300, Face::window},
};

// Twips to pixels at the screen's dots per inch (15 twips a pixel at 96),
// to the nearest pixel.
constexpr int twips_to_pixels(int twips, int dpi) { return (twips * dpi + 720) / 1440; }

}  // namespace zubeto::win32
