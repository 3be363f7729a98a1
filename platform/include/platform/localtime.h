// Local wall-clock time.
#pragma once

namespace platform {

struct LocalTime {
  int year;    // four digits
  int month;   // 1-12
  int day;     // 1-31
  int hour;    // 0-23
  int minute;  // 0-59
  int second;  // 0-59
};

LocalTime local_time();

// Test seam: a fixed clock (nullptr restores the system clock).
using LocalTimeFn = LocalTime (*)();
void set_local_time_source(LocalTimeFn fn);

}  // namespace platform
