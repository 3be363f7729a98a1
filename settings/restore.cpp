// The restore reader: the job settings file's lines back into a job.
#include "restore.h"

#include "jobfile/vocabulary.h"

namespace zubeto {

std::optional<long> whole_number(const std::string& text) {
  size_t i = 0, end = text.size();
  while (i < end && (text[i] == ' ' || text[i] == '\t')) ++i;
  while (end > i && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
  bool negative = false;
  if (i < end && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == end || end - i > 9) return std::nullopt;
  long n = 0;
  for (; i < end; ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    n = n * 10 + (text[i] - '0');
  }
  return negative ? -n : n;
}

namespace {

bool ends_with(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// The text from the given 0-based position on; empty when it is shorter.
std::string from(const std::string& s, size_t pos) { return pos < s.size() ? s.substr(pos) : std::string(); }

// Works one line into the job. Returns when the line is done or the rest of
// it has to be passed over.
void restore_line(const std::string& line, RestoredJob& job, const ResponseReader& read_response) {
  const std::string keep_key = jobfile::kKeepKey;
  if (line.compare(0, keep_key.size(), keep_key) == 0) {
    std::optional<long> n = whole_number(line.substr(keep_key.size()));
    if (n && *n >= 0 && *n <= kMostKept) job.keep = static_cast<int>(*n);
    return;
  }
  std::string t = line;
  const std::string mode_key = jobfile::kKeyMode, archive_key = jobfile::kKeyArchive,
                    source_key = jobfile::kKeySource, shut_key = jobfile::kKeyShutdown;

  if (t.find(mode_key) != std::string::npos) {
    t = from(t, mode_key.size());
    std::optional<long> n = whole_number(t);
    if (!n || *n < 0 || *n > 3) return;
    job.type = static_cast<int>(*n);
  }
  if (t.find(archive_key) != std::string::npos) {
    t = from(t, archive_key.size());
    // The line holds an opening quote only; an empty value has no room for it.
    if (t.empty()) return;
    t = t.substr(1);
    job.destination = t;
  }
  if (t.find(source_key) != std::string::npos) {
    t = from(t, source_key.size());
    if (t.size() < 2) return;
    t = t.substr(1, t.size() - 2);
    const std::string suffix = jobfile::kAllFilesSuffix;
    // A short value such as a drive root keeps its separator.
    if (t.size() >= suffix.size() && ends_with(t, suffix)) t.resize(t.size() - suffix.size());
    if (t.find(jobfile::kResponseRef) != std::string::npos) {
      std::optional<std::vector<std::string>> refs = read_response(t.substr(1));
      if (refs) {
        for (const std::string& ref : *refs) {
          // Sources in the response file keep a trailing suffix.
          if (ref.size() < 2) continue;
          job.sources.push_back(ref.substr(1, ref.size() - 2));
        }
      }
    } else {
      job.sources.push_back(t);
    }
  }
  if (t.find(shut_key) != std::string::npos) {
    t = from(t, shut_key.size());
    std::optional<long> n = whole_number(t);
    if (!n) return;
    job.shutdown = *n == 1 ? 1 : 0;
  }
}

}  // namespace

RestoredJob restore_job(const std::vector<std::string>& lines, const ResponseReader& read_response) {
  RestoredJob job;
  for (const std::string& line : lines) restore_line(line, job, read_response);
  return job;
}

}  // namespace zubeto
