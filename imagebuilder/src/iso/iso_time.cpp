#include "imagebuilder/iso/iso_time.h"

#include <algorithm>
#include <cstring>

namespace imagebuilder::iso {
namespace {

// Days since 1970-01-01 to the proleptic Gregorian calendar, valid for the
// whole range of 64-bit seconds divided down to days.
void CivilFromDays(std::int64_t days, IsoDateTime& out) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const std::int64_t dayOfEra = days - era * 146097;
  const std::int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::int64_t mp = (5 * dayOfYear + 2) / 153;
  const std::int64_t day = dayOfYear - (153 * mp + 2) / 5 + 1;
  const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
  out.year = static_cast<int>(std::clamp<std::int64_t>(year, -1000000, 1000000));
  out.month = static_cast<int>(month);
  out.day = static_cast<int>(day);
}

void StoreDigits(std::uint8_t* p, int value, int digits) {
  for (int i = digits - 1; i >= 0; --i) {
    p[i] = static_cast<std::uint8_t>('0' + value % 10);
    value /= 10;
  }
}

std::uint8_t ClampByte(int value, int low, int high) {
  return static_cast<std::uint8_t>(std::clamp(value, low, high));
}

}  // namespace

IsoDateTime UtcCalendar(std::int64_t seconds) {
  constexpr std::int64_t kDay = 86400;
  std::int64_t days = seconds / kDay;
  std::int64_t rest = seconds % kDay;
  if (rest < 0) {
    rest += kDay;
    --days;
  }
  IsoDateTime out;
  CivilFromDays(days, out);
  out.hour = static_cast<int>(rest / 3600);
  out.minute = static_cast<int>(rest / 60 % 60);
  out.second = static_cast<int>(rest % 60);
  return out;
}

void StoreRecordDate(std::uint8_t* p, const IsoDateTime& time) {
  p[0] = ClampByte(time.year - 1900, 0, 255);
  p[1] = ClampByte(time.month, 1, 12);
  p[2] = ClampByte(time.day, 1, 31);
  p[3] = ClampByte(time.hour, 0, 23);
  p[4] = ClampByte(time.minute, 0, 59);
  p[5] = ClampByte(time.second, 0, 59);
  p[6] = 0;
}

void StoreDescriptorDate(std::uint8_t* p, const IsoDateTime& time) {
  StoreDigits(p, std::clamp(time.year, 0, 9999), 4);
  StoreDigits(p + 4, std::clamp(time.month, 1, 12), 2);
  StoreDigits(p + 6, std::clamp(time.day, 1, 31), 2);
  StoreDigits(p + 8, std::clamp(time.hour, 0, 23), 2);
  StoreDigits(p + 10, std::clamp(time.minute, 0, 59), 2);
  StoreDigits(p + 12, std::clamp(time.second, 0, 59), 2);
  StoreDigits(p + 14, 0, 2);
  p[16] = 0;
}

void StoreUnspecifiedDate(std::uint8_t* p) {
  std::memset(p, '0', 16);
  p[16] = 0;
}

}  // namespace imagebuilder::iso
