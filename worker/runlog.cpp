#include "runlog.h"

#include <cstdio>

#include "platform/stream_file.h"
#include "texts.h"

namespace worker {

bool log_open(RunLog& log, const char* name) {
  // Binary mode: line ends are written as CR LF by log_put on every platform.
  // A run log the worker makes is its owner's alone, whatever the umask: it
  // names every file that could not be read.
  log.file = platform::open_for_appending(name);
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
  // A failed write is ignored: the log is the report, not the job.
  (void)platform::append_through(log.file, out.data(), out.size());
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
