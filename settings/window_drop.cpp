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

// The exact bytes of a local file URL's path. toLocalFile() decodes the
// path as UTF-8 and puts a replacement character for each byte that is not,
// so a name written by another system would come out as another path; the
// URL itself keeps those bytes percent-encoded. The bytes are taken only
// where they read as the local file does (the host form of a share, say,
// is left to toLocalFile() should the two ever differ).
std::string local_path_bytes(const QUrl& url) {
  const QString local = url.toLocalFile();
  QByteArray bytes = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
  if (!url.host().isEmpty()) {
    if (!bytes.startsWith('/')) bytes.prepend('/');
    bytes.prepend("//" + url.host(QUrl::FullyEncoded).toUtf8());
  }
  std::string path(bytes.constData(), static_cast<size_t>(bytes.size()));
  if (from_narrow(path) == local) return path;
  return to_narrow(local);
}

// The file collection of the dragged data: the local paths of its URLs, in
// the order the drag source lists them, as exact bytes. A URL that names no
// local file is not part of it; data without any local path is no file list
// (nothing).
std::optional<std::vector<std::string>> file_collection(const QMimeData& data) {
  if (!data.hasUrls()) return std::nullopt;
  std::vector<std::string> paths;
  for (const QUrl& url : data.urls())
    if (url.isLocalFile()) paths.push_back(local_path_bytes(url));
  if (paths.empty()) return std::nullopt;
  return paths;
}

std::string unfit_path_message(const std::string& path) {
  return "「" + path + "」は、ジョブに保存できない文字（\"、改行）を含むため使えません。";
}

}  // namespace

int ZBTB::List1_OLEDragOver(const QMimeData& data) {
  int effect = 0;
  if (std::optional<std::vector<std::string>> paths = file_collection(data)) {
    // Combo1 serves as the scratch list: the collection goes in, its first
    // item comes out as the path to test.
    for (const std::string& p : *paths)
      Combo1->addItem(from_narrow(p), QByteArray(p.data(), static_cast<qsizetype>(p.size())));
    Combo1->setCurrentIndex(0);
    // The item's bytes, not the editable box's text: that one is cut short
    // at 32767 characters, and a share root with a longer path (or a name
    // that is not valid in the code page) would be tested as another path.
    const QByteArray first_bytes = Combo1->itemData(0).toByteArray();
    const std::string first(first_bytes.constData(), static_cast<size_t>(first_bytes.size()));
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
  std::optional<std::vector<std::string>> paths = file_collection(data);
  if (!paths) return;
  // Every dropped path is appended unchanged and untested, but for one that
  // the job file could not carry: it would come back as another path.
  for (const std::string& path : *paths) {
    if (settings::path_fits_job_file(path))
      add_source(path);
    else
      services_.message_box(unfit_path_message(path), "エラーメッセージ", kMbStyleError);
  }
  settings::SourceDrop drop = settings::source_drop(sources(), {});
  // Repeats are equal bytes: two names that show alike (each with a
  // replacement character) are still two files. Each repeat is reported
  // while it still shows in the list, then removed.
  for (size_t i = 0; i < drop.repeats.size(); ++i) {
    services_.message_box(drop.repeats[i] + "は既にあります。", "エラーメッセージ", kMbStyleError);
    delete List1->takeItem(static_cast<int>(drop.removed_at[i]));
  }
  changed_ = 1;
}

void ZBTB::Text1_OLEDragDrop(const QMimeData& data) {
  std::optional<std::vector<std::string>> paths = file_collection(data);
  settings::DestinationDrop drop =
      settings::destination_drop(paths.has_value(), paths ? *paths : std::vector<std::string>{},
                                 [this](const std::string& p) { return services_.folder_exists(p); });
  switch (drop.outcome) {
    case settings::DestinationDrop::ignored:
      return;
    case settings::DestinationDrop::too_many:
      services_.message_box("圧縮ファイルは１つにして下さい。", "エラーメッセージ", kMbStyleInfo);
      return;
    case settings::DestinationDrop::not_folder:
      // The old destination is gone all the same; the flag stays.
      Text1->show_path(std::string());
      services_.message_box("フォルダを指定して下さい。", "エラーメッセージ", kMbStyleInfo);
      return;
    case settings::DestinationDrop::accepted:
      if (!settings::path_fits_job_file(drop.text)) {
        services_.message_box(unfit_path_message((*paths)[0]), "エラーメッセージ", kMbStyleError);
        return;
      }
      Text1->show_path(drop.text);
      changed_ = 1;
      return;
  }
}

}  // namespace zubeto
