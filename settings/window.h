// The one window of the settings program, ZBTB: its controls, laid out in
// twips as the system draws them, and the wiring of their events to the
// handlers. The handlers live beside the rules they follow: start-up in
// startup.cpp, the housekeeping buttons in commands.cpp.
//
// Controls are public members named as the system names them; each also
// carries that name as its object name ("Option1_0" .. "Option1_3" for the
// option group, which also carry the property "index").
#pragma once
#include <QPlainTextEdit>
#include <QListWidget>
#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "services.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QMimeData;
class QPushButton;
class QRadioButton;

namespace zubeto {

struct RestoredJob;

// Text in the system's narrow code page <-> the window's text.
inline QString from_narrow(const std::string& text) {
  return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}
inline std::string to_narrow(const QString& text) { return text.toLocal8Bit().toStdString(); }

// A path as the window holds it: its exact bytes, which are what a job
// saves, beside the text it is shown as. A name that is not valid in the
// code page (a file written by another system) shows with replacement
// characters, and that text, read back, would name a path that does not
// exist; the bytes never pass through the shown text.
//
// List1 items carry the bytes under this role (see ZBTB::add_source).
inline constexpr int kPathBytesRole = Qt::UserRole;

// Twips to pixels (15 twips a pixel), to the nearest pixel.
constexpr int twips(int t) { return (t + 7) / 15; }

// List1: the source list. Drags over it and drops on it go to the handlers
// set here (without a drag-over handler nothing may be dropped). A drop is
// always a copy: a drag whose source offers only to move is refused, so no
// dropped file is ever moved or deleted.
class SourceList : public QListWidget {
 public:
  explicit SourceList(QWidget* parent);
  // Returns the drop effect: 0 none (refused), 1 copy (accepted).
  std::function<int(const QMimeData&)> on_drag_over;
  std::function<void(const QMimeData&)> on_drop;

 protected:
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dragMoveEvent(QDragMoveEvent* e) override;
  void dropEvent(QDropEvent* e) override;
};

// Text1: the destination box. Nothing typed reaches it (keys, input-method
// text, paste, cut, undo): its text is set only by the program. While its
// drop mode is manual, any data may be dropped on it (as a copy, never a
// move: a drag that offers only to move is refused) and goes to on_drop; the
// box itself never inserts dropped data.
class DestinationBox : public QPlainTextEdit {
 public:
  explicit DestinationBox(QWidget* parent);
  void set_manual_drop(bool on);
  bool manual_drop() const;
  // Shows the path and keeps its exact bytes.
  void show_path(const std::string& path);
  // The path shown: the bytes given to show_path while the box still shows
  // what it showed then, otherwise the box's text in the code page. The
  // text is the document's raw text, not toPlainText(): that one gives a
  // no-break space back as a plain space and a line separator as a line
  // break, and the saved destination would name another folder than the
  // one shown.
  std::string path() const;
  std::function<void(const QMimeData&)> on_drop;

 protected:
  void keyPressEvent(QKeyEvent* e) override;
  void inputMethodEvent(QInputMethodEvent* e) override;
  bool canInsertFromMimeData(const QMimeData* source) const override;
  void insertFromMimeData(const QMimeData* source) override;
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dragMoveEvent(QDragMoveEvent* e) override;
  void dropEvent(QDropEvent* e) override;

 private:
  std::string path_;    // the bytes given to show_path
  QString shown_path_;  // the raw text the box showed for them
};

class ZBTB : public QWidget {
 public:
  // The window uses the services for every file, dialog and program start.
  explicit ZBTB(Services& services, QWidget* parent = nullptr);

  // The load sequence (startup.cpp). False when another copy of the program
  // runs: then this copy must end without showing the window.
  bool Form_Load();

  // Changed flag: 1 when the job shown differs from the one last saved or
  // restored. Saving sets it to 0 after a complete save.
  int16_t changed() const { return changed_; }
  void set_changed(int16_t value) { changed_ = value; }

  // The job as the window shows it.
  int selected_type() const;  // index of the selected Option1 button, -1 when none
  std::vector<std::string> sources() const;
  std::string destination() const;
  int shutdown() const;  // Check1: 0 or 1

  // Selects Option1(index) as the program does; its click handler runs.
  void select_type(int index);
  // Puts a restored job into the controls (start-up).
  void apply_job(const RestoredJob& job);
  // Appends a source to List1, shown as text, its exact bytes kept.
  void add_source(const std::string& path);

  Services& services() { return services_; }

  // How a save ended.
  enum class SaveOutcome { saved, drive_refused, empty_refused, write_failed };
  // The save procedure of Command2 and Command8 (window_save.cpp); they
  // differ only in the text shown for a job without sources or destination.
  SaveOutcome save_job(const std::string& empty_job_message);

  // Save (Command2) and save-and-run-now (Command8) (window_save.cpp).
  void Command2_Click();
  void Command8_Click();

  // Drag-and-drop (window_drop.cpp). The drag-over handler returns the drop
  // effect: 0 none (refused), 1 copy (accepted).
  int List1_OLEDragOver(const QMimeData& data);
  void List1_OLEDragDrop(const QMimeData& data);
  void Text1_OLEDragDrop(const QMimeData& data);

  // Event handlers (commands.cpp).
  void Command1_Click();
  void Command3_Click();
  void Command4_Click();
  void Command5_Click();
  void Command6_Click();
  void Option1_Click(int index);
  void Check1_Click();

  QPushButton* Command1;
  QPushButton* Command2;
  QPushButton* Command3;
  QPushButton* Command4;
  QPushButton* Command5;
  QPushButton* Command6;
  QPushButton* Command8;
  std::array<QRadioButton*, 4> Option1;
  QCheckBox* Check1;
  QLabel* Label1;
  SourceList* List1;
  DestinationBox* Text1;
  QComboBox* Combo1;
  QGroupBox* Frame1;
  QGroupBox* Frame2;
  QGroupBox* Frame3;

 private:
  void build();
  void wire();

  Services& services_;
  int16_t changed_ = 0;
};

// Makes the face the window's captions are set in, "ＭＳ ゴシック", resolve
// to the Japanese gothic font that Debian ships. Idempotent.
void install_font_substitutes();

}  // namespace zubeto
