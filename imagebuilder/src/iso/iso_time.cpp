#include "imagebuilder/iso/iso_time.h"

#include <algorithm>
#include <cstring>

namespace imagebuilder::iso {
namespace {

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

void StoreRecordDate(std::uint8_t* p, const CalendarTime& time) {
  p[0] = ClampByte(time.year - 1900, 0, 255);
  p[1] = ClampByte(time.month, 1, 12);
  p[2] = ClampByte(time.day, 1, 31);
  p[3] = ClampByte(time.hour, 0, 23);
  p[4] = ClampByte(time.minute, 0, 59);
  p[5] = ClampByte(time.second, 0, 59);
  p[6] = 0;
}

void StoreDescriptorDate(std::uint8_t* p, const CalendarTime& time) {
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
