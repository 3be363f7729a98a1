// The services of the settings window on the real system.
#pragma once
#include <memory>
#include <optional>
#include <string>

#include "services.h"

class QWidget;

namespace zubeto {

// The files, program starts, single-copy question and share check are the
// settings core's (PlatformServices); this view adds its message boxes, file
// dialogs and language, and the services only this view offers.
class SystemServices : public PlatformServices {
 public:
  SystemServices();
  ~SystemServices() override;

  // The window over which message boxes open (and stay modal).
  void set_dialog_parent(QWidget* parent) { parent_ = parent; }

  bool delete_file(const std::string& name) override;
  int message_box(const std::string& text, const std::string& title, int style) override;
  std::string localized(std::string_view utf8) override;
  std::optional<std::vector<std::string>> read_tail(const std::string& name, std::size_t max_bytes) override;
  std::string user_config_folder() override;
  std::string current_folder() override;
  bool write_file(const std::string& path, const std::string& bytes) override;
  bool remove_file(const std::string& path) override;
  int run_command(const std::vector<std::string>& argv, std::string* output) override;
  std::vector<std::string> choose_sources() override;
  std::string choose_archive(const std::string& folder) override;

 private:
  QWidget* parent_ = nullptr;
};

}  // namespace zubeto
