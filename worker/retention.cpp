#include "retention.h"

#include <algorithm>

#include "arcverify/verify.h"
#include "platform/files.h"
#include "readback.h"
#include "result_codes.h"

namespace worker {

namespace {

constexpr size_t kDigits = 14;

// The archive's name: what follows the last separator of its path.
std::string name_of(const std::string& path) {
  for (size_t i = path.size(); i-- > 0;)
    if (platform::is_separator_at(path, i)) return path.substr(i + 1);
  return path;
}

}  // namespace

bool is_archive_name(std::string_view name, std::string_view extension) {
  if (extension.empty() || name.size() != kDigits + extension.size()) return false;
  for (size_t i = 0; i < kDigits; ++i)
    if (name[i] < '0' || name[i] > '9') return false;
  return name.substr(kDigits) == extension;
}

std::vector<std::string> archives_to_remove(std::vector<std::string> names, std::string_view newest,
                                            std::string_view extension, int keep) {
  std::vector<std::string> out;
  if (keep <= 0 || !is_archive_name(newest, extension)) return out;
  names.erase(std::remove_if(names.begin(), names.end(),
                             [&](const std::string& n) { return n == newest || !is_archive_name(n, extension); }),
              names.end());
  // The digits are the time of the run, year first: by name is by age.
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  const size_t others_kept = static_cast<size_t>(keep) - 1;  // the new archive is one of those kept
  if (names.size() <= others_kept) return out;
  out.assign(names.begin(), names.end() - static_cast<std::ptrdiff_t>(others_kept));
  return out;
}

void retention_step(RunLog& log, const std::string& archive, int keep) {
  const std::string name = name_of(archive);
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) return;
  const std::string extension = name.substr(dot);
  const std::string folder = platform::folder_of(archive);
  std::vector<platform::FolderChild> children;
  platform::SysError err;
  if (!platform::list_folder(folder, true, children, err)) {
    // A listing cut short could hide the newest archives: nothing is removed.
    log_put(log, "NOTE: the destination could not be listed, no archive was removed: " + log_safe(folder) + " (" +
                     err.text() + ")");
    return;
  }
  std::vector<std::string> plain;
  for (const platform::FolderChild& c : children)
    if (!c.err.failed() && c.facts.kind == platform::FileKind::File) plain.push_back(c.name);
  for (const std::string& victim : archives_to_remove(plain, name, extension, keep)) {
    const std::string path = platform::join_path(folder, victim);
    if (platform::remove_file(path))
      log_put(log, "REMOVED: " + log_safe(path));
    else
      log_put(log, "NOTE: could not remove an old archive: " + log_safe(path));
  }
  platform::sync_folder(folder);
}

int keep_step(RunLog& log, const JobFacts& facts) {
  if (facts.keep <= 0 || facts.archive.empty()) return 0;
  arcverify::Format format;
  if (!arcverify::format_of_path(facts.archive, format)) {
    // BGA archives (of another maker's library) cannot be read back here.
    log_put(log, "NOTE: archives of this format cannot be read back, so no old archive was removed");
    return 0;
  }
  int rc = readback_step(log, facts.archive);
  if (rc != 0) return rc;
  retention_step(log, facts.archive, facts.keep);
  return 0;
}

}  // namespace worker
