// The DOS date and time: the range FAT can store, what happens outside it,
// and decoding a stored stamp.
#include <gtest/gtest.h>

#include <tuple>

#include "common/dos_time.h"

namespace {

using common::DateTime;

TEST(DosTime, EncodesWithinItsRangeAndRefusesOutside) {
  const struct {
    DateTime t;
    bool ok;
    std::uint16_t date, time;
  } kCases[] = {
      {{1980, 1, 1, 0, 0, 0}, true, 0x0021, 0x0000},
      {{2107, 12, 31, 23, 59, 58}, true, 0xFF9F, 0xBF7D},
      {{2107, 12, 31, 23, 59, 59}, true, 0xFF9F, 0xBF7D},  // two-second steps
      {{2024, 2, 29, 12, 34, 60}, true, (44 << 9) | (2 << 5) | 29, (12 << 11) | (34 << 5) | 29},  // leap second
      {{1979, 12, 31, 23, 59, 59}, false, 0, 0},
      {{2108, 1, 1, 0, 0, 0}, false, 0, 0},
      {{2000, 13, 1, 0, 0, 0}, false, 0, 0},
      {{2000, 1, 0, 0, 0, 0}, false, 0, 0},
      {{2000, 1, 1, 24, 0, 0}, false, 0, 0},
      {{2000, 1, 1, 0, 60, 0}, false, 0, 0},
  };
  for (const auto& c : kCases) {
    std::uint16_t date = 0x1234, time = 0x5678;
    EXPECT_EQ(common::EncodeDosDateTime(c.t, date, time), c.ok) << c.t.year;
    EXPECT_EQ(date, c.ok ? c.date : 0x1234) << c.t.year;  // untouched when refused
    EXPECT_EQ(time, c.ok ? c.time : 0x5678) << c.t.year;
  }
}

TEST(DosTime, AStampThatMustBeWrittenIsHeldToTheRange) {
  const struct {
    DateTime t;
    std::uint16_t date, time;
  } kCases[] = {
      {{1970, 6, 15, 12, 0, 0}, 0x0021, 0x0000},
      {{2200, 1, 1, 0, 0, 0}, 0xFF9F, 0xBF7D},
      {{2024, 2, 29, 12, 34, 61}, (44 << 9) | (2 << 5) | 29, (12 << 11) | (34 << 5) | 29},
      {{2024, 5, 6, 7, 8, 10}, (44 << 9) | (5 << 5) | 6, (7 << 11) | (8 << 5) | 5},
  };
  for (const auto& c : kCases) {
    std::uint16_t date = 0, time = 0;
    common::EncodeDosDateTimeClamped(c.t, date, time);
    EXPECT_EQ(date, c.date) << c.t.year;
    EXPECT_EQ(time, c.time) << c.t.year;
  }
}

TEST(DosTime, DecodesWhatItEncodes) {
  for (const DateTime t : {DateTime{1980, 1, 1, 0, 0, 0}, DateTime{2024, 2, 29, 23, 59, 58},
                           DateTime{2107, 12, 31, 13, 7, 30}}) {
    std::uint16_t date = 0, time = 0;
    ASSERT_TRUE(common::EncodeDosDateTime(t, date, time));
    const DateTime back = common::DecodeDosDateTime(date, time);
    EXPECT_EQ(std::tie(back.year, back.month, back.day, back.hour, back.minute, back.second),
              std::tie(t.year, t.month, t.day, t.hour, t.minute, t.second));
  }
  // A damaged stamp decodes field by field, as stored.
  const DateTime raw = common::DecodeDosDateTime(0xFFFF, 0xFFFF);
  EXPECT_EQ(std::tie(raw.year, raw.month, raw.day, raw.hour, raw.minute, raw.second),
            std::make_tuple(2107, 15, 31, 31, 63, 62));
}

}  // namespace
