// What drops onto the source list and the destination box do, as plain
// functions over the dragged paths; the window only shows the outcome.
#pragma once
#include <functional>
#include <string>
#include <vector>

namespace settings {

// The job file holds one quoted path a line: a path with a double quote or
// a line break in it would be read back as another path (POSIX allows both
// in names). Such a path is refused, never saved.
bool path_fits_job_file(const std::string& path);

// Drag over the source list: a file list is accepted (copy, never move)
// unless its first path is a share root. No path at all is refused.
bool source_drag_accepted(bool is_file_list, const std::vector<std::string>& paths,
                          const std::function<bool(const std::string&)>& is_share_root);

// The source list after a drop: the dropped paths appended in order, then
// every later repeat of an earlier entry removed. `repeats` names each
// removed entry, in the order the window reports them; `removed_at` gives,
// for each, its place in the list at the moment it is removed (the list
// with the dropped paths appended and the earlier repeats already gone), so
// that the window can report each one and then take it out.
struct SourceDrop {
  std::vector<std::string> list;
  std::vector<std::string> repeats;
  std::vector<size_t> removed_at;
};
SourceDrop source_drop(std::vector<std::string> list, const std::vector<std::string>& dropped);

// Drop on the destination box.
struct DestinationDrop {
  enum Outcome { ignored, too_many, not_folder, accepted } outcome = ignored;
  std::string text;  // the box's new text (accepted: path + separator; not_folder: empty)
};
DestinationDrop destination_drop(bool is_file_list, const std::vector<std::string>& paths,
                                 const std::function<bool(const std::string&)>& folder_exists);

}  // namespace settings
