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

namespace zubeto::win32 {

// The files, program starts, single-copy question and share check are the
// settings core's (PlatformServices); this view adds its message boxes and
// file dialogs, and what Windows does its own way.
class Win32Services : public PlatformServices {
 public:
  Win32Services();
  ~Win32Services() override;

  // The window that owns the message boxes (and is disabled while one is open).
  void set_owner(HWND owner) { owner_ = owner; }

  bool delete_file(const std::string& name) override;
  int message_box(const std::string& text, const std::string& title, int style) override;
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
};

}  // namespace zubeto::win32
