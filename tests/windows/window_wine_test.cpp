// The settings window on Win32, under Wine on a virtual X screen, in the
// ANSI code page 932.
//  - In this process: the real window over the real services, driven as a
//    user drives it (BM_CLICK, the dialog keys, the OLE drop targets called
//    with a file list built here, one real DoDragDrop per target), its
//    message boxes answered by a helper thread, its controls read back
//    through LB_GETTEXT and WM_GETTEXT, its files checked byte for byte.
//  - The scenario every settings view runs: the window must show what a
//    bare settings core decides at every step.
//  - As a program: ZUBETOB.exe restores the saved job, runs the real
//    worker from its own folder, and a second copy ends silently.
#include <gtest/gtest.h>
#include <windows.h>

#include <ole2.h>
#include <oleacc.h>
#include <shlobj.h>
#include <taskschd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "drag_source_data.h"
#include "english.h"
#include "language.h"
#include "layout.h"
#include "main_window.h"
#include "schedule.h"
#include "view_conformance.h"
#include "win32_services.h"
#include "win_harness.h"
#include "window_texts.h"

using namespace winh;
namespace zw = zubeto::win32;

namespace {

// Shift-JIS texts, as the window must write and show them.
const std::string kSjisData = "\x83\x66\x81\x5B\x83\x5E";  // データ
const std::string kSjisTable = "\x95\x5C";                 // 表 (second byte is a backslash)

// Lets the window's thread handle what is waiting for it.
void pump() {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) continue;  // a closed window's; the next one must not see it
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

// ---- message boxes ------------------------------------------------------

struct Box {
  std::string text;   // as shown, in the ANSI code page
  std::string title;
  bool yes_no = false;
};

// Watches for the message boxes of this process from a thread of its own,
// as a user would see them, records each and answers it: OK, or for a
// Yes/No box the answer set last (No unless told).
class BoxAnswerer {
 public:
  BoxAnswerer() : thread_([this] { watch(); }) {}
  ~BoxAnswerer() {
    stop_ = true;
    thread_.join();
  }
  void answer_yes(bool yes) { yes_ = yes; }
  std::vector<Box> take() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<Box> b = std::move(boxes_);
    boxes_.clear();
    return b;
  }

 private:
  static BOOL CALLBACK find(HWND hwnd, LPARAM out) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    char cls[64] = {};
    ::GetClassNameA(hwnd, cls, sizeof cls);
    if (pid == ::GetCurrentProcessId() && std::string(cls) == "#32770" && ::IsWindowVisible(hwnd)) {
      *reinterpret_cast<HWND*>(out) = hwnd;
      return FALSE;
    }
    return TRUE;
  }
  void watch() {
    while (!stop_) {
      HWND box = nullptr;
      ::EnumWindows(&BoxAnswerer::find, reinterpret_cast<LPARAM>(&box));
      if (!box) {
        ::Sleep(20);
        continue;
      }
      Box b;
      char buf[4096] = {};
      ::GetDlgItemTextA(box, 0xFFFF, buf, sizeof buf);  // the box's text
      b.text = buf;
      ::GetWindowTextA(box, buf, sizeof buf);
      b.title = buf;
      b.yes_no = ::GetDlgItem(box, IDYES) != nullptr;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        boxes_.push_back(b);
      }
      const int id = b.yes_no ? (yes_ ? IDYES : IDNO) : IDOK;
      ::PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(box, id)));
      for (int i = 0; i < 250 && ::IsWindow(box); ++i) ::Sleep(20);
    }
  }

  std::atomic<bool> stop_{false};
  std::atomic<bool> yes_{false};
  std::mutex mutex_;
  std::vector<Box> boxes_;
  std::thread thread_;
};

// The real services; the message box styles and the program starts are
// also recorded. Programs are not really started in this process: the
// program test below starts the real worker.
class RecordingServices : public zw::Win32Services {
 public:
  int message_box(const std::string& text, const std::string& title, int style) override {
    styles.push_back(style);
    return Win32Services::message_box(text, title, style);
  }
  bool start_program(const std::string& command_line, int window_style) override {
    starts.push_back(command_line);
    (void)window_style;
    return true;
  }
  std::vector<int> styles;
  std::vector<std::string> starts;
};

// ---- dragged data -------------------------------------------------------

// A data object as a file manager offers it: CF_HDROP in global memory,
// the paths wide (as the shell gives them) or in the ANSI code page; or
// text only.
class DragObject : public IDataObject {
 public:
  static DragObject* files(std::vector<std::string> ansi_paths, bool wide = true) {
    auto* d = new DragObject;
    d->paths_ = std::move(ansi_paths);
    d->wide_ = wide;
    d->files_ = true;
    return d;
  }
  static DragObject* text(const std::string& t) {
    auto* d = new DragObject;
    d->text_ = t;
    return d;
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDataObject)) {
      *out = static_cast<IDataObject*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&refs_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    LONG n = ::InterlockedDecrement(&refs_);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
  }
  HRESULT STDMETHODCALLTYPE GetData(FORMATETC* f, STGMEDIUM* m) override {
    HRESULT hr = QueryGetData(f);
    if (hr != S_OK) return hr;
    std::string block;
    if (f->cfFormat == CF_HDROP) {
      DROPFILES head{};
      head.pFiles = sizeof head;
      head.fWide = wide_;
      block.assign(reinterpret_cast<const char*>(&head), sizeof head);
      for (const std::string& p : paths_) {
        if (wide_) {
          int n = ::MultiByteToWideChar(CP_ACP, 0, p.data(), static_cast<int>(p.size()), nullptr, 0);
          std::wstring w(static_cast<size_t>(n), L'\0');
          ::MultiByteToWideChar(CP_ACP, 0, p.data(), static_cast<int>(p.size()), w.data(), n);
          w.push_back(L'\0');
          block.append(reinterpret_cast<const char*>(w.data()), w.size() * sizeof(wchar_t));
        } else {
          block.append(p);
          block.push_back('\0');
        }
      }
      block.append(wide_ ? 2 : 1, '\0');
    } else {
      block = text_ + '\0';
    }
    HGLOBAL g = ::GlobalAlloc(GMEM_MOVEABLE, block.size());
    std::memcpy(::GlobalLock(g), block.data(), block.size());
    ::GlobalUnlock(g);
    m->tymed = TYMED_HGLOBAL;
    m->hGlobal = g;
    m->pUnkForRelease = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* f) override {
    if (!f || !(f->tymed & TYMED_HGLOBAL)) return DV_E_TYMED;
    if (f->cfFormat == CF_HDROP && files_) return S_OK;
    if (f->cfFormat == CF_TEXT && !files_) return S_OK;
    return DV_E_FORMATETC;
  }
  HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
    out->ptd = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
    return OLE_E_ADVISENOTSUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
  HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

 private:
  DragObject() = default;
  virtual ~DragObject() = default;
  LONG refs_ = 1;
  bool files_ = false;
  bool wide_ = true;
  std::vector<std::string> paths_;
  std::string text_;
};

struct Data {
  explicit Data(DragObject* d) : p(d) {}
  ~Data() { p->Release(); }
  DragObject* p;
};

constexpr DWORD kAnyEffect = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;

// The effect a drag reports over the target, as OLE asks: on entering and
// on each move, which must agree; then the drag leaves.
DWORD drag_over(IDropTarget* t, IDataObject* d, DWORD allowed = kAnyEffect) {
  POINTL pt{0, 0};
  DWORD enter = allowed, over = allowed;
  t->DragEnter(d, MK_LBUTTON, pt, &enter);
  t->DragOver(MK_LBUTTON, pt, &over);
  t->DragLeave();
  EXPECT_EQ(enter, over);
  return enter;
}

// A drop as OLE makes it: only after the drag-over accepted it.
DWORD drop(IDropTarget* t, IDataObject* d, DWORD allowed = kAnyEffect) {
  POINTL pt{0, 0};
  DWORD effect = allowed;
  t->DragEnter(d, MK_LBUTTON, pt, &effect);
  if (effect == DROPEFFECT_NONE) {
    t->DragLeave();
    return effect;
  }
  effect = allowed;
  t->Drop(d, 0, pt, &effect);
  return effect;
}

// ---- the window in this process -----------------------------------------

class Window : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(::GetACP(), 932u) << "the window tests run in the Japanese ANSI code page";
    char cwd[MAX_PATH + 1] = {};
    ::GetCurrentDirectoryA(sizeof cwd, cwd);
    old_cwd_ = cwd;
    ASSERT_TRUE(::SetCurrentDirectoryA(scratch.work().c_str()));
  }
  void TearDown() override {
    window.reset();
    pump();
    ::SetCurrentDirectoryA(old_cwd_.c_str());
  }

  // Opens the window over what the work folder holds, as the program does.
  void open() {
    window = std::make_unique<zw::MainWindow>(services);
    ASSERT_TRUE(window->open(::GetModuleHandleW(nullptr)));
    services.set_owner(window->hwnd());
    window->show();
    pump();
  }
  HWND ctl(int id) const { return window->control(id); }
  void click(int id) {
    ::SendMessageW(ctl(id), BM_CLICK, 0, 0);
    pump();
  }
  bool checked(int id) const { return ::SendMessageW(ctl(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
  // List1's entries as the list box gives them out.
  std::vector<std::string> list() const {
    std::vector<std::string> out;
    LRESULT n = ::SendMessageA(ctl(zw::kList1), LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < n; ++i) {
      std::string s(static_cast<size_t>(::SendMessageA(ctl(zw::kList1), LB_GETTEXTLEN, i, 0)) + 1, '\0');
      LRESULT got = ::SendMessageA(ctl(zw::kList1), LB_GETTEXT, i, reinterpret_cast<LPARAM>(s.data()));
      s.resize(got > 0 ? static_cast<size_t>(got) : 0);
      out.push_back(s);
    }
    return out;
  }
  std::string text(int id) const {
    char buf[8192] = {};
    int n = ::GetWindowTextA(ctl(id), buf, sizeof buf);
    return std::string(buf, static_cast<size_t>(n));
  }
  int changed() { return window->core().changed(); }
  std::string folder(const std::string& name) const {
    std::string p = scratch.root() + "\\" + name;
    ::CreateDirectoryA(p.c_str(), nullptr);
    return p;
  }
  std::string file(const std::string& name) const {
    std::string p = scratch.root() + "\\" + name;
    write_file(p, "x");
    return p;
  }
  void write_job(const std::vector<std::string>& lines, const char* name = "jobconf.ini") const {
    std::string s;
    for (const std::string& l : lines) s += l + "\r\n";
    write_file(scratch.work() + "\\" + name, s);
  }
  std::string work_file(const char* name) const { return read_file(scratch.work() + "\\" + name); }

  Scratch scratch;
  RecordingServices services;
  std::unique_ptr<zw::MainWindow> window;
  BoxAnswerer boxes;
  std::string old_cwd_;
};

RECT client_on_screen(HWND h) {
  RECT r;
  ::GetClientRect(h, &r);
  POINT p{0, 0};
  ::ClientToScreen(h, &p);
  ::OffsetRect(&r, p.x, p.y);
  return r;
}

RECT rect_in_parent(HWND child) {
  RECT r;
  ::GetWindowRect(child, &r);
  ::MapWindowPoints(nullptr, ::GetParent(child), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

bool encloses(const RECT& outer, const RECT& inner) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}

TEST_F(Window, OpensAtItsPlaceTopmostWithItsCaptionIconAndFonts) {
  open();
  HWND w = window->hwnd();
  const int dpi = [] {
    HDC dc = ::GetDC(nullptr);
    int d = ::GetDeviceCaps(dc, LOGPIXELSX);
    ::ReleaseDC(nullptr, dc);
    return d;
  }();
  ASSERT_EQ(dpi, 96) << "the pixel figures below are those of 96 dots per inch";
  // 11280, 4080 twips and 4095 x 6480 twips at 15 twips a pixel, and the
  // rows of the new controls below: 4095 x 7995 twips.
  RECT client = client_on_screen(w);
  EXPECT_EQ(client.left, 752);
  EXPECT_EQ(client.top, 272);
  EXPECT_EQ(client.right - client.left, 273);
  EXPECT_EQ(client.bottom - client.top, 533);

  wchar_t caption[64] = {};
  ::GetWindowTextW(w, caption, 64);
  EXPECT_EQ(std::wstring(caption), L"\u30BA\u30D9\u30C8 Ver2.01");  // ズベト Ver2.01
  EXPECT_TRUE(::GetWindowLongW(w, GWL_EXSTYLE) & WS_EX_TOPMOST);
  const LONG style = ::GetWindowLongW(w, GWL_STYLE);
  EXPECT_TRUE((style & WS_THICKFRAME) && (style & WS_SYSMENU) && (style & WS_MINIMIZEBOX) && (style & WS_MAXIMIZEBOX));

  // One 32 x 32 icon in 24-bit colour.
  HICON icon = reinterpret_cast<HICON>(::GetClassLongPtrW(w, GCLP_HICON));
  ASSERT_NE(icon, nullptr);
  ICONINFO ii{};
  ASSERT_TRUE(::GetIconInfo(icon, &ii));
  BITMAP bm{};
  ::GetObjectW(ii.hbmColor, sizeof bm, &bm);
  EXPECT_EQ(bm.bmWidth, 32);
  EXPECT_EQ(bm.bmHeight, 32);
  HRSRC res = ::FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(3));  // RT_ICON, the image
  ASSERT_NE(res, nullptr);
  const auto* head = static_cast<const BITMAPINFOHEADER*>(::LockResource(::LoadResource(nullptr, res)));
  EXPECT_EQ(head->biBitCount, 24);
  ::DeleteObject(ii.hbmColor);
  ::DeleteObject(ii.hbmMask);

  // Places at 15 twips a pixel, rounded: Label1's top 1720 twips is 114.67.
  struct Place {
    int id;
    RECT r;
  };
  const Place places[] = {
      {zw::kCommand2, {8, 8, 169, 36}},     {zw::kCommand8, {8, 368, 265, 393}},
      {zw::kLabel1, {40, 115, 265, 132}},   {zw::kList1, {24, 152, 249, 228}},
      {zw::kOption1 + 3, {208, 80, 257, 97}}, {zw::kCheck1, {16, 112, 33, 129}},
  };
  for (const Place& p : places) {
    RECT r = rect_in_parent(ctl(p.id));
    EXPECT_TRUE(::EqualRect(&r, &p.r)) << "control " << p.id << " at " << r.left << "," << r.top << "-" << r.right
                                       << "," << r.bottom;
  }

  // ＭＳ ゴシック 9 pt, charset 128, on the controls the layout gives it;
  // the window's own font on Command8 and Check1.
  for (int id : {zw::kCommand2, zw::kOption1, zw::kList1, zw::kText1, zw::kLabel1, zw::kFrame2}) {
    LOGFONTW lf{};
    ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(ctl(id), WM_GETFONT, 0, 0)), sizeof lf, &lf);
    EXPECT_EQ(std::wstring(lf.lfFaceName), L"\uFF2D\uFF33 \u30B4\u30B7\u30C3\u30AF") << id;  // ＭＳ ゴシック
    EXPECT_EQ(lf.lfHeight, -12) << id;
    EXPECT_EQ(lf.lfCharSet, SHIFTJIS_CHARSET) << id;
    EXPECT_EQ(lf.lfWeight, FW_NORMAL) << id;
  }
  HFONT command8 = reinterpret_cast<HFONT>(::SendMessageW(ctl(zw::kCommand8), WM_GETFONT, 0, 0));
  EXPECT_NE(command8, reinterpret_cast<HFONT>(::SendMessageW(ctl(zw::kCommand2), WM_GETFONT, 0, 0)));

  // The frames are boxes that enclose their controls.
  const std::pair<int, std::vector<int>> frames[] = {
      {zw::kFrame1, {zw::kOption1, zw::kOption1 + 1, zw::kOption1 + 2, zw::kOption1 + 3}},
      {zw::kFrame2, {zw::kList1, zw::kCommand1}},
      {zw::kFrame3, {zw::kText1}},
  };
  for (const auto& [frame, inside] : frames) {
    EXPECT_EQ(::GetWindowLongW(ctl(frame), GWL_STYLE) & BS_TYPEMASK, BS_GROUPBOX);
    for (int id : inside) EXPECT_TRUE(encloses(rect_in_parent(ctl(frame)), rect_in_parent(ctl(id)))) << id;
  }
  // No default button; the scratch box is never shown.
  for (int id : {zw::kCommand1, zw::kCommand2, zw::kCommand3, zw::kCommand4, zw::kCommand5, zw::kCommand6,
                 zw::kCommand8})
    EXPECT_EQ(::GetWindowLongW(ctl(id), GWL_STYLE) & BS_TYPEMASK, BS_PUSHBUTTON) << id;
  EXPECT_FALSE(::IsWindowVisible(ctl(zw::kCombo1)));
  // Captions as shown; the frame captions' "&&" shows one ampersand.
  EXPECT_EQ(text(zw::kCommand8), acp("すぐに圧縮する(更新+実行）"));
  EXPECT_EQ(text(zw::kCommand5), acp("ﾛｸﾞ表示"));
  EXPECT_EQ(text(zw::kFrame2), acp("ここにﾌｧｲﾙかﾌｧﾙﾀﾞをD&&Dする"));
  EXPECT_EQ(text(zw::kFrame3), acp("ここに圧縮先ﾌｫﾙﾀﾞをD&&Dする"));
}

// Sends a key to the focused control through the program's dialog keys.
void key(HWND window, UINT vk) {
  MSG m{};
  m.hwnd = ::GetFocus();
  m.message = WM_KEYDOWN;
  m.wParam = vk;
  if (!::IsDialogMessageW(window, &m)) {
    ::TranslateMessage(&m);
    ::DispatchMessageW(&m);
  }
  m.message = WM_KEYUP;
  if (!::IsDialogMessageW(window, &m)) ::DispatchMessageW(&m);
  pump();
}

// Moved onto a monitor of twice the DPI, the window takes the place the
// system suggests and lays its controls and fonts out for that DPI.
TEST_F(Window, FollowsAMonitorOfAnotherDpi) {
  open();
  HWND w = window->hwnd();
  RECT before;
  ::GetWindowRect(w, &before);
  // From the screen's top left corner: twice the window's height must fit
  // the virtual screen (1280x1280), or the system cuts it down.
  RECT suggested{0, 0, 2 * (before.right - before.left), 2 * (before.bottom - before.top)};
  ::SendMessageW(w, 0x02E0 /* WM_DPICHANGED */, MAKEWPARAM(192, 192), reinterpret_cast<LPARAM>(&suggested));
  pump();
  RECT now;
  ::GetWindowRect(w, &now);
  EXPECT_TRUE(::EqualRect(&now, &suggested));
  // Command2: 120, 120 twips, 2415 x 420 twips; Command8: 120, 5520 twips,
  // 3855 x 375 twips; at 7.5 twips a pixel.
  RECT command2 = rect_in_parent(ctl(zw::kCommand2)), command8 = rect_in_parent(ctl(zw::kCommand8));
  const RECT want2{16, 16, 338, 72}, want8{16, 736, 530, 786};
  EXPECT_TRUE(::EqualRect(&command2, &want2)) << command2.left << "," << command2.top << "-" << command2.right << ","
                                              << command2.bottom;
  EXPECT_TRUE(::EqualRect(&command8, &want8)) << command8.left << "," << command8.top << "-" << command8.right << ","
                                              << command8.bottom;
  // A row below them too: the keep box, 3120, 6000 twips, 855 x 300 twips.
  RECT keep = rect_in_parent(ctl(zw::MainWindow::new_control_id("KeepCount")));
  const RECT want_keep{416, 800, 530, 840};
  EXPECT_TRUE(::EqualRect(&keep, &want_keep)) << keep.left << "," << keep.top << "-" << keep.right << "," << keep.bottom;
  LOGFONTW lf{};
  ASSERT_TRUE(::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(ctl(zw::kList1), WM_GETFONT, 0, 0)), sizeof lf, &lf));
  EXPECT_EQ(lf.lfHeight, -24);  // 9 points at 192 DPI
}

TEST_F(Window, TabVisitsTheControlsInTheirOrderAndEnterOrEscapeDoNothing) {
  open();
  EXPECT_EQ(::GetFocus(), ctl(zw::kCommand2));
  // The new rows follow Text1, the daily run's box and time among them.
  const int order[] = {zw::kCommand4, zw::kCommand5, zw::kCommand6, zw::kCommand3, zw::kCommand1, zw::kCommand8,
                       zw::kOption1,  zw::kCheck1,   zw::kList1,    zw::kText1,
                       zw::MainWindow::new_control_id("KeepCount"), zw::MainWindow::new_control_id("ScheduleCheck"),
                       zw::MainWindow::new_control_id("ScheduleTime"), zw::MainWindow::new_control_id("AddButton"),
                       zw::MainWindow::new_control_id("VerifyButton"), zw::kCommand2};
  for (int id : order) {
    key(window->hwnd(), VK_TAB);
    EXPECT_EQ(::GetFocus(), ctl(id)) << "after Tab, expected control " << id << ", got "
                                     << ::GetDlgCtrlID(::GetFocus());
  }
  // No default or cancel button: Enter and Escape away from the buttons
  // neither save nor close.
  ::SetFocus(ctl(zw::kList1));
  key(window->hwnd(), VK_RETURN);
  key(window->hwnd(), VK_ESCAPE);
  ::SetFocus(ctl(zw::kText1));
  key(window->hwnd(), VK_RETURN);
  key(window->hwnd(), VK_ESCAPE);
  EXPECT_TRUE(::IsWindow(window->hwnd()));
  EXPECT_TRUE(boxes.take().empty()) << "a save of the empty job would have shown a message";
  EXPECT_FALSE(exists(scratch.work() + "\\jobconf.ini"));
}

// The rows below the first controls, drawn from the core's table.
TEST_F(Window, NewRowsFromTheTableKeepStatusAndDelete) {
  write_job({"[mode]=1", "[archive]=\"C:\\out\\", "[base_dir]", "[dir_file]=\"C:\\a\"", "[dir_file]=\"C:\\b\"",
             "[keep]=6", "[shut_flg]=0"});
  write_file(scratch.work() + "\\logdata.txt",
             "[05/16 09:00:01]=" + acp("圧縮処理開始") + "\r\n" + acp("ファイルがありません=") + "C:\\gone\r\n" +
                 "[05/16 09:00:01]=" + acp("圧縮処理終了=0701") + "\r\n");
  open();
  for (std::size_t i = 0; i < zubeto::layout::kNewControlCount; ++i) {
    const zubeto::layout::Control& c = zubeto::layout::kNewControls[i];
    HWND h = ctl(zw::MainWindow::new_control_id(c.name));
    ASSERT_NE(h, nullptr) << c.name;
    RECT r = rect_in_parent(h);
    RECT want = {zw::twips_to_pixels(c.left, 96), zw::twips_to_pixels(c.top, 96),
                 zw::twips_to_pixels(c.left, 96) + zw::twips_to_pixels(c.width, 96),
                 zw::twips_to_pixels(c.top, 96) + zw::twips_to_pixels(c.height, 96)};
    EXPECT_TRUE(::EqualRect(&r, &want)) << c.name;
    EXPECT_TRUE(::IsWindowVisible(h)) << c.name;
  }
  const int keep = zw::MainWindow::new_control_id("KeepCount");
  EXPECT_EQ(text(keep), "6");
  EXPECT_EQ(changed(), 0);
  EXPECT_EQ(text(zw::MainWindow::new_control_id("KeepLabel")), acp("最新の N 個の圧縮ファイルを残す"));
  EXPECT_EQ(text(zw::MainWindow::new_control_id("StatusLine")),
            acp("前回の実行：05/16 09:00:01 失敗（0701）：見つかりません ") + "C:\\gone");
  // Typed into the box, saved before the shutdown line.
  ::SetWindowTextA(ctl(keep), "12");
  pump();
  EXPECT_EQ(window->core().keep(), 12);
  EXPECT_EQ(changed(), 1);
  click(zw::kCommand2);
  EXPECT_EQ(work_file("jobconf.ini"), "[mode]=1\r\n[archive]=\"C:\\out\\\r\n[base_dir]\r\n[dir_file]=\"C:\\a\"\r\n"
                                      "[dir_file]=\"C:\\b\"\r\n[keep]=12\r\n[shut_flg]=0\r\n");
  // The Delete key in the list removes the selected source.
  ::SetFocus(ctl(zw::kList1));
  ::SendMessageW(ctl(zw::kList1), LB_SETCURSEL, 0, 0);
  key(window->hwnd(), VK_DELETE);
  EXPECT_EQ(list(), (std::vector<std::string>{"C:\\b"}));
  // The archive check starts the worker on the job's newest archive of its
  // type: plain files named as the worker names them, not a folder so named.
  const std::string dest = folder("out") + "\\";
  for (const char* name : {"20240101010101.zip", "20250101010101.zip", "20990101010101.lzh", "2099010101010.zip"})
    write_file(dest + name, "x");
  ::CreateDirectoryA((dest + "20990101010101.zip").c_str(), nullptr);
  window->core().set_destination(dest);
  services.starts.clear();
  click(zw::MainWindow::new_control_id("VerifyButton"));
  ASSERT_EQ(services.starts.size(), 1u);
  EXPECT_NE(services.starts[0].find("ZUBETOC.exe\" --verify \"" + dest + "20250101010101.zip\""), std::string::npos)
      << services.starts[0];
  EXPECT_TRUE(boxes.take().empty());
}

// ---- the window's language and the names screen readers say ----------------
//
// Run under ja_JP.UTF-8 (a Japanese interface language, code page 932) and
// under en_US.UTF-8 (English, code page 1252): the same window, its texts
// chosen by the user's interface language.
class WindowLanguage : public Window {
 protected:
  void SetUp() override {
    char cwd[MAX_PATH + 1] = {};
    ::GetCurrentDirectoryA(sizeof cwd, cwd);
    old_cwd_ = cwd;
    ASSERT_TRUE(::SetCurrentDirectoryA(scratch.work().c_str()));
  }
  static std::wstring wtext(HWND h) {
    std::wstring w(static_cast<size_t>(::GetWindowTextLengthW(h)) + 1, L'\0');
    w.resize(static_cast<size_t>(::GetWindowTextW(h, w.data(), static_cast<int>(w.size()))));
    return w;
  }
  // The name a screen reader gets for the control: its accessible object,
  // asked through the system's accessibility library as a reader asks.
  static std::wstring accessible_name(HWND h, HRESULT* result = nullptr) {
    IAccessible* acc = nullptr;
    HRESULT hr = ::AccessibleObjectFromWindow(h, OBJID_CLIENT, __uuidof(IAccessible), reinterpret_cast<void**>(&acc));
    std::wstring name;
    if (SUCCEEDED(hr) && acc) {
      VARIANT self;
      ::VariantInit(&self);
      self.vt = VT_I4;
      self.lVal = CHILDID_SELF;
      BSTR b = nullptr;
      hr = acc->get_accName(self, &b);
      if (b) name.assign(b, ::SysStringLen(b));
      ::SysFreeString(b);
      acc->Release();
    }
    if (result) *result = hr;
    return name;
  }
};

bool japanese_char(wchar_t c) {
  return (c >= 0x3000 && c <= 0x30FF) || (c >= 0x3400 && c <= 0x9FFF) || (c >= 0xFF00 && c <= 0xFFEF);
}

// Every control of the window with its caption as the tables give it (the
// first controls' and the new rows'), and the frames the core fills.
std::vector<std::pair<int, std::string>> table_captions() {
  std::vector<std::pair<int, std::string>> out;
  for (const zw::ControlLayout& c : zw::kControls)
    if (*c.caption) out.emplace_back(c.id, c.caption);
  for (const zubeto::layout::Control& c : zubeto::layout::kNewControls)
    if (*c.caption) out.emplace_back(zw::MainWindow::new_control_id(c.name), c.caption);
  return out;
}

TEST_F(WindowLanguage, CaptionsAndMessagesFollowTheInterfaceLanguage) {
  const bool japanese = PRIMARYLANGID(::GetUserDefaultUILanguage()) == LANG_JAPANESE;
  ASSERT_EQ(japanese, zw::japanese_ui());
  open();
  click(zw::kCommand2);  // the empty job: a message
  const std::vector<Box> shown = boxes.take();
  ASSERT_EQ(shown.size(), 1u);
  if (japanese) {
    ASSERT_EQ(::GetACP(), 932u) << "the Japanese run has code page 932";
    // Byte for byte in Shift-JIS, as the window always showed them.
    EXPECT_EQ(wtext(window->hwnd()), L"\u30BA\u30D9\u30C8 Ver2.01");
    for (const auto& [id, caption] : table_captions()) EXPECT_EQ(text(id), acp(caption)) << caption;
    EXPECT_EQ(text(zw::kFrame2), acp(zubeto::texts::kSourceFrameCaption));
    EXPECT_EQ(text(zw::kFrame3), acp(zubeto::texts::kDestinationFrameCaption));
    EXPECT_EQ(text(zw::MainWindow::new_control_id("StatusLine")), acp("前回の実行：なし"));
    EXPECT_EQ(shown[0].text, "\x83\x68\x83\x8D\x83\x62\x83\x76\x81\x95\x83\x68\x83\x89\x83\x62\x83\x4F\x82\xB3\x82\xEA"
                             "\x82\xC4\x82\xA2\x82\xDC\x82\xB9\x82\xF1\x81\x42");  // ドロップ＆ドラッグされていません。
    EXPECT_EQ(shown[0].title, "\x83\x47\x83\x89\x81\x5B");                             // エラー
    return;
  }
  // English: no Japanese character in the window's title or any control,
  // and each caption the English words of the table.
  std::vector<HWND> children;
  ::EnumChildWindows(
      window->hwnd(),
      [](HWND h, LPARAM out) {
        reinterpret_cast<std::vector<HWND>*>(out)->push_back(h);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&children));
  ASSERT_GE(children.size(), std::size(zw::kControls) + zubeto::layout::kNewControlCount);
  children.push_back(window->hwnd());
  for (HWND h : children) {
    const std::wstring t = wtext(h);
    for (wchar_t c : t) EXPECT_FALSE(japanese_char(c)) << "control " << ::GetDlgCtrlID(h) << " shows U+" << std::hex
                                                       << static_cast<int>(c);
  }
  EXPECT_EQ(wtext(window->hwnd()), L"Zubeto Ver2.01");
  for (const auto& [id, caption] : table_captions()) {
    // A caption without Japanese (LZH, ZIP, ...) stays; every other has
    // its English words.
    const std::optional<std::string_view> english = zubeto::english::text(caption);
    const std::wstring original = zw::wide(caption);
    const bool has_japanese =
        std::any_of(original.begin(), original.end(), [](wchar_t c) { return japanese_char(c); });
    ASSERT_TRUE(english.has_value() || !has_japanese) << caption;
    EXPECT_EQ(wtext(ctl(id)), english ? zw::wide(*english) : original) << caption;
  }
  EXPECT_EQ(text(zw::kCommand2), "Save");
  EXPECT_EQ(text(zw::kFrame2), "Drag && drop files or folders here");
  EXPECT_EQ(text(zw::MainWindow::new_control_id("StatusLine")), "Last run: none yet");
  EXPECT_EQ(shown[0].text, std::string(*zubeto::english::text(zubeto::texts::kEmptyJobSave)));
  EXPECT_EQ(shown[0].title, "Error");
  for (const Box& b : shown)
    for (char c : b.text + b.title) EXPECT_LT(static_cast<unsigned char>(c), 0x80) << b.text;
  // A message the window closes on: asked in English too.
  boxes.answer_yes(false);
  click(zw::kOption1 + 1);  // a change
  click(zw::kCommand4);
  const std::vector<Box> asked = boxes.take();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_TRUE(asked[0].yes_no);
  EXPECT_EQ(asked[0].text, std::string(*zubeto::english::text(zubeto::texts::kExitChanged)));
  EXPECT_EQ(asked[0].title, "Zubeto");
}

TEST_F(WindowLanguage, EveryControlWithoutACaptionHasAnAccessibleName) {
  open();
  struct Named {
    int id;
    const char* name;  // the Japanese original
  };
  std::vector<Named> named = {{zw::kList1, "圧縮するファイルとフォルダ"},
                              {zw::kText1, "圧縮先フォルダ"},
                              {zw::kCheck1, "圧縮処理終了後シャットダウンする。"}};
  for (const zubeto::layout::Control& c : zubeto::layout::kNewControls)
    if (*c.accessible) named.push_back({zw::MainWindow::new_control_id(c.name), c.accessible});
  ASSERT_EQ(named.size(), 3u + 7u);
  for (const Named& n : named) {
    HRESULT hr = E_FAIL;
    const std::wstring got = accessible_name(ctl(n.id), &hr);
    EXPECT_EQ(hr, S_OK) << n.name;
    EXPECT_EQ(got, zw::wide_text(n.name)) << n.name;
    if (!zw::japanese_ui())
      for (wchar_t c : got) EXPECT_FALSE(japanese_char(c)) << n.name;
  }
  // The name is the control's alone: the list's items keep their own text.
  window->core().add_source("C:\\a");
  pump();
  IAccessible* acc = nullptr;
  ASSERT_EQ(::AccessibleObjectFromWindow(ctl(zw::kList1), OBJID_CLIENT, __uuidof(IAccessible),
                                         reinterpret_cast<void**>(&acc)),
            S_OK);
  VARIANT first;
  ::VariantInit(&first);
  first.vt = VT_I4;
  first.lVal = 1;
  BSTR b = nullptr;
  if (acc->get_accName(first, &b) == S_OK && b) EXPECT_EQ(std::wstring(b), L"C:\\a");
  ::SysFreeString(b);
  acc->Release();
  // Typed into, the boxes keep working as before.
  const int keep = zw::MainWindow::new_control_id("KeepCount");
  ::SetWindowTextA(ctl(keep), "3");
  pump();
  EXPECT_EQ(window->core().keep(), 3);
}

// ---- the daily run as a task of the Task Scheduler ----------------------------

// The services of the window, recording the definitions handed to the
// scheduler (Wine's scheduler keeps a task but gives it back without its
// trigger and action).
class TaskRecordingServices : public RecordingServices {
 public:
  bool register_task(const std::string& name, const std::string& xml, std::string* error) override {
    registered.push_back(xml);
    return Win32Services::register_task(name, xml, error);
  }
  std::vector<std::string> registered;
};

// Starts the scheduler's service, which Wine does not start by itself;
// true once it runs.
bool schedule_service_running() {
  SC_HANDLE manager = ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  if (!manager) return false;
  SC_HANDLE service = ::OpenServiceW(manager, L"Schedule", SERVICE_START | SERVICE_QUERY_STATUS);
  bool running = false;
  if (service) {
    // One start: the system waits for the service's answer itself (and
    // gives up after its own time), so no try is repeated.
    SERVICE_STATUS st{};
    if (::QueryServiceStatus(service, &st) && st.dwCurrentState == SERVICE_STOPPED) ::StartServiceW(service, 0, nullptr);
    // A start still pending is waited for (at most 30 s).
    for (int i = 0; i < 300 && ::QueryServiceStatus(service, &st) && st.dwCurrentState == SERVICE_START_PENDING; ++i)
      ::Sleep(100);
    running = ::QueryServiceStatus(service, &st) && st.dwCurrentState == SERVICE_RUNNING;
    ::CloseServiceHandle(service);
  }
  ::CloseServiceHandle(manager);
  return running;
}

// The task of that name as the scheduler gives it: its definition, or
// nothing when there is no such task.
std::optional<std::wstring> scheduled_task(const char* name) {
  ITaskService* service = nullptr;
  if (FAILED(::CoCreateInstance(__uuidof(TaskScheduler), nullptr, CLSCTX_INPROC_SERVER, __uuidof(ITaskService),
                                reinterpret_cast<void**>(&service))))
    return std::nullopt;
  std::optional<std::wstring> out;
  VARIANT none;
  ::VariantInit(&none);
  ITaskFolder* folder = nullptr;
  BSTR root = ::SysAllocString(L"\\");
  const std::wstring wname = zw::wide(name);
  BSTR task_name = ::SysAllocString(wname.c_str());
  if (SUCCEEDED(service->Connect(none, none, none, none)) && SUCCEEDED(service->GetFolder(root, &folder))) {
    IRegisteredTask* task = nullptr;
    if (SUCCEEDED(folder->GetTask(task_name, &task)) && task) {
      BSTR xml = nullptr;
      task->get_Xml(&xml);
      out = std::wstring(xml ? xml : L"");
      ::SysFreeString(xml);
      task->Release();
    }
    folder->Release();
  }
  ::SysFreeString(root);
  ::SysFreeString(task_name);
  service->Release();
  return out;
}

class WindowSchedule : public Window {
 protected:
  void open_with_tasks() {
    window = std::make_unique<zw::MainWindow>(task_services);
    ASSERT_TRUE(window->open(::GetModuleHandleW(nullptr)));
    task_services.set_owner(window->hwnd());
    window->show();
    pump();
  }
  TaskRecordingServices task_services;
};

TEST_F(WindowSchedule, TheBoxCreatesChangesAndDeletesTheTask) {
  if (!schedule_service_running()) GTEST_SKIP() << "the Task Scheduler service of this Wine does not start";
  const int check = zw::MainWindow::new_control_id("ScheduleCheck");
  const int time = zw::MainWindow::new_control_id("ScheduleTime");
  const int next = zw::MainWindow::new_control_id("ScheduleNext");
  open_with_tasks();
  ASSERT_FALSE(scheduled_task(zubeto::schedule::kTaskName)) << "a task left by another run";
  EXPECT_TRUE(::IsWindowEnabled(ctl(check)));
  EXPECT_FALSE(checked(check));

  // Ticked at 03:45: the task is there, to start the worker beside the
  // window in the job's folder every day at that time.
  ::SetWindowTextA(ctl(time), "03:45");
  click(check);
  EXPECT_TRUE(boxes.take().empty());
  EXPECT_TRUE(checked(check));
  ASSERT_EQ(task_services.registered.size(), 1u);
  const std::string& xml = task_services.registered[0];
  EXPECT_EQ(zubeto::schedule::task_time(xml), (zubeto::schedule::Time{3, 45}));
  char program[MAX_PATH * 2] = {};
  ::GetModuleFileNameA(nullptr, program, sizeof program);
  std::string worker = program;
  worker = worker.substr(0, worker.find_last_of('\\') + 1) + "ZUBETOC.exe";
  EXPECT_NE(xml.find("<Command>" + worker + "</Command>"), std::string::npos) << xml;
  EXPECT_NE(xml.find("<WorkingDirectory>" + scratch.work() + "</WorkingDirectory>"), std::string::npos) << xml;
  const std::optional<std::wstring> task = scheduled_task(zubeto::schedule::kTaskName);
  ASSERT_TRUE(task) << "no task after the box was ticked";
  // Where the scheduler gives the trigger and the action back (Windows),
  // they are the ones handed to it.
  if (task->find(L"<StartBoundary>") != std::wstring::npos) {
    EXPECT_NE(task->find(L"T03:45:00</StartBoundary>"), std::wstring::npos);
    EXPECT_NE(task->find(zw::wide(worker)), std::wstring::npos);
  }
  // The next run, as the scheduler tells it or as the window set it.
  EXPECT_NE(text(next).find("03:45"), std::string::npos) << text(next);

  // A new time replaces the task when the time box is left.
  ::SetFocus(ctl(time));
  ::SetWindowTextA(ctl(time), "21:10");
  ::SetFocus(ctl(zw::kCommand2));
  pump();
  ASSERT_EQ(task_services.registered.size(), 2u);
  EXPECT_EQ(zubeto::schedule::task_time(task_services.registered[1]), (zubeto::schedule::Time{21, 10}));
  EXPECT_NE(text(next).find("21:10"), std::string::npos) << text(next);

  // The next start of the window finds the task: the box is ticked.
  window.reset();
  pump();
  open_with_tasks();
  EXPECT_TRUE(checked(check));

  // Cleared: the task is gone.
  click(check);
  EXPECT_TRUE(boxes.take().empty());
  EXPECT_FALSE(checked(check));
  EXPECT_FALSE(scheduled_task(zubeto::schedule::kTaskName));
  EXPECT_EQ(text(next), "");
}

TEST_F(Window, RestoresTheSavedJobIntoItsControls) {
  const std::string dest = "C:\\" + kSjisData + "\\";
  write_job({"[mode]=3", "[archive]=\"" + dest, "[base_dir]=\"C:\\\"", "[dir_file]=\"C:\\a\\*.*\"",
             "[dir_file]=\"@resp.tmp\"", "[shut_flg]=1"});
  write_job({"\"C:\\" + kSjisTable + "\"", "\"D:\\b\\*.*\""}, "resp.tmp");
  open();
  EXPECT_EQ(list(), (std::vector<std::string>{"C:\\a", "C:\\" + kSjisTable, "D:\\b\\*.*"}));
  EXPECT_EQ(text(zw::kText1), dest);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(checked(zw::kOption1 + i), i == 3) << i;
  EXPECT_TRUE(checked(zw::kCheck1));
  EXPECT_EQ(changed(), 0);
  // Nothing typed, pasted or cut reaches the destination box.
  ::SetFocus(ctl(zw::kText1));
  for (WPARAM c : {WPARAM('a'), WPARAM(VK_BACK)}) ::SendMessageW(ctl(zw::kText1), WM_CHAR, c, 0);
  ::SendMessageW(ctl(zw::kText1), WM_KEYDOWN, VK_DELETE, 0);
  ::SendMessageW(ctl(zw::kText1), EM_SETSEL, 0, -1);
  ::SendMessageW(ctl(zw::kText1), WM_CUT, 0, 0);
  ::SendMessageW(ctl(zw::kText1), WM_PASTE, 0, 0);
  EXPECT_EQ(text(zw::kText1), dest);
  EXPECT_EQ(changed(), 0);
  // Unchanged: closing asks nothing.
  click(zw::kCommand4);
  EXPECT_FALSE(::IsWindow(window->hwnd()));
  EXPECT_TRUE(boxes.take().empty());
}

TEST_F(Window, ClicksTurnIntoTheirRules) {
  write_job({"[mode]=0", "[archive]=\"C:\\out\\", "[base_dir]", "[dir_file]=\"C:\\a\"", "[dir_file]=\"C:\\b\"",
             "[dir_file]=\"C:\\c\"", "[shut_flg]=0"});
  write_file(scratch.work() + "\\logdata.txt", "log");
  open();

  click(zw::kOption1 + 1);  // ZIP clears LZH
  for (int i = 0; i < 4; ++i) EXPECT_EQ(checked(zw::kOption1 + i), i == 1) << i;
  EXPECT_EQ(changed(), 1);
  EXPECT_EQ(window->core().type(), 1);

  click(zw::kCheck1);
  EXPECT_TRUE(window->core().shutdown());

  // Command1 removes the selected entry only.
  ::SendMessageW(ctl(zw::kList1), LB_SETCURSEL, 1, 0);
  click(zw::kCommand1);
  EXPECT_EQ(list(), (std::vector<std::string>{"C:\\a", "C:\\c"}));

  click(zw::kCommand5);
  EXPECT_EQ(services.starts, (std::vector<std::string>{"Notepad.exe logdata.txt"}));
  click(zw::kCommand6);
  EXPECT_FALSE(exists(scratch.work() + "\\logdata.txt"));

  click(zw::kCommand3);
  EXPECT_TRUE(list().empty());
  EXPECT_EQ(text(zw::kText1), "");
  EXPECT_TRUE(checked(zw::kOption1));
  EXPECT_FALSE(checked(zw::kCheck1));
  EXPECT_EQ(changed(), 1);
  EXPECT_TRUE(boxes.take().empty());
}

TEST_F(Window, ExitAsksWhenChangedAndClosesOnlyOnYes) {
  open();
  click(zw::kOption1 + 2);
  click(zw::kCommand4);  // answered No
  ASSERT_TRUE(::IsWindow(window->hwnd()));
  std::vector<Box> seen = boxes.take();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, acp("変更されていますが終了しますか。"));
  EXPECT_EQ(seen[0].title, acp("ズベト"));
  EXPECT_TRUE(seen[0].yes_no);
  EXPECT_EQ(services.styles, (std::vector<int>{36}));

  boxes.answer_yes(true);
  click(zw::kCommand4);
  EXPECT_FALSE(::IsWindow(window->hwnd()));
  EXPECT_EQ(boxes.take().size(), 1u);
}

TEST_F(Window, SourceListRefusesAShareRootFirstAndAnythingButACopyOfFiles) {
  Shares shares;
  ASSERT_TRUE(shares.available()) << "no Wine prefix to make a share root in";
  const std::string share = shares.make("share");
  const std::string inside = shares.make("share\\dir");
  const std::string data = folder("data");
  open();
  IDropTarget* target = window->source_target();
  struct Case {
    const char* what;
    std::vector<std::string> paths;
    bool files;
    DWORD allowed;
    DWORD effect;
  };
  const Case cases[] = {
      {"share root alone", {share}, true, kAnyEffect, DROPEFFECT_NONE},
      {"share root first", {share, data}, true, kAnyEffect, DROPEFFECT_NONE},
      {"share root second", {data, share}, true, kAnyEffect, DROPEFFECT_COPY},
      {"folder in a share", {inside}, true, kAnyEffect, DROPEFFECT_COPY},
      {"a folder, copy only", {data}, true, DROPEFFECT_COPY, DROPEFFECT_COPY},
      {"a folder, move only", {data}, true, DROPEFFECT_MOVE, DROPEFFECT_NONE},
      {"no path at all", {}, true, kAnyEffect, DROPEFFECT_NONE},
      {"text", {}, false, kAnyEffect, DROPEFFECT_NONE},
  };
  for (const Case& c : cases) {
    Data d(c.files ? DragObject::files(c.paths) : DragObject::text("C:\\data"));
    EXPECT_EQ(drag_over(target, d.p, c.allowed), c.effect) << c.what;
  }
  // A refused drag drops nothing; the accepted one drops both paths.
  {
    Data d(DragObject::files({share, data}));
    EXPECT_EQ(drop(target, d.p), static_cast<DWORD>(DROPEFFECT_NONE));
  }
  EXPECT_TRUE(list().empty());
  EXPECT_EQ(changed(), 0);
  {
    Data d(DragObject::files({data, share}));
    EXPECT_EQ(drop(target, d.p), static_cast<DWORD>(DROPEFFECT_COPY));
  }
  EXPECT_EQ(list(), (std::vector<std::string>{data, share}));
  EXPECT_EQ(changed(), 1);
  EXPECT_TRUE(boxes.take().empty());
}

TEST_F(Window, SourceDropAppendsAndReportsEachRepeatThroughAMessageBox) {
  write_job({"[dir_file]=\"C:\\x\"", "[dir_file]=\"C:\\x\"", "[dir_file]=\"C:\\Data\"", "[dir_file]=\"C:\\x\""});
  open();
  {
    Data d(DragObject::files({"C:\\data", "C:\\y"}));
    EXPECT_EQ(drop(window->source_target(), d.p), static_cast<DWORD>(DROPEFFECT_COPY));
  }
  // Letter case counts: C:\Data and C:\data both stay; C:\x is reported twice.
  EXPECT_EQ(list(), (std::vector<std::string>{"C:\\x", "C:\\Data", "C:\\data", "C:\\y"}));
  std::vector<Box> seen = boxes.take();
  ASSERT_EQ(seen.size(), 2u);
  for (const Box& b : seen) {
    EXPECT_EQ(b.text, "C:\\x" + acp("は既にあります。"));
    EXPECT_EQ(b.title, acp("エラーメッセージ"));
    EXPECT_FALSE(b.yes_no);
  }
  EXPECT_EQ(services.styles, (std::vector<int>{48, 48}));
  EXPECT_EQ(changed(), 1);

  // A Shift-JIS name, given in the ANSI code page, comes back as its bytes.
  {
    Data d(DragObject::files({"C:\\" + kSjisTable, "C:\\y"}, false));
    drop(window->source_target(), d.p);
  }
  EXPECT_EQ(list().back(), "C:\\" + kSjisTable);
  EXPECT_EQ(boxes.take().size(), 1u);  // C:\y again
}

TEST_F(Window, DestinationBoxTakesOneExistingFolder) {
  const std::string dest = folder(kSjisData);
  const std::string other = folder("other");
  const std::string plain = file("a.txt");
  struct Case {
    const char* what;
    std::vector<std::string> paths;
    bool files;
    std::string text;     // Text1 afterwards
    int changed;          // changed flag afterwards
    std::string message;  // UTF-8, "" for none
  };
  const Case cases[] = {
      {"one folder", {dest}, true, dest + "\\", 1, ""},
      {"two folders", {dest, other}, true, "C:\\old\\", 0, "圧縮ファイルは１つにして下さい。"},
      {"a file", {plain}, true, "", 0, "フォルダを指定して下さい。"},
      {"text", {}, false, "C:\\old\\", 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    write_job({"[archive]=\"C:\\old\\"});
    window.reset();
    pump();
    open();
    Data d(c.files ? DragObject::files(c.paths) : DragObject::text(dest));
    EXPECT_EQ(drag_over(window->destination_target(), d.p), static_cast<DWORD>(DROPEFFECT_COPY));
    EXPECT_EQ(drag_over(window->destination_target(), d.p, DROPEFFECT_MOVE), static_cast<DWORD>(DROPEFFECT_NONE));
    drop(window->destination_target(), d.p);
    EXPECT_EQ(text(zw::kText1), c.text);
    EXPECT_EQ(changed(), c.changed);
    std::vector<Box> seen = boxes.take();
    if (c.message.empty()) {
      EXPECT_TRUE(seen.empty());
    } else {
      ASSERT_EQ(seen.size(), 1u);
      EXPECT_EQ(seen[0].text, acp(c.message));
      EXPECT_EQ(seen[0].title, acp("エラーメッセージ"));
      EXPECT_EQ(services.styles.back(), 64);
    }
  }
}

TEST_F(Window, SavesTheJobInShiftJisByteForByte) {
  const std::string data = folder(kSjisData);
  const std::string memo = file("memo.txt");
  const std::string dest = folder("dest");
  open();
  click(zw::kCommand2);  // nothing to save yet
  std::vector<Box> seen = boxes.take();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, "\x83\x68\x83\x8D\x83\x62\x83\x76\x81\x95\x83\x68\x83\x89\x83\x62\x83\x4F\x82\xB3"
                          "\x82\xEA\x82\xC4\x82\xA2\x82\xDC\x82\xB9\x82\xF1\x81\x42");  // ドロップ＆ドラッグされていません。
  EXPECT_EQ(seen[0].title, "\x83\x47\x83\x89\x81\x5B");                               // エラー
  EXPECT_FALSE(exists(scratch.work() + "\\jobconf.ini"));

  {
    Data d(DragObject::files({data, memo}, false));
    drop(window->source_target(), d.p);
  }
  {
    Data d(DragObject::files({dest}));
    drop(window->destination_target(), d.p);
  }
  click(zw::kOption1 + 2);  // CAB: the folder gets "\*.*", the file does not
  click(zw::kCheck1);
  click(zw::kCommand2);
  EXPECT_TRUE(boxes.take().empty());
  EXPECT_EQ(work_file("jobconf.ini"), "[mode]=2\r\n[archive]=\"" + dest + "\\\r\n[base_dir]\r\n[dir_file]=\"" + data +
                                          "\\*.*\"\r\n[dir_file]=\"" + memo + "\"\r\n[shut_flg]=1\r\n");
  EXPECT_EQ(data.substr(data.size() - 6), kSjisData);
  EXPECT_EQ(changed(), 0);

  // Eleven sources go into the response file.
  std::vector<std::string> many;
  for (int i = 0; i < 9; ++i) many.push_back("C:\\" + kSjisTable + std::to_string(i));
  {
    Data d(DragObject::files(many, false));
    drop(window->source_target(), d.p);
  }
  click(zw::kOption1 + 1);
  click(zw::kCheck1);
  click(zw::kCommand2);
  EXPECT_EQ(work_file("jobconf.ini"), "[mode]=1\r\n[archive]=\"" + dest +
                                          "\\\r\n[base_dir]\r\n[dir_file]=\"@resp.tmp\"\r\n[shut_flg]=0\r\n");
  std::string resp = "\"" + data + "\"\r\n\"" + memo + "\"\r\n";
  for (const std::string& m : many) resp += "\"" + m + "\"\r\n";
  EXPECT_EQ(work_file("resp.tmp"), resp);
}

TEST_F(Window, ASaveThatCannotWriteKeepsTheJobStoredBefore) {
  write_job({"[mode]=1", "[archive]=\"C:\\old\\", "[base_dir]", "[dir_file]=\"C:\\a\"", "[shut_flg]=0"});
  const std::string before = work_file("jobconf.ini");
  ::SetFileAttributesA((scratch.work() + "\\jobconf.ini").c_str(), FILE_ATTRIBUTE_READONLY);
  open();
  click(zw::kOption1 + 3);
  click(zw::kCommand2);
  std::vector<Box> seen = boxes.take();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, acp("ジョブを保存できませんでした。フォルダに書き込めないか、ディスクに空きがありません。＝") +
                              "jobconf.ini");
  EXPECT_EQ(work_file("jobconf.ini"), before);
  EXPECT_EQ(changed(), 1);
  // Nothing is left behind under a scratch name.
  WIN32_FIND_DATAA fd;
  int files = 0;
  HANDLE h = ::FindFirstFileA((scratch.work() + "\\*").c_str(), &fd);
  do {
    if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ++files;
  } while (::FindNextFileA(h, &fd));
  ::FindClose(h);
  EXPECT_EQ(files, 1);
  ::SetFileAttributesA((scratch.work() + "\\jobconf.ini").c_str(), FILE_ATTRIBUTE_NORMAL);
}

// The file list another program hands over is read within its block only.
TEST(DropFiles, ReadsTheListWithinItsBlock) {
  auto block = [](bool wide, const std::string& list_bytes, DWORD offset = sizeof(DROPFILES)) {
    DROPFILES head{};
    head.pFiles = offset;
    head.fWide = wide;
    std::string b(reinterpret_cast<const char*>(&head), sizeof head);
    b.resize(offset < b.size() ? b.size() : offset, '\0');
    return b + list_bytes;
  };
  auto w = [](const std::wstring& s) {
    return std::string(reinterpret_cast<const char*>(s.data()), s.size() * sizeof(wchar_t));
  };
  using Paths = std::optional<std::vector<std::string>>;
  struct Case {
    const char* what;
    std::string block;
    Paths paths;
  };
  const std::string head_only = block(false, "");
  const Case cases[] = {
      {"ANSI bytes as they are", block(false, std::string("C:\\a") + '\0' + "C:\\" + kSjisTable + '\0' + '\0'),
       std::vector<std::string>{"C:\\a", "C:\\" + kSjisTable}},
      {"wide paths in the code page",
       block(true, w(std::wstring(L"C:\\\u30C7\u30FC\u30BF") + L'\0' + L"D:\\b" + L'\0' + L'\0')),
       std::vector<std::string>{"C:\\" + kSjisData, "D:\\b"}},
      {"wide list at an odd offset", block(true, w(std::wstring(L"C:\\x") + L'\0' + L'\0'), sizeof(DROPFILES) + 1),
       std::vector<std::string>{"C:\\x"}},
      {"no final terminator", block(false, std::string("C:\\a") + '\0' + "C:\\b"), std::vector<std::string>{"C:\\a", "C:\\b"}},
      {"an empty list", block(false, std::string("\0\0", 2)), std::vector<std::string>{}},
      {"a character the code page lacks", block(true, w(std::wstring(L"C:\\\u00E9") + L'\0' + L'\0')), std::nullopt},
      {"list beyond the block", block(false, "", sizeof(DROPFILES) + 64).substr(0, sizeof(DROPFILES)), std::nullopt},
      {"shorter than its head", head_only.substr(0, 10), std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(zw::drop_file_paths(c.block.data(), c.block.size()), c.paths) << c.what;
}

// ---- one real drag and drop per target -----------------------------------

class DropSource : public IDropSource {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDropSource)) {
      *out = static_cast<IDropSource*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  // The button is let go after a few reports over the target.
  HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escape, DWORD) override {
    if (escape) return DRAGDROP_S_CANCEL;
    return ++asked_ < 4 ? S_OK : DRAGDROP_S_DROP;
  }
  HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }

 private:
  int asked_ = 0;
};

TEST_F(Window, RealDragAndDropReachesEachTarget) {
  const std::string data = folder("data");
  const std::string dest = folder("dest");
  open();
  ::SetForegroundWindow(window->hwnd());
  struct Case {
    int id;
    std::string path;
  };
  for (const Case& c : {Case{zw::kList1, data}, Case{zw::kText1, dest}}) {
    RECT r;
    ::GetWindowRect(ctl(c.id), &r);
    // The pointer is placed over the control by this process, which owns
    // the target (Wine moves the pointer only for that process).
    ASSERT_TRUE(::SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2));
    pump();
    ASSERT_EQ(::WindowFromPoint(POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2}), ctl(c.id));
    Data d(DragObject::files({c.path}));
    DropSource source;
    DWORD effect = DROPEFFECT_NONE;
    HRESULT hr = ::DoDragDrop(d.p, &source, DROPEFFECT_COPY | DROPEFFECT_MOVE, &effect);
    EXPECT_EQ(hr, DRAGDROP_S_DROP) << c.id;
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY)) << c.id;
    pump();
  }
  EXPECT_EQ(list(), (std::vector<std::string>{data}));
  EXPECT_EQ(text(zw::kText1), dest + "\\");
  EXPECT_TRUE(boxes.take().empty());
}

// ---- the same scenario as every view -------------------------------------

namespace cf = zubeto::conformance;

// The real window worked by the scenario shared with the Qt window: its
// message boxes are answered by the helper thread (OK, or No to a
// question), and what it shows is read back from its controls.
class Conformance : public Window, public cf::ViewDriver {
 protected:
  std::string make_folder(const std::string& name) override { return folder(name); }
  std::string missing_path(const std::string& name) override { return scratch.root() + "\\" + name; }
  void put_job_file(const std::vector<std::string>& lines) override { write_job(lines); }
  bool start() override {
    window = std::make_unique<zw::MainWindow>(services);
    if (!window->open(::GetModuleHandleW(nullptr))) return false;
    services.set_owner(window->hwnd());
    window->show();
    pump();
    return true;
  }
  void click(cf::Button b) override {
    static const std::pair<cf::Button, int> ids[] = {
        {cf::Button::save, zw::kCommand2},        {cf::Button::run_now, zw::kCommand8},
        {cf::Button::delete_entry, zw::kCommand1}, {cf::Button::clear, zw::kCommand3},
        {cf::Button::exit, zw::kCommand4},        {cf::Button::show_log, zw::kCommand5},
        {cf::Button::delete_log, zw::kCommand6},  {cf::Button::shutdown_box, zw::kCheck1}};
    for (const auto& [button, id] : ids)
      if (button == b) Window::click(id);
  }
  void click_type(int index) override { Window::click(zw::kOption1 + index); }
  void select_source(std::size_t index) override {
    ::SendMessageW(ctl(zw::kList1), LB_SETCURSEL, index, 0);
  }
  int drag_over_sources(const std::vector<std::string>& paths) override {
    Data d(DragObject::files(paths));
    return drag_over(window->source_target(), d.p) == DROPEFFECT_COPY ? 1 : 0;
  }
  void drop_on_sources(const std::vector<std::string>& paths) override {
    Data d(DragObject::files(paths));
    drop(window->source_target(), d.p);
    pump();
  }
  void drop_on_destination(const std::vector<std::string>& paths) override {
    Data d(DragObject::files(paths));
    drop(window->destination_target(), d.p);
    pump();
  }
  // Once the window is gone, what it showed last.
  cf::Shown shown() override {
    if (!is_open()) return last_;
    last_.sources = list();
    last_.destination = text(zw::kText1);
    last_.type = -1;
    for (int i = 0; i < 4; ++i)
      if (checked(zw::kOption1 + i)) last_.type = i;
    last_.shutdown = checked(zw::kCheck1);
    return last_;
  }
  std::vector<cf::ShownMessage> take_messages() override {
    std::vector<cf::ShownMessage> out;
    const std::vector<Box> seen = boxes.take();
    const bool styles_known = services.styles.size() - styles_seen_ == seen.size();
    for (size_t i = 0; i < seen.size(); ++i)
      out.push_back({seen[i].text, seen[i].title, styles_known ? services.styles[styles_seen_ + i] : -1});
    styles_seen_ = services.styles.size();
    return out;
  }
  std::optional<std::vector<std::string>> job_file() override {
    if (!exists(scratch.work() + "\\jobconf.ini")) return std::nullopt;
    std::vector<std::string> lines;
    const std::string content = work_file("jobconf.ini");
    size_t at = 0;
    while (at < content.size()) {
      size_t end = content.find("\r\n", at);
      if (end == std::string::npos) end = content.size();
      lines.push_back(content.substr(at, end - at));
      at = end + 2;
    }
    return lines;
  }
  bool is_open() override { return window && ::IsWindow(window->hwnd()); }

 private:
  cf::Shown last_;
  size_t styles_seen_ = 0;
};

TEST_F(Conformance, ShowsWhatTheCoreDecidesAtEveryStep) {
  const std::vector<std::string> differences = cf::run_scenario(*this);
  for (const std::string& d : differences) ADD_FAILURE() << d;
  EXPECT_TRUE(differences.empty());
}

// ---- the program --------------------------------------------------------

struct Found {
  DWORD pid;
  HWND hwnd;
};

BOOL CALLBACK find_window(HWND hwnd, LPARAM p) {
  auto* f = reinterpret_cast<Found*>(p);
  DWORD pid = 0;
  ::GetWindowThreadProcessId(hwnd, &pid);
  char cls[32] = {};
  ::GetClassNameA(hwnd, cls, sizeof cls);
  if (pid == f->pid && std::string(cls) == zw::kWindowClass) {
    f->hwnd = hwnd;
    return FALSE;
  }
  return TRUE;
}

// The window of that process, once it shows (nullptr after the wait).
HWND window_of(DWORD pid, int wait_ms) {
  for (int waited = 0;; waited += 50) {
    Found f{pid, nullptr};
    ::EnumWindows(find_window, reinterpret_cast<LPARAM>(&f));
    if (f.hwnd && ::IsWindowVisible(f.hwnd)) return f.hwnd;
    if (waited >= wait_ms) return nullptr;
    ::Sleep(50);
  }
}

// ZUBETOB.exe started as a user starts it, in the work folder.
class Program : public ::testing::Test {
 protected:
  Program() = default;
  explicit Program(const std::string& folder_name) : scratch(folder_name) {}
  void SetUp() override {
    ASSERT_TRUE(scratch.install("ZUBETOB.exe", "ZUBETOB.exe"));
    ASSERT_TRUE(scratch.install("ZUBETO.dll", "ZUBETO.dll"));
  }
  void TearDown() override {
    for (PROCESS_INFORMATION& pi : started) {
      if (::WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT) {
        ::TerminateProcess(pi.hProcess, 1);
        ::WaitForSingleObject(pi.hProcess, 5000);
      }
      ::CloseHandle(pi.hProcess);
      ::CloseHandle(pi.hThread);
    }
  }
  PROCESS_INFORMATION& start() {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::string exe = scratch.prog() + "\\ZUBETOB.exe";
    std::vector<char> cmd(exe.begin(), exe.end());
    cmd.push_back('\0');
    bool ok = false;
    for (int attempt = 0; attempt < 5 && !ok; ++attempt) {
      if (attempt) ::Sleep(500);
      ok = ::CreateProcessA(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, scratch.work().c_str(), &si,
                            &pi) != 0;
    }
    EXPECT_TRUE(ok) << "ZUBETOB.exe did not start: " << ::GetLastError();
    started.push_back(pi);
    return started.back();
  }
  // The controls of the other process, read as Unicode (the controls are
  // Unicode windows) and given back in the ANSI code page.
  static std::vector<std::string> remote_list(HWND list) {
    std::vector<std::string> out;
    DWORD_PTR n = 0;
    ::SendMessageTimeoutW(list, LB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 5000, &n);
    for (DWORD_PTR i = 0; i < n; ++i) {
      wchar_t buf[1024] = {};
      DWORD_PTR got = 0;
      ::SendMessageTimeoutW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, 5000, &got);
      out.push_back(acp_exact(buf));
    }
    return out;
  }
  static std::string remote_text(HWND h) {
    wchar_t buf[1024] = {};
    DWORD_PTR got = 0;
    ::SendMessageTimeoutW(h, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, 5000, &got);
    return acp_exact(buf);
  }

  Scratch scratch;
  std::deque<PROCESS_INFORMATION> started;
};

TEST_F(Program, RestoresTheJobAndRunsTheWorkerFromItsOwnFolder) {
  ASSERT_TRUE(scratch.install("ZUBETOC_test.exe", "ZUBETOC.exe"));
  ASSERT_TRUE(scratch.install("fakearc.dll", "ZIP32J.DLL"));
  const std::string src = scratch.root() + "\\" + kSjisData;
  ::CreateDirectoryA(src.c_str(), nullptr);
  const std::string dest = scratch.root() + "\\";
  write_file(scratch.work() + "\\jobconf.ini", "[mode]=1\r\n[archive]=\"" + dest + "\r\n[base_dir]\r\n[dir_file]=\"" +
                                                   src + "\"\r\n[shut_flg]=0\r\n");
  const std::string record = scratch.root() + "\\command.txt";
  ::SetEnvironmentVariableA("ZUBETO_FAKEARC_RECORD", record.c_str());
  PROCESS_INFORMATION& pi = start();
  ::SetEnvironmentVariableA("ZUBETO_FAKEARC_RECORD", nullptr);
  HWND w = window_of(pi.dwProcessId, 20000);
  ASSERT_NE(w, nullptr) << "ZUBETOB.exe shows no window";

  EXPECT_EQ(remote_list(::GetDlgItem(w, zw::kList1)), (std::vector<std::string>{src}));
  EXPECT_EQ(remote_text(::GetDlgItem(w, zw::kText1)), dest);
  EXPECT_EQ(::SendMessageW(::GetDlgItem(w, zw::kOption1 + 1), BM_GETCHECK, 0, 0), BST_CHECKED);

  // Run now: the job is saved again as it was, and the worker beside the
  // window runs it in the window's current folder.
  DWORD_PTR r = 0;
  ASSERT_TRUE(::SendMessageTimeoutW(::GetDlgItem(w, zw::kCommand8), BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 20000, &r));
  std::string log;
  for (int i = 0; i < 400 && log.find(acp("圧縮処理終了")) == std::string::npos; ++i) {
    ::Sleep(50);
    log = read_file(scratch.work() + "\\logdata.txt");
  }
  EXPECT_NE(log.find(acp("圧縮処理終了") + "=0000"), std::string::npos) << log;
  EXPECT_NE(read_file(record).find("\"" + src + "\" "), std::string::npos);
  EXPECT_TRUE(::IsWindow(w)) << "the window stays open";

  // Closed through its title bar, it ends at once.
  ::PostMessageW(w, WM_CLOSE, 0, 0);
  ASSERT_EQ(::WaitForSingleObject(pi.hProcess, 20000), WAIT_OBJECT_0);
  DWORD code = 1;
  ::GetExitCodeProcess(pi.hProcess, &code);
  EXPECT_EQ(code, 0u);
}

// The programs copied into a folder whose name ends in ソ or 表 (their
// second Shift-JIS byte is the backslash): the window's run-now starts the
// worker beside it, which finds its archiver library there too.
class ProgramInAJapaneseFolder : public Program, public ::testing::WithParamInterface<const char*> {
 protected:
  ProgramInAJapaneseFolder() : Program(GetParam()) {}
};

TEST_P(ProgramInAJapaneseFolder, RunNowStartsTheWorkerBesideIt) {
  if (::GetACP() != 932) GTEST_SKIP() << "needs the Japanese ANSI code page, this run has " << ::GetACP();
  ASSERT_TRUE(scratch.install("ZUBETOC_test.exe", "ZUBETOC.exe"));
  ASSERT_TRUE(scratch.install("fakearc.dll", "ZIP32J.DLL"));
  const std::string src = scratch.root() + "\\" + kSjisData;
  ::CreateDirectoryA(src.c_str(), nullptr);
  write_file(scratch.work() + "\\jobconf.ini", "[mode]=1\r\n[archive]=\"" + scratch.root() + "\\\r\n[dir_file]=\"" +
                                                   src + "\"\r\n[shut_flg]=0\r\n");
  PROCESS_INFORMATION& pi = start();
  HWND w = window_of(pi.dwProcessId, 20000);
  ASSERT_NE(w, nullptr) << "ZUBETOB.exe shows no window";
  DWORD_PTR r = 0;
  ASSERT_TRUE(::SendMessageTimeoutW(::GetDlgItem(w, zw::kCommand8), BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 20000, &r));
  std::string log;
  for (int i = 0; i < 400 && log.find(acp("圧縮処理終了")) == std::string::npos; ++i) {
    ::Sleep(50);
    log = read_file(scratch.work() + "\\logdata.txt");
  }
  EXPECT_NE(log.find("UNZIP32.DLL Loading\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find(acp("圧縮処理終了") + "=0000"), std::string::npos) << log;
  ::PostMessageW(w, WM_CLOSE, 0, 0);
  EXPECT_EQ(::WaitForSingleObject(pi.hProcess, 20000), WAIT_OBJECT_0);
}

// プログラムソ and 予定表, in Shift-JIS.
INSTANTIATE_TEST_SUITE_P(Folders, ProgramInAJapaneseFolder,
                         ::testing::Values("\x83\x76\x83\x8d\x83\x4f\x83\x89\x83\x80\x83\x5c",
                                           "\x97\x5c\x92\xe8\x95\x5c"));

TEST_F(Program, ASecondCopyEndsSilentlyAndTheFirstStays) {
  write_file(scratch.work() + "\\jobconf.ini", "[dir_file]=\"C:\\first\"\r\n");
  PROCESS_INFORMATION& first = start();
  HWND w = window_of(first.dwProcessId, 20000);
  ASSERT_NE(w, nullptr);

  PROCESS_INFORMATION& second = start();
  ASSERT_EQ(::WaitForSingleObject(second.hProcess, 20000), WAIT_OBJECT_0) << "the second copy did not end";
  DWORD code = 1;
  ::GetExitCodeProcess(second.hProcess, &code);
  EXPECT_EQ(code, 0u);
  Found f{second.dwProcessId, nullptr};
  ::EnumWindows(find_window, reinterpret_cast<LPARAM>(&f));
  EXPECT_EQ(f.hwnd, nullptr);
  EXPECT_TRUE(::IsWindow(w));
  EXPECT_EQ(remote_list(::GetDlgItem(w, zw::kList1)), (std::vector<std::string>{"C:\\first"}));

  // Once the first copy has ended, the next one starts.
  ::PostMessageW(w, WM_CLOSE, 0, 0);
  ASSERT_EQ(::WaitForSingleObject(first.hProcess, 20000), WAIT_OBJECT_0);
  PROCESS_INFORMATION& third = start();
  HWND w3 = window_of(third.dwProcessId, 20000);
  ASSERT_NE(w3, nullptr);
  ::PostMessageW(w3, WM_CLOSE, 0, 0);
  EXPECT_EQ(::WaitForSingleObject(third.hProcess, 20000), WAIT_OBJECT_0);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (FAILED(::OleInitialize(nullptr))) return 2;
  int rc = RUN_ALL_TESTS();
  ::OleUninitialize();
  return rc;
}
