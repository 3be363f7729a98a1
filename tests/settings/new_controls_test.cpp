// The window's controls below its first ones, in the core: the number of
// archives kept, the last run's status line, adding sources from a dialog,
// the archive check and the daily run. Over scripted services and a
// recording view, so these hold for both windows.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fake_services.h"
#include "jobfile/vocabulary.h"
#include "last_run.h"
#include "recording_view.h"
#include "schedule.h"
#include "settings_core.h"
#include "window_layout.h"
#include "window_texts.h"

namespace zubeto {
namespace {

using Lines = std::vector<std::string>;

// The recording view, with the new controls too.
struct View : RecordingView {
  int keep = -1;
  std::string status, next_run;
  bool schedule_on = false;
  int hour = -1, minute = -1;
  void show_keep(int n) override { keep = n; }
  void show_status(const std::string& t) override { status = t; }
  void show_schedule(bool on, int h, int m) override {
    schedule_on = on;
    hour = h;
    minute = m;
  }
  void show_next_run(const std::string& t) override { next_run = t; }
};

struct Rig {
  FakeServices services;
  View view;
  SettingsCore core{services, view};
  bool load(Lines job = {}) {
    if (!job.empty()) services.files[jobfile::kJobFile] = std::move(job);
    return core.load();
  }
  void make_job() {
    core.set_destination("/backup/");
    core.add_source("/data");
  }
};

// ---- keep --------------------------------------------------------------------

TEST(Keep, SavedBeforeTheShutdownLineAndRestored) {
  Rig first;
  ASSERT_TRUE(first.load());
  EXPECT_EQ(first.view.keep, -1);  // no job: the box keeps its laid-out 0
  first.make_job();
  first.core.keep_change(7);
  EXPECT_EQ(first.view.keep, 7);
  EXPECT_EQ(first.core.changed(), 1);
  ASSERT_EQ(first.core.save(), SaveOutcome::saved);
  EXPECT_EQ(first.services.files[jobfile::kJobFile],
            (Lines{"[mode]=0", "[archive]=\"/backup/", "[base_dir]", "[dir_file]=\"/data\"", "[keep]=7", "[shut_flg]=0"}));

  // A new window on the files the first one wrote shows the same number.
  Rig second;
  second.services.files = first.services.files;
  ASSERT_TRUE(second.load());
  EXPECT_EQ(second.core.keep(), 7);
  EXPECT_EQ(second.view.keep, 7);
  EXPECT_EQ(second.core.changed(), 0);
  // Saved again unchanged, the job file is the same, byte for byte.
  ASSERT_EQ(second.core.save(), SaveOutcome::saved);
  EXPECT_EQ(second.services.files[jobfile::kJobFile], first.services.files[jobfile::kJobFile]);
}

TEST(Keep, ZeroSavesTheJobAsBeforeAndClearResetsIt) {
  Rig rig;
  ASSERT_TRUE(rig.load({"[mode]=1", "[archive]=\"/b/", "[base_dir]", "[dir_file]=\"/s\"", "[keep]=3", "[shut_flg]=1"}));
  EXPECT_EQ(rig.core.keep(), 3);
  rig.core.keep_change(0);
  ASSERT_EQ(rig.core.save(), SaveOutcome::saved);
  EXPECT_EQ(rig.services.files[jobfile::kJobFile],
            (Lines{"[mode]=1", "[archive]=\"/b/", "[base_dir]", "[dir_file]=\"/s\"", "[shut_flg]=1"}));
  rig.core.keep_change(12);
  rig.core.clear();
  EXPECT_EQ(rig.core.keep(), 0);
  EXPECT_EQ(rig.view.keep, 0);
  // Out of range from a view: held to what the box offers.
  rig.core.keep_change(-4);
  EXPECT_EQ(rig.core.keep(), 0);
  rig.core.keep_change(100000);
  EXPECT_EQ(rig.core.keep(), kMostKept);
}

// ---- the last run -------------------------------------------------------------

struct LogCase {
  const char* name;
  Lines log;
  LastRun::Outcome outcome;
  std::string time, code;
  int left_out;
  LastRun::Cause cause;
  std::string detail;
  std::string status;  // the Japanese status line
};

void PrintTo(const LogCase& c, std::ostream* os) { *os << c.name; }

class LastRunTable : public ::testing::TestWithParam<LogCase> {};

TEST_P(LastRunTable, ReadsTheLastEndLine) {
  const LogCase& c = GetParam();
  const LastRun run = read_last_run(c.log);
  EXPECT_EQ(run.outcome, c.outcome);
  EXPECT_EQ(run.time, c.time);
  EXPECT_EQ(run.code, c.code);
  EXPECT_EQ(run.left_out, c.left_out);
  EXPECT_EQ(run.cause, c.cause);
  EXPECT_EQ(run.detail, c.detail);
  EXPECT_EQ(status_text(run, [](std::string_view s) { return std::string(s); }), c.status);
}

using O = LastRun::Outcome;
using C = LastRun::Cause;

const LogCase kLogs[] = {
    {"no_log_lines", {}, O::none, "", "", 0, C::none, "", "前回の実行：なし"},
    {"done",
     {"[05/15 21:30:05]=圧縮処理開始", "UNZIP32.DLL Loading", "[05/15 21:30:09]=圧縮処理終了=0000"},
     O::done, "05/15 21:30:09", "0000", 0, C::none, "", "前回の実行：05/15 21:30:09 完了"},
    {"only_the_last_run_counts",
     {"[05/15 21:30:05]=圧縮処理開始", "ファイルがありません=/gone", "[05/15 21:30:05]=圧縮処理終了=0701",
      "[05/16 02:30:00]=圧縮処理開始", "TAR32.DLL Loading", "NOTE: left out: /d/sock (a socket holds no data a backup can keep)",
      "[05/16 02:30:04]=圧縮処理終了=0000"},
     O::done, "05/16 02:30:04", "0000", 0, C::none, "", "前回の実行：05/16 02:30:04 完了"},
    {"missing_source_0701",
     {"[05/16 09:00:01]=圧縮処理開始", "ファイルがありません=/home/u/gone", "詳細エラー=0002",
      "[05/16 09:00:01]=圧縮処理終了=0701"},
     O::failed, "05/16 09:00:01", "0701", 0, C::missing, "/home/u/gone",
     "前回の実行：05/16 09:00:01 失敗（0701）：見つかりません /home/u/gone"},
    {"no_job_file_0100",
     {"[05/16 09:00:01]=圧縮処理開始", "ファイルがありません=jobconf.ini", "[05/16 09:00:01]=圧縮処理終了=0100"},
     O::failed, "05/16 09:00:01", "0100", 0, C::missing, "jobconf.ini",
     "前回の実行：05/16 09:00:01 失敗（0100）：見つかりません jobconf.ini"},
    {"mode_error_0300",
     {"[05/16 09:00:01]=圧縮処理開始", "モードエラー=7", "[05/16 09:00:01]=圧縮処理終了=0300"},
     O::failed, "05/16 09:00:01", "0300", 0, C::mode, "7", "前回の実行：05/16 09:00:01 失敗（0300）：圧縮タイプが読めません 7"},
    {"library_missing_0403",
     {"[05/16 09:00:01]=圧縮処理開始", "ERROR:TAR32.DLL not Found on your system.", "[05/16 09:00:01]=圧縮処理終了=0403"},
     O::failed, "05/16 09:00:01", "0403", 0, C::text, "TAR32.DLL not Found on your system.",
     "前回の実行：05/16 09:00:01 失敗（0403）：TAR32.DLL not Found on your system."},
    {"archiver_failure_8006",
     {"[05/16 09:00:01]=圧縮処理開始", "UNZIP32.DLL Loading", "ERROR: archive not written: no space left on device",
      "cannot read: /x (gone)", "[05/16 09:00:03]=圧縮処理終了=8006"},
     O::failed, "05/16 09:00:03", "8006", 0, C::text, "archive not written: no space left on device",
     "前回の実行：05/16 09:00:03 失敗（8006）：archive not written: no space left on device"},
    {"files_left_out_8011",
     {"[05/16 09:00:01]=圧縮処理開始", "UNZIP32.DLL Loading",
      "ERROR: 2 sources were not archived (or not completely); the archive holds everything else: /b/1.zip",
      "cannot read: /a (denied)", "cannot read: /b (denied)", "[05/16 09:00:02]=圧縮処理終了=8011"},
     O::done_left_out, "05/16 09:00:02", "8011", 2, C::none, "", "前回の実行：05/16 09:00:02 完了（除外したファイル：2）"},
    {"left_out_code_without_its_line_is_a_failure",
     {"[05/16 09:00:01]=圧縮処理開始", "[05/16 09:00:02]=圧縮処理終了=8011"},
     O::failed, "05/16 09:00:02", "8011", 0, C::code, "", "前回の実行：05/16 09:00:02 失敗（8011）：原因は記録されていません"},
    {"a_run_at_work",
     {"[05/15 21:30:05]=圧縮処理開始", "[05/15 21:30:09]=圧縮処理終了=0000", "[05/16 02:30:00]=圧縮処理開始",
      "TAR32.DLL Loading"},
     O::running, "05/16 02:30:00", "", 0, C::none, "", "実行中：05/16 02:30:00 から"},
    // A tail that begins inside a line, and lines that only look alike.
    {"cut_first_line_and_look_alikes",
     {"理終了=0701", "[5/16 9:00:01]=圧縮処理終了=0701", "x[05/16 09:00:01]=圧縮処理終了=0701",
      "[05/16 09:00:01]=圧縮処理終了=800e"},
     O::failed, "05/16 09:00:01", "800e", 0, C::code, "", "前回の実行：05/16 09:00:01 失敗（800e）：原因は記録されていません"},
    {"stopped_800e",
     {"[05/16 09:00:01]=圧縮処理開始", "ERROR: stopped by a signal before the archive was begun; nothing was written",
      "[05/16 09:00:01]=圧縮処理終了=800e"},
     O::failed, "05/16 09:00:01", "800e", 0, C::text, "stopped by a signal before the archive was begun; nothing was written",
     "前回の実行：05/16 09:00:01 失敗（800e）：stopped by a signal before the archive was begun; nothing was written"},
};

INSTANTIATE_TEST_SUITE_P(Logs, LastRunTable, ::testing::ValuesIn(kLogs),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(StatusText, FillsEachPlaceOnceAndUsesTheTranslation) {
  EXPECT_EQ(fill("%1 and %2 (%1)", {"a%2", "b"}), "a%2 and b (a%2)");
  EXPECT_EQ(fill("%3%", {"x"}), "%3%");
  LastRun run = read_last_run({"[05/16 09:00:01]=圧縮処理開始", "ファイルがありません=/srv/gone",
                               "[05/16 09:00:01]=圧縮処理終了=0701"});
  const std::string english = status_text(run, [](std::string_view s) -> std::string {
    if (s == "前回の実行：%1 失敗（%2）：見つかりません %3") return "Last run %1: failed (%2): not found: %3";
    return "?";
  });
  EXPECT_EQ(english, "Last run 05/16 09:00:01: failed (0701): not found: /srv/gone");
}

TEST(StatusLine, ShownAtStartAfterASuccessAndAfterAFailure) {
  Rig ok;
  ok.services.files[jobfile::kRunLogFile] = {"[05/15 21:30:05]=圧縮処理開始", "UNZIP32.DLL Loading",
                                             "[05/15 21:30:09]=圧縮処理終了=0000"};
  ASSERT_TRUE(ok.load());
  EXPECT_EQ(ok.view.status, "前回の実行：05/15 21:30:09 完了");
  // The first reads of the window stay as they were: the log is read apart.
  EXPECT_EQ(ok.services.opened, Lines{"jobconf.ini"});

  Rig failed;
  failed.services.files[jobfile::kRunLogFile] = {"[05/16 09:00:01]=圧縮処理開始", "ファイルがありません=/home/u/gone",
                                                 "詳細エラー=0002", "[05/16 09:00:01]=圧縮処理終了=0701"};
  ASSERT_TRUE(failed.load());
  EXPECT_EQ(failed.view.status, "前回の実行：05/16 09:00:01 失敗（0701）：見つかりません /home/u/gone");

  Rig none;
  ASSERT_TRUE(none.load());
  EXPECT_EQ(none.view.status, "前回の実行：なし");
}

TEST(StatusLine, FollowsARunStartedFromTheWindowUntilItsEndLine) {
  Rig rig;
  rig.services.files[jobfile::kRunLogFile] = {"[05/15 21:30:05]=圧縮処理開始", "[05/15 21:30:09]=圧縮処理終了=0000"};
  ASSERT_TRUE(rig.load());
  EXPECT_FALSE(rig.core.poll_run());  // nothing started
  rig.make_job();
  rig.core.run_now();
  ASSERT_TRUE(rig.core.awaiting_run());
  // Not yet changed: still waiting, the old outcome shows.
  EXPECT_TRUE(rig.core.poll_run());
  EXPECT_EQ(rig.view.status, "前回の実行：05/15 21:30:09 完了");
  // The worker has begun.
  Lines& log = rig.services.files[jobfile::kRunLogFile];
  log.push_back("[05/16 10:00:00]=圧縮処理開始");
  EXPECT_TRUE(rig.core.poll_run());
  EXPECT_EQ(rig.view.status, "実行中：05/16 10:00:00 から");
  // ... and ended: the new outcome, and no more polling.
  log.push_back("ファイルがありません=/data");
  log.push_back("[05/16 10:00:00]=圧縮処理終了=0701");
  EXPECT_FALSE(rig.core.poll_run());
  EXPECT_EQ(rig.view.status, "前回の実行：05/16 10:00:00 失敗（0701）：見つかりません /data");
  EXPECT_FALSE(rig.core.awaiting_run());

  // A run that ends with the very same end line text as the one before
  // (same second, same code) still ends the wait: the log has grown.
  rig.core.run_now();
  log.insert(log.end(), {"[05/16 10:00:00]=圧縮処理開始", "ファイルがありません=/data", "[05/16 10:00:00]=圧縮処理終了=0701"});
  EXPECT_FALSE(rig.core.poll_run());

  // A worker that could not be started is not waited for.
  rig.services.start_succeeds = false;
  rig.core.run_now();
  EXPECT_FALSE(rig.core.awaiting_run());
}

// ---- add, check ---------------------------------------------------------------

TEST(AddButton, ChosenPathsFollowTheDropRules) {
  Rig rig;
  ASSERT_TRUE(rig.load());
  rig.core.add_source("/data");
  rig.services.chosen_sources = {{"/memo.txt", "/data", "/bad\"name"}, {}};
  rig.core.add_click();
  // The repeat is reported and removed, the unfit path refused, the rest added.
  EXPECT_EQ(rig.core.sources(), (Lines{"/data", "/memo.txt"}));
  ASSERT_EQ(rig.services.messages.size(), 2u);
  EXPECT_EQ(rig.services.messages[1].text, "/dataは既にあります。");
  EXPECT_EQ(rig.core.changed(), 1);
  // Cancelled: nothing changes, nothing is said.
  rig.core.set_changed(0);
  rig.core.add_click();
  EXPECT_EQ(rig.core.sources(), (Lines{"/data", "/memo.txt"}));
  EXPECT_EQ(rig.core.changed(), 0);
  EXPECT_EQ(rig.services.messages.size(), 2u);
}

TEST(VerifyButton, ChecksTheNewestArchiveOfTheJobsTypeOrAsks) {
  Rig rig;
  ASSERT_TRUE(rig.load());
  rig.core.select_type(jobfile::kTypeZip);
  rig.core.set_destination("/backup/");
  rig.services.folder_listing["/backup/"] = {"20240101010101.zip", "20250101010101.zip", "20990101010101.lzh",
                                             "2025010101010.zip",  "202501010101011.zip", "30000101010101.zip.part",
                                             "notes.zip",          "20250101010101.ZIP"};
  rig.core.verify_click();
  ASSERT_EQ(rig.services.starts.size(), 1u);
  EXPECT_EQ(rig.services.starts[0].command_line, "\"/opt/zubeto/ZUBETOC\" --verify \"/backup/20250101010101.zip\"");
  EXPECT_TRUE(rig.core.awaiting_run());
  EXPECT_TRUE(rig.services.archive_questions.empty());

  // None of this type: the user is asked, in the destination.
  rig.core.select_type(jobfile::kTypeCab);
  rig.services.chosen_archive = "/elsewhere/old.cab";
  rig.core.verify_click();
  EXPECT_EQ(rig.services.archive_questions, Lines{"/backup/"});
  ASSERT_EQ(rig.services.starts.size(), 2u);
  EXPECT_EQ(rig.services.starts[1].command_line, "\"/opt/zubeto/ZUBETOC\" --verify \"/elsewhere/old.cab\"");
  // Cancelled: nothing started.
  rig.services.chosen_archive.clear();
  rig.core.verify_click();
  EXPECT_EQ(rig.services.starts.size(), 2u);
  // A worker that does not start is reported.
  rig.services.chosen_archive = "/elsewhere/old.cab";
  rig.services.start_succeeds = false;
  rig.core.verify_click();
  ASSERT_EQ(rig.services.messages.size(), 1u);
  EXPECT_EQ(rig.services.messages[0].title, "エラー");
}

// ---- the daily run ----------------------------------------------------------

TEST(Schedule, UnitTexts) {
  const std::optional<std::string> service = schedule::service_text("/home/u/my 100% job", "/opt/z\\b/ZUBETOC");
  ASSERT_TRUE(service);
  EXPECT_NE(service->find("\nWorkingDirectory=/home/u/my 100%% job\n"), std::string::npos) << *service;
  EXPECT_NE(service->find("\nExecStart=/usr/bin/env \"/opt/z\\\\b/ZUBETOC\"\n"), std::string::npos) << *service;
  EXPECT_NE(schedule::service_text("/j", "/opt/a 50%/ZUBETOC")->find("\nExecStart=\"/opt/a 50%%/ZUBETOC\"\n"),
            std::string::npos);
  EXPECT_NE(service->find("\nType=oneshot\n"), std::string::npos);
  EXPECT_FALSE(schedule::service_text("/home/u/a\nb", "/opt/ZUBETOC"));

  const std::string timer = schedule::timer_text({7, 5});
  EXPECT_NE(timer.find("\nOnCalendar=*-*-* 07:05:00\n"), std::string::npos) << timer;
  EXPECT_NE(timer.find("\nPersistent=true\n"), std::string::npos);
  EXPECT_NE(timer.find("\nUnit=zubeto-window.service\n"), std::string::npos);
  EXPECT_NE(timer.find("\nWantedBy=timers.target\n"), std::string::npos);
  // Read back, for every minute of a day.
  for (int h = 0; h < 24; ++h)
    for (int m = 0; m < 60; ++m) ASSERT_EQ(schedule::timer_time(schedule::timer_text({h, m})), (schedule::Time{h, m}));
  EXPECT_FALSE(schedule::timer_time("[Timer]\nOnCalendar=*-*-* 25:00:00\n"));
  EXPECT_FALSE(schedule::timer_time("[Timer]\nOnCalendar=daily\n"));
}

// The units as systemd itself reads them: a job folder and a worker whose
// paths hold a space, a "%" and a backslash.
TEST(Schedule, SystemdAcceptsTheUnits) {
  if (std::system("command -v systemd-analyze >/dev/null 2>&1") != 0) GTEST_SKIP() << "no systemd-analyze";
  char tmpl[] = "/tmp/zubeto-units-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string top = tmpl;
  ASSERT_EQ(std::system(("mkdir -m 700 '" + top + "/run'").c_str()), 0);
  // A program folder systemd takes as it is, and one it would refuse.
  for (const std::string bin : {"bin 100% a", "bin a\\b"}) {
    SCOPED_TRACE(bin);
    const std::string units = top + "/" + std::to_string(bin.size());
    const std::string job = units + "/my 100% job", folder = units + "/" + bin;
    ASSERT_EQ(std::system(("mkdir -p '" + job + "' '" + folder + "'").c_str()), 0);
    const std::string worker = folder + "/ZUBETOC";
    {
      std::ofstream w(worker);
      w << "#!/bin/sh\nexit 0\n";
    }
    ASSERT_EQ(chmod(worker.c_str(), 0755), 0);
    const std::optional<std::string> service = schedule::service_text(job, worker);
    ASSERT_TRUE(service);
    std::ofstream(units + "/zubeto-window.service") << *service;
    std::ofstream(units + "/zubeto-window.timer") << schedule::timer_text({23, 59});
    const std::string out = units + "/verify.txt";
    const int status = std::system(("cd '" + units + "' && XDG_RUNTIME_DIR='" + top +
                                    "/run' systemd-analyze --user verify zubeto-window.service zubeto-window.timer >'" +
                                    out + "' 2>&1")
                                       .c_str());
    std::ifstream in(out);
    const std::string said((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(status, 0) << said;
    EXPECT_EQ(said, "");
  }
  std::system(("rm -rf '" + top + "'").c_str());
}

struct ScheduleRig : Rig {
  ScheduleRig() {
    services.config_folder = "/home/u/.config";
    services.command_answers["systemctl --user show zubeto-window.timer --property=NextElapseUSecRealtime --value"] = {
        0, "Sat 2026-12-12 07:05:00 UTC\n"};
  }
  static std::string joined(const std::vector<std::string>& argv) {
    std::string out;
    for (const std::string& a : argv) out += (out.empty() ? "" : " ") + a;
    return out;
  }
  Lines commands() const {
    Lines out;
    for (const auto& c : services.commands) out.push_back(joined(c));
    return out;
  }
};

const std::string kTimerPath = "/home/u/.config/systemd/user/zubeto-window.timer";
const std::string kServicePath = "/home/u/.config/systemd/user/zubeto-window.service";

TEST(Schedule, OnWritesAndEnablesTheTimerOffRemovesIt) {
  ScheduleRig rig;
  ASSERT_TRUE(rig.load());
  EXPECT_FALSE(rig.view.schedule_on);
  EXPECT_EQ(rig.view.next_run, "");
  rig.services.commands.clear();

  rig.core.schedule_change(true, {7, 5});
  EXPECT_TRUE(rig.services.messages.empty());
  EXPECT_EQ(rig.services.written.at(kTimerPath), schedule::timer_text({7, 5}));
  EXPECT_EQ(rig.services.written.at(kServicePath), *schedule::service_text("/home/u/job", "/opt/zubeto/ZUBETOC"));
  EXPECT_EQ(rig.commands(), (Lines{"systemctl --user daemon-reload", "systemctl --user daemon-reload",
                                   "systemctl --user enable zubeto-window.timer",
                                   "systemctl --user restart zubeto-window.timer",
                                   "systemctl --user show zubeto-window.timer --property=NextElapseUSecRealtime --value"}));
  EXPECT_TRUE(rig.view.schedule_on);
  EXPECT_EQ(rig.view.hour, 7);
  EXPECT_EQ(rig.view.minute, 5);
  EXPECT_EQ(rig.view.next_run, "次回の実行：Sat 2026-12-12 07:05:00 UTC");
  // Setting the job's changed flag is not the schedule's business.
  EXPECT_EQ(rig.core.changed(), 0);

  // The next start of the window reads the time back from the timer.
  ScheduleRig again;
  again.services.files = rig.services.files;
  ASSERT_TRUE(again.load());
  EXPECT_TRUE(again.view.schedule_on);
  EXPECT_EQ(again.view.hour, 7);
  EXPECT_EQ(again.view.minute, 5);

  rig.services.commands.clear();
  rig.core.schedule_change(false, {7, 5});
  EXPECT_TRUE(rig.services.messages.empty());
  EXPECT_EQ(rig.commands(), (Lines{"systemctl --user disable --now zubeto-window.timer", "systemctl --user daemon-reload"}));
  EXPECT_EQ(rig.services.removed, (Lines{kTimerPath, kServicePath}));
  EXPECT_FALSE(rig.view.schedule_on);
  EXPECT_EQ(rig.view.next_run, "");
}

TEST(Schedule, WithoutAUserManagerSaysSoAndLeavesNothing) {
  ScheduleRig rig;
  ASSERT_TRUE(rig.load());
  rig.services.command_answers["systemctl --user daemon-reload"] = {1, "Failed to connect to bus: No medium found\n"};
  rig.core.schedule_change(true, {2, 30});
  ASSERT_EQ(rig.services.messages.size(), 1u);
  EXPECT_EQ(rig.services.messages[0].text,
            "毎日の実行を設定できませんでした（systemd のユーザーマネージャがないか、応答がありません）。\n"
            "Failed to connect to bus: No medium found\n");
  EXPECT_TRUE(rig.services.written.empty());
  EXPECT_FALSE(rig.view.schedule_on);

  // Without a configuration folder at all, nothing is run.
  ScheduleRig bare;
  bare.services.config_folder.clear();
  ASSERT_TRUE(bare.load());
  bare.services.commands.clear();
  bare.core.schedule_change(true, {2, 30});
  EXPECT_EQ(bare.services.messages.size(), 1u);
  EXPECT_TRUE(bare.services.commands.empty());
}

TEST(Schedule, AFailedEnableTakesBackTheFiles) {
  ScheduleRig rig;
  ASSERT_TRUE(rig.load());
  rig.services.command_answers["systemctl --user enable zubeto-window.timer"] = {1, "Access denied\n"};
  rig.core.schedule_change(true, {2, 30});
  EXPECT_EQ(rig.services.messages.size(), 1u);
  EXPECT_TRUE(rig.services.written.empty());
  EXPECT_EQ(rig.services.removed, (Lines{kTimerPath, kServicePath}));
  EXPECT_FALSE(rig.view.schedule_on);
}

// ---- the table of new controls ------------------------------------------------

TEST(Layout, NewControlsLieBelowTheFirstOnesInsideTheWindowWithoutOverlap) {
  constexpr int kFirstBottom = 5895;  // Command8's bottom edge
  constexpr int kClientWidth = 4095;
  for (std::size_t i = 0; i < layout::kNewControlCount; ++i) {
    const layout::Control& a = layout::kNewControls[i];
    EXPECT_GT(a.top, kFirstBottom) << a.name;
    EXPECT_LE(a.left + a.width, kClientWidth) << a.name;
    EXPECT_LE(a.top + a.height, layout::kClientHeight) << a.name;
    EXPECT_EQ(layout::find(a.name), &a);
    // A control a reader names: a caption of its own or an accessible name.
    if (a.kind != layout::Kind::label) {
      EXPECT_TRUE(a.caption[0] || a.accessible[0]) << a.name;
    }
    for (std::size_t j = i + 1; j < layout::kNewControlCount; ++j) {
      const layout::Control& b = layout::kNewControls[j];
      const bool apart = a.left + a.width <= b.left || b.left + b.width <= a.left || a.top + a.height <= b.top ||
                         b.top + b.height <= a.top;
      EXPECT_TRUE(apart) << a.name << " overlaps " << b.name;
      // Rows run left to right, top to bottom: the tab order.
      EXPECT_TRUE(a.top < b.top || (a.top == b.top && a.left < b.left)) << a.name << " before " << b.name;
    }
  }
  EXPECT_EQ(layout::find("Command2"), nullptr);
}

// ---- the daily run as a Task Scheduler task (Windows) -----------------------

TEST(TaskSchedule, DefinitionRunsTheWorkerInTheJobFolderAtItsTime) {
  const std::optional<std::string> xml = schedule::task_xml({7, 5}, "C:\\jobs\\a&b <1>", "C:\\Zubeto\\ZUBETOC.exe");
  ASSERT_TRUE(xml);
  EXPECT_NE(xml->find("<Command>C:\\Zubeto\\ZUBETOC.exe</Command>"), std::string::npos) << *xml;
  EXPECT_NE(xml->find("<WorkingDirectory>C:\\jobs\\a&amp;b &lt;1&gt;</WorkingDirectory>"), std::string::npos);
  EXPECT_NE(xml->find("<DaysInterval>1</DaysInterval>"), std::string::npos);
  EXPECT_NE(xml->find("<StartWhenAvailable>true</StartWhenAvailable>"), std::string::npos);
  EXPECT_NE(xml->find("<LogonType>InteractiveToken</LogonType>"), std::string::npos);
  for (int h = 0; h < 24; ++h)
    for (int m = 0; m < 60; ++m)
      ASSERT_EQ(schedule::task_time(*schedule::task_xml({h, m}, "C:\\j", "C:\\z.exe")), (schedule::Time{h, m}));
  EXPECT_FALSE(schedule::task_xml({7, 5}, "C:\\a\r\nb", "C:\\z.exe"));
  // A definition given back without its trigger, a time out of range.
  EXPECT_FALSE(schedule::task_time("<Task><Triggers/><Actions><Exec/></Actions></Task>"));
  EXPECT_FALSE(schedule::task_time("<StartBoundary>2000-01-01T24:00:00</StartBoundary>"));
}

// Services with a task scheduler: the tasks by name, as registered.
struct TaskServices : FakeServices {
  std::map<std::string, std::string> tasks;
  std::string next_run = "2026-12-12 07:05";
  bool drops_trigger = false;  // gives the definition back without it
  std::string refuse;          // the scheduler's words when it refuses
  std::vector<std::string> calls;
  bool has_task_scheduler() override { return true; }
  bool register_task(const std::string& name, const std::string& xml, std::string* error) override {
    calls.push_back("register " + name);
    if (!refuse.empty()) return (*error = refuse, false);
    tasks[name] = xml;
    return true;
  }
  bool delete_task(const std::string& name, std::string* error) override {
    calls.push_back("delete " + name);
    if (!refuse.empty()) return (*error = refuse, false);
    tasks.erase(name);
    return true;
  }
  std::optional<std::string> read_task(const std::string& name, std::string* next) override {
    auto it = tasks.find(name);
    if (it == tasks.end()) return std::nullopt;
    *next = next_run;
    return drops_trigger ? std::string("<Task><Triggers/></Task>") : it->second;
  }
};

struct TaskRig {
  TaskServices services;
  View view;
  SettingsCore core{services, view};
  TaskRig() {
    services.current = "C:\\job";
    services.program_folder_path = "C:\\Zubeto";
  }
};

TEST(TaskSchedule, OnRegistersTheTaskOffDeletesItNoUnitIsWritten) {
  TaskRig rig;
  ASSERT_TRUE(rig.core.load());
  EXPECT_FALSE(rig.view.schedule_on);
  rig.core.schedule_change(true, {7, 5});
  EXPECT_TRUE(rig.services.messages.empty());
  ASSERT_EQ(rig.services.tasks.count(schedule::kTaskName), 1u);
  const std::string worker = std::string("C:\\Zubeto") + jobfile::kPathSeparator + jobfile::kWorkerProgram;
  EXPECT_EQ(rig.services.tasks.at(schedule::kTaskName), *schedule::task_xml({7, 5}, "C:\\job", worker));
  EXPECT_TRUE(rig.view.schedule_on);
  EXPECT_EQ(rig.view.hour, 7);
  EXPECT_EQ(rig.view.minute, 5);
  EXPECT_EQ(rig.view.next_run, "次回の実行：2026-12-12 07:05");
  // Neither systemctl nor a unit file on a system with a task scheduler.
  EXPECT_TRUE(rig.services.commands.empty());
  EXPECT_TRUE(rig.services.written.empty());
  EXPECT_EQ(rig.core.changed(), 0);

  // The next start reads the time back from the task.
  TaskRig again;
  again.services.tasks = rig.services.tasks;
  ASSERT_TRUE(again.core.load());
  EXPECT_TRUE(again.view.schedule_on);
  EXPECT_EQ(again.view.hour, 7);
  EXPECT_EQ(again.view.minute, 5);

  // A new time replaces the task; off deletes it.
  rig.core.schedule_change(true, {23, 59});
  EXPECT_EQ(schedule::task_time(rig.services.tasks.at(schedule::kTaskName)), (schedule::Time{23, 59}));
  rig.core.schedule_change(false, {23, 59});
  EXPECT_TRUE(rig.services.tasks.empty());
  EXPECT_FALSE(rig.view.schedule_on);
  EXPECT_EQ(rig.view.next_run, "");
  EXPECT_EQ(rig.services.calls, (Lines{"register Zubeto daily backup", "register Zubeto daily backup",
                                       "delete Zubeto daily backup"}));
  EXPECT_TRUE(rig.services.messages.empty());
}

TEST(TaskSchedule, ARefusalIsShownWithTheSystemsWordsAndNothingIsTicked) {
  TaskRig rig;
  ASSERT_TRUE(rig.core.load());
  rig.services.refuse = "The Task Scheduler service is not running. (0x80041315)";
  rig.core.schedule_change(true, {2, 30});
  ASSERT_EQ(rig.services.messages.size(), 1u);
  EXPECT_EQ(rig.services.messages[0].text, std::string(texts::kTaskFailed) + rig.services.refuse);
  EXPECT_EQ(rig.services.messages[0].title, texts::kTitleError);
  EXPECT_FALSE(rig.view.schedule_on);
  EXPECT_TRUE(rig.services.tasks.empty());
  // Off, refused: the task stays and the box with it.
  rig.services.refuse.clear();
  rig.core.schedule_change(true, {2, 30});
  rig.services.refuse = "Access is denied. (0x80070005)";
  rig.core.schedule_change(false, {2, 30});
  ASSERT_EQ(rig.services.messages.size(), 2u);
  EXPECT_EQ(rig.services.messages[1].text, std::string(texts::kTaskOffFailed) + rig.services.refuse);
  EXPECT_TRUE(rig.view.schedule_on);
}

// A scheduler that keeps the task but gives it back without its trigger
// (Wine's does): the box stays ticked, at the time this window set, and at
// the next start with its time unknown (the time box keeps its text).
TEST(TaskSchedule, ATaskGivenBackWithoutItsTriggerStaysTicked) {
  TaskRig rig;
  rig.services.drops_trigger = true;
  rig.services.next_run.clear();
  ASSERT_TRUE(rig.core.load());
  rig.core.schedule_change(true, {6, 15});
  EXPECT_TRUE(rig.view.schedule_on);
  EXPECT_EQ(rig.view.hour, 6);
  EXPECT_EQ(rig.view.next_run, "毎日 06:15 に実行");
  TaskRig again;
  again.services.drops_trigger = true;
  again.services.next_run.clear();
  again.services.tasks = rig.services.tasks;
  ASSERT_TRUE(again.core.load());
  EXPECT_TRUE(again.view.schedule_on);
  EXPECT_EQ(again.view.hour, -1);
  EXPECT_EQ(again.core.daily_run(), std::nullopt);
}

}  // namespace
}  // namespace zubeto
