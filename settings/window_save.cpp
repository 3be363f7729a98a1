// Saving the job (Command2) and saving it and starting the worker at once
// (Command8). The lines come from the plain save writer of save.h; this
// module only reads the controls, shows the refusals and hands the files to
// the services.
#include <QListWidget>

#include "jobfile.h"
#include "save.h"
#include "window.h"

namespace zubeto {

ZBTB::SaveOutcome ZBTB::save_job(const std::string& empty_job_message) {
  settings::Job job;
  job.type = selected_type() < 0 ? 0 : selected_type();
  job.shutdown = shutdown() == 1;
  job.destination = destination();
  job.sources = sources();

  // One press reports and removes at most one entry from another drive.
  const int other_drive = settings::tar_drive_mismatch(job);
  if (other_drive >= 0) {
    services_.message_box("ＴＡＲでの圧縮の場合,異なるドライブ名の指定はできません。＝" +
                              job.sources[static_cast<size_t>(other_drive)],
                          "エラーメッセージ", kMbStyleError);
    delete List1->takeItem(other_drive);
    return SaveOutcome::drive_refused;
  }
  // An empty job leaves the job stored before on disk.
  if (settings::job_is_empty(job)) {
    services_.message_box(empty_job_message, "エラー", kMbStyleError);
    return SaveOutcome::empty_refused;
  }

  settings::SaveLines lines =
      settings::save_lines(job, [this](const std::string& p) { return services_.folder_exists(p); });
  // The response file goes first, so that a job file naming it never
  // replaces the old one before the list it names is complete.
  std::vector<TextFile> files;
  if (lines.write_resp) files.push_back({kResponseFile, std::move(lines.resp)});
  files.push_back({kJobFile, std::move(lines.jobconf)});
  std::string failed;
  if (!services_.write_text_files(files, &failed)) {
    services_.message_box("ジョブを保存できませんでした。フォルダに書き込めないか、ディスクに空きがありません。＝" + failed,
                          "エラー", kMbStyleError);
    return SaveOutcome::write_failed;
  }
  changed_ = 0;
  return SaveOutcome::saved;
}

void ZBTB::Command2_Click() { save_job("ドロップ＆ドラッグされていません。"); }

void ZBTB::Command8_Click() {
  // Two ASCII ampersands, shown as they are written.
  save_job("ドロップ&&ドラッグされていません。");
  // The worker runs whatever the save left on disk. It is started from this
  // program's own folder, never looked up along the search path or in the
  // current folder, and inherits the current folder, where the job lies.
  // A worker that cannot be started is passed over without a word.
  const std::string folder = services_.program_folder();
  if (folder.empty()) return;
  std::string program = folder;
  if (program.back() != kPathSeparator) program += kPathSeparator;
  program += kWorkerProgram;
  (void)services_.start_program("\"" + program + "\"", kShowNormalFocus);
}

}  // namespace zubeto
