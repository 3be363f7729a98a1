#include "source_list.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>

namespace zubeto {

SourceList::SourceList(QWidget* parent) : QListWidget(parent) {
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSortingEnabled(false);
  setDragDropMode(QAbstractItemView::DropOnly);
  // Drop mode manual as laid out: drags over the list reach on_drag_over.
  setAcceptDrops(true);
  viewport()->setAcceptDrops(true);
}

void SourceList::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Delete && e->modifiers() == Qt::NoModifier && on_delete_key) {
    on_delete_key();
    e->accept();
    return;
  }
  QListWidget::keyPressEvent(e);
}

void SourceList::dragEnterEvent(QDragEnterEvent* e) { dragMoveEvent(e); }

void SourceList::dragMoveEvent(QDragMoveEvent* e) {
  if (e->mimeData() && on_drag_over && on_drag_over(*e->mimeData(), e->possibleActions()) == 1) {
    e->setDropAction(Qt::CopyAction);
    e->accept();
  } else {
    e->ignore();
  }
}

void SourceList::dropEvent(QDropEvent* e) {
  if (!e->mimeData() || !on_drop || !on_drop(*e->mimeData(), e->possibleActions())) {
    e->ignore();
    return;
  }
  e->setDropAction(Qt::CopyAction);
  e->accept();
}

}  // namespace zubeto
