#include "frame_box.h"

#include <QPainter>
#include <QStyle>

namespace zubeto {

FrameBox::FrameBox(QWidget* parent) : QGroupBox(parent) {}

QRect FrameBox::box_rect() const {
  const int top = fontMetrics().height() / 2;
  return QRect(0, top, width(), height() - top);
}

void FrameBox::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QRect box = box_rect();
  // An etched line: a dark one with a light one just inside and below it.
  const QRect outer = box.adjusted(0, 0, -2, -2);
  p.setPen(palette().color(QPalette::Dark));
  p.drawRect(outer);
  p.setPen(palette().color(QPalette::Light));
  p.drawRect(outer.translated(1, 1));

  const QString caption = title();
  if (caption.isEmpty()) return;
  // The caption sits on the top line, a little in from the left, on the
  // window's background; "&&" shows as one ampersand.
  const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextShowMnemonic | Qt::TextSingleLine;
  QRect text = fontMetrics().boundingRect(QRect(0, 0, width(), height()), flags, caption);
  text.moveTopLeft(QPoint(8, 0));
  text.adjust(-2, 0, 2, 0);
  p.fillRect(text, palette().color(QPalette::Window));
  style()->drawItemText(&p, text.adjusted(2, 0, -2, 0), flags, palette(), isEnabled(), caption,
                        QPalette::WindowText);
}

}  // namespace zubeto
