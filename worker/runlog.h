// The run log "logdata.txt": appended by every run, CR LF line ends.
#pragma once
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/localtime.h"

namespace worker {

struct RunLog {
  std::FILE* file = nullptr;
  // When set, receives a copy of every line written in this run, each
  // ended by a line feed (the desktop notice names the cause from it).
  std::string* record = nullptr;
};

// Opens the run log for appending (created when absent). False if it cannot be.
bool log_open(RunLog& log, const char* name);
void log_close(RunLog& log);

// Writes the text and a line end. Every line feed, also one inside the text,
// is stored as CR LF, so a CR LF pair in the text becomes CR CR LF.
// Write errors are ignored: the log is the report, not the job.
void log_put(RunLog& log, std::string_view text);

// The template with its "[xx/xx xx:xx:xx]" place filled from the given time:
// month/day and a 24-hour hh:mm:ss, two digits each.
std::string stamp_text(std::string_view tmpl, const platform::LocalTime& t);

// Stamps the template with the current local time, appends the suffix,
// and writes the line.
void log_stamp(RunLog& log, std::string_view tmpl, std::string_view suffix = {});

// The result code as the end line shows it: "%04x", first four characters.
std::string result_digits(int code);

}  // namespace worker
