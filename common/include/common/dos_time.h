// The DOS date and time of FAT directory entries. Date: bits 9-15 years since
// 1980, bits 5-8 month, bits 0-4 day. Time: bits 11-15 hours, bits 5-10
// minutes, bits 0-4 seconds in two-second steps. So the range is
// 1980-01-01 00:00:00 to 2107-12-31 23:59:58.
#pragma once

#include <cstdint>

namespace common {

// A local calendar time, each field as people write it (full year, month
// 1..12, day 1..31).
struct DateTime {
  int year = 1980;
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

inline constexpr int kDosFirstYear = 1980;
inline constexpr int kDosLastYear = 2107;

// Encodes `t`; false, with date and time left as they were, when the year is
// outside 1980..2107 or a field is out of its range. A leap second (60 or 61)
// is stored as 59; odd seconds round down to the two-second step.
constexpr bool EncodeDosDateTime(const DateTime& t, std::uint16_t& date, std::uint16_t& time) {
  if (t.year < kDosFirstYear || t.year > kDosLastYear || t.month < 1 || t.month > 12 || t.day < 1 ||
      t.day > 31 || t.hour < 0 || t.hour > 23 || t.minute < 0 || t.minute > 59 || t.second < 0 ||
      t.second > 61) {
    return false;
  }
  date = static_cast<std::uint16_t>(((t.year - kDosFirstYear) << 9) | (t.month << 5) | t.day);
  const int seconds = t.second > 59 ? 59 : t.second;
  time = static_cast<std::uint16_t>((t.hour << 11) | (t.minute << 5) | (seconds / 2));
  return true;
}

// For a stamp that must be written whatever the clock says: a time before
// 1980 becomes the first one that can be stored, a time after 2107 the last,
// and a field out of its range is held to its range.
constexpr void EncodeDosDateTimeClamped(const DateTime& t, std::uint16_t& date, std::uint16_t& time) {
  auto hold = [](int v, int low, int high) { return v < low ? low : v > high ? high : v; };
  DateTime held{hold(t.year, kDosFirstYear, kDosLastYear), hold(t.month, 1, 12), hold(t.day, 1, 31),
                hold(t.hour, 0, 23), hold(t.minute, 0, 59), hold(t.second, 0, 59)};
  if (t.year < kDosFirstYear) held = DateTime{};
  if (t.year > kDosLastYear) held = DateTime{kDosLastYear, 12, 31, 23, 59, 58};
  EncodeDosDateTime(held, date, time);
}

// The fields of a stored date and time, as they stand (a damaged entry may
// hold month 0 or 13..15, day 0, hour 24..31, minute 60..63, second 60..62).
constexpr DateTime DecodeDosDateTime(std::uint16_t date, std::uint16_t time) {
  return DateTime{(date >> 9) + kDosFirstYear, (date >> 5) & 0x0F, date & 0x1F,
                  time >> 11, (time >> 5) & 0x3F, (time & 0x1F) * 2};
}

}  // namespace common
