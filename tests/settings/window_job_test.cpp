// The window building a job: files and folders dropped on the source list
// and the destination box, the save button and the run-now button. The
// drops are real drag events with file-URL data sent to the controls'
// viewports; the saves are checked on the lines the services receive and,
// through the real services in a scratch folder, byte for byte on disk.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTimer>
#include <QtTest/QtTest>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "system_services.h"
#include "window_rig.h"

using namespace zubeto;
namespace fs = std::filesystem;

namespace {

using Messages = std::vector<std::tuple<std::string, std::string, int>>;

Messages messages_of(const FakeServices& s) {
  Messages out;
  for (const MessageCall& m : s.messages) out.emplace_back(m.text, m.title, m.style);
  return out;
}

// A rig whose window already shows a job.
struct JobRig : Rig {
  JobRig(int type, const std::string& destination, std::initializer_list<const char*> sources, bool shut = false) {
    bool opened = open();
    Q_ASSERT(opened);
    (void)opened;
    window->select_type(type);
    window->set_destination(destination);
    for (const char* s : sources) window->add_source(s);
    window->shutdown_box->setChecked(shut);
  }
};

std::string read_bytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void write_bytes(const fs::path& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }

std::string crlf(std::initializer_list<std::string> lines) {
  std::string out;
  for (const std::string& l : lines) out += l + "\r\n";
  return out;
}


// The window on the real services, with a scratch folder as the current
// folder; the folder is left when the rig ends.
struct RealRig {
  QTemporaryDir dir;
  QString old = QDir::currentPath();
  SystemServices services;
  std::unique_ptr<ZBTB> window;
  bool loaded = false;
  RealRig() {
    QDir::setCurrent(dir.path());
    window = std::make_unique<ZBTB>(services);
    services.set_dialog_parent(window.get());
    loaded = window->load();
    window->show();
  }
  ~RealRig() {
    window.reset();
    QDir::setCurrent(old);
    std::error_code ec;
    for (auto& e : fs::recursive_directory_iterator(root(), ec))
      fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::permissions(root(), fs::perms::owner_all, fs::perm_options::add, ec);
    // Removed by bytes: the temporary folder's own clean-up goes by text and
    // cannot reach a name that is not valid UTF-8.
    fs::remove_all(root(), ec);
  }
  fs::path root() const { return fs::path(dir.path().toStdString()); }
  void show_job(int type, const std::string& destination, const std::vector<std::string>& sources, bool shut) {
    window->select_type(type);
    window->set_destination(destination);
    while (!window->sources().empty()) window->core().delete_entries({0});
    for (const std::string& s : sources) window->add_source(s);
    window->shutdown_box->setChecked(shut);
  }
};

}  // namespace

class WindowJobTest : public QObject {
  Q_OBJECT
  QTemporaryDir runtime_;

 private slots:
  void initTestCase() {
    QApplication::setQuitOnLastWindowClosed(false);
    // The single-copy mark of the windows on the real services lies in a
    // folder of this run's own, so that a settings window running elsewhere
    // on the machine does not count as a copy.
    QVERIFY(runtime_.isValid());
    qputenv("XDG_RUNTIME_DIR", runtime_.path().toUtf8());
  }

  // ---- drops on the source list ------------------------------------------
  void source_drag_over_data();
  void source_drag_over();
  void source_drop_appends_in_order_and_removes_repeats_data();
  void source_drop_appends_in_order_and_removes_repeats();
  void repeats_are_reported_while_still_in_the_list();
  void refused_drags_drop_nothing();

  // ---- drops on the destination box ---------------------------------------
  void destination_drop_data();
  void destination_drop();
  void destination_refuses_move_only_drags();
  void paths_the_job_file_cannot_carry_are_refused();

  // ---- save ---------------------------------------------------------------
  void save_writes_the_job_files_byte_for_byte_data();
  void save_writes_the_job_files_byte_for_byte();
  void restored_job_is_saved_again_byte_for_byte_data();
  void restored_job_is_saved_again_byte_for_byte();
  void save_leaves_an_old_response_file_alone_up_to_ten_sources();
  void tar_drive_check_removes_one_entry_per_press();
  void empty_job_is_refused_and_keeps_the_stored_job_data();
  void empty_job_is_refused_and_keeps_the_stored_job();
  void failed_write_says_so_and_keeps_everything_data();
  void failed_write_says_so_and_keeps_everything();
  void read_only_job_file_on_disk_is_reported_and_kept();

  // ---- run now ------------------------------------------------------------
  void run_now_starts_the_worker_after_every_outcome_data();
  void run_now_starts_the_worker_after_every_outcome();
  void run_now_without_a_program_folder_starts_nothing();
  void message_box_shows_text_as_written_data();
  void message_box_shows_text_as_written();
};

// ---- drops on the source list ----------------------------------------------

void WindowJobTest::source_drag_over_data() {
  QTest::addColumn<QStringList>("urls");  // local paths, or "http:..." / "file:..." URLs as sent
  QTest::addColumn<bool>("text_only");
  QTest::addColumn<int>("offered");
  QTest::addColumn<bool>("library");
  QTest::addColumn<bool>("accepted");
  QTest::addColumn<Lines>("asked");  // paths the share check was asked about
  const int both = int(Qt::CopyAction | Qt::MoveAction);
  const char* share = "\\\\server\\share";
  QTest::newRow("two files") << qlist({"/a.txt", "/b.txt"}) << false << both << true << true << Lines{"/a.txt"};
  QTest::newRow("copy only offered") << qlist({"/a.txt"}) << false << int(Qt::CopyAction) << true << true
                                     << Lines{"/a.txt"};
  QTest::newRow("move only offered") << qlist({"/a.txt"}) << false << int(Qt::MoveAction) << true << false
                                     << Lines{};
  QTest::newRow("text selection") << QStringList() << true << both << true << false << Lines{};
  QTest::newRow("share root") << qlist({share}) << false << both << true << false << Lines{share};
  QTest::newRow("folder inside a share") << qlist({"\\\\server\\share\\dir"}) << false << both << true << true
                                         << Lines{"\\\\server\\share\\dir"};
  QTest::newRow("share root second") << qlist({"/a.txt", share}) << false << both << true << true
                                     << Lines{"/a.txt"};
  QTest::newRow("share root first") << qlist({share, "/a.txt"}) << false << both << true << false << Lines{share};
  QTest::newRow("no local file") << qlist({"http://example.org/a.txt"}) << false << both << true << false
                                 << Lines{};
  QTest::newRow("first local path is the one tested")
      << qlist({"http://example.org/a.txt", share, "/b.txt"}) << false << both << true << false << Lines{share};
  QTest::newRow("share library missing") << qlist({share}) << false << both << false << true << Lines{share};
  QTest::newRow("japanese name") << qlist({"/データ/写真"}) << false << both << true << true
                                 << Lines{"/データ/写真"};
  // A name that is not valid UTF-8 is asked about as its own bytes: the one
  // that only shows alike is no share root.
  QTest::newRow("share root not valid utf-8") << qlist({"file:///srv/caf%E9"}) << false << both << true << false
                                              << Lines{"/srv/caf\xE9"};
  // Longer than the editable scratch box holds: the whole path is asked.
  const std::string long_share = "\\\\server\\" + std::string(40000, 'x');
  QTest::newRow("share root longer than the box holds")
      << qlist({long_share.c_str()}) << false << both << true << false << Lines{long_share};
  QTest::newRow("name showing alike is another path") << qlist({"file:///srv/caf%E8"}) << false << both << true
                                                      << true << Lines{"/srv/caf\xE8"};
}

void WindowJobTest::source_drag_over() {
  QFETCH(QStringList, urls);
  QFETCH(bool, text_only);
  QFETCH(int, offered);
  QFETCH(bool, library);
  QFETCH(bool, accepted);
  QFETCH(Lines, asked);
  Rig rig;
  rig.services.share_roots = {"\\\\server\\share", "/srv/caf\xE9", "/srv/caf\xEF\xBF\xBD",
                              "\\\\server\\" + std::string(40000, 'x')};
  rig.services.share_library = library;
  QVERIFY(rig.open());
  QMimeData data;
  if (text_only) {
    data.setText(QStringLiteral("/a.txt"));
  } else {
    QList<QUrl> list;
    for (const QString& u : urls)
      list << (u.startsWith("http:") || u.startsWith("file:") ? QUrl::fromEncoded(u.toLatin1())
                                                              : QUrl::fromLocalFile(u));
    data.setUrls(list);
  }
  auto [ok, action] = drag_over(rig.window->source_list->viewport(), &data, Qt::DropActions(offered));
  QCOMPARE(ok, accepted);
  if (ok) QCOMPARE(action, Qt::CopyAction);
  // Asked at the enter and, once that is accepted, at the move; always
  // about the first path.
  for (const std::string& q : rig.services.share_questions) QCOMPARE(q, asked.empty() ? std::string() : asked[0]);
  QCOMPARE(rig.services.share_questions.size(), asked.empty() ? size_t(0) : accepted ? size_t(2) : size_t(1));
  // The scratch list is empty again and nothing reached the list or the flag.
  QCOMPARE(rig.window->scratch_combo->count(), 0);
  QVERIFY(rig.window->core().scratch().empty());
  QCOMPARE(rig.window->source_list->count(), 0);
  QCOMPARE(rig.window->changed(), 0);
  QVERIFY(rig.services.messages.empty());
}

// Paths are bytes: the list before the drop holds them as the restore puts
// them in, the drop sends them percent-encoded in file URLs.
void WindowJobTest::source_drop_appends_in_order_and_removes_repeats_data() {
  QTest::addColumn<Lines>("before");
  QTest::addColumn<Lines>("dropped");
  QTest::addColumn<Lines>("after");
  QTest::addColumn<Lines>("reported");
  QTest::newRow("two files in order") << Lines{} << Lines{"/a.txt", "/b.txt"} << Lines{"/a.txt", "/b.txt"}
                                      << Lines{};
  QTest::newRow("already there") << Lines{"/a.txt", "/z"} << Lines{"/a.txt"} << Lines{"/a.txt", "/z"}
                                 << Lines{"/a.txt"};
  QTest::newRow("restored three times") << Lines{"/x", "/x", "/x"} << Lines{"/y"} << Lines{"/x", "/y"}
                                        << Lines{"/x", "/x"};
  QTest::newRow("letter case counts") << Lines{"/Data"} << Lines{"/data"} << Lines{"/Data", "/data"} << Lines{};
  QTest::newRow("repeats within the drop") << Lines{"/a", "/b"} << Lines{"/b", "/c", "/a", "/c"}
                                           << Lines{"/a", "/b", "/c"} << Lines{"/a", "/b", "/c"};
  QTest::newRow("share root is not tested on the drop")
      << Lines{} << Lines{"/a.txt", "\\\\server\\share"} << Lines{"/a.txt", "\\\\server\\share"} << Lines{};
  QTest::newRow("folder adds its path alone") << Lines{} << Lines{"/usr/share/doc"} << Lines{"/usr/share/doc"}
                                              << Lines{};
  // Names written by another system: each shows with a replacement
  // character, yet is kept, compared and saved as its own bytes.
  QTest::newRow("name not valid utf-8 keeps its bytes")
      << Lines{} << Lines{"/tmp/caf\xE9", "/tmp/d\xFF\xFE"} << Lines{"/tmp/caf\xE9", "/tmp/d\xFF\xFE"} << Lines{};
  QTest::newRow("names that only show alike are no repeats")
      << Lines{"/tmp/caf\xE9"} << Lines{"/tmp/caf\xE8", "/tmp/caf\xEF\xBF\xBD"}
      << Lines{"/tmp/caf\xE9", "/tmp/caf\xE8", "/tmp/caf\xEF\xBF\xBD"} << Lines{};
  QTest::newRow("same bytes not valid utf-8 are a repeat")
      << Lines{"/tmp/caf\xE9"} << Lines{"/tmp/caf\xE9", "/tmp/caf\xE8"} << Lines{"/tmp/caf\xE9", "/tmp/caf\xE8"}
      << Lines{"/tmp/caf\xE9"};
}

void WindowJobTest::source_drop_appends_in_order_and_removes_repeats() {
  QFETCH(Lines, before);
  QFETCH(Lines, dropped);
  QFETCH(Lines, after);
  QFETCH(Lines, reported);
  Rig rig;
  rig.services.share_roots = {"\\\\server\\share"};
  QVERIFY(rig.open());
  for (const std::string& b : before) rig.window->add_source(b);
  auto data = file_list_bytes(dropped);
  auto [ok, action] = drag_and_drop(rig.window->source_list->viewport(), data.get());
  QVERIFY(ok);
  QCOMPARE(action, Qt::CopyAction);
  QCOMPARE(rig.window->sources(), after);
  QStringList shown;
  for (const std::string& a : after) shown << from_narrow(a);
  QCOMPARE(rig.list(), shown);
  Messages want;
  for (const std::string& r : reported) want.emplace_back(r + "は既にあります。", "エラーメッセージ", 48);
  QCOMPARE(messages_of(rig.services), want);
  QCOMPARE(rig.window->changed(), 1);
  QCOMPARE(rig.window->scratch_combo->count(), 0);
  QVERIFY(rig.window->core().scratch().empty());
}

void WindowJobTest::repeats_are_reported_while_still_in_the_list() {
  Rig rig;
  QVERIFY(rig.open());
  for (const char* s : {"/x", "/x", "/x"}) rig.window->add_source(s);
  std::vector<QStringList> shown;
  rig.services.on_message = [&](const MessageCall&) { shown.push_back(rig.list()); };
  auto data = file_list({QStringLiteral("/y")});
  QVERIFY(drag_and_drop(rig.window->source_list->viewport(), data.get()).first);
  // The dropped path shows at once; each repeat goes only after its box.
  QCOMPARE(shown.size(), size_t(2));
  QCOMPARE(shown[0], qlist({"/x", "/x", "/x", "/y"}));
  QCOMPARE(shown[1], qlist({"/x", "/x", "/y"}));
  QCOMPARE(rig.list(), qlist({"/x", "/y"}));
}

void WindowJobTest::refused_drags_drop_nothing() {
  Rig rig;
  rig.services.share_roots = {"\\\\server\\share"};
  QVERIFY(rig.open());
  rig.window->set_changed(0);
  QMimeData text;
  text.setText(QStringLiteral("/a.txt"));
  auto share_first = file_list(qlist({"\\\\server\\share", "/a.txt"}));
  auto file = file_list(qlist({"/a.txt"}));
  QVERIFY(!drag_and_drop(rig.window->source_list->viewport(), &text).first);
  QVERIFY(!drag_and_drop(rig.window->source_list->viewport(), share_first.get()).first);
  QVERIFY(!drag_and_drop(rig.window->source_list->viewport(), file.get(), nullptr, Qt::MoveAction).first);
  QCOMPARE(rig.window->source_list->count(), 0);
  QCOMPARE(rig.window->changed(), 0);
  QVERIFY(rig.services.messages.empty());
  // The same file offered for copying goes in.
  QVERIFY(drag_and_drop(rig.window->source_list->viewport(), file.get(), nullptr, Qt::CopyAction).first);
  QCOMPARE(rig.list(), qlist({"/a.txt"}));
}

// ---- drops on the destination box ------------------------------------------

// Paths and the box's text are bytes; the drop sends each path
// percent-encoded in a file URL.
void WindowJobTest::destination_drop_data() {
  QTest::addColumn<Lines>("paths");  // empty with text_only: a text selection
  QTest::addColumn<bool>("text_only");
  QTest::addColumn<int>("flag_before");
  QTest::addColumn<std::string>("text");
  QTest::addColumn<int>("flag");
  QTest::addColumn<QString>("message");
  using S = std::string;
  const QString folder_msg = QString::fromUtf8("フォルダを指定して下さい。");
  const QString one_msg = QString::fromUtf8("圧縮ファイルは１つにして下さい。");
  QTest::newRow("folder") << Lines{"/backup"} << false << 0 << S("/backup/") << 1 << QString();
  QTest::newRow("root gets a second separator") << Lines{"/"} << false << 0 << S("//") << 1 << QString();
  QTest::newRow("share root is no matter here")
      << Lines{"\\\\server\\share"} << false << 0 << S("\\\\server\\share/") << 1 << QString();
  QTest::newRow("folder ending in a separator") << Lines{"/backup/"} << false << 0 << S("/backup//") << 1
                                                << QString();
  QTest::newRow("file, flag 0") << Lines{"/backup/a.txt"} << false << 0 << S() << 0 << folder_msg;
  QTest::newRow("file, flag 1") << Lines{"/backup/a.txt"} << false << 1 << S() << 1 << folder_msg;
  QTest::newRow("missing path") << Lines{"/gone"} << false << 0 << S() << 0 << folder_msg;
  QTest::newRow("two folders") << Lines{"/backup", "/other"} << false << 0 << S("/old/") << 0 << one_msg;
  QTest::newRow("text selection") << Lines{} << true << 0 << S("/old/") << 0 << QString();
  QTest::newRow("no-break space and line separator kept")
      << Lines{"/back\u00a0up\u2028x"} << false << 0 << S("/back\u00a0up\u2028x/") << 1 << QString();
  QTest::newRow("no local file") << Lines{"http://example.org/backup"} << false << 0 << S("/old/") << 0
                                 << QString();
  // A folder written by another system: asked about, shown and kept as its
  // own bytes. One whose name only shows alike is another folder.
  QTest::newRow("name not valid utf-8 keeps its bytes")
      << Lines{"/srv/caf\xE9"} << false << 0 << S("/srv/caf\xE9/") << 1 << QString();
  QTest::newRow("name that only shows alike is not that folder")
      << Lines{"/srv/caf\xE8"} << false << 0 << S() << 0 << folder_msg;
}

void WindowJobTest::destination_drop() {
  QFETCH(Lines, paths);
  QFETCH(bool, text_only);
  QFETCH(int, flag_before);
  QFETCH(std::string, text);
  QFETCH(int, flag);
  QFETCH(QString, message);
  Rig rig;
  rig.services.files["jobconf.ini"] = {"[archive]=\"/old/"};
  // "/srv/caf" with a replacement character is a folder, "/srv/caf\xE8" is not.
  rig.services.folders = {"/backup",           "/backup/", "/other", "/", "\\\\server\\share", "/back\u00a0up\u2028x",
                          "/srv/caf\xE9", "/srv/caf\xEF\xBF\xBD"};
  QVERIFY(rig.open());
  rig.window->set_changed(static_cast<int16_t>(flag_before));
  QMimeData data;
  if (text_only) {
    data.setText(QStringLiteral("/backup"));
  } else {
    QList<QUrl> list;
    for (const std::string& u : paths)
      list << (u.rfind("http:", 0) == 0 ? QUrl(QString::fromStdString(u)) : file_url(u));
    data.setUrls(list);
  }
  auto [ok, action] = drag_and_drop(rig.window->destination_box->viewport(), &data);
  QVERIFY(ok);
  QCOMPARE(action, Qt::CopyAction);
  QCOMPARE(rig.window->destination(), text);
  QCOMPARE(rig.window->destination_box->document()->toRawText(), from_narrow(text));
  QCOMPARE(int(rig.window->changed()), flag);
  Messages want;
  if (!message.isEmpty()) want.emplace_back(to_narrow(message), "エラーメッセージ", 64);
  QCOMPARE(messages_of(rig.services), want);
}

// A quote or a line break in a name (possible on POSIX) would make the saved
// job name another path: such a source or destination never gets in.
void WindowJobTest::paths_the_job_file_cannot_carry_are_refused() {
  Rig rig;
  rig.services.folders = {"/backup", "/bad\"dir", "/two\nlines"};
  QVERIFY(rig.open());
  rig.window->set_changed(0);
  auto sources = file_list(qlist({"/a.txt", "/bad\"dir", "/two\nlines", "/b.txt"}));
  QVERIFY(drag_and_drop(rig.window->source_list->viewport(), sources.get()).first);
  QCOMPARE(rig.list(), qlist({"/a.txt", "/b.txt"}));
  const std::string tail = "」は、ジョブに保存できない文字（\"、改行）を含むため使えません。";
  Messages want = {{"「/bad\"dir" + tail, "エラーメッセージ", 48}, {"「/two\nlines" + tail, "エラーメッセージ", 48}};
  QCOMPARE(messages_of(rig.services), want);
  QCOMPARE(rig.window->changed(), 1);

  rig.services.messages.clear();
  rig.window->set_changed(0);
  rig.window->set_destination("/backup/");
  auto dest = file_list(qlist({"/bad\"dir"}));
  QVERIFY(drag_and_drop(rig.window->destination_box->viewport(), dest.get()).first);
  QCOMPARE(rig.window->destination_box->toPlainText(), QStringLiteral("/backup/"));
  QCOMPARE(rig.window->changed(), 0);
  QCOMPARE(messages_of(rig.services), (Messages{{"「/bad\"dir" + tail, "エラーメッセージ", 48}}));
}

void WindowJobTest::destination_refuses_move_only_drags() {
  Rig rig;
  rig.services.files["jobconf.ini"] = {"[archive]=\"/old/"};
  rig.services.folders = {"/backup"};
  QVERIFY(rig.open());
  auto data = file_list({QStringLiteral("/backup")});
  QVERIFY(!drag_and_drop(rig.window->destination_box->viewport(), data.get(), nullptr, Qt::MoveAction).first);
  QCOMPARE(rig.window->destination_box->toPlainText(), QStringLiteral("/old/"));
  QCOMPARE(rig.window->changed(), 0);
}

// ---- save -------------------------------------------------------------------

// Paths in the rows are relative to the scratch folder and written there as
// "@/"; "dir:" and "file:" rows of `make` are created first.
void WindowJobTest::save_writes_the_job_files_byte_for_byte_data() {
  QTest::addColumn<Lines>("make");
  QTest::addColumn<int>("type");
  QTest::addColumn<bool>("shut");
  QTest::addColumn<Lines>("sources");
  QTest::addColumn<QString>("jobconf");
  QTest::addColumn<QString>("resp");  // "-" when no response file is written
  const Lines tree = {"dir:backup", "dir:data", "file:memo.txt"};
  QTest::newRow("example job") << tree << 0 << false << Lines{"@/data", "@/memo.txt"}
                               << QString::fromStdString(crlf({"[mode]=0", "[archive]=\"@/backup/", "[base_dir]",
                                                              "[dir_file]=\"@/data\"", "[dir_file]=\"@/memo.txt\"",
                                                              "[shut_flg]=0"}))
                               << QStringLiteral("-");
  QTest::newRow("zip with shutdown") << tree << 1 << true << Lines{"@/data"}
                                     << QString::fromStdString(crlf({"[mode]=1", "[archive]=\"@/backup/",
                                                                    "[base_dir]", "[dir_file]=\"@/data\"",
                                                                    "[shut_flg]=1"}))
                                     << QStringLiteral("-");
  QTest::newRow("cab suffix on folders only")
      << tree << 2 << false << Lines{"@/data", "@/memo.txt", "@/missing", "/"}
      << QString::fromStdString(crlf({"[mode]=2", "[archive]=\"@/backup/", "[base_dir]", "[dir_file]=\"@/data/*.*\"",
                                      "[dir_file]=\"@/memo.txt\"", "[dir_file]=\"@/missing\"", "[dir_file]=\"//*.*\"",
                                      "[shut_flg]=0"}))
      << QStringLiteral("-");
  QTest::newRow("tar base folder") << tree << 3 << false << Lines{"@/data", "@/memo.txt"}
                                   << QString::fromStdString(crlf({"[mode]=3", "[archive]=\"@/backup/",
                                                                  "[base_dir]=\"/\"", "[dir_file]=\"@/data\"",
                                                                  "[dir_file]=\"@/memo.txt\"", "[shut_flg]=0"}))
                                   << QStringLiteral("-");
  Lines ten, eleven;
  std::string ten_lines, resp11;
  for (int i = 0; i < 11; ++i) {
    std::string s = "@/f" + std::to_string(i) + ".txt";
    if (i < 10) {
      ten.push_back(s);
      ten_lines += "[dir_file]=\"" + s + "\"\r\n";
    }
    eleven.push_back(i == 5 ? "@/data" : s);
    resp11 += "\"" + (i == 5 ? std::string("@/data/*.*") : s) + "\"\r\n";
  }
  QTest::newRow("ten sources inline")
      << tree << 1 << false << ten
      << QString::fromStdString("[mode]=1\r\n[archive]=\"@/backup/\r\n[base_dir]\r\n" + ten_lines + "[shut_flg]=0\r\n")
      << QStringLiteral("-");
  QTest::newRow("eleven sources through the response file")
      << tree << 2 << true << eleven
      << QString::fromStdString(crlf({"[mode]=2", "[archive]=\"@/backup/", "[base_dir]", "[dir_file]=\"@resp.tmp\"",
                                      "[shut_flg]=1"}))
      << QString::fromStdString(resp11);
  // A no-break space and a line separator are shown as they are and must be
  // saved as they are: read back as a space or a line break they would
  // name another folder, or split the line.
  QTest::newRow("no-break space and line separator")
      << Lines{"dir:save\u00a0here\u2028now", "dir:data\u00a0x"} << 1 << false << Lines{"@/data\u00a0x"}
      << QString::fromStdString(crlf({"[mode]=1", "[archive]=\"@/save\u00a0here\u2028now/", "[base_dir]",
                                      "[dir_file]=\"@/data\u00a0x\"", "[shut_flg]=0"}))
      << QStringLiteral("-");
  QTest::newRow("japanese and long paths")
      << Lines{"dir:バックアップ", "dir:写真"} << 2 << false << Lines{"@/写真", "@/" + std::string(300, 'x')}
      << QString::fromStdString(crlf({"[mode]=2", "[archive]=\"@/バックアップ/", "[base_dir]",
                                      "[dir_file]=\"@/写真/*.*\"", "[dir_file]=\"@/" + std::string(300, 'x') + "\"",
                                      "[shut_flg]=0"}))
      << QStringLiteral("-");
}

void WindowJobTest::save_writes_the_job_files_byte_for_byte() {
  QFETCH(Lines, make);
  QFETCH(int, type);
  QFETCH(bool, shut);
  QFETCH(Lines, sources);
  QFETCH(QString, jobconf);
  QFETCH(QString, resp);
  RealRig rig;
  QVERIFY(rig.dir.isValid());
  QVERIFY(rig.loaded);
  const std::string root = rig.root().string();
  auto at = [&](std::string s) {
    if (s.rfind("@/", 0) == 0) s = root + s.substr(1);
    return s;
  };
  auto all_at = [&](std::string s) {
    for (size_t p; (p = s.find("@/")) != std::string::npos;) s.replace(p, 1, root);
    return s;
  };
  std::string destination;
  for (const std::string& m : make) {
    if (m.rfind("dir:", 0) == 0) {
      fs::create_directories(rig.root() / m.substr(4));
      if (destination.empty()) destination = root + "/" + m.substr(4) + "/";
    } else {
      write_bytes(rig.root() / m.substr(5), "x");
    }
  }
  std::vector<std::string> shown;
  for (const std::string& s : sources) shown.push_back(at(s));
  rig.show_job(type, destination, shown, shut);
  QCOMPARE(rig.window->changed(), 1);
  BoxCloser boxes;
  QTest::mouseClick(rig.window->save_button, Qt::LeftButton);
  QCOMPARE(boxes.texts, QStringList());
  QCOMPARE(read_bytes("jobconf.ini"), all_at(jobconf.toStdString()));
  if (resp == QLatin1String("-"))
    QVERIFY(!fs::exists("resp.tmp"));
  else
    QCOMPARE(read_bytes("resp.tmp"), all_at(resp.toStdString()));
  QCOMPARE(rig.window->changed(), 0);
  // No scratch file is left beside them.
  for (auto& e : fs::directory_iterator(rig.root()))
    QVERIFY2(e.path().filename().string().find(".new~") == std::string::npos, e.path().c_str());
  // Saved files restore the same job in a fresh window (sources read back
  // from a response file keep their folder suffix, so those are left out).
  if (resp != QLatin1String("-")) return;
  ZBTB again(rig.services);
  QVERIFY(again.load());
  QCOMPARE(again.sources(), shown);
  QCOMPARE(again.destination(), destination);
  QCOMPARE(again.selected_type(), type);
  QCOMPARE(again.shutdown(), shut ? 1 : 0);
}

// A job restored at start-up and saved again unchanged names the same
// files, byte for byte, even where a name is not valid UTF-8 (written by
// another system): a name rewritten with replacement characters would name
// a path that does not exist, and the next unattended run would fail. The
// rows name real folders and files under the scratch folder ("@/"); the
// CAB row also shows the folder test asked about the exact bytes, since
// only folders get their suffix back.
void WindowJobTest::restored_job_is_saved_again_byte_for_byte_data() {
  QTest::addColumn<Lines>("make");
  QTest::addColumn<QString>("jobconf");  // Latin-1: each character one byte
  QTest::addColumn<QString>("destination");
  const Lines tree = {"dir:caf\xE9", "dir:d\xFF\xFEta", "file:memo\xE8.txt", "dir:caf\xE8"};
  auto job = [](std::initializer_list<std::string> lines) { return QString::fromLatin1(crlf(lines)); };
  QTest::newRow("zip") << tree
                       << job({"[mode]=1", "[archive]=\"@/caf\xE9/", "[base_dir]", "[dir_file]=\"@/d\xFF\xFEta\"",
                               "[dir_file]=\"@/memo\xE8.txt\"", "[shut_flg]=0"})
                       << QString::fromLatin1("@/caf\xE9/");
  QTest::newRow("cab folder suffix")
      << tree
      << job({"[mode]=2", "[archive]=\"@/caf\xE9/", "[base_dir]", "[dir_file]=\"@/d\xFF\xFEta/*.*\"",
              "[dir_file]=\"@/memo\xE8.txt\"", "[dir_file]=\"@/caf\xE8/*.*\"", "[shut_flg]=1"})
      << QString::fromLatin1("@/caf\xE9/");
  QTest::newRow("tar") << tree
                       << job({"[mode]=3", "[archive]=\"@/caf\xE8/", "[base_dir]=\"/\"", "[dir_file]=\"@/caf\xE9\"",
                               "[dir_file]=\"@/d\xFF\xFEta\"", "[shut_flg]=0"})
                       << QString::fromLatin1("@/caf\xE8/");
}

void WindowJobTest::restored_job_is_saved_again_byte_for_byte() {
  QFETCH(Lines, make);
  QFETCH(QString, jobconf);
  QFETCH(QString, destination);
  RealRig rig;
  QVERIFY(rig.dir.isValid());
  QVERIFY(rig.loaded);
  const std::string root = rig.root().string();
  std::string stored = jobconf.toLatin1().toStdString();
  for (size_t p; (p = stored.find("@/")) != std::string::npos;) stored.replace(p, 1, root);
  for (const std::string& m : make) {
    if (m.rfind("dir:", 0) == 0)
      fs::create_directories(rig.root() / m.substr(4));
    else
      write_bytes(rig.root() / m.substr(5), "x");
  }
  write_bytes("jobconf.ini", stored);

  // A fresh window restores the job at start-up, as the program does.
  ZBTB again(rig.services);
  QVERIFY(again.load());
  again.show();
  QCOMPARE(again.changed(), 0);
  // Shown with a replacement character, saved as it came in.
  QVERIFY(again.destination_box->toPlainText().contains(QChar(QChar::ReplacementCharacter)));
  write_bytes("jobconf.ini", "");
  BoxCloser boxes;
  QTest::mouseClick(again.save_button, Qt::LeftButton);
  QCOMPARE(boxes.texts, QStringList());
  QCOMPARE(read_bytes("jobconf.ini"), stored);
  QVERIFY(!fs::exists("resp.tmp"));
  QCOMPARE(again.changed(), 0);
  // The window hands out the paths that exist.
  QCOMPARE(again.destination(), root + destination.toLatin1().toStdString().substr(1));
  for (const std::string& s : again.sources()) QVERIFY2(fs::exists(s), s.c_str());
}

void WindowJobTest::save_leaves_an_old_response_file_alone_up_to_ten_sources() {
  JobRig rig(1, "/b/", {"/1", "/2", "/3", "/4", "/5", "/6", "/7", "/8", "/9", "/10"});
  rig.services.files["resp.tmp"] = {"\"/old\""};
  QTest::mouseClick(rig.window->save_button, Qt::LeftButton);
  QCOMPARE(rig.services.write_calls, (std::vector<Lines>{{"jobconf.ini"}}));
  QCOMPARE(rig.services.files["jobconf.ini"].size(), size_t(14));
  QCOMPARE(rig.services.files["resp.tmp"], Lines{"\"/old\""});
  // One more source: the response file first, then the job file naming it.
  rig.window->add_source("/11");
  QTest::mouseClick(rig.window->save_button, Qt::LeftButton);
  QCOMPARE(rig.services.write_calls.back(), (Lines{"resp.tmp", "jobconf.ini"}));
  QCOMPARE(rig.services.files["resp.tmp"].size(), size_t(11));
  QCOMPARE(rig.services.files["jobconf.ini"][3], std::string("[dir_file]=\"@resp.tmp\""));
}

void WindowJobTest::tar_drive_check_removes_one_entry_per_press() {
  // On POSIX every absolute path shares the root "/"; a path without it
  // lies elsewhere.
  JobRig rig(3, "/b/", {"/a", "rel/b", "/c", "rel/d"});
  rig.services.files["jobconf.ini"] = {"old job"};
  rig.window->set_changed(1);
  const std::string drive = "ＴＡＲでの圧縮の場合,異なるドライブ名の指定はできません。＝";
  QStringList shown_at_message;
  rig.services.on_message = [&](const MessageCall&) { shown_at_message = rig.list(); };

  QTest::mouseClick(rig.window->save_button, Qt::LeftButton);
  QCOMPARE(messages_of(rig.services), (Messages{{drive + "rel/b", "エラーメッセージ", 48}}));
  QCOMPARE(shown_at_message, qlist({"/a", "rel/b", "/c", "rel/d"}));  // removed after the box
  QCOMPARE(rig.list(), qlist({"/a", "/c", "rel/d"}));
  QVERIFY(rig.services.write_calls.empty());
  QCOMPARE(rig.services.files["jobconf.ini"], Lines{"old job"});
  QCOMPARE(rig.window->changed(), 1);

  QTest::mouseClick(rig.window->save_button, Qt::LeftButton);
  QCOMPARE(std::get<0>(messages_of(rig.services).back()), drive + "rel/d");
  QCOMPARE(rig.list(), qlist({"/a", "/c"}));
  QVERIFY(rig.services.write_calls.empty());

  QTest::mouseClick(rig.window->save_button, Qt::LeftButton);
  QCOMPARE(rig.services.messages.size(), size_t(2));
  QCOMPARE(rig.services.files["jobconf.ini"],
           (Lines{"[mode]=3", "[archive]=\"/b/", "[base_dir]=\"/\"", "[dir_file]=\"/a\"", "[dir_file]=\"/c\"",
                  "[shut_flg]=0"}));
  QCOMPARE(rig.window->changed(), 0);

  // Other types make no drive check.
  JobRig zip(1, "/b/", {"/a", "rel/b"});
  QTest::mouseClick(zip.window->save_button, Qt::LeftButton);
  QVERIFY(zip.services.messages.empty());
  QCOMPARE(zip.list(), qlist({"/a", "rel/b"}));
  // A single TAR source passes, its root as the base folder.
  JobRig one(3, "/b/", {"rel/only"});
  QTest::mouseClick(one.window->save_button, Qt::LeftButton);
  QVERIFY(one.services.messages.empty());
  QCOMPARE(one.services.files["jobconf.ini"][2], std::string("[base_dir]=\"\""));
}

void WindowJobTest::empty_job_is_refused_and_keeps_the_stored_job_data() {
  QTest::addColumn<QString>("destination");
  QTest::addColumn<QStringList>("sources");
  QTest::newRow("no sources") << QStringLiteral("/b/") << QStringList();
  QTest::newRow("no destination") << QString() << qlist({"/a"});
  QTest::newRow("neither") << QString() << QStringList();
}

void WindowJobTest::empty_job_is_refused_and_keeps_the_stored_job() {
  QFETCH(QString, destination);
  QFETCH(QStringList, sources);
  JobRig rig(3, "", {});
  rig.window->set_destination(to_narrow(destination));
  for (const QString& s : sources) rig.window->add_source(to_narrow(s));
  rig.services.files["jobconf.ini"] = {"[mode]=0", "stored before"};
  QTest::mouseClick(rig.window->save_button, Qt::LeftButton);
  QCOMPARE(messages_of(rig.services), (Messages{{"ドロップ＆ドラッグされていません。", "エラー", 48}}));
  QVERIFY(rig.services.write_calls.empty());
  QCOMPARE(rig.services.files["jobconf.ini"], (Lines{"[mode]=0", "stored before"}));
  QCOMPARE(rig.window->changed(), 1);
  QVERIFY(rig.services.starts.empty());
}

void WindowJobTest::failed_write_says_so_and_keeps_everything_data() {
  QTest::addColumn<QString>("unwritable");
  QTest::addColumn<int>("sources");
  QTest::newRow("job file") << QStringLiteral("jobconf.ini") << 2;
  QTest::newRow("response file") << QStringLiteral("resp.tmp") << 11;
  QTest::newRow("job file after the response file") << QStringLiteral("jobconf.ini") << 11;
}

void WindowJobTest::failed_write_says_so_and_keeps_everything() {
  QFETCH(QString, unwritable);
  QFETCH(int, sources);
  JobRig rig(0, "/b/", {});
  for (int i = 0; i < sources; ++i) rig.window->add_source("/s" + std::to_string(i));
  rig.services.files["jobconf.ini"] = {"old job"};
  rig.services.files["resp.tmp"] = {"old list"};
  rig.services.unwritable = {unwritable.toStdString()};
  QTest::mouseClick(rig.window->save_button, Qt::LeftButton);
  QCOMPARE(messages_of(rig.services),
           (Messages{{"ジョブを保存できませんでした。フォルダに書き込めないか、ディスクに空きがありません。＝" +
                          unwritable.toStdString(),
                      "エラー", 48}}));
  QCOMPARE(rig.services.files["jobconf.ini"], Lines{"old job"});
  QCOMPARE(rig.services.files["resp.tmp"], Lines{"old list"});
  QCOMPARE(rig.window->changed(), 1);
  // Once the folder takes files again, the same press saves.
  rig.services.unwritable.clear();
  QTest::mouseClick(rig.window->save_button, Qt::LeftButton);
  QCOMPARE(rig.services.messages.size(), size_t(1));
  QCOMPARE(rig.window->changed(), 0);
}

void WindowJobTest::read_only_job_file_on_disk_is_reported_and_kept() {
  RealRig rig;
  const std::string old = "[mode]=1\r\n[archive]=\"/old/\r\n";
  write_bytes("jobconf.ini", old);
  fs::permissions("jobconf.ini", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  fs::create_directory("dest");
  rig.show_job(1, (rig.root() / "dest").string() + "/", {"/etc/hostname"}, false);
  BoxCloser boxes;
  QTest::mouseClick(rig.window->save_button, Qt::LeftButton);
  QCOMPARE(boxes.texts,
           QStringList{QString::fromUtf8(
               "ジョブを保存できませんでした。フォルダに書き込めないか、ディスクに空きがありません。＝jobconf.ini")});
  QCOMPARE(read_bytes("jobconf.ini"), old);
  QCOMPARE(rig.window->changed(), 1);
  // No scratch file is left behind.
  int entries = 0;
  for (auto& e : fs::directory_iterator(rig.root())) entries += e.path().filename() == "dest" ? 0 : 1;
  QCOMPARE(entries, 1);
}

// ---- run now ----------------------------------------------------------------

void WindowJobTest::run_now_starts_the_worker_after_every_outcome_data() {
  QTest::addColumn<int>("type");
  QTest::addColumn<QString>("destination");
  QTest::addColumn<QStringList>("sources");
  QTest::addColumn<bool>("unwritable");
  QTest::addColumn<bool>("start_succeeds");
  QTest::addColumn<QString>("message");
  QTest::addColumn<QString>("title");
  QTest::addColumn<int>("flag");
  const QString err = QString::fromUtf8("エラー"), err_msg = QString::fromUtf8("エラーメッセージ");
  const QString amp = QString::fromUtf8("ドロップ&&ドラッグされていません。");
  const QString drive = QString::fromUtf8("ＴＡＲでの圧縮の場合,異なるドライブ名の指定はできません。＝rel/b");
  const QString unsaved = QString::fromUtf8(
      "ジョブを保存できませんでした。フォルダに書き込めないか、ディスクに空きがありません。＝jobconf.ini");
  for (bool starts : {true, false}) {
    const char* s = starts ? "" : ", start fails";
    QTest::addRow("saved%s", s) << 1 << QStringLiteral("/b/") << qlist({"/a"}) << false << starts << QString()
                                << QString() << 0;
    QTest::addRow("empty job%s", s) << 1 << QStringLiteral("/b/") << QStringList() << false << starts << amp << err
                                    << 1;
    QTest::addRow("other drive%s", s) << 3 << QStringLiteral("/b/") << qlist({"/a", "rel/b"}) << false << starts
                                      << drive << err_msg << 1;
    QTest::addRow("write fails%s", s) << 1 << QStringLiteral("/b/") << qlist({"/a"}) << true << starts << unsaved
                                      << err << 1;
  }
}

void WindowJobTest::run_now_starts_the_worker_after_every_outcome() {
  QFETCH(int, type);
  QFETCH(QString, destination);
  QFETCH(QStringList, sources);
  QFETCH(bool, unwritable);
  QFETCH(bool, start_succeeds);
  QFETCH(QString, message);
  QFETCH(QString, title);
  QFETCH(int, flag);
  JobRig rig(type, to_narrow(destination), {});
  for (const QString& s : sources) rig.window->add_source(to_narrow(s));
  rig.services.start_succeeds = start_succeeds;
  if (unwritable) rig.services.unwritable = {"jobconf.ini"};
  size_t starts_at_message = 99;
  rig.services.on_message = [&](const MessageCall&) { starts_at_message = rig.services.starts.size(); };
  QTest::mouseClick(rig.window->run_now_button, Qt::LeftButton);
  Messages want;
  if (!message.isEmpty()) {
    want.emplace_back(to_narrow(message), to_narrow(title), 48);
    QCOMPARE(starts_at_message, size_t(0));  // the box closes before the start
  }
  QCOMPARE(messages_of(rig.services), want);
  QCOMPARE(rig.services.starts.size(), size_t(1));
  QCOMPARE(rig.services.starts[0].command_line, std::string("\"/opt/zubeto/ZUBETOC\""));
  QCOMPARE(rig.services.starts[0].window_style, 1);
  QCOMPARE(int(rig.window->changed()), flag);
  QVERIFY(rig.window->isVisible());
}

void WindowJobTest::run_now_without_a_program_folder_starts_nothing() {
  JobRig rig(1, "/b/", {"/a"});
  rig.services.program_folder_path.clear();
  QTest::mouseClick(rig.window->run_now_button, Qt::LeftButton);
  QVERIFY(rig.services.starts.empty());
  QVERIFY(rig.services.messages.empty());
  QCOMPARE(rig.window->changed(), 0);  // the save itself went through
  // A folder given with its separator gets no second one.
  rig.services.program_folder_path = "/";
  QTest::mouseClick(rig.window->run_now_button, Qt::LeftButton);
  QCOMPARE(rig.services.starts.at(0).command_line, std::string("\"/ZUBETOC\""));
}

void WindowJobTest::message_box_shows_text_as_written_data() {
  QTest::addColumn<QString>("text");
  QTest::newRow("two ampersands") << QString::fromUtf8("ドロップ&&ドラッグされていません。");
  QTest::newRow("one ampersand") << QString::fromUtf8("/a&b は既にあります。");
  QTest::newRow("markup in a path") << QString::fromUtf8("/<b>x</b>は既にあります。");
}

void WindowJobTest::message_box_shows_text_as_written() {
  QFETCH(QString, text);
  SystemServices services;
  QWidget parent;
  services.set_dialog_parent(&parent);
  QString label_text;
  int format = -1;
  bool buddy = true;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    if (auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
      label_text = label->text();
      format = label->textFormat();
      buddy = label->buddy() != nullptr;
    }
    box->accept();
  });
  services.message_box(to_narrow(text), "エラー", 48);
  // Plain text and no buddy: no ampersand is taken for a mnemonic and no
  // tag for markup, so the box shows every character as written.
  QCOMPARE(label_text, text);
  QCOMPARE(format, int(Qt::PlainText));
  QVERIFY(!buddy);
}

QTEST_MAIN(WindowJobTest)
#include "window_job_test.moc"
