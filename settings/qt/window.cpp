// Layout of the window ZBTB, the wiring of its events to the core, and the
// controls set as the core tells.
#include "window.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QFont>
#include <QIcon>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimeEdit>
#include <QTimer>
#include <QTranslator>

#include "mime_drag.h"
#include "narrow_text.h"
#include "restore.h"
#include "window_layout.h"

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

QString caption_text(const char* utf8) { return QCoreApplication::translate("ZBTB", utf8); }

std::string core_text(std::string_view utf8) {
  const std::string source(utf8);
  return to_narrow(QCoreApplication::translate("zubeto", source.c_str()));
}

bool install_translation(const QLocale& locale) {
  // The language the user reads messages in: the first of the locale's
  // interface languages (LANGUAGE, else LC_ALL, LC_MESSAGES, LANG).
  const QStringList ui = locale.uiLanguages();
  const QLocale::Language language = ui.isEmpty() ? locale.language() : QLocale(ui.first()).language();
  if (language == QLocale::Japanese) return false;
  // Made once for the program's life; the application owns it.
  static QTranslator* english = nullptr;
  if (!english) {
    english = new QTranslator(QCoreApplication::instance());
    if (!english->load(QStringLiteral(":/i18n/zubetob_en.qm"))) {
      delete english;
      english = nullptr;
      return false;
    }
  }
  return QCoreApplication::installTranslator(english);
}

void install_font_substitutes() {
  const QString face = QString::fromUtf8(kGothicFace);
  if (!QFont::substitutes(face).contains(QStringLiteral("IPAGothic")))
    QFont::insertSubstitution(face, QStringLiteral("IPAGothic"));
}

// ---- ZBTB -----------------------------------------------------------------

ZBTB::ZBTB(Services& services, QWidget* parent) : QWidget(parent), core_(services, *this) {
  install_font_substitutes();
  build();
  wire();
}

void ZBTB::build() {
  setObjectName(QStringLiteral("ZBTB"));
  setWindowTitle(caption_text("ズベト Ver2.01"));
  setWindowIcon(window_icon());
  // Client area 4095 x 6480 twips with its top-left corner at 11280, 4080 on
  // the screen, and below that the rows of the new controls; sizable, with
  // system menu, minimize and maximize buttons.
  setGeometry(twips(11280), twips(4080), twips(4095), twips(layout::kClientHeight));
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
  setAttribute(Qt::WA_Moved);  // the place is the window's own, not the system's choice

  const QFont ms = gothic();
  auto button = [&](const char* name, const char* caption, int l, int t, int w, int h, bool own_font) {
    auto* b = new QPushButton(caption_text(caption), this);
    place(b, name, l, t, w, h);
    if (own_font) b->setFont(ms);
    b->setAutoDefault(false);
    b->setDefault(false);
    return b;
  };

  // The label is drawn on the window's own surface, behind every control.
  shutdown_label = new QLabel(caption_text("圧縮処理終了後シャットダウンする。"), this);
  place(shutdown_label, "Label1", 600, 1720, 3375, 255);
  shutdown_label->setFont(ms);

  save_button = button("Command2", "更新", 120, 120, 2415, 420, true);
  exit_button = button("Command4", "終了", 2520, 120, 1455, 420, true);
  show_log_button = button("Command5", "ﾛｸﾞ表示", 120, 600, 1215, 300, true);
  delete_log_button = button("Command6", "ﾛｸﾞ削除", 1320, 600, 1215, 300, true);
  clear_button = button("Command3", "初期クリア", 2520, 600, 1455, 300, true);

  type_frame = new FrameBox(this);
  type_frame->setTitle(caption_text("圧縮タイプ"));
  place(type_frame, "Frame1", 120, 960, 3855, 615);
  type_frame->setFont(ms);

  static const char* const kTypeCaptions[4] = {"LZH", "ZIP", "CAB", "TAR"};
  static const char* const kTypeNames[4] = {"Option1_0", "Option1_1", "Option1_2", "Option1_3"};
  for (int i = 0; i < 4; ++i) {
    type_buttons[i] = new QRadioButton(QString::fromLatin1(kTypeCaptions[i]), this);
    place(type_buttons[i], kTypeNames[i], 240 + 960 * i, 1200, 735, 255);
    type_buttons[i]->setProperty("index", i);
    type_buttons[i]->setFont(ms);
    type_buttons[i]->setChecked(false);
  }

  shutdown_box = new QCheckBox(this);
  place(shutdown_box, "Check1", 240, 1680, 255, 255);
  shutdown_box->setChecked(false);

  source_frame = new FrameBox(this);
  place(source_frame, "Frame2", 120, 2040, 3855, 1815);
  source_frame->setFont(ms);

  source_list = new SourceList(this);
  place(source_list, "List1", 360, 2280, 3375, 1140);
  source_list->setFont(ms);

  delete_button = button("Command1", "削除", 1680, 3480, 855, 255, true);

  destination_frame = new FrameBox(this);
  place(destination_frame, "Frame3", 120, 3960, 3855, 1455);
  destination_frame->setFont(ms);

  destination_box = new DestinationBox(this);
  place(destination_box, "Text1", 360, 4200, 3375, 1095);
  destination_box->setFont(ms);

  // Laid out as the system has it, under Text1, and never shown: the core
  // keeps the scratch list of the source drags as plain data.
  scratch_combo = new QComboBox(this);
  place(scratch_combo, "Combo1", 360, 4200, 3495, 300);
  scratch_combo->setEditable(true);
  scratch_combo->setInsertPolicy(QComboBox::InsertAtBottom);
  scratch_combo->setFocusPolicy(Qt::NoFocus);
  scratch_combo->hide();

  run_now_button = button("Command8", "すぐに圧縮する(更新+実行）", 120, 5520, 3855, 375, false);

  // Drawing order, back to front.
  const std::vector<QWidget*> back_to_front = {
      shutdown_label,  scratch_combo,  type_frame,     type_buttons[1],   type_buttons[3],
      type_buttons[2], type_buttons[0], source_frame,  source_list,       delete_button,
      destination_frame, save_button,  destination_box, clear_button,     exit_button,
      show_log_button, delete_log_button, shutdown_box, run_now_button};
  for (QWidget* w : back_to_front) w->raise();

  build_new_controls(ms);

  // Frames and the label take no focus; the tab order follows the tab
  // indexes of the controls that do.
  for (QWidget* w : std::initializer_list<QWidget*>{type_frame, source_frame, destination_frame, shutdown_label})
    w->setFocusPolicy(Qt::NoFocus);
  const std::vector<QWidget*> tab = {save_button,     exit_button,     show_log_button, delete_log_button,
                                     clear_button,    delete_button,   run_now_button,  type_buttons[0],
                                     type_buttons[1], type_buttons[2], type_buttons[3], shutdown_box,
                                     source_list,     destination_box,
                                     // then the new rows, left to right, top to bottom
                                     keep_count,      schedule_box,    schedule_time,   add_button,
                                     verify_button};
  for (size_t i = 0; i + 1 < tab.size(); ++i) setTabOrder(tab[i], tab[i + 1]);

  // What a screen reader says for the controls without a caption of their own.
  for (const layout::AccessibleName& a : layout::kAccessibleNames)
    if (auto* w = findChild<QWidget*>(QString::fromLatin1(a.control), Qt::FindDirectChildrenOnly))
      w->setAccessibleName(caption_text(a.name));
  save_button->setFocus(Qt::OtherFocusReason);
}

void ZBTB::build_new_controls(const QFont& face) {
  for (const layout::Control& c : layout::kNewControls) {
    QWidget* w = nullptr;
    switch (c.kind) {
      case layout::Kind::label:
      case layout::Kind::text: {
        auto* l = new QLabel(c.caption[0] ? caption_text(c.caption) : QString(), this);
        l->setFocusPolicy(Qt::NoFocus);
        if (c.kind == layout::Kind::text) {
          l->setWordWrap(true);
          l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
          // A screen reader reads the text as it changes.
          l->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
          l->setFocusPolicy(Qt::NoFocus);
        }
        w = l;
        break;
      }
      case layout::Kind::number: {
        auto* n = new QSpinBox(this);
        n->setRange(0, kMostKept);
        n->setSpecialValueText(caption_text("すべて"));
        w = n;
        break;
      }
      case layout::Kind::check:
        w = new QCheckBox(caption_text(c.caption), this);
        break;
      case layout::Kind::time: {
        auto* t = new QTimeEdit(this);
        t->setDisplayFormat(QStringLiteral("HH:mm"));
        w = t;
        break;
      }
      case layout::Kind::button: {
        auto* b = new QPushButton(caption_text(c.caption), this);
        b->setAutoDefault(false);
        b->setDefault(false);
        w = b;
        break;
      }
    }
    place(w, c.name, c.left, c.top, c.width, c.height);
    w->setFont(face);
    if (c.accessible[0]) w->setAccessibleName(caption_text(c.accessible));
  }
  auto find = [this](const char* name) { return findChild<QWidget*>(QString::fromLatin1(name), Qt::FindDirectChildrenOnly); };
  keep_label = static_cast<QLabel*>(find("KeepLabel"));
  keep_count = static_cast<QSpinBox*>(find("KeepCount"));
  schedule_box = static_cast<QCheckBox*>(find("ScheduleCheck"));
  schedule_time = static_cast<QTimeEdit*>(find("ScheduleTime"));
  schedule_next = static_cast<QLabel*>(find("ScheduleNext"));
  add_button = static_cast<QPushButton*>(find("AddButton"));
  verify_button = static_cast<QPushButton*>(find("VerifyButton"));
  status_line = static_cast<QLabel*>(find("StatusLine"));
  keep_label->setBuddy(keep_count);
  schedule_time->setTime(QTime(2, 30));

  // The list's own menu and keys: add, and remove what is selected.
  auto* add = new QAction(caption_text("追加…"), source_list);
  auto* remove = new QAction(caption_text("削除"), source_list);
  source_list->addAction(add);
  source_list->addAction(remove);
  source_list->setContextMenuPolicy(Qt::ActionsContextMenu);
  connect(add, &QAction::triggered, this, [this] { core_.add_click(); });
  connect(remove, &QAction::triggered, delete_button, &QPushButton::click);
  source_list->on_delete_key = [this] { delete_button->click(); };

  run_poll = new QTimer(this);
  run_poll->setInterval(1000);
  connect(run_poll, &QTimer::timeout, this, [this] {
    if (!core_.poll_run()) run_poll->stop();
  });
}

void ZBTB::follow_run() {
  if (core_.awaiting_run()) run_poll->start();
}

void ZBTB::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  // The status line is read again whenever the window gets the focus.
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) core_.refresh_status();
}

void ZBTB::wire() {
  auto* group = new QButtonGroup(this);
  group->setExclusive(true);
  for (int i = 0; i < 4; ++i) group->addButton(type_buttons[i], i);
  // A click on the button that is already selected changes nothing but is
  // still a click.
  connect(group, &QButtonGroup::idClicked, this, [this](int i) { core_.type_click(i); });
  // A change made otherwise than by the core (keyboard arrows move the
  // selection) is a click as well.
  for (int i = 0; i < 4; ++i)
    connect(type_buttons[i], &QRadioButton::toggled, this, [this, i](bool on) {
      if (on && !showing_) core_.type_click(i);
    });
  connect(shutdown_box, &QCheckBox::toggled, this, [this](bool on) {
    if (!showing_) core_.shutdown_click(on);
  });

  connect(delete_button, &QPushButton::clicked, this, [this] {
    std::vector<std::size_t> selected;
    for (int i = 0; i < source_list->count(); ++i)
      if (source_list->item(i)->isSelected()) selected.push_back(static_cast<std::size_t>(i));
    // No removal may pass the selection on to the entry that moves up.
    source_list->setCurrentItem(nullptr);
    source_list->clearSelection();
    core_.delete_entries(selected);
  });
  connect(save_button, &QPushButton::clicked, this, [this] { core_.save(); });
  connect(run_now_button, &QPushButton::clicked, this, [this] {
    core_.run_now();
    follow_run();
  });
  connect(keep_count, &QSpinBox::valueChanged, this, [this](int n) {
    if (!showing_) core_.keep_change(n);
  });
  connect(schedule_box, &QCheckBox::clicked, this, [this](bool on) {
    const QTime t = schedule_time->time();
    core_.schedule_change(on, schedule::Time{t.hour(), t.minute()});
  });
  connect(schedule_time, &QTimeEdit::editingFinished, this, [this] {
    const QTime t = schedule_time->time();
    const std::optional<schedule::Time>& set = core_.daily_run();
    if (schedule_box->isChecked() && (!set || set->hour != t.hour() || set->minute != t.minute()))
      core_.schedule_change(true, schedule::Time{t.hour(), t.minute()});
  });
  connect(add_button, &QPushButton::clicked, this, [this] { core_.add_click(); });
  connect(verify_button, &QPushButton::clicked, this, [this] {
    core_.verify_click();
    follow_run();
  });
  connect(clear_button, &QPushButton::clicked, this, [this] { core_.clear(); });
  connect(exit_button, &QPushButton::clicked, this, [this] { core_.exit(); });
  connect(show_log_button, &QPushButton::clicked, this, [this] { core_.show_log(); });
  connect(delete_log_button, &QPushButton::clicked, this, [this] { core_.delete_log(); });

  source_list->on_drag_over = [this](const QMimeData& d, Qt::DropActions offered) {
    return static_cast<int>(core_.source_drag_over(drag_data(d, offered)));
  };
  source_list->on_drop = [this](const QMimeData& d, Qt::DropActions offered) {
    return core_.source_drop(drag_data(d, offered));
  };
  destination_box->on_drag_over = [this](const QMimeData& d, Qt::DropActions offered) {
    return static_cast<int>(core_.destination_drag_over(drag_data(d, offered)));
  };
  destination_box->on_drop = [this](const QMimeData& d, Qt::DropActions offered) {
    core_.destination_drop(drag_data(d, offered));
  };
}

int ZBTB::selected_type() const {
  for (int i = 0; i < 4; ++i)
    if (type_buttons[i]->isChecked()) return i;
  return -1;
}

// ---- SettingsView ---------------------------------------------------------

void ZBTB::make_topmost() {
  // Above every window that is not topmost, in its laid-out place and size.
  // Changing the flags re-creates the window, which would take the laid-out
  // place for the frame's corner; the client area keeps it.
  const QRect laid_out = geometry();
  setWindowFlag(Qt::WindowStaysOnTopHint, true);
  setGeometry(laid_out);
}

void ZBTB::show_type(int type) {
  if (type < 0 || type > 3) return;
  showing_ = true;
  type_buttons[static_cast<size_t>(type)]->setChecked(true);
  showing_ = false;
}

void ZBTB::show_shutdown(bool on) {
  showing_ = true;
  shutdown_box->setChecked(on);
  showing_ = false;
}

void ZBTB::show_destination(const std::string& path) { destination_box->show_path(path); }

void ZBTB::append_source(const std::string& path) { source_list->addItem(from_narrow(path)); }

void ZBTB::remove_source(std::size_t index) { delete source_list->takeItem(static_cast<int>(index)); }

void ZBTB::enable_destination_drops(bool on) { destination_box->set_manual_drop(on); }

void ZBTB::show_frame_captions(const std::string& sources, const std::string& destination) {
  source_frame->setTitle(from_narrow(sources));
  destination_frame->setTitle(from_narrow(destination));
}

void ZBTB::close_window() { close(); }

void ZBTB::show_keep(int count) {
  showing_ = true;
  keep_count->setValue(count);
  showing_ = false;
}

void ZBTB::show_status(const std::string& text) {
  status_line->setText(from_narrow(text));
  status_line->setAccessibleDescription(status_line->text());
}

void ZBTB::show_schedule(bool on, int hour, int minute) {
  showing_ = true;
  schedule_box->setChecked(on);
  if (on) schedule_time->setTime(QTime(hour, minute));
  showing_ = false;
}

void ZBTB::show_next_run(const std::string& text) { schedule_next->setText(from_narrow(text)); }

}  // namespace zubeto
