// The services of the settings window on the real system.
#pragma once
#include <memory>
#include <optional>
#include <string>

#include "services.h"
#include "text/lines.h"

class QWidget;

namespace platform {
class SingleCopy;
}

namespace zubeto {

class SystemServices : public Services {
 public:
  SystemServices();
  ~SystemServices() override;

  // The window over which message boxes open (and stay modal).
  void set_dialog_parent(QWidget* parent) { parent_ = parent; }

  std::unique_ptr<TextReader> open_text(const std::string& name) override;
  bool write_text_files(const std::vector<TextFile>& files, std::string* failed) override;
  bool folder_exists(const std::string& path) override;
  bool delete_file(const std::string& name) override;
  int message_box(const std::string& text, const std::string& title, int style) override;
  bool start_program(const std::string& command_line, int window_style) override;
  bool previous_instance() override;
  std::string program_folder() override;
  std::string text_editor_command(const std::string& file) override;
  std::optional<int> share_check(const std::string& path) override;
  std::string localized(std::string_view utf8) override;
  std::optional<std::vector<std::string>> read_tail(const std::string& name, std::size_t max_bytes) override;
  std::string user_config_folder() override;
  std::string current_folder() override;
  bool write_file(const std::string& path, const std::string& bytes) override;
  bool remove_file(const std::string& path) override;
  int run_command(const std::vector<std::string>& argv, std::string* output) override;
  std::vector<std::string> choose_sources() override;
  std::string choose_archive(const std::string& folder) override;
  std::vector<std::string> folder_files(const std::string& folder) override;

  // Where the worker is started from. By default the running program's own
  // folder; a test points it at a folder that holds a test build instead.
  void set_program_folder(std::string folder) { program_folder_ = std::move(folder); }

 protected:
  // Puts a written file in place of the old one; a test makes it fail.
  virtual bool rename_file(const std::string& from, const std::string& to);

 private:
  QWidget* parent_ = nullptr;
  std::optional<std::string> program_folder_;
  // Taken at the first single-copy question and held until the program ends.
  std::unique_ptr<platform::SingleCopy> single_copy_;
  // The share check library, bound at its first use and kept loaded.
  bool share_bound_ = false;
  void* share_fn_ = nullptr;
};

// Splits file content into lines, by the one line splitter: each ends at
// LF, a CR before it is dropped; a last line without a line end still
// counts; nothing after a final LF.
inline std::vector<std::string> split_text_lines(const std::string& content) { return text::split_lines(content); }

}  // namespace zubeto
