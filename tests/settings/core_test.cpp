// The settings core's rules, without a window: every handler over scripted
// services and a recording view. Both windows (Qt and Win32) only wire
// their controls to these calls, so these tables hold for both.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "fake_services.h"
#include "jobfile/vocabulary.h"
#include "recording_view.h"
#include "settings_core.h"

namespace zubeto {
namespace {

using Lines = std::vector<std::string>;

struct Message {
  std::string text, title;
  int style;
  bool operator==(const Message&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Message& m) {
  return os << "{" << m.text << " | " << m.title << " | " << m.style << "}";
}

// The core on scripted services, loaded with the given job file (none when
// empty), and the view it sets.
struct Rig {
  FakeServices services;
  RecordingView view;
  SettingsCore core{services, view};

  explicit Rig(Lines job_file = {}) {
    if (!job_file.empty()) services.files[jobfile::kJobFile] = std::move(job_file);
    loaded = core.load();
  }
  bool loaded = false;

  std::vector<Message> messages() const {
    std::vector<Message> out;
    for (const MessageCall& m : services.messages) out.push_back({m.text, m.title, m.style});
    return out;
  }
  // The view shows exactly the core's job.
  void expect_view_mirrors_core() const {
    EXPECT_EQ(view.sources, core.sources());
    EXPECT_EQ(view.destination, core.destination());
    EXPECT_EQ(view.type, std::optional<int>(core.type()));
    EXPECT_EQ(view.shutdown, core.shutdown());
  }
};

DragData files(Lines paths) { return DragData{true, std::move(paths), true}; }

// ---- start-up ---------------------------------------------------------------

TEST(CoreLoad, WithoutAJobFileShowsTheDefaultsUnchanged) {
  Rig rig;
  ASSERT_TRUE(rig.loaded);
  EXPECT_TRUE(rig.view.topmost);
  EXPECT_EQ(rig.view.type, 0);
  EXPECT_FALSE(rig.view.shutdown);
  EXPECT_TRUE(rig.view.sources.empty());
  EXPECT_EQ(rig.view.destination, "");
  EXPECT_TRUE(rig.view.destination_drops);
  EXPECT_EQ(rig.view.source_caption, "ここにﾌｧｲﾙかﾌｧﾙﾀﾞをD&&Dする");
  EXPECT_EQ(rig.view.destination_caption, "ここに圧縮先ﾌｫﾙﾀﾞをD&&Dする");
  EXPECT_EQ(rig.core.changed(), 0);
  EXPECT_EQ(rig.services.opened, Lines{"jobconf.ini"});
  EXPECT_TRUE(rig.messages().empty());
}

TEST(CoreLoad, RestoresTheSavedJobAndLeavesItUnchanged) {
  Rig rig({"[mode]=3", "[archive]=\"/backup/", "[base_dir]=\"/\"", "[dir_file]=\"/a\"", "[dir_file]=\"@resp.tmp\"",
           "[shut_flg]=1"});
  // (the response file is missing: its sources are left out, silently)
  ASSERT_TRUE(rig.loaded);
  EXPECT_EQ(rig.core.type(), 3);
  EXPECT_TRUE(rig.core.shutdown());
  EXPECT_EQ(rig.core.destination(), "/backup/");
  EXPECT_EQ(rig.core.sources(), Lines{"/a"});
  EXPECT_EQ(rig.core.changed(), 0);
  rig.expect_view_mirrors_core();
  EXPECT_TRUE(rig.messages().empty());
}

TEST(CoreLoad, ASecondCopyEndsBeforeTheRestore) {
  FakeServices services;
  services.another_copy = true;
  services.files["jobconf.ini"] = {"[mode]=2"};
  RecordingView view;
  SettingsCore core(services, view);
  EXPECT_FALSE(core.load());
  EXPECT_TRUE(services.opened.empty());
  EXPECT_TRUE(view.source_caption.empty());
  EXPECT_FALSE(view.destination_drops);
  EXPECT_TRUE(services.messages.empty());
}

// ---- the changed flag ---------------------------------------------------------

// Every event and what it leaves in the flag, from 0 and from 1.
TEST(CoreChangedFlag, EveryEventSetsClearsOrKeepsIt) {
  struct Case {
    const char* event;
    std::function<void(Rig&)> prepare;
    std::function<void(Rig&)> run;
    int from0, from1;  // the flag after the event; -1: as it was
  };
  auto job = [](Rig& r) {
    r.core.set_destination("/b/");
    r.core.add_source("/a");
    r.services.folders = {"/b", "/d"};
  };
  auto none = [](Rig&) {};
  const Case cases[] = {
      // A user's click: the view shows it already, then tells the core.
      {"type click", none, [](Rig& r) { r.view.type = 2; r.core.type_click(2); }, 1, 1},
      {"type click on the selected one", none, [](Rig& r) { r.core.type_click(0); }, 1, 1},
      {"shutdown click", none, [](Rig& r) { r.view.shutdown = true; r.core.shutdown_click(true); }, 1, 1},
      {"delete with nothing selected", job, [](Rig& r) { r.core.delete_entries({}); }, 1, 1},
      {"clear on an empty window", none, [](Rig& r) { r.core.clear(); }, 1, 1},
      {"accepted source drop", none, [](Rig& r) { r.core.source_drop(files({"/x"})); }, 1, 1},
      {"drop of repeats only", job, [](Rig& r) { r.core.source_drop(files({"/a"})); }, 1, 1},
      {"refused source drop", none, [](Rig& r) { r.core.source_drop(DragData{false, {}, true}); }, -1, -1},
      {"move-only source drop", none, [](Rig& r) { r.core.source_drop(DragData{true, {"/x"}, false}); }, -1, -1},
      {"destination folder", job, [](Rig& r) { r.core.destination_drop(files({"/d"})); }, 1, 1},
      {"destination not a folder", job, [](Rig& r) { r.core.destination_drop(files({"/f"})); }, -1, -1},
      {"destination two paths", job, [](Rig& r) { r.core.destination_drop(files({"/d", "/b"})); }, -1, -1},
      {"destination text", job, [](Rig& r) { r.core.destination_drop(DragData{false, {}, true}); }, -1, -1},
      {"save", job, [](Rig& r) { r.core.save(); }, 0, 0},
      {"run now", job, [](Rig& r) { r.core.run_now(); }, 0, 0},
      {"save of an empty job", none, [](Rig& r) { r.core.save(); }, -1, -1},
      {"run now of an empty job", none, [](Rig& r) { r.core.run_now(); }, -1, -1},
      {"save refused by the drive check",
       [](Rig& r) {
         r.core.select_type(jobfile::kTypeTar);
         r.core.set_destination("/b/");
         r.core.add_source("/a");
         r.core.add_source("rel");
       },
       [](Rig& r) { r.core.save(); }, -1, -1},
      {"save that cannot write", [&](Rig& r) { job(r); r.services.unwritable = {"jobconf.ini"}; },
       [](Rig& r) { r.core.save(); }, -1, -1},
      {"show log", none, [](Rig& r) { r.core.show_log(); }, -1, -1},
      {"delete log", none, [](Rig& r) { r.core.delete_log(); }, -1, -1},
      {"exit answered no", none, [](Rig& r) { r.services.answers = {kAnswerNo}; r.core.exit(); }, -1, -1},
  };
  for (const Case& c : cases) {
    for (int before : {0, 1}) {
      SCOPED_TRACE(std::string(c.event) + ", flag before " + std::to_string(before));
      Rig rig;
      c.prepare(rig);
      rig.core.set_changed(static_cast<int16_t>(before));
      c.run(rig);
      const int want = before == 0 ? c.from0 : c.from1;
      EXPECT_EQ(rig.core.changed(), want < 0 ? before : want);
      rig.expect_view_mirrors_core();
    }
  }
}

// ---- source list: drag over and drop --------------------------------------------

TEST(CoreSourceDrag, OnlyAFileListWhoseFirstPathIsNoShareRootMayBeCopiedIn) {
  struct Case {
    const char* name;
    DragData data;
    bool library;
    DropEffect effect;
    Lines asked;  // the share check's questions
  };
  const Case cases[] = {
      {"a folder", files({"/data"}), true, kDropCopy, {"/data"}},
      {"a share root first", files({"//server/share", "/a"}), true, kDropNone, {"//server/share"}},
      {"a share root later is not looked at", files({"/a", "//server/share"}), true, kDropCopy, {"/a"}},
      {"a folder of a share", files({"//server/share/dir"}), true, kDropCopy, {"//server/share/dir"}},
      {"not a file list", DragData{false, {}, true}, true, kDropNone, {}},
      {"a file list without paths", DragData{true, {}, true}, true, kDropNone, {}},
      {"move only", DragData{true, {"/data"}, false}, true, kDropNone, {}},
      {"no share check library", files({"//server/share"}), false, kDropCopy, {"//server/share"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    rig.services.share_roots = {"//server/share"};
    rig.services.share_library = c.library;
    EXPECT_EQ(rig.core.source_drag_over(c.data), c.effect);
    EXPECT_EQ(rig.services.share_questions, c.asked);
    // The scratch list is empty again whenever the handler has returned.
    EXPECT_TRUE(rig.core.scratch().empty());
    EXPECT_TRUE(rig.messages().empty());
  }
}

TEST(CoreSourceDrop, AppendsEveryPathThenReportsAndRemovesEachLaterRepeat) {
  const std::string repeat = "は既にあります。";
  struct Case {
    const char* name;
    Lines before, dropped, after, reported;
  };
  const Case cases[] = {
      {"two files into an empty list", {}, {"/a.txt", "/b.txt"}, {"/a.txt", "/b.txt"}, {}},
      {"a path already there", {"/a.txt"}, {"/a.txt"}, {"/a.txt"}, {"/a.txt"}},
      {"restored threefold, then another path", {"/x", "/x", "/x"}, {"/y"}, {"/x", "/y"}, {"/x", "/x"}},
      {"letter case counts", {"/Data"}, {"/data"}, {"/Data", "/data"}, {}},
      {"repeats inside the drop", {}, {"/a", "/b", "/a", "/a"}, {"/a", "/b"}, {"/a", "/a"}},
      {"the first of equal entries stays", {"/a", "/b", "/c"}, {"/b", "/a"}, {"/a", "/b", "/c"}, {"/a", "/b"}},
      {"bytes that are no UTF-8 are kept", {}, {"/caf\xE8", "/caf\xE9"}, {"/caf\xE8", "/caf\xE9"}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    for (const std::string& s : c.before) rig.core.add_source(s);
    // Each repeat is reported while it still shows in the list.
    std::vector<Lines> shown;
    rig.services.on_message = [&](const MessageCall&) { shown.push_back(rig.view.sources); };
    EXPECT_TRUE(rig.core.source_drop(files(c.dropped)));
    EXPECT_EQ(rig.core.sources(), c.after);
    std::vector<Message> want;
    for (const std::string& r : c.reported) want.push_back({r + repeat, "エラーメッセージ", 48});
    EXPECT_EQ(rig.messages(), want);
    ASSERT_EQ(shown.size(), c.reported.size());
    for (size_t i = 0; i < shown.size(); ++i)
      EXPECT_GT(std::count(shown[i].begin(), shown[i].end(), c.reported[i]), 1) << "box " << i;
    rig.expect_view_mirrors_core();
  }
}

TEST(CoreSourceDrop, RefusedDragsDropNothingAndPathsTheJobCannotCarryAreRefused) {
  Rig rig;
  rig.services.share_roots = {"//server/share"};
  EXPECT_FALSE(rig.core.source_drop(files({"//server/share", "/a"})));
  EXPECT_FALSE(rig.core.source_drop(DragData{true, {"/a"}, false}));
  EXPECT_TRUE(rig.core.sources().empty());
  EXPECT_EQ(rig.core.changed(), 0);

  EXPECT_TRUE(rig.core.source_drop(files({"/bad\"dir", "/a", "/two\nlines"})));
  EXPECT_EQ(rig.core.sources(), Lines{"/a"});
  const std::string tail = "」は、ジョブに保存できない文字（\"、改行）を含むため使えません。";
  EXPECT_EQ(rig.messages(), (std::vector<Message>{{"「/bad\"dir" + tail, "エラーメッセージ", 48},
                                                  {"「/two\nlines" + tail, "エラーメッセージ", 48}}));
  rig.expect_view_mirrors_core();
}

// ---- destination box ----------------------------------------------------------

TEST(CoreDestinationDrop, OneExistingFolderGetsItsSeparator) {
  const std::string sep(1, jobfile::kPathSeparator);
  struct Case {
    const char* name;
    DragData data;
    std::string after;
    const char* message;  // nullptr: none
    int flag;             // from 0
  };
  const Case cases[] = {
      {"a folder", files({"/backup"}), "/backup" + sep, nullptr, 1},
      {"the root gets a second separator", files({"/"}), "/" + sep, nullptr, 1},
      {"a share root is not checked here", files({"//server/share"}), "//server/share" + sep, nullptr, 1},
      {"a file empties the box", files({"/backup/a.txt"}), "", "フォルダを指定して下さい。", 0},
      {"a missing path empties the box", files({"/gone"}), "", "フォルダを指定して下さい。", 0},
      {"two folders", files({"/backup", "/"}), "/old/", "圧縮ファイルは１つにして下さい。", 0},
      {"text", DragData{false, {}, true}, "/old/", nullptr, 0},
      {"move only", DragData{true, {"/backup"}, false}, "/old/", nullptr, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig({"[archive]=\"/old/"});
    rig.services.folders = {"/backup", "/", "//server/share"};
    EXPECT_EQ(rig.core.destination_drag_over(c.data), c.data.copy_allowed ? kDropCopy : kDropNone);
    rig.core.destination_drop(c.data);
    EXPECT_EQ(rig.core.destination(), c.after);
    std::vector<Message> want;
    if (c.message) want.push_back({c.message, "エラーメッセージ", 64});
    EXPECT_EQ(rig.messages(), want);
    EXPECT_EQ(rig.core.changed(), c.flag);
    rig.expect_view_mirrors_core();
  }
}

TEST(CoreDestinationDrop, NothingIsTakenBeforeTheStartUpSwitchesTheDropMode) {
  FakeServices services;
  services.folders = {"/backup"};
  RecordingView view;
  SettingsCore core(services, view);
  EXPECT_EQ(core.destination_drag_over(files({"/backup"})), kDropNone);
  core.destination_drop(files({"/backup"}));
  EXPECT_EQ(core.destination(), "");
}

// ---- save and run now ------------------------------------------------------------

TEST(CoreSave, WritesTheJobAsTheWindowShowsIt) {
  const std::string all = jobfile::kAllFilesSuffix;
  struct Case {
    const char* name;
    int type;
    Lines sources;
    bool shut;
    Lines jobconf;
    Lines resp;  // empty: not written
  };
  Lines eleven, eleven_lines;
  for (int i = 1; i <= 11; ++i) {
    eleven.push_back("/s" + std::to_string(i));
    eleven_lines.push_back("\"/s" + std::to_string(i) + "\"");
  }
  const Case cases[] = {
      {"ZIP", 1, {"/data", "/f.txt"}, true,
       {"[mode]=1", "[archive]=\"/b/", "[base_dir]", "[dir_file]=\"/data\"", "[dir_file]=\"/f.txt\"", "[shut_flg]=1"}, {}},
      {"CAB: the suffix on folders only", 2, {"/data", "/f.txt", "/"}, false,
       {"[mode]=2", "[archive]=\"/b/", "[base_dir]", "[dir_file]=\"/data" + all + "\"", "[dir_file]=\"/f.txt\"",
        "[dir_file]=\"/" + all + "\"", "[shut_flg]=0"},
       {}},
      {"TAR: the base folder from the first source", 3, {"/data"}, false,
       {"[mode]=3", "[archive]=\"/b/", "[base_dir]=\"/\"", "[dir_file]=\"/data\"", "[shut_flg]=0"}, {}},
      {"eleven sources go to the response file", 0, eleven, false,
       {"[mode]=0", "[archive]=\"/b/", "[base_dir]", "[dir_file]=\"@resp.tmp\"", "[shut_flg]=0"}, eleven_lines},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    rig.services.folders = {"/data", "/"};
    rig.core.select_type(c.type);
    rig.core.set_destination("/b/");
    for (const std::string& s : c.sources) rig.core.add_source(s);
    rig.core.set_shutdown(c.shut);
    EXPECT_EQ(rig.core.save(), SaveOutcome::saved);
    EXPECT_EQ(rig.services.files["jobconf.ini"], c.jobconf);
    if (c.resp.empty()) {
      EXPECT_EQ(rig.services.write_calls, (std::vector<Lines>{{"jobconf.ini"}}));
    } else {
      // The response file first, so that no job file names an old list.
      EXPECT_EQ(rig.services.write_calls, (std::vector<Lines>{{"resp.tmp", "jobconf.ini"}}));
      EXPECT_EQ(rig.services.files["resp.tmp"], c.resp);
    }
    EXPECT_TRUE(rig.messages().empty());
    EXPECT_TRUE(rig.services.starts.empty());
  }
}

TEST(CoreSave, RefusalsSayWhyAndWriteNothing) {
  struct Case {
    const char* name;
    int type;
    std::string destination;
    Lines sources;
    bool run_now;
    SaveOutcome outcome;
    Message message;
    Lines sources_after;
  };
  const std::string drive = "ＴＡＲでの圧縮の場合,異なるドライブ名の指定はできません。＝";
  const Case cases[] = {
      {"no sources", 0, "/b/", {}, false, SaveOutcome::empty_refused,
       {"ドロップ＆ドラッグされていません。", "エラー", 48}, {}},
      {"no destination", 0, "", {"/a"}, false, SaveOutcome::empty_refused,
       {"ドロップ＆ドラッグされていません。", "エラー", 48}, {"/a"}},
      {"run now shows the two ampersands", 0, "", {}, true, SaveOutcome::empty_refused,
       {"ドロップ&&ドラッグされていません。", "エラー", 48}, {}},
      {"TAR: the first entry off the first one's drive goes", 3, "/b/", {"/a", "rel", "/c", "other"}, false,
       SaveOutcome::drive_refused, {drive + "rel", "エラーメッセージ", 48}, {"/a", "/c", "other"}},
      {"TAR drive check comes before the empty check", 3, "", {"/a", "rel"}, true, SaveOutcome::drive_refused,
       {drive + "rel", "エラーメッセージ", 48}, {"/a"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    rig.core.select_type(c.type);
    rig.core.set_destination(c.destination);
    for (const std::string& s : c.sources) rig.core.add_source(s);
    rig.services.files["jobconf.ini"] = {"stored before"};
    EXPECT_EQ(c.run_now ? rig.core.run_now() : rig.core.save(), c.outcome);
    EXPECT_EQ(rig.messages(), std::vector<Message>{c.message});
    EXPECT_TRUE(rig.services.write_calls.empty());
    EXPECT_EQ(rig.services.files["jobconf.ini"], Lines{"stored before"});
    EXPECT_EQ(rig.core.sources(), c.sources_after);
    // Run now starts the worker all the same.
    EXPECT_EQ(rig.services.starts.size(), c.run_now ? 1u : 0u);
    rig.expect_view_mirrors_core();
  }
}

TEST(CoreSave, AJobThatCannotBeWrittenIsReportedAndStaysChanged) {
  Rig rig;
  rig.core.set_destination("/b/");
  rig.core.add_source("/a");
  rig.services.unwritable = {"jobconf.ini"};
  rig.core.set_changed(1);
  EXPECT_EQ(rig.core.save(), SaveOutcome::write_failed);
  EXPECT_EQ(rig.messages(),
            (std::vector<Message>{{"ジョブを保存できませんでした。フォルダに書き込めないか、ディスクに空きがありません。＝"
                                   "jobconf.ini",
                                   "エラー", 48}}));
  EXPECT_EQ(rig.core.changed(), 1);
}

TEST(CoreRunNow, StartsTheWorkerFromTheProgramsFolderAfterEveryOutcome) {
  const std::string worker = std::string("\"/opt/zubeto") + jobfile::kPathSeparator + jobfile::kWorkerProgram + "\"";
  struct Case {
    const char* name;
    std::string folder;
    bool start_succeeds;
    Lines sources;
    size_t starts;
  };
  const Case cases[] = {
      {"saved", "/opt/zubeto", true, {"/a"}, 1},
      {"a folder with its separator", std::string("/opt/zubeto") + jobfile::kPathSeparator, true, {"/a"}, 1},
      {"refused", "/opt/zubeto", true, {}, 1},
      {"the worker cannot start", "/opt/zubeto", false, {"/a"}, 1},
      {"the program's folder is unknown", "", true, {"/a"}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    rig.services.program_folder_path = c.folder;
    rig.services.start_succeeds = c.start_succeeds;
    rig.core.set_destination("/b/");
    for (const std::string& s : c.sources) rig.core.add_source(s);
    size_t starts_at_message = 99;
    rig.services.on_message = [&](const MessageCall&) { starts_at_message = rig.services.starts.size(); };
    rig.core.run_now();
    ASSERT_EQ(rig.services.starts.size(), c.starts);
    if (c.starts) {
      EXPECT_EQ(rig.services.starts[0].command_line, worker);
      EXPECT_EQ(rig.services.starts[0].window_style, 1);
    }
    // After any message box, and nothing said about a failed start.
    if (!rig.services.messages.empty()) EXPECT_EQ(starts_at_message, 0u);
    EXPECT_EQ(rig.services.messages.size(), c.sources.empty() ? 1u : 0u);
  }
}

// ---- housekeeping -----------------------------------------------------------------

TEST(CoreDeleteEntries, RemovesTheSelectedEntriesOnly) {
  struct Case {
    const char* name;
    std::vector<size_t> selected;
    Lines after;
  };
  const Case cases[] = {
      {"nothing selected", {}, {"/0", "/1", "/2", "/3", "/4"}},
      {"one in the middle", {2}, {"/0", "/1", "/3", "/4"}},
      {"neighbours: the one that moves up is looked at too", {0, 1, 3, 4}, {"/2"}},
      {"all", {4, 3, 2, 1, 0}, {}},
      {"an index past the end", {7}, {"/0", "/1", "/2", "/3", "/4"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    for (int i = 0; i < 5; ++i) rig.core.add_source("/" + std::to_string(i));
    rig.core.delete_entries(c.selected);
    EXPECT_EQ(rig.core.sources(), c.after);
    EXPECT_EQ(rig.core.changed(), 1);
    rig.expect_view_mirrors_core();
  }
}

TEST(CoreClear, ResetsTheJobButNotTheCaptionsOrFiles) {
  Rig rig({"[mode]=2", "[archive]=\"/b/", "[dir_file]=\"/a\"", "[dir_file]=\"/c\"", "[shut_flg]=1"});
  rig.core.clear();
  EXPECT_EQ(rig.core.type(), 0);
  EXPECT_FALSE(rig.core.shutdown());
  EXPECT_EQ(rig.core.destination(), "");
  EXPECT_TRUE(rig.core.sources().empty());
  EXPECT_EQ(rig.core.changed(), 1);
  EXPECT_FALSE(rig.view.source_caption.empty());
  EXPECT_TRUE(rig.services.write_calls.empty());
  EXPECT_TRUE(rig.services.deleted.empty());
  rig.expect_view_mirrors_core();
}

TEST(CoreExit, AsksOnlyWhenChangedAndClosesOnlyOnYes) {
  struct Case {
    int flag;
    std::deque<int> answers;
    bool asked, closed;
  };
  const Case cases[] = {{0, {}, false, true}, {1, {kAnswerYes}, true, true}, {1, {kAnswerNo}, true, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "flag " << c.flag << ", answers " << c.answers.size());
    Rig rig;
    rig.core.set_changed(static_cast<int16_t>(c.flag));
    rig.services.answers = c.answers;
    EXPECT_EQ(rig.core.exit(), c.closed);
    EXPECT_EQ(rig.view.closed, c.closed ? 1 : 0);
    std::vector<Message> want;
    if (c.asked) want.push_back({"変更されていますが終了しますか。", "ズベト", 36});
    EXPECT_EQ(rig.messages(), want);
    EXPECT_TRUE(rig.services.write_calls.empty());  // never saved on the way out
  }
}

TEST(CoreRunLog, ShowAndDeleteGoThroughTheServices) {
  Rig rig;
  rig.services.editor = "the-editor";
  rig.core.show_log();
  ASSERT_EQ(rig.services.starts.size(), 1u);
  EXPECT_EQ(rig.services.starts[0].command_line, "the-editor logdata.txt");
  EXPECT_EQ(rig.services.starts[0].window_style, 1);
  EXPECT_TRUE(rig.messages().empty());

  rig.services.start_succeeds = false;
  rig.core.show_log();
  EXPECT_EQ(rig.messages(),
            (std::vector<Message>{{"ログを表示するテキストエディタを起動できませんでした。", "エラー", 48}}));

  // Missing, then read-only: nothing is said either way.
  rig.services.messages.clear();
  rig.core.delete_log();
  rig.services.files["logdata.txt"] = {"line"};
  rig.services.read_only = {"logdata.txt"};
  rig.core.delete_log();
  EXPECT_EQ(rig.services.deleted, (Lines{"logdata.txt", "logdata.txt"}));
  EXPECT_TRUE(rig.services.files.count("logdata.txt"));
  EXPECT_TRUE(rig.messages().empty());
  EXPECT_EQ(rig.core.changed(), 0);
}

}  // namespace
}  // namespace zubeto
