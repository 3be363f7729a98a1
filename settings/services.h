// What the settings window asks of its platform: text files, folder facts,
// file deletion, message boxes, program starts, the single-copy question and
// the share check. The window reaches all of them through this interface, so
// that tests script the answers and record the calls (see FakeServices in
// the tests) while the program uses SystemServices.
//
// Texts are bytes in the system's narrow code page (UTF-8 on POSIX). Files
// are named as the window names them, bare names lying in the current
// directory.
#pragma once
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zubeto {

// A text file opened for reading.
class TextReader {
 public:
  virtual ~TextReader() = default;
  // True once every line has been read.
  virtual bool at_end() const = 0;
  // The next line, whole whatever its length, without its line end (CR LF,
  // or LF alone).
  virtual std::string read_line() = 0;
  virtual void close() = 0;
};

// A whole text file to be written: its bare name and its lines, each of
// which the file ends with CR LF.
struct TextFile {
  std::string name;
  std::vector<std::string> lines;
};

// Message box styles and answers, as the window's handlers use them.
inline constexpr int kMbOk = 0;
inline constexpr int kMbYesNo = 4;
inline constexpr int kMbCritical = 16;
inline constexpr int kMbQuestion = 32;
inline constexpr int kMbExclamation = 48;
inline constexpr int kMbInformation = 64;
inline constexpr int kMbStyleError = kMbOk | kMbExclamation;    // 48
inline constexpr int kMbStyleInfo = kMbOk | kMbInformation;     // 64
inline constexpr int kMbStyleConfirm = kMbYesNo | kMbQuestion;  // 36
inline constexpr int kAnswerOk = 1;
inline constexpr int kAnswerYes = 6;
inline constexpr int kAnswerNo = 7;

// Window style of a started program: a normal window that takes the focus.
inline constexpr int kShowNormalFocus = 1;

class Services {
 public:
  virtual ~Services() = default;

  // Opens an existing file for reading; nullptr when it cannot be opened
  // (missing, unreadable, a folder). Never creates the file.
  virtual std::unique_ptr<TextReader> open_text(const std::string& name) = 0;
  // Writes the files anew, in the order given. Each file replaces the one
  // of its name only once it is complete on disk: nothing is replaced until
  // every file has been written, so a write that fails (a folder nobody may
  // write to, a full disk, a read-only file of that name) leaves every
  // earlier file as it was and no partial file behind. False on failure,
  // with the name of the file that failed in *failed.
  virtual bool write_text_files(const std::vector<TextFile>& files, std::string* failed) = 0;
  // True only when a folder of that path exists.
  virtual bool folder_exists(const std::string& path) = 0;
  // Deletes the file, not forced: a read-only, missing or locked file stays.
  // True when the file was deleted.
  virtual bool delete_file(const std::string& name) = 0;
  // Modal message box; returns the answer (kAnswerOk, kAnswerYes, kAnswerNo).
  virtual int message_box(const std::string& text, const std::string& title, int style) = 0;
  // Starts the command line without waiting for it; false when it could not
  // be started.
  virtual bool start_program(const std::string& command_line, int window_style) = 0;
  // True when another copy of the settings program already runs.
  virtual bool previous_instance() = 0;
  // The folder of the settings program's own file, where the worker lies
  // beside it (no trailing separator); empty when it cannot be told.
  virtual std::string program_folder() = 0;
  // The command line that shows the file in the system's text editor
  // ("Notepad.exe logdata.txt" on Windows).
  virtual std::string text_editor_command(const std::string& file) = 0;
  // The share check of the library "ZUBETO": 1 when the path is the top
  // folder of a network share, 0 otherwise; nothing when the library or its
  // function cannot be loaded.
  virtual std::optional<int> share_check(const std::string& path) = 0;

  // ---- What the window offers beyond its first controls. Each has a
  // default, so that a platform without the service still builds and the
  // window says that it cannot. ----

  // A fixed text of the window, given as its Japanese original in UTF-8, in
  // the window's language and the system's narrow code page. By default the
  // original itself: under a Japanese locale every text stays as it is.
  virtual std::string localized(std::string_view utf8);
  // The lines of the last max_bytes (about) of a text file, or nothing when
  // it cannot be opened. By default read through open_text.
  virtual std::optional<std::vector<std::string>> read_tail(const std::string& name, std::size_t max_bytes);
  // The user's configuration folder ($XDG_CONFIG_HOME, else ~/.config); empty
  // when it cannot be told.
  virtual std::string user_config_folder() { return {}; }
  // The window's current folder, where the job lies; empty when unknown.
  virtual std::string current_folder() { return {}; }
  // Writes the bytes as the whole file of that path, making its folders;
  // the file is replaced only once complete. False on failure.
  virtual bool write_file(const std::string& /*path*/, const std::string& /*bytes*/) { return false; }
  // Removes the file of that path; true when it is gone (or was not there).
  virtual bool remove_file(const std::string& /*path*/) { return false; }
  // Runs the program with its arguments (found along the search path) and
  // waits for it; its standard output (and error) in *output. The exit
  // status, or -1 when it could not be started.
  virtual int run_command(const std::vector<std::string>& /*argv*/, std::string* /*output*/) { return -1; }
  // Offers the user a choice of files and folders to add as sources; the
  // paths chosen (none when cancelled).
  virtual std::vector<std::string> choose_sources() { return {}; }
  // Offers the user a choice of one archive to check, starting in the
  // folder given; empty when cancelled.
  virtual std::string choose_archive(const std::string& /*folder*/) { return {}; }
  // The names of the plain files in a folder; empty when it cannot be read.
  virtual std::vector<std::string> folder_files(const std::string& /*folder*/) { return {}; }

  // ---- The system's task scheduler (Windows), where the window sets the
  // daily run as a task instead of systemd user units. ----

  // True where the daily run is a task of the system's scheduler.
  virtual bool has_task_scheduler() { return false; }
  // Creates the task of that name from its definition (XML text in the
  // narrow code page), or replaces it. False with the system's words in
  // *error.
  virtual bool register_task(const std::string& /*name*/, const std::string& /*xml*/, std::string* /*error*/) {
    return false;
  }
  // Deletes the task; true when it is gone, or was never there.
  virtual bool delete_task(const std::string& /*name*/, std::string* /*error*/) { return false; }
  // The task's definition as the scheduler gives it back, and its next run
  // time in *next_run (empty when the scheduler cannot tell); nothing when
  // there is no such task.
  virtual std::optional<std::string> read_task(const std::string& /*name*/, std::string* /*next_run*/) {
    return std::nullopt;
  }
};

// Every line of a text file, or nothing when it cannot be opened.
// (services.cpp, part of the core)
std::optional<std::vector<std::string>> read_text_lines(Services& services, const std::string& name);

// The services that every view takes from the system in the same way,
// through platform/: the job's text files, folder facts, program starts, the
// single-copy question and the share check. A view derives from it and adds
// only what it draws or asks the user (message boxes, file dialogs, its
// language) and what its system does its own way.
class PlatformServices : public Services {
 public:
  PlatformServices();
  ~PlatformServices() override;

  // The whole file, read when it is opened and released at once; its lines
  // are then handed out one by one. Nothing for a folder.
  std::unique_ptr<TextReader> open_text(const std::string& name) override;
  // Written, flushed and put in place by the core's one save procedure
  // (file_save.h).
  bool write_text_files(const std::vector<TextFile>& files, std::string* failed) override;
  bool folder_exists(const std::string& path) override;
  // The started program opens its own window as its desktop shows it.
  bool start_program(const std::string& command_line, int window_style) override;
  // The first call takes the single-copy lock, held until the program ends.
  bool previous_instance() override;
  // The running program's own folder, unless a test set another.
  std::string program_folder() override;
  std::string text_editor_command(const std::string& file) override;
  // The library "ZUBETO" is bound at the first use, by its bare name from
  // the program's folder first (never the current folder), and stays
  // loaded until the program ends.
  std::optional<int> share_check(const std::string& path) override;
  // The plain files of the folder, links left out (names in the system's
  // narrow code page, as the job's paths are).
  std::vector<std::string> folder_files(const std::string& folder) override;

  // Where the worker is started from. By default the running program's own
  // folder; a test points it at a folder that holds a test build instead.
  void set_program_folder(std::string folder);

 protected:
  // Puts a written file in place of the old one; a test makes it fail.
  virtual bool rename_file(const std::string& from, const std::string& to);

 private:
  struct Held;
  std::unique_ptr<Held> held_;
};

}  // namespace zubeto
