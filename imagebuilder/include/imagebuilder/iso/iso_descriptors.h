// The volume descriptor set: the primary volume descriptor, the El Torito
// boot record and the set terminator, each one whole 2048-byte sector.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "imagebuilder/iso/iso_field.h"
#include "imagebuilder/iso/iso_layout.h"
#include "imagebuilder/iso/iso_time.h"

namespace imagebuilder::iso {

using Sector = std::span<std::uint8_t, kSectorSize>;

// Header shared by every volume descriptor (ECMA-119 8.1).
namespace descriptor {
inline constexpr Field kType = BP(1, 1);
inline constexpr Field kStandardId = BP(2, 6);
inline constexpr Field kVersion = BP(7, 7);
inline constexpr std::uint8_t kTypeBootRecord = 0;
inline constexpr std::uint8_t kTypePrimary = 1;
inline constexpr std::uint8_t kTypeTerminator = 255;
inline constexpr std::string_view kStandardIdText = "CD001";
}  // namespace descriptor

// Primary volume descriptor (ECMA-119 8.4).
namespace pvd {
inline constexpr Field kType = BP(1, 1);
inline constexpr Field kStandardId = BP(2, 6);
inline constexpr Field kVersion = BP(7, 7);
inline constexpr Field kUnused1 = BP(8, 8);
inline constexpr Field kSystemId = BP(9, 40);
inline constexpr Field kVolumeId = BP(41, 72);
inline constexpr Field kUnused2 = BP(73, 80);
inline constexpr Field kVolumeSpaceSize = BP(81, 88);  // both-endian 32
inline constexpr Field kUnused3 = BP(89, 120);
inline constexpr Field kVolumeSetSize = BP(121, 124);         // both-endian 16
inline constexpr Field kVolumeSequenceNumber = BP(125, 128);  // both-endian 16
inline constexpr Field kLogicalBlockSize = BP(129, 132);      // both-endian 16
inline constexpr Field kPathTableSize = BP(133, 140);         // both-endian 32
inline constexpr Field kLPathTable = BP(141, 144);            // little-endian 32
inline constexpr Field kOptionalLPathTable = BP(145, 148);
inline constexpr Field kMPathTable = BP(149, 152);  // big-endian 32
inline constexpr Field kOptionalMPathTable = BP(153, 156);
inline constexpr Field kRootDirectoryRecord = BP(157, 190);
inline constexpr Field kVolumeSetId = BP(191, 318);
inline constexpr Field kPublisherId = BP(319, 446);
inline constexpr Field kDataPreparerId = BP(447, 574);
inline constexpr Field kApplicationId = BP(575, 702);
inline constexpr Field kCopyrightFileId = BP(703, 739);
inline constexpr Field kAbstractFileId = BP(740, 776);
inline constexpr Field kBibliographicFileId = BP(777, 813);
inline constexpr Field kCreationDate = BP(814, 830);
inline constexpr Field kModificationDate = BP(831, 847);
inline constexpr Field kExpirationDate = BP(848, 864);
inline constexpr Field kEffectiveDate = BP(865, 881);
inline constexpr Field kFileStructureVersion = BP(882, 882);
inline constexpr Field kReserved = BP(883, 883);
inline constexpr Field kApplicationUse = BP(884, 1395);
inline constexpr Field kReservedTail = BP(1396, 2048);

inline constexpr Field kAll[] = {
    kType, kStandardId, kVersion, kUnused1, kSystemId, kVolumeId, kUnused2, kVolumeSpaceSize,
    kUnused3, kVolumeSetSize, kVolumeSequenceNumber, kLogicalBlockSize, kPathTableSize,
    kLPathTable, kOptionalLPathTable, kMPathTable, kOptionalMPathTable, kRootDirectoryRecord,
    kVolumeSetId, kPublisherId, kDataPreparerId, kApplicationId, kCopyrightFileId,
    kAbstractFileId, kBibliographicFileId, kCreationDate, kModificationDate, kExpirationDate,
    kEffectiveDate, kFileStructureVersion, kReserved, kApplicationUse, kReservedTail};
static_assert(Contiguous(kAll));
static_assert(kReservedTail.end() == kSectorSize);
static_assert(kRootDirectoryRecord.width == 34);
static_assert(kCreationDate.width == kDescriptorDateSize);

inline constexpr std::string_view kSystemIdText = "Win32";
}  // namespace pvd

// El Torito boot record volume descriptor.
namespace boot_record {
inline constexpr Field kType = BP(1, 1);
inline constexpr Field kStandardId = BP(2, 6);
inline constexpr Field kVersion = BP(7, 7);
inline constexpr Field kBootSystemId = BP(8, 39);
inline constexpr Field kBootId = BP(40, 71);
inline constexpr Field kBootCatalogPointer = BP(72, 75);  // little-endian 32
inline constexpr Field kUnused = BP(76, 2048);

inline constexpr Field kAll[] = {kType,   kStandardId,          kVersion, kBootSystemId,
                                 kBootId, kBootCatalogPointer, kUnused};
static_assert(Contiguous(kAll));
static_assert(kUnused.end() == kSectorSize);

inline constexpr std::string_view kBootSystemIdText = "EL TORITO SPECIFICATION";
}  // namespace boot_record

struct PrimaryVolumeFields {
  std::string_view volumeId;   // at most 32 bytes are used
  std::string_view publisher;  // at most 128 bytes are used
  std::uint32_t volumeSpaceSize = 0;  // sectors of the whole image file
  CalendarTime buildTimeUtc;    // stamped on the root directory record
  CalendarTime buildTimeLocal;  // creation and modification dates
};

// Each serialiser fills the whole sector, zero bytes included.
void SerializePrimaryVolumeDescriptor(Sector sector, const PrimaryVolumeFields& fields);
void SerializeBootRecordDescriptor(Sector sector);
void SerializeTerminator(Sector sector);

}  // namespace imagebuilder::iso
