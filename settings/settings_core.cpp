// The rules of every handler of the settings window, over plain state.
#include "settings_core.h"

#include <optional>
#include <string_view>
#include <unordered_set>

#include "drop.h"
#include "jobfile/vocabulary.h"
#include "platform/files.h"
#include "platform/text.h"
#include "save.h"
#include "window_texts.h"

namespace zubeto {

namespace {

// Shows a message from fixed texts and bytes: the fixed parts are
// converted (Services::localized: the window's language, the system's code
// page), a path between them is not.
int message(Services& services, const std::string& text, const char* title, int style) {
  return services.message_box(text, services.localized(title), style);
}

std::string unfit_path_message(Services& services, const std::string& path) {
  return services.localized(texts::kUnfitPathOpen) + path + services.localized(texts::kUnfitPathClose);
}

// The run log's end that the status line reads: its last lines, enough for
// a run's whole text.
constexpr std::size_t kLogTail = 64 * 1024;

// "20YYMMDDhhmmss" and the extension: an archive as the worker names it.
bool archive_name(const std::string& name, const std::string& extension) {
  constexpr std::size_t kDigits = 14;
  if (name.size() != kDigits + extension.size()) return false;
  for (std::size_t i = 0; i < kDigits; ++i)
    if (name[i] < '0' || name[i] > '9') return false;
  return name.compare(kDigits, std::string::npos, extension) == 0;
}

}  // namespace

SettingsCore::SettingsCore(Services& services, SettingsView& view) : services_(services), view_(view) {}

// ---- start-up ---------------------------------------------------------------

bool SettingsCore::load() {
  view_.make_topmost();

  // Defaults; both run their click rule, as a click would.
  select_type(jobfile::kTypeLzh);
  set_shutdown(false);

  // A second copy ends here, silently, before its window is ever shown.
  if (services_.previous_instance()) return false;

  destination_drops_ = true;
  view_.enable_destination_drops(true);
  set_destination(std::string());

  view_.show_frame_captions(text(texts::kSourceFrameCaption), text(texts::kDestinationFrameCaption));

  // Nothing is reported when the job files cannot be read: the window keeps
  // its defaults.
  if (std::optional<std::vector<std::string>> lines = read_text_lines(services_, jobfile::kJobFile)) {
    RestoredJob job =
        restore_job(*lines, [this](const std::string& name) { return read_text_lines(services_, name); });
    apply_job(job);
  }
  refresh_status();
  read_schedule();

  // Last, after every program-made change has run its click rule.
  changed_ = 0;
  return true;
}

void SettingsCore::apply_job(const RestoredJob& job) {
  if (job.type) select_type(*job.type);
  // The paths keep their bytes: saved again, the job names the same files
  // even where a name is not valid in the code page.
  if (job.destination) set_destination(*job.destination);
  for (const std::string& source : job.sources) add_source(source);
  if (job.shutdown) set_shutdown(*job.shutdown == 1);
  if (job.keep) set_keep(*job.keep);
}

// ---- program-made changes ----------------------------------------------------

void SettingsCore::select_type(int type) {
  if (type < 0 || type >= jobfile::kWindowTypeCount) return;
  type_ = type;
  view_.show_type(type);
  type_click(type);
}

void SettingsCore::set_shutdown(bool on) {
  const bool was = shutdown_;
  shutdown_ = on;
  view_.show_shutdown(on);
  // The box's click runs only when its value changes.
  if (was != on) shutdown_click(on);
}

void SettingsCore::set_keep(int count) {
  keep_ = count < 0 ? 0 : count > kMostKept ? kMostKept : count;
  view_.show_keep(keep_);
}

void SettingsCore::keep_change(int count) {
  set_keep(count);
  changed_ = 1;
}

void SettingsCore::set_destination(const std::string& path) {
  destination_ = path;
  view_.show_destination(path);
}

void SettingsCore::add_source(const std::string& path) {
  sources_.push_back(path);
  view_.append_source(path);
}

void SettingsCore::remove_source_at(std::size_t index) {
  if (index >= sources_.size()) return;
  sources_.erase(sources_.begin() + static_cast<std::ptrdiff_t>(index));
  view_.remove_source(index);
}

// ---- clicks ----------------------------------------------------------------

void SettingsCore::type_click(int type) {
  if (type >= 0 && type < jobfile::kWindowTypeCount) type_ = type;
  changed_ = 1;
}

void SettingsCore::shutdown_click(bool on) {
  shutdown_ = on;
  changed_ = 1;
}

// ---- save and run now --------------------------------------------------------

SaveOutcome SettingsCore::save_job(const char* empty_job_text) {
  settings::Job job;
  job.type = type_;
  job.shutdown = shutdown_;
  job.destination = destination_;
  job.sources = sources_;
  job.keep = keep_;

  // One press reports and removes at most one entry from another drive.
  const int other_drive = settings::tar_drive_mismatch(job);
  if (other_drive >= 0) {
    const auto at = static_cast<std::size_t>(other_drive);
    message(services_, text(texts::kTarOtherDrive) + sources_[at], texts::kTitleErrorMessage, kMbStyleError);
    remove_source_at(at);
    return SaveOutcome::drive_refused;
  }
  // An empty job leaves the job stored before on disk.
  if (settings::job_is_empty(job)) {
    message(services_, text(empty_job_text), texts::kTitleError, kMbStyleError);
    return SaveOutcome::empty_refused;
  }

  settings::SaveLines lines =
      settings::save_lines(job, [this](const std::string& p) { return services_.folder_exists(p); });
  // The response file goes first, so that a job file naming it never
  // replaces the old one before the list it names is complete.
  std::vector<TextFile> files;
  if (lines.write_resp) files.push_back({jobfile::kResponseFile, std::move(lines.resp)});
  files.push_back({jobfile::kJobFile, std::move(lines.jobconf)});
  std::string failed;
  if (!services_.write_text_files(files, &failed)) {
    // The save has no error path of its own in the system; a silent failure
    // would leave the user believing the job stored. The flag stays.
    message(services_, text(texts::kSaveFailed) + failed, texts::kTitleError, kMbStyleError);
    return SaveOutcome::write_failed;
  }
  changed_ = 0;
  return SaveOutcome::saved;
}

SaveOutcome SettingsCore::save() { return save_job(texts::kEmptyJobSave); }

SaveOutcome SettingsCore::run_now() {
  const SaveOutcome outcome = save_job(texts::kEmptyJobRunNow);
  // The worker runs whatever the save left on disk, after every outcome. It
  // is started from this program's own folder, never looked up along the
  // search path or in the current folder, and inherits the current folder,
  // where the job lies. A worker that cannot be started is passed over
  // without a word.
  const std::string program = worker_path();
  if (program.empty()) return outcome;
  if (services_.start_program("\"" + program + "\"", kShowNormalFocus)) {
    // The status line follows the run until its end line is written.
    awaiting_run_ = true;
    log_before_ = services_.read_tail(jobfile::kRunLogFile, kLogTail).value_or(std::vector<std::string>{});
  }
  return outcome;
}

std::string SettingsCore::worker_path() {
  // Joined by a helper that knows lead bytes: a folder ending in ソ or 表
  // ends in the byte of a backslash, yet has no separator at its end.
  const std::string folder = services_.program_folder();
  return folder.empty() ? folder : platform::join_path(folder, jobfile::kWorkerProgram);
}

// ---- the last run ------------------------------------------------------------

void SettingsCore::refresh_status() {
  std::optional<std::vector<std::string>> lines = services_.read_tail(jobfile::kRunLogFile, kLogTail);
  last_run_ = lines ? read_last_run(*lines) : LastRun{};
  status_ = status_text(last_run_, [this](std::string_view s) { return text(s); });
  view_.show_status(status_);
}

bool SettingsCore::poll_run() {
  if (!awaiting_run_) return false;
  std::optional<std::vector<std::string>> lines = services_.read_tail(jobfile::kRunLogFile, kLogTail);
  const std::vector<std::string> now = lines.value_or(std::vector<std::string>{});
  refresh_status();
  // The run has ended once the log has changed and its last run is no
  // longer at work.
  if (now != log_before_ && last_run_.outcome != LastRun::Outcome::running &&
      last_run_.outcome != LastRun::Outcome::none)
    awaiting_run_ = false;
  return awaiting_run_;
}

// ---- sources chosen in a dialog, the archive check ---------------------------

void SettingsCore::add_click() {
  DragData data;
  data.copy_allowed = true;
  data.file_list = true;
  data.paths = services_.choose_sources();
  // The same rules as a drop of those paths onto the list.
  if (!data.paths.empty()) source_drop(data);
}

void SettingsCore::verify_click() {
  // The newest archive of the job's type in the destination: the names are
  // the runs' times, so the greatest name is the newest.
  std::string newest;
  if (!destination_.empty()) {
    const std::string extension = jobfile::archive_extension(type_);
    for (const std::string& name : services_.folder_files(destination_))
      if (archive_name(name, extension) && name > newest) newest = name;
  }
  std::string archive;
  if (!newest.empty()) {
    archive = destination_;
    if (archive.back() != jobfile::kPathSeparator) archive += jobfile::kPathSeparator;
    archive += newest;
  } else {
    archive = services_.choose_archive(destination_);
    if (archive.empty()) return;
  }
  const std::string worker = worker_path();
  if (worker.empty() ||
      !services_.start_program("\"" + worker + "\" --verify \"" + archive + "\"", kShowNormalFocus)) {
    message(services_, text(texts::kVerifyNotStarted), texts::kTitleError, kMbStyleError);
    return;
  }
  awaiting_run_ = true;
  log_before_ = services_.read_tail(jobfile::kRunLogFile, kLogTail).value_or(std::vector<std::string>{});
}

// ---- the daily run -----------------------------------------------------------

std::string SettingsCore::unit_folder() {
  std::string config = services_.user_config_folder();
  if (config.empty()) return config;
  if (config.back() != '/') config += '/';
  return config + "systemd/user/";
}

void SettingsCore::read_schedule() {
  if (services_.has_task_scheduler()) {
    read_task_schedule();
    return;
  }
  schedule_.reset();
  const std::string folder = unit_folder();
  if (!folder.empty()) {
    if (auto lines = services_.read_tail(folder + schedule::kTimerUnit, 4096)) {
      std::string timer;
      for (const std::string& line : *lines) timer += line + "\n";
      schedule_ = schedule::timer_time(timer);
    }
  }
  const schedule::Time shown = schedule_.value_or(schedule::Time{});
  view_.show_schedule(schedule_.has_value(), shown.hour, shown.minute);
  show_next_run();
}

bool SettingsCore::systemctl(const std::vector<std::string>& words, std::string* output) {
  std::vector<std::string> argv = {"systemctl", "--user"};
  argv.insert(argv.end(), words.begin(), words.end());
  std::string out;
  const int status = services_.run_command(argv, &out);
  if (output) *output += out;
  return status == 0;
}

void SettingsCore::show_next_run() {
  std::string next;
  if (schedule_) {
    std::string out;
    if (systemctl({"show", schedule::kTimerUnit, "--property=NextElapseUSecRealtime", "--value"}, &out)) {
      while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ')) out.pop_back();
      if (!out.empty() && out != "n/a") next = fill(text(texts::kNextRun), {out});
    }
    if (next.empty()) next = fill(text(texts::kDailyAt), {schedule::clock_text(*schedule_)});
  }
  view_.show_next_run(next);
}

void SettingsCore::read_task_schedule() {
  schedule_.reset();
  std::string next;
  const std::optional<std::string> xml = services_.read_task(schedule::kTaskName, &next);
  if (xml) schedule_ = schedule::task_time(*xml);
  // A task whose trigger the scheduler does not give back runs at the time
  // it was set to, when this window set it.
  if (xml && !schedule_) schedule_ = task_set_;
  if (xml && !schedule_) {
    // Ticked, its time unknown: the time box keeps what it shows.
    view_.show_schedule(true, -1, -1);
    view_.show_next_run(next.empty() ? std::string() : fill(text(texts::kNextRun), {next}));
    return;
  }
  const schedule::Time shown = schedule_.value_or(schedule::Time{});
  view_.show_schedule(schedule_.has_value(), shown.hour, shown.minute);
  std::string line;
  if (schedule_)
    line = next.empty() ? fill(text(texts::kDailyAt), {schedule::clock_text(*schedule_)})
                        : fill(text(texts::kNextRun), {next});
  view_.show_next_run(line);
}

void SettingsCore::task_schedule_change(bool on, schedule::Time time) {
  std::string error;
  if (on) {
    std::optional<std::string> xml;
    const std::string folder = services_.current_folder(), worker = worker_path();
    if (schedule::valid(time) && !folder.empty() && !worker.empty()) xml = schedule::task_xml(time, folder, worker);
    if (xml && services_.register_task(schedule::kTaskName, *xml, &error)) {
      task_set_ = time;
    } else {
      message(services_, text(texts::kTaskFailed) + error, texts::kTitleError, kMbStyleError);
    }
  } else if (services_.delete_task(schedule::kTaskName, &error)) {
    task_set_.reset();
  } else {
    message(services_, text(texts::kTaskOffFailed) + error, texts::kTitleError, kMbStyleError);
  }
  read_task_schedule();
}

void SettingsCore::schedule_change(bool on, schedule::Time time) {
  if (services_.has_task_scheduler()) {
    task_schedule_change(on, time);
    return;
  }
  const std::string folder = unit_folder();
  const std::string timer = folder + schedule::kTimerUnit, service = folder + schedule::kServiceUnit;
  std::string output;
  bool done = false;
  if (on) {
    std::optional<std::string> service_text;
    if (schedule::valid(time) && !folder.empty())
      service_text = schedule::service_text(services_.current_folder(), worker_path());
    // Asking the user's service manager to reload first tells whether there
    // is one, before any file is written.
    done = service_text && !services_.current_folder().empty() && !worker_path().empty() &&
           systemctl({"daemon-reload"}, &output) && services_.write_file(service, *service_text) &&
           services_.write_file(timer, schedule::timer_text(time)) && systemctl({"daemon-reload"}, &output) &&
           systemctl({"enable", schedule::kTimerUnit}, &output) &&
           systemctl({"restart", schedule::kTimerUnit}, &output);
    if (!done) {
      // Nothing half set stays behind.
      if (!folder.empty()) {
        (void)systemctl({"disable", "--now", schedule::kTimerUnit}, nullptr);
        (void)services_.remove_file(timer);
        (void)services_.remove_file(service);
        (void)systemctl({"daemon-reload"}, nullptr);
      }
      message(services_, text(texts::kScheduleFailed) + output, texts::kTitleError, kMbStyleError);
    }
  } else if (!folder.empty()) {
    const bool stopped = systemctl({"disable", "--now", schedule::kTimerUnit}, &output);
    const bool removed = services_.remove_file(timer) && services_.remove_file(service);
    (void)systemctl({"daemon-reload"}, nullptr);
    if (!stopped || !removed)
      message(services_, text(texts::kScheduleOffFailed) + output, texts::kTitleError, kMbStyleError);
  }
  read_schedule();
}

// ---- housekeeping ------------------------------------------------------------

void SettingsCore::delete_entries(const std::vector<std::size_t>& selected) {
  // The selection is the entries', taken before the walk: the entry that
  // moves up into a removed one's place is looked at next, and is removed
  // only when it was selected itself.
  std::vector<bool> marked(sources_.size(), false);
  for (std::size_t i : selected)
    if (i < marked.size()) marked[i] = true;
  std::size_t i = 0;
  while (i < sources_.size()) {
    if (marked[i]) {
      marked.erase(marked.begin() + static_cast<std::ptrdiff_t>(i));
      remove_source_at(i);
    } else {
      ++i;
    }
  }
  changed_ = 1;
}

void SettingsCore::clear() {
  select_type(jobfile::kTypeLzh);
  // The count is taken once; the first entry goes that many times.
  const std::size_t count = sources_.size();
  for (std::size_t n = 0; n < count; ++n) remove_source_at(0);
  set_destination(std::string());
  set_shutdown(false);
  set_keep(0);
  changed_ = 1;
}

bool SettingsCore::exit() {
  if (changed_ == 1) {
    const int answer =
        message(services_, text(texts::kExitChanged), texts::kTitleProduct, kMbStyleConfirm);
    if (answer != kAnswerYes) return false;
  }
  // The job is not saved on the way out.
  view_.close_window();
  return true;
}

void SettingsCore::show_log() {
  // The editor is started whether or not the run log exists, and the window
  // does not wait for it. The system leaves a failed start unhandled; the
  // user is told here, since nothing else would show.
  if (!services_.start_program(services_.text_editor_command(jobfile::kRunLogFile), kShowNormalFocus))
    message(services_, text(texts::kEditorFailed), texts::kTitleError, kMbStyleError);
}

void SettingsCore::delete_log() {
  // Missing, read-only or locked: the run log stays and nothing is said.
  (void)services_.delete_file(jobfile::kRunLogFile);
}

// ---- drops -------------------------------------------------------------------

bool SettingsCore::is_share_root(const std::string& path) {
  // When the share check library cannot be loaded, a path counts as no
  // share root: refusing every drag would leave the window unable to take
  // any source at all, while a share root that slips through is archived
  // like any other folder.
  std::optional<int> r = services_.share_check(path);
  return r.has_value() && *r != 0;
}

DropEffect SettingsCore::source_drag_over(const DragData& data) {
  DropEffect effect = kDropNone;
  if (data.copy_allowed && data.file_list) {
    // The scratch list takes the whole collection; its first item is the
    // path tested. Later paths of the same drag are not.
    scratch_ = data.paths;
    const bool accepted = settings::source_drag_accepted(
        true, scratch_, [this](const std::string& p) { return is_share_root(p); });
    effect = accepted ? kDropCopy : kDropNone;
  }
  scratch_.clear();
  return effect;
}

bool SettingsCore::source_drop(const DragData& data) {
  // A drop arrives only after an accepted drag-over; asking once more keeps
  // anything the drag-over would refuse out of the list whatever the sender.
  if (source_drag_over(data) != kDropCopy) return false;
  // Every dropped path is appended unchanged and untested, but for one that
  // the job file could not carry: it would come back as another path.
  std::vector<std::string> fitting;
  for (const std::string& path : data.paths) {
    if (settings::path_fits_job_file(path))
      fitting.push_back(path);
    else
      message(services_, unfit_path_message(services_, path), texts::kTitleErrorMessage, kMbStyleError);
  }
  const settings::SourceDrop drop = settings::source_drop(sources_, fitting);
  for (const std::string& path : fitting) add_source(path);
  // Repeats are equal bytes: two names that show alike are still two files.
  // Each is reported while it still shows in the list, then removed.
  for (std::size_t i = 0; i < drop.repeats.size(); ++i) {
    message(services_, drop.repeats[i] + text(texts::kRepeatSuffix), texts::kTitleErrorMessage, kMbStyleError);
    remove_source_at(drop.removed_at[i]);
  }
  changed_ = 1;
  return true;
}

DropEffect SettingsCore::destination_drag_over(const DragData& data) {
  // Any data may be dropped here while the drop mode is manual; the drop
  // sorts it out. Copy only, never move.
  return destination_drops_ && data.copy_allowed ? kDropCopy : kDropNone;
}

void SettingsCore::destination_drop(const DragData& data) {
  if (destination_drag_over(data) != kDropCopy) return;
  const settings::DestinationDrop drop = settings::destination_drop(
      data.file_list, data.paths, [this](const std::string& p) { return services_.folder_exists(p); });
  switch (drop.outcome) {
    case settings::DestinationDrop::ignored:
      return;
    case settings::DestinationDrop::too_many:
      message(services_, text(texts::kOneDestination), texts::kTitleErrorMessage, kMbStyleInfo);
      return;
    case settings::DestinationDrop::not_folder:
      // The old destination is gone all the same; the flag stays.
      set_destination(std::string());
      message(services_, text(texts::kNotAFolder), texts::kTitleErrorMessage, kMbStyleInfo);
      return;
    case settings::DestinationDrop::accepted:
      if (!settings::path_fits_job_file(drop.text)) {
        message(services_, unfit_path_message(services_, data.paths[0]), texts::kTitleErrorMessage, kMbStyleError);
        return;
      }
      set_destination(drop.text);
      changed_ = 1;
      return;
  }
}

}  // namespace zubeto
