#include "platform/localtime.h"

#include <ctime>

namespace platform {
namespace {
LocalTimeFn g_source = nullptr;
}

LocalTime local_time() {
  if (g_source) return g_source();
  std::time_t now = std::time(nullptr);
  std::tm tm {};
  ::localtime_r(&now, &tm);
  return LocalTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

void set_local_time_source(LocalTimeFn fn) { g_source = fn; }

}  // namespace platform
