// Layout and event wiring of the window ZBTB.
#include "window.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFont>
#include <QGroupBox>
#include <QIcon>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QTextDocument>

namespace zubeto {

namespace {

constexpr const char* kGothicFace = "ＭＳ ゴシック";

QFont gothic() {
  QFont font(QString::fromUtf8(kGothicFace));
  font.setPointSize(9);
  font.setWeight(QFont::Normal);
  font.setItalic(false);
  font.setUnderline(false);
  font.setStrikeOut(false);
  return font;
}

void place(QWidget* w, const char* name, int left, int top, int width, int height) {
  w->setObjectName(QString::fromLatin1(name));
  w->setGeometry(twips(left), twips(top), twips(width), twips(height));
}

// The window's own icon: one 32 x 32 picture in 24-bit colour, a box with a
// band, drawn here so that the program carries no image file.
QIcon window_icon() {
  QImage image(32, 32, QImage::Format_RGB888);
  image.fill(QColor(0, 0, 128));
  QPainter p(&image);
  p.fillRect(4, 8, 24, 20, QColor(224, 176, 64));
  p.fillRect(4, 8, 24, 5, QColor(160, 112, 32));
  p.fillRect(13, 13, 6, 10, QColor(255, 255, 255));
  p.end();
  return QIcon(QPixmap::fromImage(image));
}

}  // namespace

void install_font_substitutes() {
  const QString face = QString::fromUtf8(kGothicFace);
  if (!QFont::substitutes(face).contains(QStringLiteral("IPAGothic")))
    QFont::insertSubstitution(face, QStringLiteral("IPAGothic"));
}

// ---- List1 ----------------------------------------------------------------

SourceList::SourceList(QWidget* parent) : QListWidget(parent) {
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSortingEnabled(false);
  setDragDropMode(QAbstractItemView::DropOnly);
  // Drop mode manual as laid out: drags over the list reach on_drag_over.
  setAcceptDrops(true);
  viewport()->setAcceptDrops(true);
}

void SourceList::dragEnterEvent(QDragEnterEvent* e) { dragMoveEvent(e); }

namespace {

// The drag-over handler's answer for this event: 1 (copy) only when the
// source lets the data be copied and the handler accepts it.
int source_effect(const SourceList& list, const QDropEvent& e) {
  if (!(e.possibleActions() & Qt::CopyAction) || !e.mimeData() || !list.on_drag_over) return 0;
  return list.on_drag_over(*e.mimeData());
}

}  // namespace

void SourceList::dragMoveEvent(QDragMoveEvent* e) {
  if (source_effect(*this, *e) == 1) {
    e->setDropAction(Qt::CopyAction);
    e->accept();
  } else {
    e->ignore();
  }
}

void SourceList::dropEvent(QDropEvent* e) {
  // A drop arrives only after an accepted drag-over; asking once more keeps
  // anything the drag-over would refuse out of the list whatever the sender.
  if (source_effect(*this, *e) != 1) {
    e->ignore();
    return;
  }
  if (on_drop) on_drop(*e->mimeData());
  e->setDropAction(Qt::CopyAction);
  e->accept();
}

// ---- Text1 ----------------------------------------------------------------

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

void DestinationBox::show_path(const std::string& path) {
  setPlainText(from_narrow(path));
  path_ = path;
  // What the document holds, read back: a text that setPlainText stores
  // otherwise (a line break becomes a paragraph separator) still matches.
  shown_path_ = document()->toRawText();
}

std::string DestinationBox::path() const {
  const QString raw = document()->toRawText();
  if (raw == shown_path_) return path_;
  return to_narrow(raw);
}

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

void DestinationBox::dragEnterEvent(QDragEnterEvent* e) {
  if (!manual_drop() || !(e->possibleActions() & Qt::CopyAction)) {
    e->ignore();
    return;
  }
  e->setDropAction(Qt::CopyAction);
  e->accept();
}

void DestinationBox::dragMoveEvent(QDragMoveEvent* e) {
  if (!manual_drop() || !(e->possibleActions() & Qt::CopyAction)) {
    e->ignore();
    return;
  }
  e->setDropAction(Qt::CopyAction);
  e->accept();
}

void DestinationBox::dropEvent(QDropEvent* e) {
  if (!manual_drop() || !(e->possibleActions() & Qt::CopyAction)) {
    e->ignore();
    return;
  }
  if (on_drop && e->mimeData()) on_drop(*e->mimeData());
  e->setDropAction(Qt::CopyAction);
  e->accept();
}

// ---- ZBTB -----------------------------------------------------------------

ZBTB::ZBTB(Services& services, QWidget* parent) : QWidget(parent), services_(services) {
  install_font_substitutes();
  build();
  wire();
}

void ZBTB::build() {
  setObjectName(QStringLiteral("ZBTB"));
  setWindowTitle(QStringLiteral("ズベト Ver2.01"));
  setWindowIcon(window_icon());
  // Client area 4095 x 6480 twips with its top-left corner at 11280, 4080 on
  // the screen; sizable, with system menu, minimize and maximize buttons.
  setGeometry(twips(11280), twips(4080), twips(4095), twips(6480));
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
  setAttribute(Qt::WA_Moved);  // the place is the window's own, not the system's choice

  const QFont ms = gothic();
  auto button = [&](const char* name, const char* caption, int l, int t, int w, int h, bool own_font) {
    auto* b = new QPushButton(QString::fromUtf8(caption), this);
    place(b, name, l, t, w, h);
    if (own_font) b->setFont(ms);
    b->setAutoDefault(false);
    b->setDefault(false);
    return b;
  };

  // The label is drawn on the window's own surface, behind every control.
  Label1 = new QLabel(QStringLiteral("圧縮処理終了後シャットダウンする。"), this);
  place(Label1, "Label1", 600, 1720, 3375, 255);
  Label1->setFont(ms);

  Command2 = button("Command2", "更新", 120, 120, 2415, 420, true);
  Command4 = button("Command4", "終了", 2520, 120, 1455, 420, true);
  Command5 = button("Command5", "ﾛｸﾞ表示", 120, 600, 1215, 300, true);
  Command6 = button("Command6", "ﾛｸﾞ削除", 1320, 600, 1215, 300, true);
  Command3 = button("Command3", "初期クリア", 2520, 600, 1455, 300, true);

  Frame1 = new QGroupBox(QStringLiteral("圧縮タイプ"), this);
  place(Frame1, "Frame1", 120, 960, 3855, 615);
  Frame1->setFont(ms);

  static const char* const kTypeCaptions[4] = {"LZH", "ZIP", "CAB", "TAR"};
  static const char* const kTypeNames[4] = {"Option1_0", "Option1_1", "Option1_2", "Option1_3"};
  for (int i = 0; i < 4; ++i) {
    Option1[i] = new QRadioButton(QString::fromLatin1(kTypeCaptions[i]), this);
    place(Option1[i], kTypeNames[i], 240 + 960 * i, 1200, 735, 255);
    Option1[i]->setProperty("index", i);
    Option1[i]->setFont(ms);
    Option1[i]->setChecked(false);
  }

  Check1 = new QCheckBox(this);
  place(Check1, "Check1", 240, 1680, 255, 255);
  Check1->setChecked(false);

  Frame2 = new QGroupBox(this);
  place(Frame2, "Frame2", 120, 2040, 3855, 1815);
  Frame2->setFont(ms);

  List1 = new SourceList(this);
  place(List1, "List1", 360, 2280, 3375, 1140);
  List1->setFont(ms);

  Command1 = button("Command1", "削除", 1680, 3480, 855, 255, true);

  Frame3 = new QGroupBox(this);
  place(Frame3, "Frame3", 120, 3960, 3855, 1455);
  Frame3->setFont(ms);

  Text1 = new DestinationBox(this);
  place(Text1, "Text1", 360, 4200, 3375, 1095);
  Text1->setFont(ms);

  // Scratch list of the source drops; it lies under Text1 and is never shown.
  Combo1 = new QComboBox(this);
  place(Combo1, "Combo1", 360, 4200, 3495, 300);
  Combo1->setEditable(true);
  Combo1->setInsertPolicy(QComboBox::InsertAtBottom);
  Combo1->setFocusPolicy(Qt::NoFocus);
  Combo1->hide();

  Command8 = button("Command8", "すぐに圧縮する(更新+実行）", 120, 5520, 3855, 375, false);

  // Drawing order, back to front.
  const std::vector<QWidget*> back_to_front = {
      Label1,   Combo1,   Frame1,   Option1[1], Option1[3], Option1[2], Option1[0],
      Frame2,   List1,    Command1, Frame3,     Command2,   Text1,      Command3,
      Command4, Command5, Command6, Check1,     Command8};
  for (QWidget* w : back_to_front) w->raise();

  // Frames and the label take no focus; the tab order follows the tab
  // indexes of the controls that do.
  for (QWidget* w : std::initializer_list<QWidget*>{Frame1, Frame2, Frame3, Label1}) w->setFocusPolicy(Qt::NoFocus);
  const std::vector<QWidget*> tab = {Command2, Command4,   Command5,   Command6,   Command3, Command1, Command8,
                                     Option1[0], Option1[1], Option1[2], Option1[3], Check1,   List1,    Text1};
  for (size_t i = 0; i + 1 < tab.size(); ++i) setTabOrder(tab[i], tab[i + 1]);
  Command2->setFocus(Qt::OtherFocusReason);
}

void ZBTB::wire() {
  auto* group = new QButtonGroup(this);
  group->setExclusive(true);
  for (int i = 0; i < 4; ++i) {
    group->addButton(Option1[i], i);
    // A program-made selection runs the click handler as a click does.
    connect(Option1[i], &QRadioButton::toggled, this, [this, i](bool on) {
      if (on) Option1_Click(i);
    });
  }
  // A click on the button that is already selected changes nothing but is
  // still a click.
  connect(group, &QButtonGroup::idClicked, this, [this](int i) { Option1_Click(i); });
  connect(Check1, &QCheckBox::toggled, this, [this](bool) { Check1_Click(); });

  connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
  connect(Command3, &QPushButton::clicked, this, [this] { Command3_Click(); });
  connect(Command4, &QPushButton::clicked, this, [this] { Command4_Click(); });
  connect(Command5, &QPushButton::clicked, this, [this] { Command5_Click(); });
  connect(Command6, &QPushButton::clicked, this, [this] { Command6_Click(); });
  connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
  connect(Command8, &QPushButton::clicked, this, [this] { Command8_Click(); });

  List1->on_drag_over = [this](const QMimeData& d) { return List1_OLEDragOver(d); };
  List1->on_drop = [this](const QMimeData& d) { List1_OLEDragDrop(d); };
  Text1->on_drop = [this](const QMimeData& d) { Text1_OLEDragDrop(d); };
}

int ZBTB::selected_type() const {
  for (int i = 0; i < 4; ++i)
    if (Option1[i]->isChecked()) return i;
  return -1;
}

void ZBTB::add_source(const std::string& path) {
  auto* item = new QListWidgetItem(from_narrow(path));
  item->setData(kPathBytesRole, QByteArray(path.data(), static_cast<qsizetype>(path.size())));
  List1->addItem(item);
}

std::vector<std::string> ZBTB::sources() const {
  std::vector<std::string> out;
  for (int i = 0; i < List1->count(); ++i) {
    const QListWidgetItem* item = List1->item(i);
    const QVariant bytes = item->data(kPathBytesRole);
    // The kept bytes, as long as the item still shows the text made from
    // them; an item put in by text alone gives its text in the code page.
    if (bytes.typeId() == QMetaType::QByteArray) {
      const QByteArray b = bytes.toByteArray();
      std::string path(b.constData(), static_cast<size_t>(b.size()));
      if (item->text() == from_narrow(path)) {
        out.push_back(std::move(path));
        continue;
      }
    }
    out.push_back(to_narrow(item->text()));
  }
  return out;
}

std::string ZBTB::destination() const { return Text1->path(); }

int ZBTB::shutdown() const { return Check1->isChecked() ? 1 : 0; }

void ZBTB::select_type(int index) {
  if (index < 0 || index > 3) return;
  if (Option1[index]->isChecked())
    Option1_Click(index);
  else
    Option1[index]->setChecked(true);
}

}  // namespace zubeto
