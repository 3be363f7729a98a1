// The job as the window shows it, and the lines that saving it writes.
// Plain data and functions: the window only feeds them.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "jobfile/vocabulary.h"

namespace settings {

struct Job {
  int type = 0;                      // 0 LZH, 1 ZIP, 2 CAB, 3 TAR
  bool shutdown = false;             // Check1 ticked
  std::string destination;           // Text1, ends with the separator
  std::vector<std::string> sources;  // List1, in list order
  int keep = 0;                      // archives kept in the destination; 0 keeps all
};

inline constexpr int kTypeCab = jobfile::kTypeCab;
inline constexpr int kTypeTar = jobfile::kTypeTar;
inline constexpr size_t kMaxInlineSources = jobfile::kMaxInlineSources;

// The drive root that a TAR job's sources must share: on POSIX every
// absolute path has the one root "/" (a relative path has none).
std::string drive_root(const std::string& path);

// For TAR: the index of the first source whose drive root differs from the
// first source's, or -1 when all agree (or the type is not TAR).
int tar_drive_mismatch(const Job& job);

// A job without destination or without sources cannot be saved.
bool job_is_empty(const Job& job);

struct SaveLines {
  std::vector<std::string> jobconf;  // "jobconf.ini", without line ends
  std::vector<std::string> resp;     // "resp.tmp", written only when write_resp
  bool write_resp = false;
};

// The lines of both files. folder_exists is asked about each source, as its
// line is made, for the CAB folder suffix.
SaveLines save_lines(const Job& job, const std::function<bool(const std::string&)>& folder_exists);

}  // namespace settings
