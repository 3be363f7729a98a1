// The drop handlers of ZBTB: files and folders dragged onto the source list
// List1, and the destination folder dragged onto Text1. The rules are the
// plain functions of drop.h; these handlers feed them and show the outcome.
#include <QComboBox>
#include <QListWidget>
#include <QMimeData>
#include <QUrl>
#include <optional>

#include "drop.h"
#include "window.h"

namespace zubeto {

namespace {

// The file collection of the dragged data: the local paths of its URLs, in
// the order the drag source lists them. A URL that names no local file is
// not part of it; data without any local path is no file list (nothing).
std::optional<QStringList> file_collection(const QMimeData& data) {
  if (!data.hasUrls()) return std::nullopt;
  QStringList paths;
  for (const QUrl& url : data.urls())
    if (url.isLocalFile()) paths << url.toLocalFile();
  if (paths.isEmpty()) return std::nullopt;
  return paths;
}

std::vector<std::string> narrow_all(const QStringList& paths) {
  std::vector<std::string> out;
  out.reserve(static_cast<size_t>(paths.size()));
  for (const QString& p : paths) out.push_back(to_narrow(p));
  return out;
}

std::string unfit_path_message(const std::string& path) {
  return "「" + path + "」は、ジョブに保存できない文字（\"、改行）を含むため使えません。";
}

}  // namespace

int ZBTB::List1_OLEDragOver(const QMimeData& data) {
  int effect = 0;
  if (std::optional<QStringList> paths = file_collection(data)) {
    // Combo1 serves as the scratch list: the collection goes in, its first
    // item comes out as the path to test.
    Combo1->addItems(*paths);
    Combo1->setCurrentIndex(0);
    // The item itself, not the editable box's text: that one is cut short
    // at 32767 characters, and a share root with a longer path would be
    // tested as another path.
    const std::string first = to_narrow(Combo1->itemText(0));
    // When the share check library cannot be loaded, a path counts as no
    // share root: refusing every drag would leave the window unable to take
    // any source at all, while a share root that slips through is archived
    // like any other folder.
    auto is_share_root = [this](const std::string& p) {
      std::optional<int> r = services_.share_check(p);
      return r.has_value() && *r != 0;
    };
    effect = settings::source_drag_accepted(true, {first}, is_share_root) ? 1 : 0;
  }
  Combo1->clear();
  return effect;
}

void ZBTB::List1_OLEDragDrop(const QMimeData& data) {
  std::optional<QStringList> paths = file_collection(data);
  if (!paths) return;
  // Every dropped path is appended unchanged and untested, but for one that
  // the job file could not carry: it would come back as another path.
  for (const QString& p : *paths) {
    const std::string path = to_narrow(p);
    if (settings::path_fits_job_file(path))
      List1->addItem(p);
    else
      services_.message_box(unfit_path_message(path), "エラーメッセージ", kMbStyleError);
  }
  settings::SourceDrop drop = settings::source_drop(sources(), {});
  // Each repeat is reported while it still shows in the list, then removed.
  for (size_t i = 0; i < drop.repeats.size(); ++i) {
    services_.message_box(drop.repeats[i] + "は既にあります。", "エラーメッセージ", kMbStyleError);
    delete List1->takeItem(static_cast<int>(drop.removed_at[i]));
  }
  changed_ = 1;
}

void ZBTB::Text1_OLEDragDrop(const QMimeData& data) {
  std::optional<QStringList> paths = file_collection(data);
  settings::DestinationDrop drop =
      settings::destination_drop(paths.has_value(), paths ? narrow_all(*paths) : std::vector<std::string>{},
                                 [this](const std::string& p) { return services_.folder_exists(p); });
  switch (drop.outcome) {
    case settings::DestinationDrop::ignored:
      return;
    case settings::DestinationDrop::too_many:
      services_.message_box("圧縮ファイルは１つにして下さい。", "エラーメッセージ", kMbStyleInfo);
      return;
    case settings::DestinationDrop::not_folder:
      // The old destination is gone all the same; the flag stays.
      Text1->setPlainText(QString());
      services_.message_box("フォルダを指定して下さい。", "エラーメッセージ", kMbStyleInfo);
      return;
    case settings::DestinationDrop::accepted:
      if (!settings::path_fits_job_file(drop.text)) {
        services_.message_box(unfit_path_message(narrow_all(*paths)[0]), "エラーメッセージ", kMbStyleError);
        return;
      }
      Text1->setPlainText(from_narrow(drop.text));
      changed_ = 1;
      return;
  }
}

}  // namespace zubeto
