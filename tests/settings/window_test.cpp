// The real window ZBTB, offscreen, with scripted services: its layout, its
// start-up and its housekeeping commands, and the changed flag through all
// of them.
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QInputMethodEvent>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QTimer>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest/QtTest>
#include <memory>

#include "system_services.h"
#include "window_rig.h"

using namespace zubeto;

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

  // ---- layout ---------------------------------------------------------------

  void controls_data();
  void controls();
  void window_itself();
  void fonts_resolve_to_japanese_gothic();
  void no_default_or_cancel_button();
  void drawing_order_back_to_front();
  void frames_enclose_their_controls_data();
  void frames_enclose_their_controls();
  void tab_order_from_the_opened_window();
  void resizing_moves_nothing();

  // ---- start-up -------------------------------------------------------------

  void startup_without_job_file_shows_defaults();
  void startup_with_unreadable_job_file_shows_defaults();
  void startup_restores_the_saved_job_data();
  void startup_restores_the_saved_job();
  void startup_restores_response_file_sources();
  void startup_missing_response_file_restores_the_rest();
  void startup_unusable_lines_still_open_the_window();
  void second_copy_ends_before_showing_anything();
  void frame_captions_show_one_ampersand();

  // ---- housekeeping ---------------------------------------------------------

  void delete_removes_only_the_selected_entry_data();
  void delete_removes_only_the_selected_entry();
  void delete_walk_removes_every_selected_entry();
  void clear_resets_the_job_and_marks_it_changed();
  void exit_asks_only_when_changed_data();
  void exit_asks_only_when_changed();
  void title_bar_close_never_asks();
  void show_log_starts_the_editor();
  void show_log_says_so_when_no_editor_starts();
  void delete_log_is_silent();
  void option_and_check_clicks_mark_the_job_changed();
  void options_are_exclusive();
  void typing_into_destination_changes_nothing_data();
  void typing_into_destination_changes_nothing();
  void input_method_and_paste_change_nothing();
  void destination_keeps_accepting_drops();
  void source_list_forwards_drags_and_drops();

  // ---- the real message box -------------------------------------------------

  void message_box_styles_data();
  void message_box_styles();
};

// Object name, kind, caption, place and size in twips, and whether the
// control is set in the window's gothic face.
void WindowTest::controls_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<QString>("kind");
  QTest::addColumn<QString>("caption");
  QTest::addColumn<QRect>("twip_rect");
  QTest::addColumn<bool>("gothic");
  auto row = [](const char* name, const char* kind, const char* caption, int l, int t, int w, int h, bool g) {
    QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(kind) << QString::fromUtf8(caption)
                        << QRect(l, t, w, h) << g;
  };
  row("Command2", "QPushButton", "更新", 120, 120, 2415, 420, true);
  row("Command4", "QPushButton", "終了", 2520, 120, 1455, 420, true);
  row("Command5", "QPushButton", "ﾛｸﾞ表示", 120, 600, 1215, 300, true);
  row("Command6", "QPushButton", "ﾛｸﾞ削除", 1320, 600, 1215, 300, true);
  row("Command3", "QPushButton", "初期クリア", 2520, 600, 1455, 300, true);
  row("Frame1", "QGroupBox", "圧縮タイプ", 120, 960, 3855, 615, true);
  row("Option1_0", "QRadioButton", "LZH", 240, 1200, 735, 255, true);
  row("Option1_1", "QRadioButton", "ZIP", 1200, 1200, 735, 255, true);
  row("Option1_2", "QRadioButton", "CAB", 2160, 1200, 735, 255, true);
  row("Option1_3", "QRadioButton", "TAR", 3120, 1200, 735, 255, true);
  row("Check1", "QCheckBox", "", 240, 1680, 255, 255, false);
  row("Label1", "QLabel", "圧縮処理終了後シャットダウンする。", 600, 1720, 3375, 255, true);
  row("Frame2", "QGroupBox", "ここにﾌｧｲﾙかﾌｧﾙﾀﾞをD&&Dする", 120, 2040, 3855, 1815, true);
  row("List1", "QListWidget", "", 360, 2280, 3375, 1140, true);
  row("Command1", "QPushButton", "削除", 1680, 3480, 855, 255, true);
  row("Frame3", "QGroupBox", "ここに圧縮先ﾌｫﾙﾀﾞをD&&Dする", 120, 3960, 3855, 1455, true);
  row("Text1", "QPlainTextEdit", "", 360, 4200, 3375, 1095, true);
  row("Combo1", "QComboBox", "", 360, 4200, 3495, 300, false);
  row("Command8", "QPushButton", "すぐに圧縮する(更新+実行）", 120, 5520, 3855, 375, false);
}

void WindowTest::controls() {
  QFETCH(QString, name);
  QFETCH(QString, kind);
  QFETCH(QString, caption);
  QFETCH(QRect, twip_rect);
  QFETCH(bool, gothic);
  Rig rig;
  QVERIFY(rig.open());
  QWidget* w = rig.window->findChild<QWidget*>(name, Qt::FindDirectChildrenOnly);
  QVERIFY2(w, "no control of that object name directly on the window");
  QVERIFY(w->inherits(kind.toLatin1().constData()));
  QString shown;
  if (auto* b = qobject_cast<QAbstractButton*>(w)) shown = b->text();
  if (auto* g = qobject_cast<QGroupBox*>(w)) shown = g->title();
  if (auto* l = qobject_cast<QLabel*>(w)) shown = l->text();
  QCOMPARE(shown, caption);
  const QRect px((twip_rect.x() + 7) / 15, (twip_rect.y() + 7) / 15, twip_rect.width() / 15, twip_rect.height() / 15);
  QCOMPARE(w->geometry(), px);
  QCOMPARE(w->font().family() == QString::fromUtf8("ＭＳ ゴシック"), gothic);
  if (gothic) QCOMPARE(w->font().pointSize(), 9);
  QCOMPARE(w->isVisible(), name != QLatin1String("Combo1"));
}

void WindowTest::window_itself() {
  Rig rig;
  ZBTB& w = *rig.window;
  QCOMPARE(w.objectName(), QStringLiteral("ZBTB"));
  QCOMPARE(w.windowTitle(), QString::fromUtf8("ズベト Ver2.01"));
  // 11280, 4080; 4095 x 6480 twips, and the rows of the new controls below
  // (window_new_controls_test): 4095 x 7995 twips.
  QCOMPARE(w.geometry(), QRect(752, 272, 273, 533));
  QVERIFY(!w.windowIcon().isNull());
  QVERIFY(w.windowIcon().availableSizes().contains(QSize(32, 32)));
  QVERIFY(w.windowFlags() & Qt::WindowMaximizeButtonHint);
  QVERIFY(w.windowFlags() & Qt::WindowMinimizeButtonHint);
  QVERIFY(!(w.windowFlags() & Qt::WindowStaysOnTopHint));  // the load makes it so
  QCOMPARE(w.changed(), 0);
  QVERIFY(rig.open());
  QVERIFY(w.windowFlags() & Qt::WindowStaysOnTopHint);
  QCOMPARE(w.geometry(), QRect(752, 272, 273, 533));
  // Option group: four buttons, one group, indexes as properties.
  for (int i = 0; i < 4; ++i) QCOMPARE(w.type_buttons[i]->property("index").toInt(), i);
  QVERIFY(w.shutdown_box->text().isEmpty());
  QCOMPARE(w.source_list->selectionMode(), QAbstractItemView::SingleSelection);
  QVERIFY(!w.source_list->isSortingEnabled());
  QVERIFY(w.scratch_combo->isEditable());
  // No control is the child of another: the frames enclose by place only.
  for (QWidget* c : w.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
    if (!c->objectName().isEmpty()) QCOMPARE(c->parentWidget(), &w);
  QCOMPARE(w.type_frame->findChildren<QRadioButton*>().size(), 0);
}

void WindowTest::fonts_resolve_to_japanese_gothic() {
  Rig rig;
  QVERIFY(rig.open());
  const QFont f = rig.window->show_log_button->font();
  QCOMPARE(QFontInfo(f).family(), QStringLiteral("IPAGothic"));
  QFontMetrics m(f);
  for (QChar c : QString::fromUtf8("更新ﾛｸﾞ削除圧縮タイプ")) QVERIFY2(m.inFont(c), qPrintable(QString(c)));
}

void WindowTest::no_default_or_cancel_button() {
  Rig rig;
  QVERIFY(rig.open());
  for (QPushButton* b : rig.window->findChildren<QPushButton*>()) {
    QVERIFY2(!b->isDefault(), qPrintable(b->objectName()));
    QVERIFY2(!b->autoDefault(), qPrintable(b->objectName()));
  }
  rig.window->set_changed(1);
  // Enter and Escape mean nothing: no button is pressed, the window stays.
  QTest::keyClick(rig.window->source_list, Qt::Key_Escape);
  QTest::keyClick(rig.window->source_list, Qt::Key_Return);
  QTest::keyClick(rig.window.get(), Qt::Key_Escape);
  QVERIFY(rig.window->isVisible());
  QVERIFY(rig.services.messages.empty());
}

// The frame's box as drawn: its top line runs through the caption and lies
// above every control the frame encloses, its bottom line below them.
void WindowTest::frames_enclose_their_controls_data() {
  QTest::addColumn<QString>("frame");
  QTest::addColumn<QStringList>("inside");
  QTest::newRow("Frame1") << QStringLiteral("Frame1") << qlist({"Option1_0", "Option1_1", "Option1_2", "Option1_3"});
  QTest::newRow("Frame2") << QStringLiteral("Frame2") << qlist({"List1", "Command1"});
  QTest::newRow("Frame3") << QStringLiteral("Frame3") << qlist({"Text1"});
}

void WindowTest::frames_enclose_their_controls() {
  QFETCH(QString, frame);
  QFETCH(QStringList, inside);
  Rig rig;
  QVERIFY(rig.open());
  ZBTB& w = *rig.window;
  const QImage shot = w.grab().toImage();
  const QRgb background = shot.pixel(5, twips(6100));  // below Command8: no control
  auto* f = w.findChild<QGroupBox*>(frame);
  QVERIFY(f);
  const QRect box = f->geometry();
  // Near the right edge, where no caption is drawn.
  const int x = box.right() - 4;
  int top_line = -1, bottom_line = -1;
  for (int y = box.top(); y <= box.bottom() && top_line < 0; ++y)
    if (shot.pixel(x, y) != background) top_line = y;
  for (int y = box.bottom(); y >= box.top() && bottom_line < 0; --y)
    if (shot.pixel(x, y) != background) bottom_line = y;
  QVERIFY2(top_line >= 0 && bottom_line > top_line, "no frame drawn");
  // The caption sits on the top line: the line passes through its height.
  const int caption_height = QFontMetrics(f->font()).height();
  QVERIFY2(top_line > box.top() && top_line < box.top() + caption_height, qPrintable(QString::number(top_line)));
  for (const QString& name : inside) {
    auto* c = w.findChild<QWidget*>(name);
    QVERIFY(c);
    QVERIFY2(c->geometry().top() > top_line,
             qPrintable(QStringLiteral("%1 starts at %2, the box at %3").arg(name).arg(c->geometry().top()).arg(top_line)));
    QVERIFY2(c->geometry().bottom() < bottom_line, qPrintable(name));
  }
}

void WindowTest::drawing_order_back_to_front() {
  Rig rig;
  QVERIFY(rig.open());
  QStringList order;
  for (QObject* o : rig.window->children())
    if (o->isWidgetType() && !o->objectName().isEmpty()) order << o->objectName();
  const QStringList want = qlist({"Label1", "Combo1", "Frame1", "Option1_1", "Option1_3", "Option1_2", "Option1_0",
                                  "Frame2", "List1", "Command1", "Frame3", "Command2", "Text1", "Command3",
                                  "Command4", "Command5", "Command6", "Check1", "Command8",
                                  // the new controls, below all of these, in the core's table order
                                  "KeepLabel", "KeepCount", "ScheduleCheck", "ScheduleTime", "ScheduleNext",
                                  "AddButton", "VerifyButton", "StatusLine"});
  QCOMPARE(order, want);
  // What shows where two controls overlap: Text1 covers the hidden Combo1.
  QCOMPARE(rig.window->childAt(rig.window->destination_box->geometry().topLeft() + QPoint(3, 3))->parentWidget(),
           static_cast<QWidget*>(rig.window->destination_box));
}

void WindowTest::tab_order_from_the_opened_window() {
  Rig rig;
  QVERIFY(rig.open());
  QVERIFY(QTest::qWaitForWindowActive(rig.window.get()));
  QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(rig.window->save_button));
  QStringList visited;
  for (int i = 0; i < 18; ++i) {
    QWidget* f = QApplication::focusWidget();
    while (f && f->parentWidget() != rig.window.get()) f = f->parentWidget();  // a spin box's line edit
    visited << (f ? f->objectName() : QString());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  }
  // The option group is one stop, at its selected button; frames, the label
  // and the hidden Combo1 are passed over. The new controls' rows follow
  // the first controls (the time box takes Tab once for its minutes).
  QCOMPARE(visited, qlist({"Command2", "Command4", "Command5", "Command6", "Command3", "Command1", "Command8",
                           "Option1_0", "Check1", "List1", "Text1", "KeepCount", "ScheduleCheck", "ScheduleTime",
                           "ScheduleTime", "AddButton", "VerifyButton", "Command2"}));
}

void WindowTest::resizing_moves_nothing() {
  Rig rig;
  QVERIFY(rig.open());
  QMap<QString, QRect> before;
  for (QWidget* c : rig.window->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
    before[c->objectName()] = c->geometry();
  for (QSize size : {QSize(120, 90), QSize(900, 700)}) {
    rig.window->resize(size);
    QTest::qWait(10);
    QCOMPARE(rig.window->size(), size);
    for (QWidget* c : rig.window->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
      QCOMPARE(c->geometry(), before[c->objectName()]);
  }
}

// ---- start-up ---------------------------------------------------------------

void WindowTest::startup_without_job_file_shows_defaults() {
  Rig rig;
  QVERIFY(rig.open());
  ZBTB& w = *rig.window;
  QVERIFY(w.type_buttons[0]->isChecked());
  QCOMPARE(rig.checked_options(), 1);
  QVERIFY(!w.shutdown_box->isChecked());
  QCOMPARE(w.source_list->count(), 0);
  QCOMPARE(w.destination_box->toPlainText(), QString());
  QCOMPARE(w.source_frame->title(), QString::fromUtf8("ここにﾌｧｲﾙかﾌｧﾙﾀﾞをD&&Dする"));
  QCOMPARE(w.destination_frame->title(), QString::fromUtf8("ここに圧縮先ﾌｫﾙﾀﾞをD&&Dする"));
  QVERIFY(w.destination_box->manual_drop());
  QCOMPARE(w.changed(), 0);
  QCOMPARE(rig.services.opened, Lines{"jobconf.ini"});
  QCOMPARE(rig.services.instance_questions, 1);
  QVERIFY(rig.services.messages.empty());
  // Unchanged: the exit button ends without asking.
  QTest::mouseClick(w.exit_button, Qt::LeftButton);
  QVERIFY(rig.services.messages.empty());
  QVERIFY(!w.isVisible());
}

void WindowTest::startup_with_unreadable_job_file_shows_defaults() {
  Rig rig;
  rig.services.files["jobconf.ini"] = {"[mode]=3", "[shut_flg]=1", "[dir_file]=\"/data\""};
  rig.services.unreadable.insert("jobconf.ini");
  QVERIFY(rig.open());
  QVERIFY(rig.window->type_buttons[0]->isChecked());
  QVERIFY(!rig.window->shutdown_box->isChecked());
  QCOMPARE(rig.window->source_list->count(), 0);
  QCOMPARE(rig.window->changed(), 0);
  QVERIFY(rig.services.messages.empty());
}

void WindowTest::startup_restores_the_saved_job_data() {
  QTest::addColumn<Lines>("lines");
  QTest::addColumn<int>("type");
  QTest::addColumn<bool>("shutdown");
  QTest::addColumn<QString>("destination");
  QTest::addColumn<QStringList>("sources");
  QTest::newRow("saved lzh job") << Lines{"[mode]=0", "[archive]=\"/backup/", "[base_dir]", "[dir_file]=\"/data\"",
                                          "[dir_file]=\"/memo.txt\"", "[shut_flg]=0"}
                                 << 0 << false << QStringLiteral("/backup/") << qlist({"/data", "/memo.txt"});
  QTest::newRow("tar with shutdown") << Lines{"[mode]=3", "[archive]=\"/mnt/b/", "[base_dir]=\"/\"",
                                              "[dir_file]=\"/home\"", "[shut_flg]=1"}
                                     << 3 << true << QStringLiteral("/mnt/b/") << qlist({"/home"});
  QTest::newRow("zip") << Lines{"[mode]=1"} << 1 << false << QString() << QStringList();
  QTest::newRow("cab folder suffix dropped")
      << Lines{"[mode]=2", "[dir_file]=\"/data/*.*\"", "[dir_file]=\"/memo.txt\""} << 2 << false << QString()
      << qlist({"/data", "/memo.txt"});
  QTest::newRow("root source and the line after it")
      << Lines{"[dir_file]=\"/\"", "[dir_file]=\"/etc\""} << 0 << false << QString() << qlist({"/", "/etc"});
  QTest::newRow("japanese paths") << Lines{"[archive]=\"/バックアップ/", "[dir_file]=\"/ﾃﾞｰﾀ\""} << 0 << false
                                  << QString::fromUtf8("/バックアップ/") << qlist({"/ﾃﾞｰﾀ"});
  QTest::newRow("shutdown off after on") << Lines{"[shut_flg]=1", "[shut_flg]=0"} << 0 << false << QString()
                                         << QStringList();
}

void WindowTest::startup_restores_the_saved_job() {
  QFETCH(Lines, lines);
  QFETCH(int, type);
  QFETCH(bool, shutdown);
  QFETCH(QString, destination);
  QFETCH(QStringList, sources);
  Rig rig;
  rig.services.files["jobconf.ini"] = lines;
  QVERIFY(rig.open());
  QVERIFY(rig.window->type_buttons[type]->isChecked());
  QCOMPARE(rig.checked_options(), 1);
  QCOMPARE(rig.window->selected_type(), type);
  QCOMPARE(rig.window->shutdown_box->isChecked(), shutdown);
  QCOMPARE(rig.window->destination_box->toPlainText(), destination);
  QCOMPARE(rig.list(), sources);
  // Whatever the restore clicked, the job opens unchanged: no question.
  QCOMPARE(rig.window->changed(), 0);
  QTest::mouseClick(rig.window->exit_button, Qt::LeftButton);
  QVERIFY(rig.services.messages.empty());
  QVERIFY(!rig.window->isVisible());
}

void WindowTest::startup_restores_response_file_sources() {
  Rig rig;
  rig.services.files["jobconf.ini"] = {"[mode]=2", "[archive]=\"/b/", "[base_dir]", "[dir_file]=\"@resp.tmp\"",
                                       "[shut_flg]=1"};
  Lines resp;
  for (int i = 1; i <= 12; ++i) resp.push_back("\"/src/" + std::to_string(i) + (i == 3 ? "/*.*\"" : "\""));
  rig.services.files["resp.tmp"] = resp;
  QVERIFY(rig.open());
  QCOMPARE(rig.window->source_list->count(), 12);
  QCOMPARE(rig.window->source_list->item(0)->text(), QStringLiteral("/src/1"));
  QCOMPARE(rig.window->source_list->item(2)->text(), QStringLiteral("/src/3/*.*"));
  QCOMPARE(rig.window->source_list->item(11)->text(), QStringLiteral("/src/12"));
  QVERIFY(rig.window->shutdown_box->isChecked());
  QCOMPARE(rig.services.opened, (Lines{"jobconf.ini", "resp.tmp"}));
  QCOMPARE(rig.window->changed(), 0);
}

void WindowTest::startup_missing_response_file_restores_the_rest() {
  Rig rig;
  rig.services.files["jobconf.ini"] = {"[mode]=1", "[archive]=\"/b/", "[base_dir]", "[dir_file]=\"@resp.tmp\"",
                                       "[shut_flg]=1"};
  QVERIFY(rig.open());
  QCOMPARE(rig.window->source_list->count(), 0);
  QVERIFY(rig.window->type_buttons[1]->isChecked());
  QCOMPARE(rig.window->destination_box->toPlainText(), QStringLiteral("/b/"));
  QVERIFY(rig.window->shutdown_box->isChecked());
  QVERIFY(rig.services.messages.empty());
  QCOMPARE(rig.window->changed(), 0);
}

void WindowTest::startup_unusable_lines_still_open_the_window() {
  Rig rig;
  rig.services.files["jobconf.ini"] = {"[mode]=9", "[mode]=TAR", "[shut_flg]=yes", "[archive]=", "[dir_file]=\"",
                                       "garbage", "", "[dir_file]=\"/kept\""};
  QVERIFY(rig.open());
  QVERIFY(rig.window->isVisible());
  QVERIFY(rig.window->type_buttons[0]->isChecked());
  QCOMPARE(rig.checked_options(), 1);
  QVERIFY(!rig.window->shutdown_box->isChecked());
  QCOMPARE(rig.window->destination_box->toPlainText(), QString());
  QCOMPARE(rig.list(), qlist({"/kept"}));
  QCOMPARE(rig.window->changed(), 0);
}

void WindowTest::second_copy_ends_before_showing_anything() {
  Rig rig;
  rig.services.another_copy = true;
  rig.services.files["jobconf.ini"] = {"[mode]=3"};
  QVERIFY(!rig.window->load());
  // Ended after the defaults, before the captions and the restore.
  QVERIFY(!rig.window->isVisible());
  QVERIFY(rig.services.opened.empty());
  QVERIFY(rig.services.messages.empty());
  QVERIFY(rig.window->source_frame->title().isEmpty());
  QVERIFY(rig.window->type_buttons[0]->isChecked());
  QVERIFY(!rig.window->destination_box->manual_drop());
}

void WindowTest::frame_captions_show_one_ampersand() {
  Rig rig;
  QVERIFY(rig.open());
  for (QGroupBox* frame : {rig.window->source_frame, rig.window->destination_frame}) {
    // "&&" is a literal ampersand: no access key, and "D&D" is what shows.
    QVERIFY(QKeySequence::mnemonic(frame->title()).isEmpty());
    QString shown = frame->title();
    shown.replace(QStringLiteral("&&"), QStringLiteral("&"));
    QVERIFY(shown.contains(QStringLiteral("D&D")));
  }
}

// ---- housekeeping -------------------------------------------------------------

void WindowTest::delete_removes_only_the_selected_entry_data() {
  QTest::addColumn<int>("selected");
  QTest::addColumn<QStringList>("left");
  QTest::newRow("first") << 0 << qlist({"/b", "/c"});
  QTest::newRow("middle") << 1 << qlist({"/a", "/c"});
  QTest::newRow("last") << 2 << qlist({"/a", "/b"});
  QTest::newRow("nothing selected") << -1 << qlist({"/a", "/b", "/c"});
}

void WindowTest::delete_removes_only_the_selected_entry() {
  QFETCH(int, selected);
  QFETCH(QStringList, left);
  Rig rig;
  rig.services.files["jobconf.ini"] = {"[dir_file]=\"/a\"", "[dir_file]=\"/b\"", "[dir_file]=\"/c\""};
  QVERIFY(rig.open());
  QListWidget* list = rig.window->source_list;
  if (selected >= 0) {
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(selected)).center());
    QVERIFY(list->item(selected)->isSelected());
    QCOMPARE(rig.window->changed(), 0);  // selecting is no change
  } else {
    list->clearSelection();
  }
  QTest::mouseClick(rig.window->delete_button, Qt::LeftButton);
  QCOMPARE(rig.list(), left);
  QVERIFY(list->selectedItems().isEmpty());  // the selection does not move on
  QCOMPARE(rig.window->changed(), 1);
  // Changed, even with nothing removed: the exit button asks (No keeps it open).
  rig.services.answers = {kAnswerNo};
  QTest::mouseClick(rig.window->exit_button, Qt::LeftButton);
  QCOMPARE(rig.services.messages.size(), size_t(1));
  QVERIFY(rig.window->isVisible());
}

void WindowTest::delete_walk_removes_every_selected_entry() {
  Rig rig;
  rig.services.files["jobconf.ini"] = {"[dir_file]=\"/0\"", "[dir_file]=\"/1\"", "[dir_file]=\"/2\"",
                                       "[dir_file]=\"/3\"", "[dir_file]=\"/4\""};
  QVERIFY(rig.open());
  // Neighbours selected together: the entry that moves up is looked at too.
  rig.window->source_list->setSelectionMode(QAbstractItemView::MultiSelection);
  for (int i : {0, 1, 3, 4}) rig.window->source_list->item(i)->setSelected(true);
  rig.window->delete_button->click();
  QCOMPARE(rig.list(), qlist({"/2"}));
}

void WindowTest::clear_resets_the_job_and_marks_it_changed() {
  Rig rig;
  rig.services.files["jobconf.ini"] = {"[mode]=3", "[archive]=\"/b/", "[dir_file]=\"/x\"", "[dir_file]=\"/y\"",
                                       "[shut_flg]=1"};
  rig.services.files["logdata.txt"] = {"log"};
  QVERIFY(rig.open());
  const auto files_before = rig.services.files;
  QTest::mouseClick(rig.window->clear_button, Qt::LeftButton);
  QVERIFY(rig.window->type_buttons[0]->isChecked());
  QCOMPARE(rig.checked_options(), 1);
  QCOMPARE(rig.window->source_list->count(), 0);
  QCOMPARE(rig.window->destination_box->toPlainText(), QString());
  QVERIFY(!rig.window->shutdown_box->isChecked());
  QCOMPARE(rig.window->changed(), 1);
  QCOMPARE(rig.window->source_frame->title(), QString::fromUtf8("ここにﾌｧｲﾙかﾌｧﾙﾀﾞをD&&Dする"));
  QVERIFY(rig.services.files == files_before);  // no file touched
  QVERIFY(rig.services.deleted.empty());

  // On a window that is already empty it still marks the job changed.
  rig.window->set_changed(0);
  QTest::mouseClick(rig.window->clear_button, Qt::LeftButton);
  QCOMPARE(rig.window->changed(), 1);
  rig.services.answers = {kAnswerYes};
  QTest::mouseClick(rig.window->exit_button, Qt::LeftButton);
  QCOMPARE(rig.services.messages.size(), size_t(1));
  QVERIFY(!rig.window->isVisible());
}

void WindowTest::exit_asks_only_when_changed_data() {
  QTest::addColumn<int>("flag");
  QTest::addColumn<int>("answer");
  QTest::addColumn<bool>("asked");
  QTest::addColumn<bool>("closed");
  QTest::newRow("unchanged") << 0 << kAnswerNo << false << true;
  QTest::newRow("changed, yes") << 1 << kAnswerYes << true << true;
  QTest::newRow("changed, no") << 1 << kAnswerNo << true << false;
  QTest::newRow("changed, box closed otherwise") << 1 << kAnswerOk << true << false;
}

void WindowTest::exit_asks_only_when_changed() {
  QFETCH(int, flag);
  QFETCH(int, answer);
  QFETCH(bool, asked);
  QFETCH(bool, closed);
  Rig rig;
  rig.services.files["jobconf.ini"] = {"[mode]=1", "[dir_file]=\"/a\""};
  QVERIFY(rig.open());
  if (flag) QTest::mouseClick(rig.window->type_buttons[2], Qt::LeftButton);
  QCOMPARE(int(rig.window->changed()), flag);
  const auto files_before = rig.services.files;
  rig.services.answers = {answer};
  QTest::mouseClick(rig.window->exit_button, Qt::LeftButton);
  QCOMPARE(rig.services.messages.size(), size_t(asked ? 1 : 0));
  if (asked) {
    QCOMPARE(rig.services.messages[0].text, std::string("変更されていますが終了しますか。"));
    QCOMPARE(rig.services.messages[0].title, std::string("ズベト"));
    QCOMPARE(rig.services.messages[0].style, 36);
  }
  QCOMPARE(!rig.window->isVisible(), closed);
  QCOMPARE(int(rig.window->changed()), flag);
  QVERIFY(rig.services.files == files_before);  // nothing saved on the way out
}

void WindowTest::title_bar_close_never_asks() {
  Rig rig;
  QVERIFY(rig.open());
  rig.window->set_changed(1);
  QVERIFY(rig.window->close());
  QVERIFY(rig.services.messages.empty());
}

void WindowTest::show_log_starts_the_editor() {
  Rig rig;
  QVERIFY(rig.open());
  // No run log exists: the editor is started all the same.
  QTest::mouseClick(rig.window->show_log_button, Qt::LeftButton);
  QTest::mouseClick(rig.window->show_log_button, Qt::LeftButton);
  QCOMPARE(rig.services.starts.size(), size_t(2));
  QCOMPARE(rig.services.starts[0].command_line, std::string("xdg-open logdata.txt"));
  QCOMPARE(rig.services.starts[0].window_style, 1);
  QCOMPARE(rig.services.opened, Lines{"jobconf.ini"});
  QVERIFY(rig.services.messages.empty());
  QCOMPARE(rig.window->changed(), 0);
  QVERIFY(rig.window->isVisible());
}

void WindowTest::show_log_says_so_when_no_editor_starts() {
  Rig rig;
  rig.services.start_succeeds = false;
  QVERIFY(rig.open());
  QTest::mouseClick(rig.window->show_log_button, Qt::LeftButton);
  QCOMPARE(rig.services.messages.size(), size_t(1));
  QCOMPARE(rig.services.messages[0].text, std::string("ログを表示するテキストエディタを起動できませんでした。"));
  QCOMPARE(rig.services.messages[0].title, std::string("エラー"));
  QCOMPARE(rig.services.messages[0].style, 48);
  QCOMPARE(rig.window->changed(), 0);
}

void WindowTest::delete_log_is_silent() {
  Rig rig;
  rig.services.files["logdata.txt"] = {"line"};
  QVERIFY(rig.open());
  QTest::mouseClick(rig.window->delete_log_button, Qt::LeftButton);
  QVERIFY(!rig.services.files.count("logdata.txt"));
  QTest::mouseClick(rig.window->delete_log_button, Qt::LeftButton);  // gone already
  rig.services.files["logdata.txt"] = {"line"};
  rig.services.read_only.insert("logdata.txt");
  QTest::mouseClick(rig.window->delete_log_button, Qt::LeftButton);  // read-only: stays
  QVERIFY(rig.services.files.count("logdata.txt"));
  QCOMPARE(rig.services.deleted, (Lines{"logdata.txt", "logdata.txt", "logdata.txt"}));
  QVERIFY(rig.services.messages.empty());
  QCOMPARE(rig.window->changed(), 0);
}

void WindowTest::option_and_check_clicks_mark_the_job_changed() {
  Rig rig;
  QVERIFY(rig.open());
  ZBTB& w = *rig.window;
  QTest::mouseClick(w.type_buttons[2], Qt::LeftButton);
  QVERIFY(w.type_buttons[2]->isChecked());
  QCOMPARE(w.changed(), 1);
  w.set_changed(0);
  QTest::mouseClick(w.type_buttons[2], Qt::LeftButton);  // already selected: still a click
  QCOMPARE(w.changed(), 1);
  w.set_changed(0);
  QTest::mouseClick(w.shutdown_box, Qt::LeftButton);
  QVERIFY(w.shutdown_box->isChecked());
  QCOMPARE(w.changed(), 1);
  w.set_changed(0);
  w.shutdown_box->setFocus();
  QTest::keyClick(w.shutdown_box, Qt::Key_Space);
  QVERIFY(!w.shutdown_box->isChecked());
  QCOMPARE(w.changed(), 1);
  w.set_changed(0);
  // Program-made changes run the click handlers too.
  w.shutdown_box->setChecked(true);
  QCOMPARE(w.changed(), 1);
  w.set_changed(0);
  w.select_type(3);
  QCOMPARE(w.changed(), 1);
  w.set_changed(0);
  // The label is not linked to the box.
  QTest::mouseClick(w.shutdown_label, Qt::LeftButton);
  QVERIFY(w.shutdown_box->isChecked());
  QCOMPARE(w.changed(), 0);
}

void WindowTest::options_are_exclusive() {
  Rig rig;
  QVERIFY(rig.open());
  for (int i : {1, 0, 3, 2, 2, 1}) {
    QTest::mouseClick(rig.window->type_buttons[i], Qt::LeftButton);
    QCOMPARE(rig.checked_options(), 1);
    QCOMPARE(rig.window->selected_type(), i);
  }
}

void WindowTest::typing_into_destination_changes_nothing_data() {
  QTest::addColumn<int>("key");
  QTest::addColumn<int>("modifiers");
  QTest::newRow("letter") << int(Qt::Key_A) << int(Qt::NoModifier);
  QTest::newRow("capital") << int(Qt::Key_A) << int(Qt::ShiftModifier);
  QTest::newRow("space") << int(Qt::Key_Space) << int(Qt::NoModifier);
  QTest::newRow("backspace") << int(Qt::Key_Backspace) << int(Qt::NoModifier);
  QTest::newRow("delete") << int(Qt::Key_Delete) << int(Qt::NoModifier);
  QTest::newRow("return") << int(Qt::Key_Return) << int(Qt::NoModifier);
  QTest::newRow("cut") << int(Qt::Key_X) << int(Qt::ControlModifier);
  QTest::newRow("paste") << int(Qt::Key_V) << int(Qt::ControlModifier);
  QTest::newRow("shift insert paste") << int(Qt::Key_Insert) << int(Qt::ShiftModifier);
  QTest::newRow("undo") << int(Qt::Key_Z) << int(Qt::ControlModifier);
  QTest::newRow("delete word") << int(Qt::Key_Backspace) << int(Qt::ControlModifier);
}

void WindowTest::typing_into_destination_changes_nothing() {
  QFETCH(int, key);
  QFETCH(int, modifiers);
  Rig rig;
  rig.services.files["jobconf.ini"] = {"[archive]=\"/backup/"};
  QVERIFY(rig.open());
  QApplication::clipboard()->setText(QStringLiteral("/pasted/"));
  DestinationBox* box = rig.window->destination_box;
  box->setFocus();
  box->moveCursor(QTextCursor::End);
  box->selectAll();
  QTest::keyClick(box, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
  box->moveCursor(QTextCursor::End);
  QTest::keyClick(box, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
  QTest::keyClicks(box, QStringLiteral("xyz"));
  QKeyEvent kana(QEvent::KeyPress, 0, Qt::NoModifier, QString::fromUtf8("あ"));
  QApplication::sendEvent(box, &kana);
  QCOMPARE(box->toPlainText(), QStringLiteral("/backup/"));
  QCOMPARE(rig.window->changed(), 0);
  QVERIFY(rig.window->isVisible());
}

void WindowTest::input_method_and_paste_change_nothing() {
  Rig rig;
  rig.services.files["jobconf.ini"] = {"[archive]=\"/backup/"};
  QVERIFY(rig.open());
  DestinationBox* box = rig.window->destination_box;
  box->setFocus();
  QInputMethodEvent preedit(QString::fromUtf8("ばっく"), {});
  QApplication::sendEvent(box, &preedit);
  QInputMethodEvent commit;
  commit.setCommitString(QString::fromUtf8("バックアップ"));
  QApplication::sendEvent(box, &commit);
  QApplication::clipboard()->setText(QStringLiteral("/pasted/"));
  box->paste();
  box->cut();
  box->undo();
  QCOMPARE(box->toPlainText(), QStringLiteral("/backup/"));
  QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("/pasted/"));
  QCOMPARE(rig.window->changed(), 0);
}

void WindowTest::destination_keeps_accepting_drops() {
  QMimeData files;
  files.setUrls({QUrl::fromLocalFile(QStringLiteral("/backup"))});
  files.setText(QStringLiteral("/backup"));
  {
    // Before the start-up switches its drop mode, Text1 takes no drops.
    Rig rig;
    QVERIFY(!rig.window->destination_box->manual_drop());
  }
  Rig rig;
  rig.services.files["jobconf.ini"] = {"[archive]=\"/old/"};
  QVERIFY(rig.open());
  std::vector<QStringList> seen;
  rig.window->destination_box->on_drop = [&](const QMimeData& d, Qt::DropActions) {
    QStringList urls;
    for (const QUrl& u : d.urls()) urls << u.toLocalFile();
    seen.push_back(urls);
  };
  bool dropped = false;
  auto [accepted, action] = drag_and_drop(rig.window->destination_box->viewport(), &files, &dropped);
  QVERIFY(accepted);
  QCOMPARE(action, Qt::CopyAction);  // never a move
  QVERIFY(dropped);
  QCOMPARE(seen.size(), size_t(1));
  QCOMPARE(seen[0], QStringList{QStringLiteral("/backup")});
  // The box itself inserts nothing: only the drop handler sets its text.
  QCOMPARE(rig.window->destination_box->toPlainText(), QStringLiteral("/old/"));
  QCOMPARE(rig.window->changed(), 0);
  // Plain text is delivered as well; the handler sorts it out.
  QMimeData text;
  text.setText(QStringLiteral("hello"));
  QVERIFY(drag_and_drop(rig.window->destination_box->viewport(), &text).first);
  QCOMPARE(seen.size(), size_t(2));
  QCOMPARE(rig.window->destination_box->toPlainText(), QStringLiteral("/old/"));
}

void WindowTest::source_list_forwards_drags_and_drops() {
  Rig rig;
  QVERIFY(rig.open());
  QMimeData files;
  files.setUrls({QUrl::fromLocalFile(QStringLiteral("/data"))});
  // Without a drag-over handler nothing may be dropped.
  rig.window->source_list->on_drag_over = nullptr;
  rig.window->source_list->on_drop = nullptr;
  QVERIFY(!drag_and_drop(rig.window->source_list->viewport(), &files).first);
  int drops = 0;
  rig.window->source_list->on_drag_over = [](const QMimeData& d, Qt::DropActions) { return d.hasUrls() ? 1 : 0; };
  rig.window->source_list->on_drop = [&](const QMimeData&, Qt::DropActions) {
    ++drops;
    return true;
  };
  auto [accepted, action] = drag_and_drop(rig.window->source_list->viewport(), &files);
  QVERIFY(accepted);
  QCOMPARE(action, Qt::CopyAction);
  QCOMPARE(drops, 1);
  QMimeData text;
  text.setText(QStringLiteral("/data"));
  QVERIFY(!drag_and_drop(rig.window->source_list->viewport(), &text).first);
  QCOMPARE(drops, 1);
  QCOMPARE(rig.window->source_list->count(), 0);
}

void WindowTest::message_box_styles_data() {
  QTest::addColumn<int>("style");
  QTest::addColumn<QString>("press");
  QTest::addColumn<int>("icon");
  QTest::addColumn<QStringList>("buttons");
  QTest::addColumn<int>("answer");
  const QStringList yes_no = qlist({"はい(&Y)", "いいえ(&N)"});
  QTest::newRow("36 yes") << 36 << QString::fromUtf8("はい(&Y)") << int(QMessageBox::Question) << yes_no << 6;
  QTest::newRow("36 no") << 36 << QString::fromUtf8("いいえ(&N)") << int(QMessageBox::Question) << yes_no << 7;
  QTest::newRow("36 enter takes yes") << 36 << QString() << int(QMessageBox::Question) << yes_no << 6;
  QTest::newRow("48") << 48 << QStringLiteral("OK") << int(QMessageBox::Warning) << qlist({"OK"}) << 1;
  QTest::newRow("64") << 64 << QStringLiteral("OK") << int(QMessageBox::Information) << qlist({"OK"}) << 1;
}

void WindowTest::message_box_styles() {
  QFETCH(int, style);
  QFETCH(QString, press);
  QFETCH(int, icon);
  QFETCH(QStringList, buttons);
  QFETCH(int, answer);
  SystemServices services;
  QWidget parent;
  services.set_dialog_parent(&parent);
  QString seen_title, seen_text;
  int seen_icon = -1;
  QStringList seen_buttons;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    seen_title = box->windowTitle();
    seen_text = box->text();
    seen_icon = box->icon();
    for (QAbstractButton* b : box->buttons()) seen_buttons << b->text();
    if (press.isEmpty()) {
      QTest::keyClick(box, Qt::Key_Return);
      return;
    }
    for (QAbstractButton* b : box->buttons())
      if (b->text() == press) b->click();
  });
  const int got = services.message_box("変更されていますが終了しますか。", "ズベト", style);
  QCOMPARE(got, answer);
  QCOMPARE(seen_title, QString::fromUtf8("ズベト"));
  QCOMPARE(seen_text, QString::fromUtf8("変更されていますが終了しますか。"));
  QCOMPARE(seen_icon, icon);
  seen_buttons.sort();
  buttons.sort();
  QCOMPARE(seen_buttons, buttons);
}

QTEST_MAIN(WindowTest)
#include "window_test.moc"
