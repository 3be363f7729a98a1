// List1, the source list: shows the entries the core holds and hands drags
// over it and drops on it to the hooks that ZBTB sets (to the core). Without
// a drag-over hook nothing may be dropped.
#pragma once
#include <QListWidget>
#include <functional>

namespace zubeto {

class SourceList : public QListWidget {
 public:
  explicit SourceList(QWidget* parent);
  // Returns the drop effect: 0 none (refused), 1 copy (accepted).
  std::function<int(const QMimeData&, Qt::DropActions)> on_drag_over;
  // Returns whether the drop was taken.
  std::function<bool(const QMimeData&, Qt::DropActions)> on_drop;
  // The Delete key: removes the selected entries (as Command1 does).
  std::function<void()> on_delete_key;

 protected:
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dragMoveEvent(QDragMoveEvent* e) override;
  void dropEvent(QDropEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
};

}  // namespace zubeto
