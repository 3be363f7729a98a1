#include "platform/localtime.h"

#include <windows.h>

namespace platform {
namespace {
LocalTimeFn g_source = nullptr;
}

LocalTime local_time() {
  if (g_source) return g_source();
  SYSTEMTIME t {};
  ::GetLocalTime(&t);
  return LocalTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

void set_local_time_source(LocalTimeFn fn) { g_source = fn; }

}  // namespace platform
