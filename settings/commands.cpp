// The housekeeping handlers of ZBTB: deleting and clearing sources, leaving,
// showing and deleting the run log, and the option and check box clicks.
#include <QCheckBox>
#include <QListWidget>
#include <QRadioButton>
#include <unordered_set>

#include "jobfile.h"
#include "platform/process.h"
#include "window.h"

namespace zubeto {

void ZBTB::Command1_Click() {
  // The selection is taken before the walk and the list then left without a
  // current entry, so that no removal passes the selection on to the entry
  // that moves up (the list would do so by itself).
  std::unordered_set<const QListWidgetItem*> selected;
  for (const QListWidgetItem* item : List1->selectedItems()) selected.insert(item);
  List1->setCurrentItem(nullptr);
  List1->clearSelection();
  // The count is read afresh each round: a removed entry's place is taken by
  // the next one, which is looked at in turn.
  int i = 0;
  while (i <= List1->count() - 1) {
    if (selected.count(List1->item(i)))
      delete List1->takeItem(i);
    else
      ++i;
  }
  changed_ = 1;
}

void ZBTB::Command3_Click() {
  select_type(0);
  const int count = List1->count();
  for (int n = 0; n < count; ++n) delete List1->takeItem(0);
  Text1->show_path(std::string());
  Check1->setChecked(false);
  changed_ = 1;
}

void ZBTB::Command4_Click() {
  if (changed_ == 1) {
    int answer = services_.message_box("変更されていますが終了しますか。", "ズベト", kMbStyleConfirm);
    if (answer != kAnswerYes) return;
  }
  // The job is not saved on the way out.
  close();
}

void ZBTB::Command5_Click() {
  // The editor is started whether or not the run log exists, and the window
  // does not wait for it.
  if (!services_.start_program(platform::text_editor_command(kRunLog), kShowNormalFocus))
    services_.message_box("ログを表示するテキストエディタを起動できませんでした。", "エラー", kMbStyleError);
}

void ZBTB::Command6_Click() {
  // Missing, read-only or locked: the run log stays and nothing is said.
  (void)services_.delete_file(kRunLog);
}

void ZBTB::Option1_Click(int /*index*/) { changed_ = 1; }

void ZBTB::Check1_Click() { changed_ = 1; }

}  // namespace zubeto
