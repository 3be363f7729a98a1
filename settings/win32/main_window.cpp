#include "main_window.h"

#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

#include "accessible.h"
#include "drop_target.h"
#include "language.h"
#include "layout.h"

namespace zubeto::win32 {

namespace {

constexpr int kIconId = 1;  // the window's icon in the program's resources

struct Dpi {
  int x = 96, y = 96;
};

Dpi screen_dpi() {
  Dpi d;
  if (HDC dc = ::GetDC(nullptr)) {
    d.x = ::GetDeviceCaps(dc, LOGPIXELSX);
    d.y = ::GetDeviceCaps(dc, LOGPIXELSY);
    ::ReleaseDC(nullptr, dc);
  }
  return d;
}

// "ＭＳ ゴシック" at 9 points, regular, Shift-JIS character set. In English
// the system's message face at 9 points instead, which draws the English
// captions wherever no Japanese face is installed.
HFONT make_gothic(int dpi_y) {
  LOGFONTW lf{};
  if (!japanese_ui()) {
    NONCLIENTMETRICSW m{};
    m.cbSize = sizeof m;
    if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof m, &m, 0)) {
      lf = m.lfMessageFont;
      lf.lfHeight = -::MulDiv(9, dpi_y, 72);
      lf.lfWidth = 0;
      return ::CreateFontIndirectW(&lf);
    }
  }
  lf.lfHeight = -::MulDiv(9, dpi_y, 72);
  lf.lfWeight = FW_NORMAL;
  lf.lfCharSet = SHIFTJIS_CHARSET;
  lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
  lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  lf.lfQuality = DEFAULT_QUALITY;
  lf.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
  const std::wstring face = wide("ＭＳ ゴシック");
  lstrcpynW(lf.lfFaceName, face.c_str(), LF_FACESIZE);
  return ::CreateFontIndirectW(&lf);
}

// The platform's default user-interface font.
HFONT make_window_font() {
  NONCLIENTMETRICSW m{};
  m.cbSize = sizeof m;
  if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof m, &m, 0)) return ::CreateFontIndirectW(&m.lfMessageFont);
  return nullptr;
}

struct ControlClass {
  const wchar_t* name;
  DWORD style;
  DWORD ex_style;
};

ControlClass class_of(const ControlLayout& c) {
  const DWORD child = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
  switch (c.kind) {
    case Kind::button:
      return {L"BUTTON", child | WS_TABSTOP | BS_PUSHBUTTON, 0};  // never a default button
    case Kind::option:
      // One group: the first button opens it and takes the tab stop.
      return {L"BUTTON", child | BS_AUTORADIOBUTTON | (c.id == kOption1 ? WS_GROUP | WS_TABSTOP : 0), 0};
    case Kind::check:
      return {L"BUTTON", child | WS_GROUP | WS_TABSTOP | BS_AUTOCHECKBOX, 0};
    case Kind::list:
      // Single selection, not sorted.
      // Its keys go to the window first (WM_VKEYTOITEM): Delete removes.
      return {L"LISTBOX",
              child | WS_GROUP | WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | LBS_WANTKEYBOARDINPUT,
              WS_EX_CLIENTEDGE};
    case Kind::text:
      // A long path wraps over the box's lines. Read-only: nothing typed,
      // pasted or cut reaches it; its text comes from the core alone.
      return {L"EDIT", child | WS_GROUP | WS_TABSTOP | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY,
              WS_EX_CLIENTEDGE};
    case Kind::frame:
      return {L"BUTTON", child | WS_GROUP | BS_GROUPBOX, 0};
    case Kind::label:
      return {L"STATIC", child | SS_LEFT | SS_NOPREFIX, 0};
    case Kind::combo:
      // The scratch list: never shown.
      return {L"COMBOBOX", (child & ~WS_VISIBLE) | CBS_DROPDOWN, 0};
  }
  return {L"STATIC", child, 0};
}

// The window class, registered once per program.
bool register_class(HINSTANCE instance, WNDPROC proc) {
  static bool done = false;
  if (done) return true;
  const std::wstring name = wide(kWindowClass);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = proc;
  wc.hInstance = instance;
  wc.hIcon = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(kIconId), IMAGE_ICON, 32, 32, 0));
  wc.hIconSm = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(kIconId), IMAGE_ICON,
                                               ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), 0));
  wc.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = name.c_str();
  done = ::RegisterClassExW(&wc) != 0;
  return done;
}

// The destination box leaves Tab, Enter and Escape to the dialog keys: a
// multi-line box would take them for itself, and the focus could not leave
// it by Tab.
LRESULT CALLBACK destination_box_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto base = reinterpret_cast<WNDPROC>(::GetPropW(hwnd, L"zubeto.base"));
  LRESULT r = ::CallWindowProcW(base, hwnd, msg, wp, lp);
  if (msg == WM_GETDLGCODE) r &= ~static_cast<LRESULT>(DLGC_WANTALLKEYS | DLGC_WANTTAB);
  if (msg == WM_NCDESTROY) ::RemovePropW(hwnd, L"zubeto.base");
  return r;
}

ControlClass class_of(const layout::Control& c) {
  const DWORD child = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
  switch (c.kind) {
    case layout::Kind::label:
    case layout::Kind::text:
      return {L"STATIC", child | SS_LEFT | SS_NOPREFIX, 0};
    case layout::Kind::number:
      return {L"EDIT", child | WS_GROUP | WS_TABSTOP | ES_NUMBER | ES_RIGHT | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE};
    case layout::Kind::time:
      return {L"EDIT", child | WS_GROUP | WS_TABSTOP | ES_CENTER, WS_EX_CLIENTEDGE};
    case layout::Kind::check:
      return {L"BUTTON", child | WS_GROUP | WS_TABSTOP | BS_AUTOCHECKBOX, 0};
    case layout::Kind::button:
      return {L"BUTTON", child | WS_GROUP | WS_TABSTOP | BS_PUSHBUTTON, 0};
  }
  return {L"STATIC", child, 0};
}

// "HH:MM" as typed; nothing for any other text.
std::optional<schedule::Time> typed_time(HWND edit) {
  char text[16] = {};
  ::GetWindowTextA(edit, text, sizeof text);
  int h = -1, m = -1;
  char rest = 0;
  if (std::sscanf(text, "%d:%d%c", &h, &m, &rest) != 2) return std::nullopt;
  const schedule::Time t{h, m};
  if (!schedule::valid(t)) return std::nullopt;
  return t;
}

constexpr UINT_PTR kRunPollTimer = 1;

}  // namespace

int MainWindow::new_control_id(const char* name) {
  for (std::size_t i = 0; i < layout::kNewControlCount; ++i)
    if (std::strcmp(layout::kNewControls[i].name, name) == 0) return kNewControl + static_cast<int>(i);
  return 0;
}

MainWindow::MainWindow(Services& services) : core_(services, *this) {}

MainWindow::~MainWindow() {
  if (hwnd_) ::DestroyWindow(hwnd_);
  release_drops();
  if (source_drop_) source_drop_->Release();
  if (destination_drop_) destination_drop_->Release();
  if (gothic_) ::DeleteObject(gothic_);
  if (window_font_) ::DeleteObject(window_font_);
}

IDropTarget* MainWindow::source_target() const { return source_drop_; }
IDropTarget* MainWindow::destination_target() const { return destination_drop_; }

bool MainWindow::open(HINSTANCE instance) {
  if (!register_class(instance, &MainWindow::window_proc)) return false;
  const Dpi dpi = screen_dpi();
  gothic_ = make_gothic(dpi.y);
  window_font_ = make_window_font();
  font_dpi_ = dpi.y;

  // The client area opens at its laid-out place and size; the frame goes
  // around it.
  // Not WS_CLIPCHILDREN: a frame draws only its border and caption, and the
  // window's own background must show inside it.
  const DWORD style = WS_OVERLAPPEDWINDOW;
  RECT r;
  r.left = twips_to_pixels(kClientLeft, dpi.x);
  r.top = twips_to_pixels(kClientTop, dpi.y);
  r.right = r.left + twips_to_pixels(kClientWidth, dpi.x);
  r.bottom = r.top + twips_to_pixels(kClientHeight, dpi.y);
  ::AdjustWindowRectEx(&r, style, FALSE, 0);
  hwnd_ = ::CreateWindowExW(0, wide(kWindowClass).c_str(), wide_text(kCaption).c_str(), style, r.left, r.top,
                            r.right - r.left, r.bottom - r.top, nullptr, nullptr, instance, this);
  if (!hwnd_) return false;
  create_controls();

  source_drop_ = new DropTarget([this](const DragData& d) { return core_.source_drag_over(d); },
                                [this](const DragData& d) { return core_.source_drop(d); });
  destination_drop_ = new DropTarget([this](const DragData& d) { return core_.destination_drag_over(d); },
                                     [this](const DragData& d) {
                                       core_.destination_drop(d);
                                       return core_.destination_drag_over(d) == kDropCopy;
                                     });
  // The source list takes drops as laid out; the destination box once the
  // start-up turns its drops on.
  ::RegisterDragDrop(control(kList1), source_drop_);

  if (!core_.load()) {
    ::DestroyWindow(hwnd_);
    return false;
  }
  return true;
}

void MainWindow::create_controls() {
  const Dpi dpi = screen_dpi();
  HINSTANCE instance = reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(hwnd_, GWLP_HINSTANCE));
  for (const ControlLayout& c : kControls) {
    const ControlClass k = class_of(c);
    HWND h = ::CreateWindowExW(k.ex_style, k.name, wide_text(c.caption).c_str(), k.style, twips_to_pixels(c.left, dpi.x),
                               twips_to_pixels(c.top, dpi.y), twips_to_pixels(c.width, dpi.x),
                               twips_to_pixels(c.height, dpi.y), hwnd_,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), instance, nullptr);
    if (!h) continue;
    // Each control goes behind the ones made before it: the order of
    // creation is the order from front to back, which the dialog keys
    // follow as the tab order.
    ::SetWindowPos(h, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ::SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(c.face == Face::gothic ? gothic_ : window_font_), FALSE);
    if (c.kind == Kind::text) {
      ::SetPropW(h, L"zubeto.base", reinterpret_cast<HANDLE>(::GetWindowLongPtrW(h, GWLP_WNDPROC)));
      ::SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&destination_box_proc));
    }
  }
  create_new_controls();
  // The names a screen reader says for the controls that show no caption
  // of their own, and for every new one (the core's table).
  for (const layout::AccessibleName& a : layout::kAccessibleNames) {
    const int id = std::strcmp(a.control, "List1") == 0   ? kList1
                   : std::strcmp(a.control, "Text1") == 0 ? kText1
                   : std::strcmp(a.control, "Check1") == 0 ? kCheck1
                                                           : 0;
    if (id) set_accessible_name(control(id), wide_text(a.name));
  }
  for (std::size_t i = 0; i < layout::kNewControlCount; ++i) {
    const layout::Control& c = layout::kNewControls[i];
    if (*c.accessible) set_accessible_name(control(kNewControl + static_cast<int>(i)), wide_text(c.accessible));
  }
}

void MainWindow::create_new_controls() {
  const Dpi dpi = screen_dpi();
  HINSTANCE instance = reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(hwnd_, GWLP_HINSTANCE));
  // Behind the first controls, in the table's order: the tab order runs on
  // from Text1 through the new rows.
  for (std::size_t i = 0; i < layout::kNewControlCount; ++i) {
    const layout::Control& c = layout::kNewControls[i];
    const ControlClass k = class_of(c);
    HWND h = ::CreateWindowExW(k.ex_style, k.name, wide_text(c.caption).c_str(), k.style, twips_to_pixels(c.left, dpi.x),
                               twips_to_pixels(c.top, dpi.y), twips_to_pixels(c.width, dpi.x),
                               twips_to_pixels(c.height, dpi.y), hwnd_,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(kNewControl + static_cast<int>(i))),
                               instance, nullptr);
    if (!h) continue;
    ::SetWindowPos(h, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ::SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(gothic_), FALSE);
  }
  ::SetDlgItemInt(hwnd_, new_control_id("KeepCount"), 0, FALSE);
  ::SendMessageW(control(new_control_id("KeepCount")), EM_LIMITTEXT, 4, 0);
  ::SetWindowTextW(control(new_control_id("ScheduleTime")), L"02:30");
  ::SendMessageW(control(new_control_id("ScheduleTime")), EM_LIMITTEXT, 5, 0);
  // The daily run is a task of the Task Scheduler (the core asks the
  // services, task_scheduler.h).
}

void MainWindow::follow_run() {
  if (core_.awaiting_run()) ::SetTimer(hwnd_, kRunPollTimer, 1000, nullptr);
}

void MainWindow::show() {
  ::ShowWindow(hwnd_, SW_SHOWNORMAL);
  ::UpdateWindow(hwnd_);
  focus_ = control(kCommand2);
  ::SetFocus(focus_);
}

void MainWindow::release_drops() {
  if (hwnd_ && source_drop_) ::RevokeDragDrop(control(kList1));
  if (hwnd_ && destination_registered_) ::RevokeDragDrop(control(kText1));
  destination_registered_ = false;
}

// ---- results of the core --------------------------------------------------

void MainWindow::make_topmost() { ::SetWindowPos(hwnd_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE); }

void MainWindow::show_type(int type) { ::CheckRadioButton(hwnd_, kOption1, kOption1 + 3, kOption1 + type); }

void MainWindow::show_shutdown(bool on) {
  ::SendMessageW(control(kCheck1), BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

void MainWindow::show_destination(const std::string& path) { ::SetWindowTextA(control(kText1), path.c_str()); }

void MainWindow::append_source(const std::string& path) {
  ::SendMessageA(control(kList1), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(path.c_str()));
}

void MainWindow::remove_source(std::size_t index) {
  ::SendMessageA(control(kList1), LB_DELETESTRING, static_cast<WPARAM>(index), 0);
}

void MainWindow::enable_destination_drops(bool on) {
  if (on == destination_registered_) return;
  if (on)
    destination_registered_ = ::RegisterDragDrop(control(kText1), destination_drop_) == S_OK;
  else
    destination_registered_ = !(::RevokeDragDrop(control(kText1)) == S_OK);
}

void MainWindow::show_frame_captions(const std::string& sources, const std::string& destination) {
  ::SetWindowTextA(control(kFrame2), sources.c_str());
  ::SetWindowTextA(control(kFrame3), destination.c_str());
}

void MainWindow::close_window() { ::DestroyWindow(hwnd_); }

void MainWindow::show_keep(int count) {
  showing_ = true;
  ::SetDlgItemInt(hwnd_, new_control_id("KeepCount"), static_cast<UINT>(count), FALSE);
  showing_ = false;
}

void MainWindow::show_status(const std::string& text) {
  ::SetWindowTextA(control(new_control_id("StatusLine")), text.c_str());
}

void MainWindow::show_schedule(bool on, int hour, int minute) {
  showing_ = true;
  ::SendMessageW(control(new_control_id("ScheduleCheck")), BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
  if (on && hour >= 0 && minute >= 0) {  // a time the core knows
    char text[8];
    std::snprintf(text, sizeof text, "%02d:%02d", hour % 100, minute % 100);
    ::SetWindowTextA(control(new_control_id("ScheduleTime")), text);
  }
  showing_ = false;
}

void MainWindow::show_next_run(const std::string& text) {
  ::SetWindowTextA(control(new_control_id("ScheduleNext")), text.c_str());
}

// ---- events ---------------------------------------------------------------

void MainWindow::command(int id, int code) {
  if (id == new_control_id("KeepCount") && code == EN_CHANGE) {
    if (showing_) return;
    BOOL ok = FALSE;
    const UINT n = ::GetDlgItemInt(hwnd_, id, &ok, FALSE);
    if (ok && static_cast<int>(n) != core_.keep()) core_.keep_change(static_cast<int>(n));
    return;
  }
  if (id == new_control_id("ScheduleTime") && code == EN_KILLFOCUS) {
    const std::optional<schedule::Time> t = typed_time(control(id));
    const bool on = ::SendMessageW(control(new_control_id("ScheduleCheck")), BM_GETCHECK, 0, 0) == BST_CHECKED;
    if (on && t && core_.daily_run() != t) core_.schedule_change(true, *t);
    return;
  }
  if (code != BN_CLICKED) return;
  if (id == new_control_id("ScheduleCheck")) {
    const bool on = ::SendMessageW(control(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
    core_.schedule_change(on, typed_time(control(new_control_id("ScheduleTime"))).value_or(schedule::Time{2, 30}));
    return;
  }
  if (id == new_control_id("AddButton")) {
    core_.add_click();
    return;
  }
  if (id == new_control_id("VerifyButton")) {
    core_.verify_click();
    follow_run();
    return;
  }
  switch (id) {
    case kCommand1: {
      std::vector<std::size_t> selected;
      LRESULT at = ::SendMessageW(control(kList1), LB_GETCURSEL, 0, 0);
      if (at != LB_ERR) selected.push_back(static_cast<std::size_t>(at));
      core_.delete_entries(selected);
      break;
    }
    case kCommand2: core_.save(); break;
    case kCommand3: core_.clear(); break;
    case kCommand4: core_.exit(); break;
    case kCommand5: core_.show_log(); break;
    case kCommand6: core_.delete_log(); break;
    case kCommand8:
      core_.run_now();
      follow_run();
      break;
    case kCheck1:
      core_.shutdown_click(::SendMessageW(control(kCheck1), BM_GETCHECK, 0, 0) == BST_CHECKED);
      break;
    default:
      if (id >= kOption1 && id <= kOption1 + 3) core_.type_click(id - kOption1);
      break;
  }
}

LRESULT CALLBACK MainWindow::window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
    self->hwnd_ = hwnd;
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<MainWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return ::DefWindowProcW(hwnd, msg, wp, lp);
  return self->handle(msg, wp, lp);
}

LRESULT MainWindow::handle(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND:
      command(LOWORD(wp), HIWORD(wp));
      return 0;
    case WM_CTLCOLORSTATIC:
      // The destination box is read-only only for typing: it keeps the
      // colours of a box that holds a value.
      if (reinterpret_cast<HWND>(lp) == control(kText1)) {
        HDC dc = reinterpret_cast<HDC>(wp);
        ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
        ::SetBkColor(dc, ::GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_WINDOW));
      }
      break;
    case WM_TIMER:
      if (wp == kRunPollTimer && !core_.poll_run()) ::KillTimer(hwnd_, kRunPollTimer);
      return 0;
    case WM_VKEYTOITEM:
      // The Delete key in the source list removes the selected source, as
      // Command1 does.
      if (reinterpret_cast<HWND>(lp) == control(kList1) && LOWORD(wp) == VK_DELETE) {
        command(kCommand1, BN_CLICKED);
        return -2;
      }
      return -1;
    case WM_ACTIVATE:
      // The status line is read again whenever the window gets the focus.
      if (LOWORD(wp) != WA_INACTIVE) core_.refresh_status();
      // The focus comes back to the control that had it.
      if (LOWORD(wp) == WA_INACTIVE) {
        HWND f = ::GetFocus();
        if (f && ::IsChild(hwnd_, f)) focus_ = f;
      } else if (focus_) {
        ::SetFocus(focus_);
        return 0;
      }
      break;
    case WM_SETFOCUS:
      if (focus_) ::SetFocus(focus_);
      return 0;
    case 0x02E0:  // WM_DPICHANGED: the window is now on a monitor of another DPI
      if (lp) follow_dpi(LOWORD(wp), HIWORD(wp), *reinterpret_cast<const RECT*>(lp));
      return 0;
    case WM_DESTROY:
      release_drops();
      ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
      hwnd_ = nullptr;
      ::PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return ::DefWindowProcW(hwnd_, msg, wp, lp);
}

void MainWindow::follow_dpi(int dpi_x, int dpi_y, const RECT& suggested) {
  if (dpi_x <= 0 || dpi_y <= 0) return;
  HFONT old_gothic = gothic_, old_window_font = window_font_;
  gothic_ = make_gothic(dpi_y);
  // The message font is the system's at the DPI it was read at: scaled.
  LOGFONTW lf{};
  if (old_window_font && ::GetObjectW(old_window_font, sizeof lf, &lf)) {
    lf.lfHeight = ::MulDiv(lf.lfHeight, dpi_y, font_dpi_);
    window_font_ = ::CreateFontIndirectW(&lf);
  }
  font_dpi_ = dpi_y;
  for (const ControlLayout& c : kControls) {
    HWND h = control(c.id);
    if (!h) continue;
    ::SetWindowPos(h, nullptr, twips_to_pixels(c.left, dpi_x), twips_to_pixels(c.top, dpi_y),
                   twips_to_pixels(c.width, dpi_x), twips_to_pixels(c.height, dpi_y), SWP_NOZORDER | SWP_NOACTIVATE);
    ::SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(c.face == Face::gothic ? gothic_ : window_font_), TRUE);
  }
  // The rows below the first controls follow the same way.
  for (std::size_t i = 0; i < layout::kNewControlCount; ++i) {
    const layout::Control& c = layout::kNewControls[i];
    HWND h = control(kNewControl + static_cast<int>(i));
    if (!h) continue;
    ::SetWindowPos(h, nullptr, twips_to_pixels(c.left, dpi_x), twips_to_pixels(c.top, dpi_y),
                   twips_to_pixels(c.width, dpi_x), twips_to_pixels(c.height, dpi_y), SWP_NOZORDER | SWP_NOACTIVATE);
    ::SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(gothic_), TRUE);
  }
  ::SetWindowPos(hwnd_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  if (old_gothic) ::DeleteObject(old_gothic);
  if (old_window_font && old_window_font != window_font_) ::DeleteObject(old_window_font);
}

int run_message_loop(HWND window) {
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (window && ::IsWindow(window) && ::IsDialogMessageW(window, &msg)) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}

}  // namespace zubeto::win32
