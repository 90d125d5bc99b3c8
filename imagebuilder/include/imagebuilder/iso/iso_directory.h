// The one directory of the CD: its directory records, the two path tables
// that name it, and the identifier under which the readme appears.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "imagebuilder/iso/iso_field.h"
#include "imagebuilder/iso/iso_layout.h"
#include "imagebuilder/iso/iso_time.h"

namespace imagebuilder::iso {

// Directory record (ECMA-119 9.1); the identifier follows the fixed part.
namespace dir_record {
inline constexpr Field kLength = BP(1, 1);
inline constexpr Field kExtendedAttributeLength = BP(2, 2);
inline constexpr Field kExtent = BP(3, 10);      // both-endian 32
inline constexpr Field kDataLength = BP(11, 18);  // both-endian 32
inline constexpr Field kRecordingDate = BP(19, 25);
inline constexpr Field kFlags = BP(26, 26);
inline constexpr Field kFileUnitSize = BP(27, 27);
inline constexpr Field kInterleaveGap = BP(28, 28);
inline constexpr Field kVolumeSequenceNumber = BP(29, 32);  // both-endian 16
inline constexpr Field kIdentifierLength = BP(33, 33);

inline constexpr Field kFixedPart[] = {kLength,        kExtendedAttributeLength,
                                       kExtent,        kDataLength,
                                       kRecordingDate, kFlags,
                                       kFileUnitSize,  kInterleaveGap,
                                       kVolumeSequenceNumber, kIdentifierLength};
static_assert(Contiguous(kFixedPart));
inline constexpr std::size_t kIdentifierOffset = kIdentifierLength.end();
static_assert(kIdentifierOffset == 33);
static_assert(kRecordingDate.width == kRecordDateSize);

inline constexpr std::uint8_t kFlagDirectory = 0x02;
// Identifiers of the directory itself and of its parent.
inline constexpr std::string_view kSelf{"\0", 1};
inline constexpr std::string_view kParent{"\1", 1};

// Records keep an even length: an even identifier length gets one pad byte.
constexpr std::size_t RecordLength(std::size_t identifierLength) {
  return kIdentifierOffset + identifierLength + (identifierLength % 2 == 0 ? 1 : 0);
}
static_assert(RecordLength(1) == 34);
}  // namespace dir_record

// Path table record (ECMA-119 9.4); byte order depends on the table.
namespace path_record {
inline constexpr Field kIdentifierLength = BP(1, 1);
inline constexpr Field kExtendedAttributeLength = BP(2, 2);
inline constexpr Field kExtent = BP(3, 6);
inline constexpr Field kParentNumber = BP(7, 8);
inline constexpr Field kIdentifier = BP(9, 9);  // the root's single 0x00 byte
inline constexpr Field kPadding = BP(10, 10);   // odd identifier lengths are padded

inline constexpr Field kRootRecord[] = {kIdentifierLength, kExtendedAttributeLength, kExtent,
                                        kParentNumber, kIdentifier, kPadding};
static_assert(Contiguous(kRootRecord));
inline constexpr std::uint32_t kRootTableSize = static_cast<std::uint32_t>(kPadding.end());
static_assert(kRootTableSize == 10);
}  // namespace path_record

struct DirectoryRecordFields {
  std::uint32_t extent = 0;
  std::uint32_t dataLength = 0;
  CalendarTime time;  // UTC calendar time
  bool directory = false;
  std::string_view identifier;  // dir_record::kSelf, kParent or "NAME.EXT;1"
};

// Writes one record at the start of `out` and returns its length, or 0 when
// the record does not fit (nothing is written then).
std::size_t SerializeDirectoryRecord(std::span<std::uint8_t> out,
                                     const DirectoryRecordFields& fields);

// The one path table of a CD whose only directory is the root at `rootExtent`.
void SerializePathTable(std::span<std::uint8_t> out, std::uint32_t rootExtent, bool bigEndian);

struct ReadmeEntry {
  std::string identifier;   // from ReadmeIdentifier
  std::uint32_t length = 0;  // bytes of the file
  CalendarTime modified;      // UTC calendar time
};

// The root directory sector: "." and ".." and, when given, the readme's record
// at the first sector behind the root directory.
void SerializeRootDirectory(std::span<std::uint8_t, kSectorSize> sector,
                            const CalendarTime& buildTimeUtc,
                            const std::optional<ReadmeEntry>& readme);

// The record identifier of the readme at host path `path`: its name in
// d-characters cut to 8, its extension in d-characters cut to 3 behind the
// dot, then ";1" ("My Notes.txt" is "MY_NOTES.TXT;1"). Either separator ends
// the directory part. Nothing when the name is empty.
std::optional<std::string> ReadmeIdentifier(std::string_view path);

}  // namespace imagebuilder::iso
