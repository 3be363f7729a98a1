// The real window ZBTB, offscreen: the controls below the first ones (drawn
// from the core's table), the status line, the source list's keys and menu,
// accessible names, and the window's language.
//
// The language cases run twice (see CMakeLists.txt): under ja_JP.UTF-8,
// where every caption and message stays the Japanese original byte for byte,
// and under en_US.UTF-8, where nothing the window shows holds a Japanese
// character. ZUBETO_EXPECT_LANGUAGE names which of the two the run is.
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimeEdit>
#include <QTimer>
#include <QtTest/QtTest>

#include "window_layout.h"
#include "window_rig.h"

using namespace zubeto;

namespace {

// Scripted services whose texts come through the window's translation, as
// the real services' do.
struct TranslatedServices : FakeServices {
  std::string localized(std::string_view utf8) override { return core_text(utf8); }
};

struct TranslatedRig {
  TranslatedServices services;
  std::unique_ptr<ZBTB> window;
  TranslatedRig() { window = std::make_unique<ZBTB>(services); }
  bool open() {
    if (!window->load()) return false;
    window->show();
    window->activateWindow();
    return QTest::qWaitForWindowExposed(window.get());
  }
};

bool japanese_character(QChar c) {
  const ushort u = c.unicode();
  return (u >= 0x3000 && u <= 0x30FF) || (u >= 0x3400 && u <= 0x9FFF) || (u >= 0xFF00 && u <= 0xFFEF);
}

QString japanese_in(const QString& text) {
  for (QChar c : text)
    if (japanese_character(c)) return text;
  return QString();
}

QString accessible_name(QWidget* w) {
  QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
  return a ? a->text(QAccessible::Name) : QString();
}

// Every text the window shows: captions, titles, labels, accessible names.
QStringList shown_texts(ZBTB& w) {
  QStringList out;
  out << w.windowTitle();
  for (QWidget* c : w.findChildren<QWidget*>()) {
    if (!c->isVisible()) continue;
    if (auto* b = qobject_cast<QAbstractButton*>(c)) out << b->text();
    if (auto* g = qobject_cast<QGroupBox*>(c)) out << g->title();
    if (auto* l = qobject_cast<QLabel*>(c)) out << l->text();
    if (auto* s = qobject_cast<QSpinBox*>(c)) out << s->specialValueText();
    out << c->accessibleName() << c->toolTip();
  }
  for (QAction* a : w.source_list->actions()) out << a->text();
  return out;
}

}  // namespace

class NewControlsTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    QApplication::setQuitOnLastWindowClosed(false);
    language = qEnvironmentVariable("ZUBETO_EXPECT_LANGUAGE");
    // As the program's own start does.
    translated = install_translation(QLocale::system());
  }

  void locale_decides_the_language();
  void japanese_texts_stay_byte_for_byte();
  void english_shows_no_japanese_character();
  void new_controls_from_the_table();
  void tab_order_runs_on_through_the_new_rows();
  void accessible_names();
  void delete_key_removes_the_selected_source();
  void context_menu_and_add_button_add_sources();
  void keep_box_sets_the_job();
  void status_line_after_a_run_and_on_focus();

 private:
  QString language;
  bool translated = false;
};

void NewControlsTest::locale_decides_the_language() {
  if (language == QLatin1String("ja")) {
    QCOMPARE(QLocale::system().language(), QLocale::Japanese);
    QVERIFY(!translated);
  } else if (language == QLatin1String("en")) {
    QVERIFY(QLocale::system().language() != QLocale::Japanese);
    QVERIFY(translated);
  } else {
    QSKIP("run by CTest under a named locale (ZUBETO_EXPECT_LANGUAGE)");
  }
}

void NewControlsTest::japanese_texts_stay_byte_for_byte() {
  if (language != QLatin1String("ja")) QSKIP("the Japanese run");
  TranslatedRig rig;
  QVERIFY(rig.open());
  ZBTB& w = *rig.window;
  const std::pair<const char*, const char*> captions[] = {
      {"Command2", "更新"}, {"Command4", "終了"}, {"Command5", "ﾛｸﾞ表示"}, {"Command6", "ﾛｸﾞ削除"},
      {"Command3", "初期クリア"}, {"Command1", "削除"}, {"Command8", "すぐに圧縮する(更新+実行）"},
      {"Label1", "圧縮処理終了後シャットダウンする。"}, {"Frame1", "圧縮タイプ"},
      {"Frame2", "ここにﾌｧｲﾙかﾌｧﾙﾀﾞをD&&Dする"}, {"Frame3", "ここに圧縮先ﾌｫﾙﾀﾞをD&&Dする"},
      {"KeepLabel", "最新の N 個の圧縮ファイルを残す"}, {"ScheduleCheck", "毎日 HH:MM に実行する"},
      {"AddButton", "追加…"}, {"VerifyButton", "圧縮ファイル検査"}};
  for (const auto& [name, caption] : captions) {
    QWidget* c = w.findChild<QWidget*>(QString::fromLatin1(name));
    QVERIFY2(c, name);
    QString shown;
    if (auto* b = qobject_cast<QAbstractButton*>(c)) shown = b->text();
    if (auto* g = qobject_cast<QGroupBox*>(c)) shown = g->title();
    if (auto* l = qobject_cast<QLabel*>(c)) shown = l->text();
    QCOMPARE(shown.toUtf8(), QByteArray(caption));
  }
  QCOMPARE(w.windowTitle().toUtf8(), QByteArray("ズベト Ver2.01"));
  // A message keeps its bytes too.
  w.set_changed(1);
  rig.services.answers = {kAnswerNo};
  QTest::mouseClick(w.exit_button, Qt::LeftButton);
  QCOMPARE(rig.services.messages.size(), size_t(1));
  QCOMPARE(rig.services.messages[0].text, std::string("変更されていますが終了しますか。"));
  QCOMPARE(rig.services.messages[0].title, std::string("ズベト"));
  QCOMPARE(w.status_line->text().toUtf8(), QByteArray("前回の実行：なし"));
}

void NewControlsTest::english_shows_no_japanese_character() {
  if (language != QLatin1String("en")) QSKIP("the English run");
  TranslatedRig rig;
  rig.services.files["logdata.txt"] = {"[05/16 09:00:01]=圧縮処理開始", "ファイルがありません=/srv/gone",
                                       "[05/16 09:00:01]=圧縮処理終了=0701"};
  rig.services.config_folder = "/home/u/.config";
  QVERIFY(rig.open());
  ZBTB& w = *rig.window;
  for (const QString& t : shown_texts(w)) QVERIFY2(japanese_in(t).isEmpty(), qPrintable(t));
  QCOMPARE(w.save_button->text(), QStringLiteral("Save"));
  QCOMPARE(w.keep_label->text(), QStringLiteral("keep the last N archives"));
  QCOMPARE(w.schedule_box->text(), QStringLiteral("run every day at HH:MM"));
  QCOMPARE(w.status_line->text(), QStringLiteral("Last run 05/16 09:00:01: failed (0701): not found: /srv/gone"));

  // Every message the core can give, in English: each handler that speaks.
  rig.services.answers = {kAnswerNo};
  w.set_changed(1);
  w.core().exit();                                           // changed: asks
  w.core().save();                                           // empty job
  w.core().run_now();                                        // empty job, run now's text
  w.core().select_type(3);
  w.core().add_source("/a");
  w.core().add_source("relative");
  w.core().set_destination("/d/");
  w.core().save();                                           // TAR, other drive
  rig.services.unwritable.insert("jobconf.ini");
  w.core().save();                                           // cannot write
  rig.services.start_succeeds = false;
  w.core().show_log();                                       // no editor
  DragData repeat{true, {"/a"}, true};
  w.core().source_drop(repeat);                              // repeat
  w.core().source_drop(DragData{true, {"/x\"y"}, true});     // unfit path
  w.core().destination_drop(DragData{true, {"/p", "/q"}, true});  // two folders
  w.core().destination_drop(DragData{true, {"/file"}, true});     // not a folder
  rig.services.chosen_archive = "/d/x.zip";
  w.core().verify_click();                                   // worker not started
  rig.services.command_status = 1;
  w.core().schedule_change(true, {2, 30});                   // no user manager
  QVERIFY(rig.services.messages.size() >= 12);
  for (const MessageCall& m : rig.services.messages) {
    const QString text = QString::fromUtf8(m.text.c_str()) + QLatin1Char('|') + QString::fromUtf8(m.title.c_str());
    QVERIFY2(japanese_in(text).isEmpty(), qPrintable(text));
  }
}

void NewControlsTest::new_controls_from_the_table() {
  Rig rig;
  QVERIFY(rig.open());
  ZBTB& w = *rig.window;
  QCOMPARE(w.geometry(), QRect(752, 272, 273, twips(layout::kClientHeight)));
  for (const layout::Control& c : layout::kNewControls) {
    QWidget* control = w.findChild<QWidget*>(QString::fromLatin1(c.name), Qt::FindDirectChildrenOnly);
    QVERIFY2(control, c.name);
    QCOMPARE(control->geometry(), QRect(twips(c.left), twips(c.top), twips(c.width), twips(c.height)));
    QVERIFY2(control->isVisible(), c.name);
    // Inside the window, below every first control.
    QVERIFY(control->geometry().bottom() < w.height());
    QVERIFY(control->geometry().top() > w.run_now_button->geometry().bottom());
  }
  QCOMPARE(w.keep_count->value(), 0);
  QCOMPARE(w.keep_count->text(), caption_text("すべて"));  // 0 keeps all
  QVERIFY(!w.schedule_box->isChecked());
  QCOMPARE(w.schedule_time->displayFormat(), QStringLiteral("HH:mm"));
}

void NewControlsTest::tab_order_runs_on_through_the_new_rows() {
  Rig rig;
  QVERIFY(rig.open());
  QVERIFY(QTest::qWaitForWindowActive(rig.window.get()));
  rig.window->destination_box->setFocus(Qt::TabFocusReason);
  QStringList visited;
  for (int i = 0; i < 8; ++i) {
    QWidget* f = QApplication::focusWidget();
    // A spin or time box may take the focus in its inner line edit.
    while (f && f->parentWidget() != rig.window.get()) f = f->parentWidget();
    visited << (f ? f->objectName() : QString());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  }
  // The time box takes Tab once for its minutes, as Qt's time boxes do.
  QCOMPARE(visited, qlist({"Text1", "KeepCount", "ScheduleCheck", "ScheduleTime", "ScheduleTime", "AddButton",
                           "VerifyButton", "Command2"}));
}

void NewControlsTest::accessible_names() {
  TranslatedRig rig;
  QVERIFY(rig.open());
  ZBTB& w = *rig.window;
  // The first controls without a caption of their own.
  for (const layout::AccessibleName& a : layout::kAccessibleNames) {
    QWidget* c = w.findChild<QWidget*>(QString::fromLatin1(a.control));
    QVERIFY(c);
    QCOMPARE(accessible_name(c), caption_text(a.name));
  }
  // Every new control but the plain captions; buttons say their caption.
  for (const layout::Control& c : layout::kNewControls) {
    if (c.kind == layout::Kind::label) continue;
    QWidget* control = w.findChild<QWidget*>(QString::fromLatin1(c.name));
    QVERIFY(control);
    const QString name = accessible_name(control);
    QVERIFY2(!name.isEmpty(), c.name);
    if (c.accessible[0]) QCOMPARE(name, caption_text(c.accessible));
  }
  for (QPushButton* b : w.findChildren<QPushButton*>())
    if (b->isVisible()) QVERIFY2(!accessible_name(b).isEmpty(), qPrintable(b->objectName()));
  // The status line says what it shows.
  rig.services.files["logdata.txt"] = {"[05/15 21:30:05]=圧縮処理開始", "[05/15 21:30:09]=圧縮処理終了=0000"};
  w.core().refresh_status();
  QAccessibleInterface* status = QAccessible::queryAccessibleInterface(w.status_line);
  QVERIFY(status);
  QCOMPARE(status->text(QAccessible::Name), caption_text("前回の実行結果"));
  QCOMPARE(status->text(QAccessible::Description), w.status_line->text());
}

void NewControlsTest::delete_key_removes_the_selected_source() {
  Rig rig;
  QVERIFY(rig.open());
  ZBTB& w = *rig.window;
  for (const char* p : {"/a", "/b", "/c"}) w.add_source(p);
  w.set_changed(0);
  w.source_list->setFocus();
  w.source_list->setCurrentRow(1);
  QTest::keyClick(w.source_list, Qt::Key_Delete);
  QCOMPARE(rig.list(), qlist({"/a", "/c"}));
  QCOMPARE(w.sources(), (Lines{"/a", "/c"}));
  QCOMPARE(w.changed(), 1);
  // With a modifier the key is no Delete press: nothing goes.
  w.source_list->setCurrentRow(0);
  QTest::keyClick(w.source_list, Qt::Key_Delete, Qt::ShiftModifier);
  QCOMPARE(w.sources(), (Lines{"/a", "/c"}));
  // Delete in the destination box removes no source.
  QTest::keyClick(w.destination_box, Qt::Key_Delete);
  QCOMPARE(w.sources(), (Lines{"/a", "/c"}));
}

void NewControlsTest::context_menu_and_add_button_add_sources() {
  Rig rig;
  QVERIFY(rig.open());
  ZBTB& w = *rig.window;
  QCOMPARE(w.source_list->contextMenuPolicy(), Qt::ActionsContextMenu);
  const QList<QAction*> actions = w.source_list->actions();
  QCOMPARE(actions.size(), 2);
  rig.services.chosen_sources = {{"/from/menu"}, {"/from/button", "/from/menu"}};
  actions[0]->trigger();  // Add…
  QTest::mouseClick(w.add_button, Qt::LeftButton);
  // The repeat was reported and removed, as after a drop.
  QCOMPARE(w.sources(), (Lines{"/from/menu", "/from/button"}));
  QCOMPARE(rig.services.messages.size(), size_t(1));
  // Remove, from the menu, takes the selected entry.
  w.source_list->setCurrentRow(0);
  actions[1]->trigger();
  QCOMPARE(w.sources(), (Lines{"/from/button"}));
}

void NewControlsTest::keep_box_sets_the_job() {
  Rig rig;
  rig.services.files["jobconf.ini"] = {"[mode]=1", "[archive]=\"/b/", "[base_dir]", "[dir_file]=\"/s\"", "[keep]=4",
                                       "[shut_flg]=0"};
  QVERIFY(rig.open());
  ZBTB& w = *rig.window;
  QCOMPARE(w.keep_count->value(), 4);
  QCOMPARE(w.changed(), 0);  // restored, not changed
  w.keep_count->setFocus();
  QTest::keyClick(w.keep_count, Qt::Key_Up);
  QCOMPARE(w.core().keep(), 5);
  QCOMPARE(w.changed(), 1);
  QTest::mouseClick(w.save_button, Qt::LeftButton);
  QCOMPARE(rig.services.files["jobconf.ini"],
           (Lines{"[mode]=1", "[archive]=\"/b/", "[base_dir]", "[dir_file]=\"/s\"", "[keep]=5", "[shut_flg]=0"}));
}

void NewControlsTest::status_line_after_a_run_and_on_focus() {
  Rig rig;
  rig.services.files["logdata.txt"] = {"[05/15 21:30:05]=圧縮処理開始", "[05/15 21:30:09]=圧縮処理終了=0000"};
  QVERIFY(rig.open());
  ZBTB& w = *rig.window;
  QCOMPARE(w.status_line->text(), QString::fromUtf8("前回の実行：05/15 21:30:09 完了"));
  w.add_source("/s");
  w.set_destination("/d/");
  QTest::mouseClick(w.run_now_button, Qt::LeftButton);
  QCOMPARE(rig.services.starts.size(), size_t(1));
  QVERIFY(w.run_poll->isActive());
  // The worker's run ends; the window follows it to its end line.
  Lines& log = rig.services.files["logdata.txt"];
  log.insert(log.end(), {"[05/16 10:00:00]=圧縮処理開始", "UNZIP32.DLL Loading",
                         "ERROR: 1 source was not archived (or not completely); the archive holds everything else: /d/x.zip",
                         "cannot read: /s/a (denied)", "[05/16 10:00:02]=圧縮処理終了=8011"});
  QTRY_VERIFY_WITH_TIMEOUT(!w.run_poll->isActive(), 10000);
  QCOMPARE(w.status_line->text(), QString::fromUtf8("前回の実行：05/16 10:00:02 完了（除外したファイル：1）"));

  // A run started elsewhere (the timer) shows when the window gets the focus.
  log.insert(log.end(), {"[05/17 02:30:00]=圧縮処理開始", "ERROR: archive not written: no space left on device",
                         "[05/17 02:30:01]=圧縮処理終了=8006"});
  QEvent activation(QEvent::ActivationChange);
  QApplication::sendEvent(&w, &activation);
  QCOMPARE(w.status_line->text(),
           QString::fromUtf8("前回の実行：05/17 02:30:01 失敗（8006）：archive not written: no space left on device"));
}

QTEST_MAIN(NewControlsTest)
#include "window_new_controls_test.moc"
