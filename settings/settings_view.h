// What the settings core asks of a window. A view implements it by setting
// its controls and nothing else: every decision has been taken when the core
// calls. The core calls as each change happens, before any message box that
// follows it, so the window shows what the user should see while a box is
// open (a repeat stays in the list until its message has been closed).
//
// Texts are bytes in the system's narrow code page; paths are exact bytes,
// which a view may show otherwise (a name that is not valid in the code
// page) but never reads back: the core holds them.
#pragma once
#include <cstddef>
#include <string>

namespace zubeto {

class SettingsView {
 public:
  virtual ~SettingsView() = default;

  // Puts the window above every window that is not topmost.
  virtual void make_topmost() = 0;
  // Selects the type button of that index (Option1(type)), clearing the
  // others. The core has already run the click rule.
  virtual void show_type(int type) = 0;
  // Ticks or clears the shutdown box (Check1).
  virtual void show_shutdown(bool on) = 0;
  // The destination box's text (Text1).
  virtual void show_destination(const std::string& path) = 0;
  // Appends an entry to the source list (List1).
  virtual void append_source(const std::string& path) = 0;
  // Removes the source list's entry at that index; later ones move up.
  virtual void remove_source(std::size_t index) = 0;
  // Lets drops onto the destination box reach the core (drop mode manual).
  virtual void enable_destination_drops(bool on) = 0;
  // The frame captions of the source list (Frame2) and the destination box
  // (Frame3).
  virtual void show_frame_captions(const std::string& sources, const std::string& destination) = 0;
  // Closes the window and so ends the program; no question is asked here.
  virtual void close_window() = 0;

  // ---- The controls below the first ones (settings/window_layout.h). A
  // view that does not draw one yet passes its call over. ----

  // The "keep the last N archives" box (KeepCount); 0 keeps all.
  virtual void show_keep(int /*count*/) {}
  // The status line of the last run (StatusLine).
  virtual void show_status(const std::string& /*text*/) {}
  // The daily run box and its time (ScheduleCheck, ScheduleTime).
  virtual void show_schedule(bool /*on*/, int /*hour*/, int /*minute*/) {}
  // The next run of the daily schedule, or empty (ScheduleNext).
  virtual void show_next_run(const std::string& /*text*/) {}
};

}  // namespace zubeto
