#include "imagebuilder/calendar.h"

#include <algorithm>

namespace imagebuilder {

CalendarTime UtcCalendar(std::int64_t utc) {
  std::int64_t days = utc / 86400;
  std::int64_t secs = utc % 86400;
  if (secs < 0) {
    secs += 86400;
    --days;
  }
  // Days since 1970 to year/month/day, after H. Hinnant's civil_from_days.
  const std::int64_t z = days + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const std::int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const std::int64_t m = mp < 10 ? mp + 3 : mp - 9;
  CalendarTime t;
  // Clamped so that the years of the whole 64-bit range fit an int.
  t.year = static_cast<int>(std::clamp<std::int64_t>(yoe + era * 400 + (m <= 2 ? 1 : 0), -1000000, 1000000));
  t.month = static_cast<int>(m);
  t.day = static_cast<int>(d);
  t.hour = static_cast<int>(secs / 3600);
  t.minute = static_cast<int>(secs / 60 % 60);
  t.second = static_cast<int>(secs % 60);
  return t;
}

std::int64_t ParseHexSeconds(const char* text) {
  const char* p = text;
  while (*p == ' ' || *p == '\t') ++p;
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) p += 2;
  std::int64_t v = 0;
  for (; *p != '\0'; ++p) {
    int digit;
    if (*p >= '0' && *p <= '9') {
      digit = *p - '0';
    } else if (*p >= 'a' && *p <= 'f') {
      digit = *p - 'a' + 10;
    } else if (*p >= 'A' && *p <= 'F') {
      digit = *p - 'A' + 10;
    } else {
      break;
    }
    if (v > (INT64_MAX >> 4)) break;
    v = (v << 4) | digit;
  }
  return v;
}

}  // namespace imagebuilder
