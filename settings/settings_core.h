// The settings window without its toolkit: the job it shows, the changed
// flag, and the rule of every handler. Each view (Qt on POSIX, Win32 on
// Windows) is thin over it.
//
// How a view uses it:
//   1. Make the window's controls, then a SettingsCore over the Services
//      and the view's SettingsView.
//   2. Call load() once before the window is first shown; false means that
//      another copy runs: end at once, silently, without showing anything.
//   3. Events in: turn each control event into one call and nothing more.
//        Command2 click        -> save()
//        Command8 click        -> run_now()
//        Command1 click        -> delete_entries(selected indexes of List1)
//        Command3 click        -> clear()
//        Command4 click        -> exit()
//        Command5 click        -> show_log()
//        Command6 click        -> delete_log()
//        Option1(i) click      -> type_click(i)
//        Check1 click          -> shutdown_click(ticked)
//        List1 drag over       -> source_drag_over(data); answer its effect
//        List1 drop            -> source_drop(data)
//        Text1 drag over       -> destination_drag_over(data); answer its effect
//        Text1 drop            -> destination_drop(data)
//        Text1 key press       -> nothing reaches the box (destination_takes_keys()
//                                 is false)
//      and for the controls below them (settings/window_layout.h):
//        KeepCount change      -> keep_change(count)
//        ScheduleCheck click   -> schedule_change(ticked, time shown)
//        ScheduleTime change   -> schedule_change(true, time) while ticked
//        AddButton click       -> add_click()  (also List1's context menu)
//        VerifyButton click    -> verify_click()
//        List1 Delete key      -> delete_entries(selected indexes of List1)
//        window gets the focus -> refresh_status()
//        every second or so    -> poll_run() while awaiting_run()
//   4. Results out: the core sets the controls through SettingsView as its
//      state changes, shows messages and touches files only through
//      Services. The getters below give the state for a view's own reads;
//      a view never reads a path back from a control.
//
// Program-made changes of the type and the shutdown box (start-up, clear)
// run their click rule inside the core; a view that echoes them back
// through type_click or shutdown_click changes nothing more, since the core
// sets the changed flag after such bulk changes itself.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "drag_data.h"
#include "last_run.h"
#include "restore.h"
#include "schedule.h"
#include "services.h"
#include "settings_view.h"

namespace zubeto {

// How a save (Command2, or the save of Command8) ended.
enum class SaveOutcome { saved, drive_refused, empty_refused, write_failed };

class SettingsCore {
 public:
  SettingsCore(Services& services, SettingsView& view);
  SettingsCore(const SettingsCore&) = delete;
  SettingsCore& operator=(const SettingsCore&) = delete;

  // ---- events -------------------------------------------------------------

  // The start-up sequence: topmost, defaults, the single-copy question,
  // frame captions, the restore of the saved job, changed flag 0. False
  // when another copy runs: the caller ends without showing the window.
  bool load();

  SaveOutcome save();     // Command2
  SaveOutcome run_now();  // Command8: the save, then the worker is started

  // Command1: removes the entries whose indexes (in the list as it stands)
  // are given; the changed flag is set whether or not any was removed.
  void delete_entries(const std::vector<std::size_t>& selected);
  void clear();        // Command3
  bool exit();         // Command4: true when the window was closed
  void show_log();     // Command5
  void delete_log();   // Command6
  void type_click(int type);       // Option1(type), by the user
  void shutdown_click(bool on);    // Check1, by the user

  DropEffect source_drag_over(const DragData& data);       // List1
  bool source_drop(const DragData& data);                  // List1; false when refused
  DropEffect destination_drag_over(const DragData& data);  // Text1
  void destination_drop(const DragData& data);             // Text1

  // The number of archives the job keeps, as the user sets it (0: all).
  void keep_change(int count);
  // Reads the run log's end and shows the last run on the status line.
  void refresh_status();
  // After run now (or an archive check) started the worker: true while the
  // run log has not changed since and ended in an end line; each call
  // refreshes the status line.
  bool poll_run();
  bool awaiting_run() const { return awaiting_run_; }
  // Asks for files and folders and adds them as a drop of them would.
  void add_click();
  // Starts the worker's archive check on the job's newest archive in the
  // destination, or on one the user chooses when there is none.
  void verify_click();
  // Turns the daily run on (at that time) or off, at once.
  void schedule_change(bool on, schedule::Time time);

  // No key typed into the destination box reaches it.
  static constexpr bool destination_takes_keys() { return false; }

  // ---- state --------------------------------------------------------------

  // 1 when the job shown differs from the one last saved or restored.
  int16_t changed() const { return changed_; }
  void set_changed(int16_t value) { changed_ = value; }

  int type() const { return type_; }  // Option1 index, 0-3
  bool shutdown() const { return shutdown_; }
  const std::string& destination() const { return destination_; }
  const std::vector<std::string>& sources() const { return sources_; }
  bool destination_drops_enabled() const { return destination_drops_; }
  // The scratch list of the source drag-over (Combo1): empty whenever no
  // handler runs.
  const std::vector<std::string>& scratch() const { return scratch_; }
  int keep() const { return keep_; }
  const LastRun& last_run() const { return last_run_; }
  const std::string& status() const { return status_; }
  const std::optional<schedule::Time>& daily_run() const { return schedule_; }

  // ---- program-made changes (start-up, tests, a view's set-up) -----------

  // Selects the type as the program does: the click rule runs.
  void select_type(int type);
  // Sets the shutdown box as the program does: the click rule runs.
  void set_shutdown(bool on);
  void set_destination(const std::string& path);
  void add_source(const std::string& path);
  // Sets the number of archives kept as the program does.
  void set_keep(int count);
  // Puts a restored job into the window (start-up).
  void apply_job(const RestoredJob& job);

 private:
  SaveOutcome save_job(const char* empty_job_text);
  void remove_source_at(std::size_t index);
  bool is_share_root(const std::string& path);
  std::string text(std::string_view utf8) { return services_.localized(utf8); }
  std::string worker_path();
  std::string unit_folder();
  void read_schedule();
  void show_next_run();
  bool systemctl(const std::vector<std::string>& words, std::string* output);
  // The daily run as a task of the system's scheduler (Windows).
  void read_task_schedule();
  void task_schedule_change(bool on, schedule::Time time);

  Services& services_;
  SettingsView& view_;
  int16_t changed_ = 0;
  int type_ = 0;
  bool shutdown_ = false;
  std::string destination_;
  std::vector<std::string> sources_;
  bool destination_drops_ = false;
  std::vector<std::string> scratch_;
  int keep_ = 0;
  LastRun last_run_;
  std::string status_;
  bool awaiting_run_ = false;
  std::vector<std::string> log_before_;
  std::optional<schedule::Time> schedule_;
  // The time this window last gave the task: shown when the scheduler
  // gives the task back without its trigger.
  std::optional<schedule::Time> task_set_;
};

}  // namespace zubeto
