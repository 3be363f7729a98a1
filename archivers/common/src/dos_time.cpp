#include "arc/dos_time.h"

#include <ctime>

namespace zubeto::arc {

DosTime dos_time(int64_t mtime) {
  DosTime d;
  std::time_t t = static_cast<std::time_t>(mtime);
  std::tm tm{};
#if defined(_WIN32)
  bool ok = localtime_s(&tm, &t) == 0;
#else
  bool ok = localtime_r(&t, &tm) != nullptr;
#endif
  if (!ok || tm.tm_year < 80) return d;  // 1980-01-01 00:00:00
  if (tm.tm_year > 207) {
    d.date = static_cast<uint16_t>((127 << 9) | (12 << 5) | 31);
    d.time = static_cast<uint16_t>((23 << 11) | (59 << 5) | 29);
    return d;
  }
  d.date = static_cast<uint16_t>(((tm.tm_year - 80) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
  d.time = static_cast<uint16_t>((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
  return d;
}

}  // namespace zubeto::arc
