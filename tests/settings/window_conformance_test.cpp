// The conformance scenario on the Qt window: the real window on the real
// file services, in a scratch folder, clicked and dropped on as a user
// does; it must show what the bare core decides at every step.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest/QtTest>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "jobfile/vocabulary.h"
#include "system_services.h"
#include "text/lines.h"
#include "view_conformance.h"
#include "window_rig.h"

using namespace zubeto;
using namespace zubeto::conformance;
namespace fs = std::filesystem;

namespace {

// The real services but for the message boxes, which are noted and
// answered at once (OK, or No to a question), and the single-copy question.
class AnsweringServices : public SystemServices {
 public:
  std::vector<ShownMessage> messages;
  int message_box(const std::string& text, const std::string& title, int style) override {
    messages.push_back({text, title, style});
    return (style & 0x0F) == kMbYesNo ? kAnswerNo : kAnswerOk;
  }
  bool previous_instance() override { return false; }
};

class QtDriver : public ViewDriver {
 public:
  QTemporaryDir dir;
  QString old = QDir::currentPath();
  AnsweringServices services;
  std::unique_ptr<ZBTB> window;

  QtDriver() {
    QDir::setCurrent(dir.path());
    window = std::make_unique<ZBTB>(services);
  }
  ~QtDriver() override {
    window.reset();
    QDir::setCurrent(old);
  }
  fs::path root() const { return fs::path(dir.path().toStdString()); }

  std::string make_folder(const std::string& name) override {
    fs::create_directories(root() / name);
    return (root() / name).string();
  }
  std::string missing_path(const std::string& name) override { return (root() / name).string(); }
  void put_job_file(const std::vector<std::string>& lines) override {
    std::ofstream out(root() / jobfile::kJobFile, std::ios::binary);
    for (const std::string& l : lines) out << l << "\r\n";
  }
  bool start() override {
    if (!window->load()) return false;
    window->show();
    return QTest::qWaitForWindowExposed(window.get());
  }
  void click(Button button) override {
    QAbstractButton* b = nullptr;
    switch (button) {
      case Button::save: b = window->save_button; break;
      case Button::run_now: b = window->run_now_button; break;
      case Button::delete_entry: b = window->delete_button; break;
      case Button::clear: b = window->clear_button; break;
      case Button::exit: b = window->exit_button; break;
      case Button::show_log: b = window->show_log_button; break;
      case Button::delete_log: b = window->delete_log_button; break;
      case Button::shutdown_box: b = window->shutdown_box; break;
    }
    QTest::mouseClick(b, Qt::LeftButton);
  }
  void click_type(int index) override {
    QTest::mouseClick(window->type_buttons[static_cast<size_t>(index)], Qt::LeftButton);
  }
  void select_source(std::size_t index) override {
    QListWidget* list = window->source_list;
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                      list->visualItemRect(list->item(static_cast<int>(index))).center());
  }
  int drag_over_sources(const std::vector<std::string>& paths) override {
    auto data = file_list_bytes(paths);
    return drag_over(window->source_list->viewport(), data.get()).first ? 1 : 0;
  }
  void drop_on_sources(const std::vector<std::string>& paths) override {
    auto data = file_list_bytes(paths);
    drag_and_drop(window->source_list->viewport(), data.get());
  }
  void drop_on_destination(const std::vector<std::string>& paths) override {
    auto data = file_list_bytes(paths);
    drag_and_drop(window->destination_box->viewport(), data.get());
  }
  Shown shown() override {
    Shown s;
    for (int i = 0; i < window->source_list->count(); ++i)
      s.sources.push_back(to_narrow(window->source_list->item(i)->text()));
    s.destination = to_narrow(window->destination_box->toPlainText());
    s.type = window->selected_type();
    s.shutdown = window->shutdown_box->isChecked();
    return s;
  }
  std::vector<ShownMessage> take_messages() override {
    std::vector<ShownMessage> out;
    out.swap(services.messages);
    return out;
  }
  std::optional<std::vector<std::string>> job_file() override {
    std::ifstream in(root() / jobfile::kJobFile, std::ios::binary);
    if (!in) return std::nullopt;
    std::stringstream ss;
    ss << in.rdbuf();
    return zubeto::text::split_lines(ss.str());
  }
  bool is_open() override { return window->isVisible(); }
};

}  // namespace

class WindowConformanceTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }

  void the_qt_window_shows_what_the_core_decides() {
    QtDriver driver;
    const std::vector<std::string> differences = run_scenario(driver);
    for (const std::string& d : differences) qWarning("%s", d.c_str());
    QVERIFY(differences.empty());
    // The scenario got as far as the end: the saved job closed the window.
    QVERIFY(!driver.is_open());
  }

  // A view that keeps a rule of its own (here: a drop that appends without
  // the repeat pass, as the list once did) parts from the core and is named.
  void a_view_with_a_rule_of_its_own_is_caught() {
    QtDriver driver;
    driver.window->source_list->on_drop = [&](const QMimeData& d, Qt::DropActions) {
      for (const QUrl& u : d.urls()) driver.window->source_list->addItem(u.toLocalFile());
      return true;
    };
    const std::vector<std::string> differences = run_scenario(driver);
    QVERIFY(!differences.empty());
    QVERIFY2(differences[0].rfind("drop with a repeat on the source list:", 0) == 0, differences[0].c_str());
  }
};

QTEST_MAIN(WindowConformanceTest)
#include "window_conformance_test.moc"
