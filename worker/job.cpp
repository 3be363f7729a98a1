#include "job.h"

#include <algorithm>
#include <cerrno>

#include "archiver.h"
#include "jobfile/job_line.h"
#include "platform/fileinfo.h"
#include "platform/localtime.h"
#include "platform/stream_file.h"
#include "result_codes.h"
#include "texts.h"
#include "text/lines.h"
#include "text/utf8.h"
#include "visible_text.h"

namespace worker {
namespace {

// The archiver switches of each job type (its extension is in the shared
// vocabulary).
struct JobTypeTexts {
  const char* mode_switch;
  const char* extra_switch;  // appended after the archive path
};

constexpr JobTypeTexts kJobTypes[jobfile::kJobTypeCount] = {
    {"a ", "-x1r2a2 -n1 "},         // 0 LZH
    {"-rq ", ""},                   // 1 ZIP
    {"-a -ri ", ""},                // 2 CAB
    {"-cvf ", "--display-dialog=0 "},  // 3 TAR
    {"a ", ""},                     // 4 BGA
};

constexpr int kJobTypeCab = jobfile::kTypeCab;

bool valid_type(int t) { return jobfile::valid_job_type(t); }

// A value from the job file as the run log shows it: a NUL byte cannot be
// part of a path and shows as "?"; every other control character (a line
// feed in a path would start a line of its own) is written visibly.
std::string printable(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c == '\0') c = '?';
  return zubeto::visible_text(out);
}

void log_missing(RunLog& log, std::string_view path, uint32_t code) {
  log_put(log, fixed_text(kNotFound) + printable(path));
  char hex[16];
  std::snprintf(hex, sizeof hex, "%04x", static_cast<unsigned>(code));
  log_put(log, fixed_text(kErrorDetail) + hex);
}

// The first character of a value as read: one byte, or a whole UTF-8
// sequence, so the log line stays readable text.
std::string first_character(std::string_view v) {
  if (v.empty()) return {};
  return printable(v.substr(0, std::max<size_t>(1, zubeto::text::utf8_sequence(v, 0))));
}

std::string two_digits(int v) {
  char b[4];
  std::snprintf(b, sizeof b, "%02d", ((v % 100) + 100) % 100);
  return b;
}

}  // namespace

const char* job_extension(int job_type) { return jobfile::archive_extension(job_type); }

int keep_value(std::string_view value) {
  constexpr int kMostKept = 1000000;
  if (value.empty()) return 0;
  long long n = 0;
  for (char c : value) {
    if (c < '0' || c > '9') return 0;
    n = n * 10 + (c - '0');
    if (n > kMostKept) n = kMostKept;
  }
  return static_cast<int>(n);
}

int path_check(RunLog& log, std::string_view value, int job_type) {
  std::string path;
  path.reserve(value.size());
  for (size_t i = 0; i < value.size(); ++i) {
    char c = value[i];
    if (c == '\n') break;
    if (c == jobfile::kQuote) continue;
    if (job_type == kJobTypeCab && c == '*') {
      if (value.substr(i, 3) == "*.*") i += 2;
      continue;
    }
    path += c;
  }
  // A NUL byte would cut the archiver's command text there, and every
  // source after it would vanish without a word: no value the worker hands
  // on may hold one, a response file's "@" name included.
  if (value.find('\0') != std::string_view::npos) {
    log_missing(log, path, EINVAL);
    return EINVAL;
  }
  if (!path.empty() && path[0] == '@') return 0;
  uint32_t error = 0;
  if (platform::file_attributes(path, &error) != platform::kInvalidAttributes) return 0;
  if (error == 0) error = ENOENT;
  log_missing(log, path, error);
  return static_cast<int>(error);
}

int job_line_parse(RunLog& log, std::string_view line, int& kind, std::string& value, int job_type) {
  kind = kKindIgnored;
  value.clear();
  const jobfile::JobLine parts = jobfile::split_line(line);
  const std::string_view v = parts.value;
  switch (parts.key) {
    case jobfile::Key::mode:
      value = v;
      kind = kKindMode;
      break;
    case jobfile::Key::archive: {
      if (path_check(log, v, job_type) != 0) return kResultPathMissing;
      platform::LocalTime t = platform::local_time();
      // The century is always "20".
      value = std::string(v) + "20" + two_digits(t.year) + two_digits(t.month) + two_digits(t.day) +
              two_digits(t.hour) + two_digits(t.minute) + two_digits(t.second) + job_extension(job_type) +
              jobfile::kQuote;
      kind = kKindArchive;
      break;
    }
    case jobfile::Key::base_dir:
      value = v;
      // The base folder is not tested for existence, but a NUL byte in it would
      // silently cut off every source after it in the archiver's command text.
      if (value.find('\0') != std::string::npos) {
        log_missing(log, value, EINVAL);
        return kResultPathMissing;
      }
      kind = kKindBaseDir;
      break;
    case jobfile::Key::source:
      if (path_check(log, v, job_type) != 0) return kResultPathMissing;
      value = v;
      kind = kKindSource;
      break;
    case jobfile::Key::keep:
      // A line older workers read as no line at all; it adds nothing to the
      // argument text.
      value = v;
      kind = kKindKeep;
      break;
    case jobfile::Key::shutdown:
      if (!v.empty() && v[0] == '1') kind = kKindShutdown;
      break;
    case jobfile::Key::none:
      break;
  }
  return 0;
}

std::string read_lines_whole(std::FILE* in) {
  std::string text;
  char buf[4096];
  size_t got;
  while ((got = std::fread(buf, 1, sizeof buf, in)) > 0) text.append(buf, got);
  // A line a read error cut off is no line: the job would be cut short.
  if (std::ferror(in)) {
    const size_t lf = text.rfind('\n');
    text.resize(lf == std::string::npos ? 0 : lf + 1);
  }
  return text;
}

int job_assemble(RunLog& log, std::FILE* in, int& shut_flg, int& job_type, std::string& args, JobFacts* facts) {
  const std::string text = read_lines_whole(in);
  size_t pos = 0;
  std::string_view line;
  std::string value;
  while (zubeto::text::next_line(text, pos, line)) {
    int kind = kKindIgnored;
    int rc = job_line_parse(log, line, kind, value, job_type);
    if (rc != 0) return rc;
    switch (kind) {
      case kKindShutdown:
        shut_flg = 1;  // no later line clears it
        break;
      case kKindMode: {
        int t = value.empty() ? -1 : static_cast<unsigned char>(value[0]) - '0';
        if (!valid_type(t)) {
          log_put(log, fixed_text(kModeError) + first_character(value));
          return kResultModeError;
        }
        job_type = t;
        args += kJobTypes[t].mode_switch;
        break;
      }
      case kKindArchive:
        // The archive's name depends on the format: without a "[mode]=" line
        // before it there is no archive to name, so the job stops here.
        if (!valid_type(job_type)) {
          log_put(log, fixed_text(kModeError));
          return kResultModeError;
        }
        args += value;
        args += ' ';
        args += kJobTypes[job_type].extra_switch;
        // The archiver makes the first archive path it is given.
        if (facts && facts->archive.empty()) facts->archive = jobfile::without_quotes(value);
        break;
      case kKindKeep:
        if (facts) facts->keep = keep_value(value);
        break;
      case kKindBaseDir:
      case kKindSource:
        args += value;
        args += ' ';
        break;
      default:
        break;
    }
  }
  return 0;
}

RunOutcome job_run(RunLog& log, int& shut_flg, JobFacts* facts) {
  std::string args;
  // A folder of that name opens on some systems but is no job file.
  std::FILE* in = platform::open_for_reading(kJobFile);
  if (!in) {
    log_put(log, fixed_text(kNotFound) + kJobFile);
    return worker_outcome(kResultNoJobFile);
  }
  int job_type = kJobTypeUnset;
  int rc = job_assemble(log, in, shut_flg, job_type, args, facts);
  // A read error is not the end of the job file: the job would be cut short.
  if (rc == 0 && std::ferror(in)) {
    log_put(log, fixed_text(kNotFound) + kJobFile);
    rc = kResultNoJobFile;
  }
  std::fclose(in);
  if (rc != 0) return worker_outcome(rc);
  return arc_dispatch(log, job_type, args);
}

}  // namespace worker
