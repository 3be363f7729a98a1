// From the window to the archive: the real settings window (offscreen, on
// the real services) gets a sample folder dropped on its source list and a
// destination folder dropped on its destination box, ZIP is chosen and the
// run-now button pressed. The worker it starts is the test build, taken
// from a scratch program folder; the test waits for the run log's end line,
// reads the dated archive back with unzip and compares it with the sample.
//
// The share check library lies beside this test program, as it lies beside
// the window, so the drags here go through the real library.
#include <QApplication>
#include <QCheckBox>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QtTest/QtTest>
#include <map>

#include "harness.h"
#include "system_services.h"
#include "window.h"
#include "window_rig.h"

using namespace zubeto;
using e2e::fs::path;
namespace fs = std::filesystem;

namespace {

// Drags local paths onto a widget and drops them there; true when the drag
// was accepted as a copy and the drop taken.
bool drop_paths(QWidget* target, const QStringList& paths) {
  auto data = file_list(paths);
  bool dropped = false;
  auto [accepted, action] = drag_and_drop(target, data.get(), &dropped);
  return accepted && dropped && action == Qt::CopyAction;
}

// Every file and folder below a root: relative path -> contents ("/" for a
// folder).
std::map<std::string, std::string> tree(const path& root) {
  std::map<std::string, std::string> out;
  for (auto& e : fs::recursive_directory_iterator(root)) {
    std::string rel = fs::relative(e.path(), root).string();
    out[rel] = e.is_directory() ? std::string("/") : e2e::read_file(e.path());
  }
  return out;
}

// The window on the real services, its current folder the scratch work
// folder and its program folder the scratch program folder.
struct Session {
  e2e::Scratch scratch;
  path old = fs::current_path();
  SystemServices services;
  std::unique_ptr<ZBTB> window;
  Session() {
    fs::current_path(scratch.work());
    // The single-copy mark of this run lies in a folder of its own, so that
    // a settings window running elsewhere on the machine does not count.
    fs::create_directories(scratch.root() / "runtime");
    qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString((scratch.root() / "runtime").string()));
    services.set_program_folder(scratch.prog().string());
    window = std::make_unique<ZBTB>(services);
    services.set_dialog_parent(window.get());
  }
  ~Session() {
    window.reset();
    fs::current_path(old);
  }
};

}  // namespace

class WindowE2ETest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }
  void share_roots_are_refused_through_the_library();
  void dropped_job_runs_now_into_a_zip_archive();
};

void WindowE2ETest::share_roots_are_refused_through_the_library() {
  Session s;
  QVERIFY(s.window->load());
  s.window->show();
  // Share roots as the library sees them: folders literally named with
  // backslashes, in the current folder. One that nobody may write carries
  // a further attribute bit and is no share root.
  fs::create_directory("\\\\server\\share");
  fs::create_directory("\\\\server\\ro");
  fs::permissions("\\\\server\\ro", fs::perms::owner_read | fs::perms::owner_exec, fs::perm_options::replace);
  QWidget* list = s.window->source_list->viewport();
  BoxCloser boxes;
  QVERIFY(!drop_paths(list, {QStringLiteral("\\\\server\\share")}));
  QVERIFY(!drop_paths(list, {QStringLiteral("\\\\server\\share"), QStringLiteral("/etc")}));
  QCOMPARE(s.window->source_list->count(), 0);
  QCOMPARE(s.window->changed(), 0);
  QVERIFY(drop_paths(list, {QStringLiteral("/etc"), QStringLiteral("\\\\server\\share")}));
  QVERIFY(drop_paths(list, {QStringLiteral("\\\\server\\share\\dir")}));
  QVERIFY(drop_paths(list, {QStringLiteral("\\\\server\\ro")}));
  QCOMPARE(s.window->sources(), (std::vector<std::string>{"/etc", "\\\\server\\share", "\\\\server\\share\\dir",
                                                          "\\\\server\\ro"}));
  QCOMPARE(s.window->changed(), 1);
  QCOMPARE(boxes.texts, QStringList());
  fs::permissions("\\\\server\\ro", fs::perms::owner_all, fs::perm_options::add);
}

void WindowE2ETest::dropped_job_runs_now_into_a_zip_archive() {
  Session s;
  const path root = s.scratch.root();
  s.scratch.install(ZUBETOC_TEST_EXE, "ZUBETOC");
  s.scratch.install(ZIP_LIB, "zip32j.so");
  // A shutdown the worker asked for would land here (the test build only
  // records it); this job asks for none.
  qputenv("ZUBETO_FAKE_SHUTDOWN_RECORD", QByteArray::fromStdString((root / "shutdown.txt").string()));

  const path sample = root / "sample";
  const path backup = root / "backup";
  fs::create_directories(sample / "empty folder");
  fs::create_directories(sample / "写真" / "夏");
  fs::create_directories(backup);
  e2e::write_file(sample / "one.txt", "1");
  e2e::write_file(sample / "empty.txt", "");
  std::string bytes;
  for (int i = 0; i < 70000; ++i) bytes += static_cast<char>((i * 7919) % 251);
  e2e::write_file(sample / "写真" / "夏" / "海 と 空.bin", bytes);
  std::string text;
  for (int i = 0; i < 3000; ++i) text += "line " + std::to_string(i % 89) + " of the notes\r\n";
  e2e::write_file(sample / "notes.txt", text);

  QVERIFY(s.window->load());
  s.window->show();
  QVERIFY(QTest::qWaitForWindowExposed(s.window.get()));
  BoxCloser boxes;

  QVERIFY(drop_paths(s.window->source_list->viewport(), {QString::fromStdString(sample.string())}));
  QVERIFY(drop_paths(s.window->destination_box->viewport(), {QString::fromStdString(backup.string())}));
  QCOMPARE(s.window->sources(), std::vector<std::string>{sample.string()});
  QCOMPARE(s.window->destination(), backup.string() + "/");
  QTest::mouseClick(s.window->type_buttons[1], Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
  QCOMPARE(s.window->selected_type(), 1);
  QCOMPARE(s.window->changed(), 1);

  QTest::mouseClick(s.window->run_now_button, Qt::LeftButton);
  QCOMPARE(boxes.texts, QStringList());
  QCOMPARE(s.window->changed(), 0);
  QCOMPARE(e2e::read_file("jobconf.ini"), "[mode]=1\r\n[archive]=\"" + backup.string() + "/\r\n[base_dir]\r\n" +
                                              "[dir_file]=\"" + sample.string() + "\"\r\n[shut_flg]=0\r\n");

  // The worker runs on its own; its end line closes the run log.
  std::string log;
  for (int waited = 0; waited < 120000; waited += 100) {
    log = e2e::read_file("logdata.txt");
    if (log.find("圧縮処理終了=") != std::string::npos && log.size() >= 2 && log.substr(log.size() - 2) == "\r\n")
      break;
    QTest::qWait(100);
  }
  QCOMPARE(e2e::unstamp(log), std::string("[xx/xx xx:xx:xx]=圧縮処理開始\r\nUNZIP32.DLL Loading\r\n"
                                          "[xx/xx xx:xx:xx]=圧縮処理終了=0000\r\n"));
  QVERIFY(!fs::exists(root / "shutdown.txt"));

  std::vector<path> archives;
  for (auto& e : fs::directory_iterator(backup)) archives.push_back(e.path());
  QCOMPARE(archives.size(), size_t(1));
  QVERIFY2(std::regex_match(archives[0].filename().string(), std::regex(R"(20\d{12}\.zip)")),
           archives[0].filename().c_str());

  const path out = root / "extracted";
  fs::create_directories(out);
  const std::string cmd = "unzip -q '" + archives[0].string() + "' -d '" + out.string() + "'";
  QCOMPARE(std::system(cmd.c_str()), 0);
  // Paths are stored without their root: /tmp/x/sample comes back as tmp/x/sample.
  QCOMPARE(tree(out / sample.relative_path()), tree(sample));
}

QTEST_MAIN(WindowE2ETest)
#include "window_e2e_test.moc"
