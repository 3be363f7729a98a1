#include "drop.h"

#include "jobfile/job_line.h"

namespace settings {

bool path_fits_job_file(const std::string& path) { return jobfile::quotable(path); }

bool source_drag_accepted(bool is_file_list, const std::vector<std::string>& paths,
                          const std::function<bool(const std::string&)>& is_share_root) {
  if (!is_file_list || paths.empty()) return false;
  // Only the first path is tested.
  return !is_share_root(paths.front());
}

SourceDrop source_drop(std::vector<std::string> list, const std::vector<std::string>& dropped) {
  SourceDrop out;
  list.insert(list.end(), dropped.begin(), dropped.end());
  // Of equal entries the first stays; each later one is reported and removed.
  for (size_t j = 0; j < list.size(); ++j) {
    for (size_t k = j + 1; k < list.size();) {
      if (list[k] == list[j]) {
        out.repeats.push_back(list[k]);
        out.removed_at.push_back(k);
        list.erase(list.begin() + static_cast<std::ptrdiff_t>(k));
      } else {
        ++k;
      }
    }
  }
  out.list = std::move(list);
  return out;
}

DestinationDrop destination_drop(bool is_file_list, const std::vector<std::string>& paths,
                                 const std::function<bool(const std::string&)>& folder_exists) {
  DestinationDrop out;
  if (!is_file_list) return out;
  if (paths.size() != 1) {
    out.outcome = DestinationDrop::too_many;
    return out;
  }
  if (folder_exists(paths[0])) {
    out.outcome = DestinationDrop::accepted;
    out.text = paths[0] + jobfile::kPathSeparator;
  } else {
    out.outcome = DestinationDrop::not_folder;
  }
  return out;
}

}  // namespace settings
