#include "runlog.h"

#include <cstdio>

#include "texts.h"

namespace worker {

bool log_open(RunLog& log, const char* name) {
  // Binary mode: line ends are written as CR LF by log_put on every platform.
  log.file = std::fopen(name, "ab+");
  return log.file != nullptr;
}

void log_close(RunLog& log) {
  if (log.file) std::fclose(log.file);
  log.file = nullptr;
}

void log_put(RunLog& log, std::string_view text) {
  if (!log.file) return;
  std::string out;
  out.reserve(text.size() + 8);
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  out += "\r\n";
  std::fwrite(out.data(), 1, out.size(), log.file);
  // Each line reaches the file at once: the archiver runs inside this
  // process, and if it brings the process down, or the machine goes down
  // under it, the lines written so far still tell what happened.
  std::fflush(log.file);
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
