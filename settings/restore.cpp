// The restore reader: the job settings file's lines back into a job.
#include "restore.h"

#include "jobfile/job_line.h"

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

// The text from the given 0-based position on; empty when it is shorter.
std::string from(const std::string& s, size_t pos) { return pos < s.size() ? s.substr(pos) : std::string(); }

// Works one line into the job. Returns when the line is done or the rest of
// it has to be passed over.
void restore_line(const std::string& line, RestoredJob& job, const ResponseReader& read_response) {
  using jobfile::Key;
  const jobfile::JobLine keep = jobfile::split_line(line);
  if (keep.key == Key::keep) {
    std::optional<long> n = whole_number(std::string(keep.value));
    if (n && *n >= 0 && *n <= kMostKept) job.keep = static_cast<int>(*n);
    return;
  }
  // The other keys count wherever they stand in the line, and each one read
  // leaves the text after its own length for the next.
  std::string t = line;
  auto take = [&](Key key) {
    const std::string_view text = jobfile::key_text(key);
    if (t.find(text) == std::string::npos) return false;
    t = from(t, text.size());
    return true;
  };

  if (take(Key::mode)) {
    std::optional<long> n = whole_number(t);
    if (!n || *n < 0 || *n > 3) return;
    job.type = static_cast<int>(*n);
  }
  if (take(Key::archive)) {
    // The line holds an opening quote only; an empty value has no room for it.
    std::optional<std::string_view> folder = jobfile::unopened(t);
    if (!folder) return;
    t = std::string(*folder);
    job.destination = t;
  }
  if (take(Key::source)) {
    std::optional<std::string_view> path = jobfile::unquoted(t);
    if (!path) return;
    t = std::string(jobfile::without_all_files(*path));
    if (t.find(jobfile::kResponseRef) != std::string::npos) {
      std::optional<std::vector<std::string>> refs = read_response(t.substr(1));
      if (refs) {
        for (const std::string& ref : *refs) {
          // Sources in the response file keep a trailing suffix.
          if (std::optional<std::string_view> source = jobfile::unquoted(ref)) job.sources.emplace_back(*source);
        }
      }
    } else {
      job.sources.push_back(t);
    }
  }
  if (take(Key::shutdown)) {
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
