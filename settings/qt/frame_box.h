// Frame1 to Frame3: a drawn box with its caption set into the top line, as
// the system draws a frame. The box takes the frame's whole rectangle, its
// top line running through the middle of the caption, so that it encloses
// the controls lying inside that rectangle (they are the window's children,
// not the frame's: the frame encloses by place only).
#pragma once
#include <QGroupBox>

namespace zubeto {

class FrameBox : public QGroupBox {
 public:
  explicit FrameBox(QWidget* parent);
  // The rectangle of the drawn box, in the frame's own coordinates: its top
  // line lies half a caption line below the frame's top.
  QRect box_rect() const;

 protected:
  void paintEvent(QPaintEvent* e) override;
};

}  // namespace zubeto
