#include "system_services.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>
#include <QProcessEnvironment>
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

#include "narrow_text.h"
#include "text/lines.h"
#include "window.h"

namespace zubeto {

namespace fs = std::filesystem;

SystemServices::SystemServices() = default;
SystemServices::~SystemServices() = default;

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
    QPushButton* yes = box.addButton(caption_text("はい(&Y)"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(caption_text("いいえ(&N)"), QMessageBox::NoRole);
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

// ---- the controls below the first ones ---------------------------------------

std::string SystemServices::localized(std::string_view utf8) { return core_text(utf8); }

std::optional<std::vector<std::string>> SystemServices::read_tail(const std::string& name, std::size_t max_bytes) {
  std::error_code ec;
  if (fs::is_directory(name, ec)) return std::nullopt;
  std::ifstream in(name, std::ios::binary);
  if (!in) return std::nullopt;
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  const std::streamoff from = size > static_cast<std::streamoff>(max_bytes) ? size - static_cast<std::streamoff>(max_bytes) : 0;
  in.seekg(from);
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  // A line cut by the start of the tail is not a whole line.
  if (from > 0) {
    const std::size_t lf = content.find('\n');
    content.erase(0, lf == std::string::npos ? content.size() : lf + 1);
  }
  return text::split_lines(content);
}

std::string SystemServices::user_config_folder() {
  const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
  if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg)) return to_narrow(xdg);
  const QString home = qEnvironmentVariable("HOME");
  if (home.isEmpty()) return {};
  return to_narrow(home) + "/.config";
}

std::string SystemServices::current_folder() {
  std::error_code ec;
  const fs::path here = fs::current_path(ec);
  return ec ? std::string() : here.string();
}

bool SystemServices::write_file(const std::string& path, const std::string& bytes) {
  std::error_code ec;
  const fs::path target(path);
  fs::create_directories(target.parent_path(), ec);
  const fs::path scratch = target.string() + ".new";
  {
    std::ofstream out(scratch, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    if (!out) {
      fs::remove(scratch, ec);
      return false;
    }
  }
  fs::rename(scratch, target, ec);
  if (ec) fs::remove(scratch, ec);
  return !ec;
}

bool SystemServices::remove_file(const std::string& path) {
  std::error_code ec;
  fs::remove(path, ec);
  return !ec;
}

int SystemServices::run_command(const std::vector<std::string>& argv, std::string* output) {
  if (argv.empty()) return -1;
  QProcess process;
  process.setProcessChannelMode(QProcess::MergedChannels);
  QStringList args;
  for (std::size_t i = 1; i < argv.size(); ++i) args << QString::fromLocal8Bit(argv[i].c_str());
  process.start(QString::fromLocal8Bit(argv[0].c_str()), args);
  if (!process.waitForStarted(10000)) return -1;
  // systemctl answers at once, or not at all when no manager listens.
  if (!process.waitForFinished(30000)) {
    process.kill();
    process.waitForFinished(1000);
    return -1;
  }
  if (output) *output = process.readAll().toStdString();
  return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

std::vector<std::string> SystemServices::choose_sources() {
  // A file dialog chooses files or one folder, never both at once: ask which.
  QMessageBox which(parent_);
  which.setWindowTitle(caption_text("追加…"));
  which.setText(caption_text("ファイルとフォルダのどちらを追加しますか。"));
  QPushButton* files = which.addButton(caption_text("ファイル…"), QMessageBox::AcceptRole);
  QPushButton* folder = which.addButton(caption_text("フォルダ…"), QMessageBox::AcceptRole);
  which.addButton(caption_text("キャンセル"), QMessageBox::RejectRole);
  which.exec();
  std::vector<std::string> out;
  if (which.clickedButton() == files) {
    for (const QString& f : QFileDialog::getOpenFileNames(parent_, caption_text("追加するファイル")))
      out.push_back(to_narrow(f));
  } else if (which.clickedButton() == folder) {
    const QString d = QFileDialog::getExistingDirectory(parent_, caption_text("追加するフォルダ"));
    if (!d.isEmpty()) out.push_back(to_narrow(d));
  }
  return out;
}

std::string SystemServices::choose_archive(const std::string& folder) {
  const QString f = QFileDialog::getOpenFileName(parent_, caption_text("検査する圧縮ファイル"), from_narrow(folder),
                                                 caption_text("圧縮ファイル") + QStringLiteral(" (*.lzh *.zip *.cab *.tar)"));
  return f.isEmpty() ? std::string() : to_narrow(f);
}

}  // namespace zubeto
