// The rules of every handler of the settings window, over plain state.
#include "settings_core.h"

#include <optional>
#include <string_view>
#include <unordered_set>

#include "drop.h"
#include "jobfile/vocabulary.h"
#include "platform/text.h"
#include "save.h"
#include "window_texts.h"

namespace zubeto {

namespace {

// A fixed text of the window in the system's narrow code page.
std::string narrow(std::string_view utf8) { return platform::system_text(utf8); }

// Shows a message from fixed texts and bytes: the fixed parts are
// converted, a path between them is not.
int message(Services& services, const std::string& text, const char* title, int style) {
  return services.message_box(text, narrow(title), style);
}

std::string unfit_path_message(const std::string& path) {
  return narrow(texts::kUnfitPathOpen) + path + narrow(texts::kUnfitPathClose);
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

  view_.show_frame_captions(narrow(texts::kSourceFrameCaption), narrow(texts::kDestinationFrameCaption));

  // Nothing is reported when the job files cannot be read: the window keeps
  // its defaults.
  if (std::optional<std::vector<std::string>> lines = read_text_lines(services_, jobfile::kJobFile)) {
    RestoredJob job =
        restore_job(*lines, [this](const std::string& name) { return read_text_lines(services_, name); });
    apply_job(job);
  }

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

  // One press reports and removes at most one entry from another drive.
  const int other_drive = settings::tar_drive_mismatch(job);
  if (other_drive >= 0) {
    const auto at = static_cast<std::size_t>(other_drive);
    message(services_, narrow(texts::kTarOtherDrive) + sources_[at], texts::kTitleErrorMessage, kMbStyleError);
    remove_source_at(at);
    return SaveOutcome::drive_refused;
  }
  // An empty job leaves the job stored before on disk.
  if (settings::job_is_empty(job)) {
    message(services_, narrow(empty_job_text), texts::kTitleError, kMbStyleError);
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
    message(services_, narrow(texts::kSaveFailed) + failed, texts::kTitleError, kMbStyleError);
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
  std::string program = services_.program_folder();
  if (program.empty()) return outcome;
  if (program.back() != jobfile::kPathSeparator) program += jobfile::kPathSeparator;
  program += jobfile::kWorkerProgram;
  (void)services_.start_program("\"" + program + "\"", kShowNormalFocus);
  return outcome;
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
  changed_ = 1;
}

bool SettingsCore::exit() {
  if (changed_ == 1) {
    const int answer =
        message(services_, narrow(texts::kExitChanged), texts::kTitleProduct, kMbStyleConfirm);
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
    message(services_, narrow(texts::kEditorFailed), texts::kTitleError, kMbStyleError);
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
      message(services_, unfit_path_message(path), texts::kTitleErrorMessage, kMbStyleError);
  }
  const settings::SourceDrop drop = settings::source_drop(sources_, fitting);
  for (const std::string& path : fitting) add_source(path);
  // Repeats are equal bytes: two names that show alike are still two files.
  // Each is reported while it still shows in the list, then removed.
  for (std::size_t i = 0; i < drop.repeats.size(); ++i) {
    message(services_, drop.repeats[i] + narrow(texts::kRepeatSuffix), texts::kTitleErrorMessage, kMbStyleError);
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
      message(services_, narrow(texts::kOneDestination), texts::kTitleErrorMessage, kMbStyleInfo);
      return;
    case settings::DestinationDrop::not_folder:
      // The old destination is gone all the same; the flag stays.
      set_destination(std::string());
      message(services_, narrow(texts::kNotAFolder), texts::kTitleErrorMessage, kMbStyleInfo);
      return;
    case settings::DestinationDrop::accepted:
      if (!settings::path_fits_job_file(drop.text)) {
        message(services_, unfit_path_message(data.paths[0]), texts::kTitleErrorMessage, kMbStyleError);
        return;
      }
      set_destination(drop.text);
      changed_ = 1;
      return;
  }
}

}  // namespace zubeto
