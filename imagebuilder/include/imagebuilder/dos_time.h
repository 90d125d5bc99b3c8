// Calendar arithmetic and the FAT (DOS) date and time encoding.
#pragma once

#include <cstdint>

#include "imagebuilder/host.h"

namespace imagebuilder {

// UTC calendar time of seconds since 1970 (proleptic Gregorian).
CalendarTime UtcCalendar(std::int64_t utc);

// FAT date (years since 1980, month, day) and time (two-second steps);
// false outside the years 1980..2107.
bool ToDosDateTime(const CalendarTime& t, std::uint16_t& date, std::uint16_t& time);

// Parses the leading hexadecimal digits of BUILDSETTIME.
std::int64_t ParseHexSeconds(const char* text);

}  // namespace imagebuilder
