// Text1, the destination box: shows the destination the core holds. Nothing
// typed reaches it (keys, input-method text, paste, cut, undo). While its
// drop mode is manual, drags over it and drops on it go to the hooks that
// ZBTB sets (to the core); the box itself never inserts dropped data.
#pragma once
#include <QPlainTextEdit>
#include <functional>
#include <string>

namespace zubeto {

class DestinationBox : public QPlainTextEdit {
 public:
  explicit DestinationBox(QWidget* parent);
  void set_manual_drop(bool on);
  bool manual_drop() const;
  // Shows a path given as bytes in the narrow code page.
  void show_path(const std::string& path);
  // Returns the drop effect: 0 none (refused), 1 copy (accepted).
  std::function<int(const QMimeData&, Qt::DropActions)> on_drag_over;
  std::function<void(const QMimeData&, Qt::DropActions)> on_drop;

 protected:
  void keyPressEvent(QKeyEvent* e) override;
  void inputMethodEvent(QInputMethodEvent* e) override;
  bool canInsertFromMimeData(const QMimeData* source) const override;
  void insertFromMimeData(const QMimeData* source) override;
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dragMoveEvent(QDragMoveEvent* e) override;
  void dropEvent(QDropEvent* e) override;

 private:
  bool accepts(const QDropEvent& e) const;
};

}  // namespace zubeto
