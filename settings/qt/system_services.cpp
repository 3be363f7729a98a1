#include "system_services.h"

#include <QMessageBox>
#include <QPushButton>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

#include "file_save.h"
#include "platform/dynlib.h"
#include "platform/process.h"
#include "platform/save_file.h"

namespace zubeto {

namespace fs = std::filesystem;

std::vector<std::string> split_text_lines(const std::string& content) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < content.size()) {
    size_t lf = content.find('\n', start);
    size_t end = lf == std::string::npos ? content.size() : lf;
    std::string line = content.substr(start, end - start);
    if (lf != std::string::npos && !line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    if (lf == std::string::npos) break;
    start = lf + 1;
  }
  return lines;
}

namespace {

// The file is read whole when it is opened and released at once; the lines
// are then handed out one by one.
class FileReader : public TextReader {
 public:
  explicit FileReader(std::vector<std::string> lines) : lines_(std::move(lines)) {}
  bool at_end() const override { return next_ >= lines_.size(); }
  std::string read_line() override { return at_end() ? std::string() : lines_[next_++]; }
  void close() override { next_ = lines_.size(); }

 private:
  std::vector<std::string> lines_;
  size_t next_ = 0;
};

QString from_narrow(const std::string& text) { return QString::fromLocal8Bit(text.data(), qsizetype(text.size())); }

}  // namespace

SystemServices::SystemServices() = default;
SystemServices::~SystemServices() = default;

std::unique_ptr<TextReader> SystemServices::open_text(const std::string& name) {
  std::error_code ec;
  if (fs::is_directory(name, ec)) return nullptr;
  std::ifstream in(name, std::ios::binary);
  if (!in) return nullptr;
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return nullptr;
  return std::make_unique<FileReader>(split_text_lines(content));
}

namespace {

// The real save steps, with the renaming through the services' own call
// (which a test makes fail).
class ViewSaveSteps : public SystemSaveSteps {
 public:
  using Rename = std::function<bool(const std::string&, const std::string&)>;
  explicit ViewSaveSteps(Rename rename) : rename_(std::move(rename)) {}
  bool replace(const std::string& from, const std::string& to) override { return rename_(from, to); }

 private:
  Rename rename_;
};

}  // namespace

bool SystemServices::write_text_files(const std::vector<TextFile>& files, std::string* failed) {
  // Written, flushed and put in place by the settings core's one save
  // procedure (file_save.h), as in every view.
  ViewSaveSteps steps([this](const std::string& from, const std::string& to) { return rename_file(from, to); });
  return save_text_files(steps, files, failed);
}

bool SystemServices::rename_file(const std::string& from, const std::string& to) {
  return platform::replace_file(from, to);
}

bool SystemServices::folder_exists(const std::string& path) {
  std::error_code ec;
  return !path.empty() && fs::is_directory(path, ec);
}

bool SystemServices::delete_file(const std::string& name) {
  std::error_code ec;
  fs::file_status st = fs::symlink_status(name, ec);
  if (ec || !fs::exists(st) || fs::is_directory(st)) return false;
  // Not forced: a file that nobody may write counts as read-only and stays.
  const fs::perms writable = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  if (fs::is_regular_file(st) && (st.permissions() & writable) == fs::perms::none) return false;
  return fs::remove(name, ec) && !ec;
}

int SystemServices::message_box(const std::string& text, const std::string& title, int style) {
  QMessageBox box(parent_);
  box.setWindowTitle(from_narrow(title));
  // Shown as written: paths may hold "<" or "&", and "&&" stays two
  // ampersands (a message box has no mnemonics).
  box.setTextFormat(Qt::PlainText);
  box.setText(from_narrow(text));
  switch (style & 0x70) {
    case kMbCritical: box.setIcon(QMessageBox::Critical); break;
    case kMbQuestion: box.setIcon(QMessageBox::Question); break;
    case kMbExclamation: box.setIcon(QMessageBox::Warning); break;
    case kMbInformation: box.setIcon(QMessageBox::Information); break;
    default: box.setIcon(QMessageBox::NoIcon); break;
  }
  // Button texts in Japanese, like the rest of the window; Yes is the
  // default button of a Yes/No box, as the system's boxes have it.
  if ((style & 0x0F) == kMbYesNo) {
    QPushButton* yes = box.addButton(QStringLiteral("はい(&Y)"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("いいえ(&N)"), QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes ? kAnswerYes : kAnswerNo;
  }
  QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
  box.setDefaultButton(ok);
  box.setEscapeButton(ok);
  box.exec();
  return kAnswerOk;
}

bool SystemServices::start_program(const std::string& command_line, int /*window_style*/) {
  // The started program opens its own window as its desktop shows it; a
  // style number has no counterpart here.
  return platform::program_start(command_line);
}

std::string SystemServices::text_editor_command(const std::string& file) {
  return platform::text_editor_command(file);
}

std::string SystemServices::program_folder() {
  return program_folder_ ? *program_folder_ : platform::program_dir();
}

bool SystemServices::previous_instance() {
  if (!single_copy_) single_copy_ = std::make_unique<platform::SingleCopy>("ZUBETOB");
  return single_copy_->another_running();
}

std::optional<int> SystemServices::share_check(const std::string& path) {
  if (!share_bound_) {
    share_bound_ = true;
    platform::LibHandle lib = platform::lib_load("ZUBETO");
    if (lib) share_fn_ = platform::lib_symbol(lib, "dircheck_dll");
    // The library stays loaded until the program ends.
  }
  if (!share_fn_) return std::nullopt;
  using Fn = int32_t (*)(const char*, int32_t);
  return reinterpret_cast<Fn>(share_fn_)(path.c_str(), static_cast<int32_t>(path.size()));
}

}  // namespace zubeto
