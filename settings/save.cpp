#include "save.h"

#include "jobfile/job_line.h"

namespace settings {

std::string drive_root(const std::string& path) {
#ifdef _WIN32
  // The first three characters, such as "C:\" (the whole path when shorter).
  return path.substr(0, 3);
#else
  return (!path.empty() && path[0] == '/') ? "/" : "";
#endif
}

int tar_drive_mismatch(const Job& job) {
  if (job.type != kTypeTar || job.sources.empty()) return -1;
  const std::string root = drive_root(job.sources[0]);
  for (size_t i = 1; i < job.sources.size(); ++i)
    if (drive_root(job.sources[i]) != root) return static_cast<int>(i);
  return -1;
}

bool job_is_empty(const Job& job) { return job.destination.empty() || job.sources.empty(); }

SaveLines save_lines(const Job& job, const std::function<bool(const std::string&)>& folder_exists) {
  SaveLines out;
  using namespace jobfile;
  out.jobconf.push_back(make_line(Key::mode, std::to_string(job.type)));
  // One opening quote and no closing one: the worker appends the archive's
  // name and closes the quote itself.
  out.jobconf.push_back(make_line(Key::archive, opened(job.destination)));
  if (job.type == kTypeTar)
    out.jobconf.push_back(make_line(Key::base_dir, quoted(job.sources.empty() ? std::string() : drive_root(job.sources[0]))));
  else
    out.jobconf.push_back(kBareBaseDirLine);

  // A CAB folder source means the folder's contents: it gets the "all files"
  // suffix, whatever its last character is.
  auto source_value = [&](const std::string& source) {
    return quoted(job.type == kTypeCab && folder_exists(source) ? with_all_files(source) : source);
  };
  if (job.sources.size() <= kMaxInlineSources) {
    for (const auto& s : job.sources) out.jobconf.push_back(make_line(Key::source, source_value(s)));
  } else {
    out.jobconf.push_back(make_line(Key::source, quoted(kResponseRef)));
    out.write_resp = true;
    for (const auto& s : job.sources) out.resp.push_back(source_value(s));
  }
  // Only a job that keeps a number of archives says so: a job without it is
  // saved exactly as before, and older readers pass over the line.
  if (job.keep > 0) out.jobconf.push_back(make_line(Key::keep, std::to_string(job.keep)));
  out.jobconf.push_back(make_line(Key::shutdown, job.shutdown ? "1" : "0"));
  return out;
}

}  // namespace settings
