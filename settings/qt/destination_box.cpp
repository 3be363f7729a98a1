#include "destination_box.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QKeySequence>

#include "narrow_text.h"

namespace zubeto {

DestinationBox::DestinationBox(QWidget* parent) : QPlainTextEdit(parent) {
  // Read-only for the user: typed text, input-method text, paste, cut,
  // undo and the middle-button paste all find nothing to change. The caret
  // and keyboard selection stay, so that a long path can be looked through.
  setReadOnly(true);
  setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  setUndoRedoEnabled(false);
  setAttribute(Qt::WA_InputMethodEnabled, false);
  setTabChangesFocus(true);
  // Paths have no spaces to break at: wrap anywhere, inside the box.
  setLineWrapMode(QPlainTextEdit::WidgetWidth);
  setWordWrapMode(QTextOption::WrapAnywhere);
  setFocusPolicy(Qt::StrongFocus);
  set_manual_drop(false);
}

void DestinationBox::set_manual_drop(bool on) {
  setAcceptDrops(on);
  viewport()->setAcceptDrops(on);
}

bool DestinationBox::manual_drop() const { return viewport()->acceptDrops(); }

void DestinationBox::show_path(const std::string& path) { setPlainText(from_narrow(path)); }

void DestinationBox::keyPressEvent(QKeyEvent* e) {
  // Moving the caret, selecting and copying are not typing; every key that
  // would put a character in (or take one out) is thrown away here.
  if (e->matches(QKeySequence::Copy) || e->matches(QKeySequence::SelectAll)) {
    QPlainTextEdit::keyPressEvent(e);
    return;
  }
  switch (e->key()) {
    case Qt::Key_Left: case Qt::Key_Right: case Qt::Key_Up: case Qt::Key_Down:
    case Qt::Key_Home: case Qt::Key_End: case Qt::Key_PageUp: case Qt::Key_PageDown:
      QPlainTextEdit::keyPressEvent(e);
      return;
    case Qt::Key_Tab: case Qt::Key_Backtab:
      // Focus moves on, as everywhere in the window.
      QPlainTextEdit::keyPressEvent(e);
      return;
    default:
      e->accept();
      return;
  }
}

void DestinationBox::inputMethodEvent(QInputMethodEvent* e) { e->accept(); }

bool DestinationBox::canInsertFromMimeData(const QMimeData*) const { return false; }

void DestinationBox::insertFromMimeData(const QMimeData*) {}

bool DestinationBox::accepts(const QDropEvent& e) const {
  return manual_drop() && e.mimeData() && on_drag_over && on_drag_over(*e.mimeData(), e.possibleActions()) == 1;
}

void DestinationBox::dragEnterEvent(QDragEnterEvent* e) { dragMoveEvent(e); }

void DestinationBox::dragMoveEvent(QDragMoveEvent* e) {
  if (!accepts(*e)) {
    e->ignore();
    return;
  }
  e->setDropAction(Qt::CopyAction);
  e->accept();
}

void DestinationBox::dropEvent(QDropEvent* e) {
  if (!accepts(*e)) {
    e->ignore();
    return;
  }
  if (on_drop) on_drop(*e->mimeData(), e->possibleActions());
  e->setDropAction(Qt::CopyAction);
  e->accept();
}

}  // namespace zubeto
