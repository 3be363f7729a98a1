#include "runlog.h"

#include <cerrno>
#include <cstdio>

#if defined(_WIN32)
#include <io.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "texts.h"

namespace worker {

bool log_open(RunLog& log, const char* name) {
  // Binary mode: line ends are written as CR LF by log_put on every platform.
#if defined(_WIN32)
  log.file = std::fopen(name, "ab+");
#else
  // A run log the worker makes is its owner's alone, whatever the umask:
  // it names every file that could not be read. One that exists keeps the
  // mode its owner gave it.
  int fd = ::open(name, O_RDWR | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd >= 0) ::fchmod(fd, 0600);
  else if (errno == EEXIST) fd = ::open(name, O_RDWR | O_APPEND | O_CLOEXEC);
  log.file = fd >= 0 ? ::fdopen(fd, "ab+") : nullptr;
  if (!log.file && fd >= 0) ::close(fd);
#endif
  return log.file != nullptr;
}

void log_close(RunLog& log) {
  if (log.file) std::fclose(log.file);
  log.file = nullptr;
}

void log_put(RunLog& log, std::string_view text) {
  if (!log.file) return;
  if (log.record) {
    log.record->append(text);
    log.record->push_back('\n');
  }
  std::string out;
  out.reserve(text.size() + 8);
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  out += "\r\n";
  // Each line -- the archiver's whole text block too -- reaches the file
  // in one write of its own, past the stream's buffer: two workers that
  // append to one run log at once never tear each other's lines, and if
  // the archiver brings the process down, or the machine goes down under
  // it, the lines written so far still tell what happened.
  std::fflush(log.file);
  const int fd = fileno(log.file);
  const char* p = out.data();
  size_t left = out.size();
  while (left > 0) {
#if defined(_WIN32)
    int n = _write(fd, p, static_cast<unsigned>(left));
#else
    ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
#endif
    if (n <= 0) return;  // the log is the report, not the job
    p += n;
    left -= static_cast<size_t>(n);
  }
}

std::string stamp_text(std::string_view tmpl, const platform::LocalTime& t) {
  std::string s(tmpl);
  char date[8];
  char time[12];
  std::snprintf(date, sizeof date, "%02d/%02d", t.month % 100, t.day % 100);
  std::snprintf(time, sizeof time, "%02d:%02d:%02d", t.hour % 100, t.minute % 100, t.second % 100);
  // "[MM/dd HH:mm:ss]": the date goes into the five characters after "[",
  // the time into the eight after the space.
  if (s.size() >= 15) {
    s.replace(1, 5, date, 5);
    s.replace(7, 8, time, 8);
  }
  return s;
}

void log_stamp(RunLog& log, std::string_view tmpl, std::string_view suffix) {
  // Templates are fixed texts; the stamp's place is plain ASCII, so it
  // keeps its byte positions in any code page.
  std::string line = stamp_text(fixed_text(tmpl), platform::local_time());
  line += suffix;
  log_put(log, line);
}

std::string result_digits(int code) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "%04x", static_cast<unsigned>(code));
  return std::string(hex, 4);
}

}  // namespace worker
