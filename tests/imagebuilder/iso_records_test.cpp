// Byte-level checks of the ISO structures against the positions the ISO 9660
// and El Torito tables give, read back with plain offsets rather than the
// writer's own field names.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>

#include "imagebuilder/iso/iso_boot_catalog.h"
#include "imagebuilder/iso/iso_descriptors.h"
#include "imagebuilder/iso/iso_directory.h"
#include "imagebuilder/iso/iso_layout.h"
#include "imagebuilder/iso/iso_time.h"

namespace imagebuilder::iso {
namespace {

using SectorBytes = std::array<std::uint8_t, kSectorSize>;

std::string Text(const SectorBytes& s, std::size_t offset, std::size_t length) {
  return std::string(reinterpret_cast<const char*>(s.data() + offset), length);
}
std::uint32_t Le32(const std::uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | p[3] << 24; }
std::uint32_t Be32(const std::uint8_t* p) { return p[3] | p[2] << 8 | p[1] << 16 | p[0] << 24; }
std::uint16_t Le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint16_t Be16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[1] | p[0] << 8); }

// A both-endian field must hold the same value in both halves.
std::uint32_t Both32(const std::uint8_t* p) {
  EXPECT_EQ(Le32(p), Be32(p + 4));
  return Le32(p);
}
std::uint16_t Both16(const std::uint8_t* p) {
  EXPECT_EQ(Le16(p), Be16(p + 2));
  return Le16(p);
}

SectorBytes Garbage() {
  SectorBytes s;
  s.fill(0xA5);
  return s;
}

const CalendarTime kUtc{2024, 2, 29, 23, 59, 58};
const CalendarTime kLocal{2024, 3, 1, 0, 59, 58};

TEST(IsoDescriptors, PrimaryVolumeDescriptorFieldsSitAtTheirPositions) {
  SectorBytes s = Garbage();
  SerializePrimaryVolumeDescriptor(s, {"DIAGS_CD", "Orvo Diagnostics", 746, kUtc, kLocal});
  EXPECT_EQ(s[0], 1);
  EXPECT_EQ(Text(s, 1, 5), "CD001");
  EXPECT_EQ(s[6], 1);
  EXPECT_EQ(s[7], 0);
  EXPECT_EQ(Text(s, 8, 32), "Win32" + std::string(27, ' '));
  EXPECT_EQ(Text(s, 40, 32), "DIAGS_CD" + std::string(24, ' '));
  EXPECT_EQ(Both32(&s[80]), 746u);
  EXPECT_EQ(Both16(&s[120]), 1);
  EXPECT_EQ(Both16(&s[124]), 1);
  EXPECT_EQ(Both16(&s[128]), 2048);
  EXPECT_EQ(Both32(&s[132]), 10u);
  EXPECT_EQ(Le32(&s[140]), 20u);
  EXPECT_EQ(Le32(&s[144]), 0u);
  EXPECT_EQ(Be32(&s[148]), 22u);
  EXPECT_EQ(Be32(&s[152]), 0u);
  // Root directory record: 34 bytes, extent 25, one sector, directory flag.
  EXPECT_EQ(s[156], 34);
  EXPECT_EQ(Both32(&s[158]), 25u);
  EXPECT_EQ(Both32(&s[166]), 2048u);
  EXPECT_EQ(s[174], 124);  // 2024 - 1900
  EXPECT_EQ(s[175], 2);
  EXPECT_EQ(s[176], 29);
  EXPECT_EQ(s[181], 2);
  EXPECT_EQ(s[188], 1);
  EXPECT_EQ(s[189], 0);
  EXPECT_EQ(Text(s, 190, 128), std::string(128, ' '));
  EXPECT_EQ(Text(s, 318, 128), "Orvo Diagnostics" + std::string(112, ' '));
  EXPECT_EQ(Text(s, 446, 128 * 2 + 37 * 3), std::string(128 * 2 + 37 * 3, ' '));
  EXPECT_EQ(Text(s, 813, 16), "2024030100595800");
  EXPECT_EQ(s[829], 0);
  EXPECT_EQ(Text(s, 830, 16), "2024030100595800");
  EXPECT_EQ(Text(s, 847, 16), std::string(16, '0'));
  EXPECT_EQ(s[863], 0);
  EXPECT_EQ(Text(s, 864, 16), std::string(16, '0'));
  EXPECT_EQ(s[881], 1);
  for (std::size_t i = 882; i < kSectorSize; ++i) ASSERT_EQ(s[i], 0) << "byte " << i;
}

TEST(IsoDescriptors, OverlongTextIsCutAtTheFieldAndAbsentTextIsBlank) {
  SectorBytes s = Garbage();
  const std::string longId(40, 'V');
  const std::string longPublisher(200, 'P');
  SerializePrimaryVolumeDescriptor(s, {longId, longPublisher, 1, kUtc, kLocal});
  EXPECT_EQ(Text(s, 40, 32), std::string(32, 'V'));
  EXPECT_EQ(s[72], 0);
  EXPECT_EQ(Text(s, 318, 128), std::string(128, 'P'));
  EXPECT_EQ(s[446], ' ');

  SerializePrimaryVolumeDescriptor(s, {"", "", 1, kUtc, kLocal});
  EXPECT_EQ(Text(s, 40, 32), std::string(32, ' '));
  EXPECT_EQ(Text(s, 318, 128), std::string(128, ' '));
}

TEST(IsoDescriptors, BootRecordAndTerminator) {
  SectorBytes s = Garbage();
  SerializeBootRecordDescriptor(s);
  EXPECT_EQ(s[0], 0);
  EXPECT_EQ(Text(s, 1, 6), std::string("CD001\x01", 6));
  EXPECT_EQ(Text(s, 7, 32), std::string("EL TORITO SPECIFICATION") + std::string(9, '\0'));
  EXPECT_EQ(Le32(&s[71]), 24u);
  for (std::size_t i = 39; i < 71; ++i) ASSERT_EQ(s[i], 0) << "byte " << i;
  for (std::size_t i = 75; i < kSectorSize; ++i) ASSERT_EQ(s[i], 0) << "byte " << i;

  s = Garbage();
  SerializeTerminator(s);
  EXPECT_EQ(s[0], 255);
  EXPECT_EQ(Text(s, 1, 6), std::string("CD001\x01", 6));
  for (std::size_t i = 7; i < kSectorSize; ++i) ASSERT_EQ(s[i], 0) << "byte " << i;
}

TEST(IsoDirectory, PathTablesInBothByteOrders) {
  std::array<std::uint8_t, 12> l;
  std::array<std::uint8_t, 12> m;
  l.fill(0xEE);
  m.fill(0xEE);
  SerializePathTable(l, 25, false);
  SerializePathTable(m, 25, true);
  const std::array<std::uint8_t, 12> wantL{1, 0, 25, 0, 0, 0, 1, 0, 0, 0, 0xEE, 0xEE};
  const std::array<std::uint8_t, 12> wantM{1, 0, 0, 0, 0, 25, 0, 1, 0, 0, 0xEE, 0xEE};
  EXPECT_EQ(l, wantL);
  EXPECT_EQ(m, wantM);
}

TEST(IsoDirectory, RootDirectoryWithReadmeRecord) {
  SectorBytes s = Garbage();
  SerializeRootDirectory(s, kUtc, ReadmeEntry{"notes.txt;1", 3000, {2023, 7, 4, 12, 30, 15}});
  // "." then "..", both pointing at the root itself.
  for (std::size_t at : {std::size_t{0}, std::size_t{34}}) {
    EXPECT_EQ(s[at], 34);
    EXPECT_EQ(Both32(&s[at + 2]), 25u);
    EXPECT_EQ(Both32(&s[at + 10]), 2048u);
    EXPECT_EQ(s[at + 25], 2);
    EXPECT_EQ(Both16(&s[at + 28]), 1);
    EXPECT_EQ(s[at + 32], 1);
  }
  EXPECT_EQ(s[33], 0);
  EXPECT_EQ(s[34 + 33], 1);
  const std::size_t r = 68;
  EXPECT_EQ(s[r], 44);  // 33 + 11, odd identifier: no pad byte
  EXPECT_EQ(Both32(&s[r + 2]), 26u);
  EXPECT_EQ(Both32(&s[r + 10]), 3000u);
  const std::array<std::uint8_t, 7> date{123, 7, 4, 12, 30, 15, 0};
  EXPECT_EQ(0, std::memcmp(&s[r + 18], date.data(), 7));
  EXPECT_EQ(s[r + 25], 0);
  EXPECT_EQ(s[r + 32], 11);
  EXPECT_EQ(Text(s, r + 33, 11), "notes.txt;1");
  for (std::size_t i = r + 44; i < kSectorSize; ++i) ASSERT_EQ(s[i], 0) << "byte " << i;
}

TEST(IsoDirectory, EvenIdentifiersArePaddedToAnEvenRecord) {
  EXPECT_EQ(dir_record::RecordLength(11), 44u);
  EXPECT_EQ(dir_record::RecordLength(10), 44u);
  std::array<std::uint8_t, 64> out;
  out.fill(0xEE);
  const std::size_t n =
      SerializeDirectoryRecord(out, {26, 5, kUtc, false, std::string_view("READ.ME;1X", 10)});
  EXPECT_EQ(n, 44u);
  EXPECT_EQ(out[0], 44);
  EXPECT_EQ(out[43], 0);  // pad byte
  EXPECT_EQ(out[44], 0xEE);
}

TEST(IsoDirectory, RecordThatDoesNotFitIsNotWritten) {
  std::array<std::uint8_t, 40> out;
  out.fill(0xEE);
  EXPECT_EQ(SerializeDirectoryRecord(out, {26, 5, kUtc, false, "notes.txt;1"}), 0u);
  EXPECT_EQ(out[0], 0xEE);
}

TEST(IsoDirectory, ReadmeIdentifierFromHostPaths) {
  // Names in d-characters: upper case, '_' for any other character.
  EXPECT_EQ(ReadmeIdentifier("notes.txt"), "NOTES.TXT;1");
  EXPECT_EQ(ReadmeIdentifier("C:\\pkg\\ReadMe.TXT"), "README.TXT;1");
  EXPECT_EQ(ReadmeIdentifier("docs/verylongname.text"), "VERYLONG.TEX;1");
  EXPECT_EQ(ReadmeIdentifier("a.b/README"), "README;1");
  EXPECT_EQ(ReadmeIdentifier("D:readme.1st"), "README.1ST;1");
  EXPECT_EQ(ReadmeIdentifier("archive.tar.gz"), "ARCHIVE_.GZ;1");
  EXPECT_EQ(ReadmeIdentifier("My Long Diagnostic Report.txt"), "MY_LONG_.TXT;1");
  EXPECT_EQ(ReadmeIdentifier("\xC3\xBCn\xC3\xAF-1.t~t"), "_N__1.T_T;1");
  EXPECT_EQ(ReadmeIdentifier("docs\\"), std::nullopt);
  EXPECT_EQ(ReadmeIdentifier("docs/"), std::nullopt);
  EXPECT_EQ(ReadmeIdentifier(""), std::nullopt);
  EXPECT_EQ(ReadmeIdentifier("pkg/.profile"), std::nullopt);
}

// Sums the entry the way a checking BIOS would: all 16 words, checksum included.
std::uint16_t WordSum(const std::uint8_t* p) {
  std::uint32_t sum = 0;
  for (int i = 0; i < 32; i += 2) sum += Le16(p + i);
  return static_cast<std::uint16_t>(sum);
}

TEST(IsoBootCatalog, ValidationAndDefaultEntries) {
  SectorBytes s = Garbage();
  SerializeBootCatalog(s, {"Orvo Diagnostics", kMediaHardDisk, 0x06, 28});
  EXPECT_EQ(s[0], 1);
  EXPECT_EQ(s[1], 0);
  EXPECT_EQ(Le16(&s[2]), 0);
  EXPECT_EQ(Text(s, 4, 24), "Orvo Diagnostics" + std::string(8, '\0'));
  EXPECT_EQ(s[30], 0x55);
  EXPECT_EQ(s[31], 0xAA);
  EXPECT_EQ(WordSum(s.data()), 0);
  EXPECT_EQ(s[32], 0x88);
  EXPECT_EQ(s[33], 4);
  EXPECT_EQ(Le16(&s[34]), 0);
  EXPECT_EQ(s[36], 0x06);
  EXPECT_EQ(s[37], 0);
  EXPECT_EQ(Le16(&s[38]), 1);
  EXPECT_EQ(Le32(&s[40]), 28u);
  for (std::size_t i = 44; i < kSectorSize; ++i) ASSERT_EQ(s[i], 0) << "byte " << i;
}

TEST(IsoBootCatalog, ChecksumHoldsForAnyPublisher) {
  // Publishers chosen so the running sum wraps, is zero without the checksum,
  // and is cut at 24 bytes.
  for (std::string publisher :
       {std::string(), std::string(24, '\xFF'), std::string("\x55\xAA", 2), std::string(127, 'z'),
        std::string("\xAA\x54", 2)}) {
    SectorBytes s = Garbage();
    SerializeBootCatalog(s, {publisher, kMedia1440, 0, 26});
    EXPECT_EQ(WordSum(s.data()), 0) << publisher;
    EXPECT_EQ(s[30], 0x55);
    EXPECT_EQ(s[33], 2);
    EXPECT_EQ(Text(s, 4, std::min<std::size_t>(publisher.size(), 24)),
              publisher.substr(0, 24));
  }
}

TEST(IsoLayout, ReadmePlacementAndLimit) {
  IsoPlacement p;
  ASSERT_TRUE(PlaceReadme(0, p));
  EXPECT_EQ(p.volumeOffset, 0xD000u);
  EXPECT_EQ(p.bootImageSector, 26u);
  ASSERT_TRUE(PlaceReadme(3000, p));
  EXPECT_EQ(p.readmeRoundedSize, 4096u);
  EXPECT_EQ(p.bootImageSector, 28u);
  ASSERT_TRUE(PlaceReadme(0xF800, p));
  EXPECT_EQ(p.volumeOffset, 0xD000u + 0xF800u);
  IsoPlacement untouched;
  EXPECT_FALSE(PlaceReadme(0xF801, untouched));
  EXPECT_FALSE(PlaceReadme(UINT64_MAX, untouched));
  EXPECT_EQ(untouched.volumeOffset, 0xD000u);
}

TEST(IsoTime, UtcCalendarAcrossLeapDaysAndBeforeTheEpoch) {
  auto check = [](std::int64_t t, CalendarTime want) {
    const CalendarTime got = UtcCalendar(t);
    EXPECT_EQ(std::tie(got.year, got.month, got.day, got.hour, got.minute, got.second),
              std::tie(want.year, want.month, want.day, want.hour, want.minute, want.second))
        << t;
  };
  check(0, {1970, 1, 1, 0, 0, 0});
  check(951782400, {2000, 2, 29, 0, 0, 0});
  check(1709251199, {2024, 2, 29, 23, 59, 59});
  check(4102444800, {2100, 1, 1, 0, 0, 0});
  check(-1, {1969, 12, 31, 23, 59, 59});
  check(0x7FFFFFFF, {2038, 1, 19, 3, 14, 7});
}

TEST(IsoTime, DatesOutsideTheFieldsAreClampedNotWrapped) {
  std::array<std::uint8_t, 17> d;
  StoreRecordDate(d.data(), {2200, 5, 6, 7, 8, 9});
  EXPECT_EQ(d[0], 255);
  StoreRecordDate(d.data(), {1850, 5, 6, 7, 8, 9});
  EXPECT_EQ(d[0], 0);
  StoreDescriptorDate(d.data(), {123456, 12, 31, 23, 59, 59});
  EXPECT_EQ(std::string(reinterpret_cast<char*>(d.data()), 16), "9999123123595900");
  EXPECT_EQ(d[16], 0);
}

}  // namespace
}  // namespace imagebuilder::iso
