// Calendar arithmetic and the build time's environment value. The DOS date
// and time of the entries is common/dos_time.h.
#pragma once

#include <cstdint>

#include "imagebuilder/host.h"

namespace imagebuilder {

// UTC calendar time of seconds since 1970 (proleptic Gregorian).
CalendarTime UtcCalendar(std::int64_t utc);

// Parses the leading hexadecimal digits of BUILDSETTIME.
std::int64_t ParseHexSeconds(const char* text);

}  // namespace imagebuilder
