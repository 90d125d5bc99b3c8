// Time stamps as ISO 9660 records them: the 7-byte binary form of directory
// records and the 17-byte digit form of volume descriptors.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imagebuilder/calendar.h"

namespace imagebuilder::iso {

// Directory record date: years since 1900, month, day, hour, minute, second,
// then offset from GMT 0. Years outside what one byte holds are clamped to
// 1900 and 2155 so a strange clock never wraps into another century.
void StoreRecordDate(std::uint8_t* p, const CalendarTime& time);
inline constexpr std::size_t kRecordDateSize = 7;

// Volume descriptor date: "YYYYMMDDhhmmss00" and the GMT offset byte 0.
// Years are clamped to 0..9999 so the digits always fill 16 bytes exactly.
void StoreDescriptorDate(std::uint8_t* p, const CalendarTime& time);
// The "not specified" date: sixteen '0' digits and offset 0.
void StoreUnspecifiedDate(std::uint8_t* p);
inline constexpr std::size_t kDescriptorDateSize = 17;

}  // namespace imagebuilder::iso
