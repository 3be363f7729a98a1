#include "save.h"

namespace settings {

std::string drive_root(const std::string& path) { return (!path.empty() && path[0] == '/') ? "/" : ""; }

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
  out.jobconf.push_back("[mode]=" + std::to_string(job.type));
  out.jobconf.push_back("[archive]=\"" + job.destination);
  if (job.type == kTypeTar)
    out.jobconf.push_back("[base_dir]=\"" + (job.sources.empty() ? std::string() : drive_root(job.sources[0])) + "\"");
  else
    out.jobconf.push_back("[base_dir]");

  // A CAB folder source means the folder's contents: it gets "/*.*".
  auto quoted = [&](const std::string& source) {
    std::string suffix = (job.type == kTypeCab && folder_exists(source)) ? "/*.*" : "";
    return "\"" + source + suffix + "\"";
  };
  if (job.sources.size() <= kMaxInlineSources) {
    for (const auto& s : job.sources) out.jobconf.push_back("[dir_file]=" + quoted(s));
  } else {
    out.jobconf.push_back("[dir_file]=\"@resp.tmp\"");
    out.write_resp = true;
    for (const auto& s : job.sources) out.resp.push_back(quoted(s));
  }
  out.jobconf.push_back(std::string("[shut_flg]=") + (job.shutdown ? "1" : "0"));
  return out;
}

}  // namespace settings
