// The window ZBTB on Win32: standard controls placed from their twips at
// the screen's DPI, and the wiring that turns their events into calls of
// the settings core and the core's results into the controls. No rule of
// the window lives here.
#pragma once
#include <windows.h>

#include <ole2.h>

#include <cstddef>
#include <string>

#include "settings_core.h"
#include "settings_view.h"

namespace zubeto::win32 {

class DropTarget;

class MainWindow final : public SettingsView {
 public:
  explicit MainWindow(Services& services);
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Creates the window and its controls, hidden, and runs the start-up
  // sequence. False when another copy runs: the window is gone again and
  // the program ends without showing anything.
  bool open(HINSTANCE instance);
  // Shows the window with the focus on Command2.
  void show();

  HWND hwnd() const { return hwnd_; }
  HWND control(int id) const { return ::GetDlgItem(hwnd_, id); }
  SettingsCore& core() { return core_; }
  // The drop targets of List1 and Text1, as OLE calls them.
  IDropTarget* source_target() const;
  IDropTarget* destination_target() const;

  // SettingsView
  void make_topmost() override;
  void show_type(int type) override;
  void show_shutdown(bool on) override;
  void show_destination(const std::string& path) override;
  void append_source(const std::string& path) override;
  void remove_source(std::size_t index) override;
  void enable_destination_drops(bool on) override;
  void show_frame_captions(const std::string& sources, const std::string& destination) override;
  void close_window() override;
  void show_keep(int count) override;
  void show_status(const std::string& text) override;
  void show_schedule(bool on, int hour, int minute) override;
  void show_next_run(const std::string& text) override;

  // The identifier of a new control by its name in the core's table; 0
  // when there is none.
  static int new_control_id(const char* name);

 private:
  static LRESULT CALLBACK window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT handle(UINT msg, WPARAM wp, LPARAM lp);
  void create_controls();
  void create_new_controls();
  void follow_run();
  void command(int id, int code);
  void release_drops();
  // Lays the controls out again at a monitor's new DPI and takes the place
  // the system suggests (per-monitor DPI awareness, see the manifest).
  void follow_dpi(int dpi_x, int dpi_y, const RECT& suggested);

  SettingsCore core_;
  HWND hwnd_ = nullptr;
  HFONT gothic_ = nullptr;
  HFONT window_font_ = nullptr;
  int font_dpi_ = 96;  // the DPI the fonts were made for
  HWND focus_ = nullptr;  // the control that had the focus when the window was left
  DropTarget* source_drop_ = nullptr;
  DropTarget* destination_drop_ = nullptr;
  bool destination_registered_ = false;
  bool showing_ = false;  // the core sets a control: its change is no edit
};

// The program's message loop: dialog keys (Tab, the arrows in the option
// group) move between the controls. Returns the exit code.
int run_message_loop(HWND window);

}  // namespace zubeto::win32
