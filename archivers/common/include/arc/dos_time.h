// MS-DOS date and time, as ZIP, LZH (level-0/1 fields) and CAB headers
// store a file's modification time: local time, two-second steps, years
// 1980 to 2107. A time before 1980 (or one the system cannot convert) is
// stored as 1980-01-01 00:00:00, a time after 2107 as 2107-12-31 23:59:58.
#pragma once

#include <cstdint>

namespace zubeto::arc {

struct DosTime {
  uint16_t date = (1 << 5) | 1;  // bits 15-9 year-1980, 8-5 month, 4-0 day
  uint16_t time = 0;             // bits 15-11 hour, 10-5 minute, 4-0 second/2
  // Both as one 32-bit field, date in the high half (the LZH and ZIP
  // "date and time" word).
  uint32_t packed() const { return uint32_t(date) << 16 | time; }
};

// `mtime`: seconds since 1970 (UTC), converted to the machine's local time.
DosTime dos_time(int64_t mtime);

}  // namespace zubeto::arc
