// The services of the settings window on Windows: files in the ANSI code
// page with CR LF, message boxes, program starts, the single-copy mutex and
// the share check library. Texts and paths are bytes in the ANSI code page
// and pass through unchanged.
#pragma once
#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "services.h"

namespace platform {
class SingleCopy;
}

namespace zubeto::win32 {

class Win32Services : public Services {
 public:
  Win32Services();
  ~Win32Services() override;

  // The window that owns the message boxes (and is disabled while one is open).
  void set_owner(HWND owner) { owner_ = owner; }

  std::unique_ptr<TextReader> open_text(const std::string& name) override;
  bool write_text_files(const std::vector<TextFile>& files, std::string* failed) override;
  bool folder_exists(const std::string& path) override;
  bool delete_file(const std::string& name) override;
  int message_box(const std::string& text, const std::string& title, int style) override;
  bool start_program(const std::string& command_line, int window_style) override;
  bool previous_instance() override;
  // Ends with its separator (the core then adds none).
  std::string program_folder() override;
  std::string text_editor_command(const std::string& file) override;
  std::optional<int> share_check(const std::string& path) override;
  // The plain files of a folder (ANSI names, as the job's paths are).
  std::vector<std::string> folder_files(const std::string& folder) override;
  // The system's file dialogs: files (several at once) to add, an archive
  // to check.
  std::vector<std::string> choose_sources() override;
  std::string choose_archive(const std::string& folder) override;
  // The window's texts in the user's interface language (language.h).
  std::string localized(std::string_view utf8) override;
  // The window's current folder, where the job lies.
  std::string current_folder() override;
  // The daily run as a task of the Task Scheduler (task_scheduler.h).
  bool has_task_scheduler() override { return true; }
  bool register_task(const std::string& name, const std::string& xml, std::string* error) override;
  bool delete_task(const std::string& name, std::string* error) override;
  std::optional<std::string> read_task(const std::string& name, std::string* next_run) override;

 private:
  HWND owner_ = nullptr;
  std::unique_ptr<platform::SingleCopy> single_copy_;
  bool share_bound_ = false;
  void* share_fn_ = nullptr;
};

}  // namespace zubeto::win32
