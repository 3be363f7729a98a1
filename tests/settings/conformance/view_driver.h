// What a settings view's test gives the conformance scenario: a way to work
// the real window as a user would (clicks, selections, drags and drops) and
// to read back what its controls show, the message boxes it showed and the
// job file it wrote. The Qt window and the Win32 window each have one.
#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace zubeto::conformance {

// What the window's controls show.
struct Shown {
  std::vector<std::string> sources;  // List1, top to bottom, narrow code page
  std::string destination;           // Text1
  int type = -1;                     // the selected Option1 index; -1 when none
  bool shutdown = false;             // Check1 ticked
};

// A message box the window showed. style is -1 when the view's test cannot
// tell the style (only text and title are compared then).
struct ShownMessage {
  std::string text, title;
  int style = -1;
};

enum class Button { save, run_now, delete_entry, clear, exit, show_log, delete_log, shutdown_box };

class ViewDriver {
 public:
  virtual ~ViewDriver() = default;

  // A folder that exists, made by the driver where the window can reach
  // it; a full path in the platform's form, without a trailing separator.
  virtual std::string make_folder(const std::string& name) = 0;
  // A full path under the same place that names nothing.
  virtual std::string missing_path(const std::string& name) = 0;
  // Puts the job settings file, as lines, where the window reads it.
  virtual void put_job_file(const std::vector<std::string>& lines) = 0;
  // Starts the window (its start-up runs); false when it did not open.
  virtual bool start() = 0;

  // A click of the button or the check box.
  virtual void click(Button button) = 0;
  // A click of the type button Option1(index).
  virtual void click_type(int index) = 0;
  // Selects List1's entry at the index, as a click on it does.
  virtual void select_source(std::size_t index) = 0;
  // A file list dragged over List1 and taken away again: the drop effect
  // the window answered (0 none, 1 copy).
  virtual int drag_over_sources(const std::vector<std::string>& paths) = 0;
  // A file list dragged over and dropped on List1 or Text1. Every message
  // box that opens is answered: OK, or No where it asks Yes or No.
  virtual void drop_on_sources(const std::vector<std::string>& paths) = 0;
  virtual void drop_on_destination(const std::vector<std::string>& paths) = 0;

  virtual Shown shown() = 0;
  // The message boxes shown since the last call, in order.
  virtual std::vector<ShownMessage> take_messages() = 0;
  // The job settings file's lines as it now lies on disk; nothing when
  // there is none.
  virtual std::optional<std::vector<std::string>> job_file() = 0;
  // Whether the window is still open.
  virtual bool is_open() = 0;
};

}  // namespace zubeto::conformance
