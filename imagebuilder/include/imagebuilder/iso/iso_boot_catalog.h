// The El Torito boot catalog: a validation entry and the initial/default
// entry that points the BIOS at the FAT volume and, when the package carries
// an EFI loader, a section for UEFI firmware whose one entry points at the
// EFI image.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "imagebuilder/iso/iso_field.h"
#include "imagebuilder/iso/iso_layout.h"

namespace imagebuilder::iso {

namespace validation_entry {
inline constexpr Field kHeaderId = BP(1, 1);
inline constexpr Field kPlatformId = BP(2, 2);
inline constexpr Field kReserved = BP(3, 4);
inline constexpr Field kIdString = BP(5, 28);
inline constexpr Field kChecksum = BP(29, 30);
inline constexpr Field kKey55 = BP(31, 31);
inline constexpr Field kKeyAA = BP(32, 32);
inline constexpr Field kAll[] = {kHeaderId, kPlatformId, kReserved, kIdString,
                                 kChecksum, kKey55,      kKeyAA};
static_assert(Contiguous(kAll));
inline constexpr std::size_t kSize = kKeyAA.end();
static_assert(kSize == 32);
inline constexpr std::uint8_t kHeader = 1;
inline constexpr std::uint8_t kPlatform80x86 = 0;
}  // namespace validation_entry

// Follows the validation entry in the catalog sector.
namespace default_entry {
inline constexpr Field kBootIndicator = BP(1, 1);
inline constexpr Field kBootMediaType = BP(2, 2);
inline constexpr Field kLoadSegment = BP(3, 4);
inline constexpr Field kSystemType = BP(5, 5);
inline constexpr Field kUnused1 = BP(6, 6);
inline constexpr Field kSectorCount = BP(7, 8);
inline constexpr Field kLoadRba = BP(9, 12);
inline constexpr Field kUnused2 = BP(13, 32);
inline constexpr Field kAll[] = {kBootIndicator, kBootMediaType, kLoadSegment, kSystemType,
                                 kUnused1,       kSectorCount,   kLoadRba,     kUnused2};
static_assert(Contiguous(kAll));
inline constexpr std::size_t kOffset = validation_entry::kSize;
inline constexpr std::size_t kSize = kUnused2.end();
static_assert(kSize == 32);
inline constexpr std::uint8_t kBootable = 0x88;
}  // namespace default_entry

// A section header: the entries after it are for one platform.
namespace section_header {
inline constexpr Field kHeaderId = BP(1, 1);
inline constexpr Field kPlatformId = BP(2, 2);
inline constexpr Field kEntryCount = BP(3, 4);
inline constexpr Field kIdString = BP(5, 32);
inline constexpr Field kAll[] = {kHeaderId, kPlatformId, kEntryCount, kIdString};
static_assert(Contiguous(kAll));
inline constexpr std::size_t kOffset = default_entry::kOffset + default_entry::kSize;
inline constexpr std::size_t kSize = kIdString.end();
static_assert(kSize == 32);
inline constexpr std::uint8_t kFinalHeader = 0x91;  // no further section follows
inline constexpr std::uint8_t kPlatformEfi = 0xEF;
}  // namespace section_header

// A section entry: the default entry's fields and a selection criterion.
namespace section_entry {
inline constexpr Field kBootIndicator = BP(1, 1);
inline constexpr Field kBootMediaType = BP(2, 2);
inline constexpr Field kLoadSegment = BP(3, 4);
inline constexpr Field kSystemType = BP(5, 5);
inline constexpr Field kUnused = BP(6, 6);
inline constexpr Field kSectorCount = BP(7, 8);
inline constexpr Field kLoadRba = BP(9, 12);
inline constexpr Field kCriteriaType = BP(13, 13);
inline constexpr Field kCriteria = BP(14, 32);
inline constexpr Field kAll[] = {kBootIndicator, kBootMediaType, kLoadSegment, kSystemType, kUnused,
                                 kSectorCount,   kLoadRba,       kCriteriaType, kCriteria};
static_assert(Contiguous(kAll));
inline constexpr std::size_t kOffset = section_header::kOffset + section_header::kSize;
inline constexpr std::size_t kSize = kCriteria.end();
static_assert(kSize == 32);
}  // namespace section_entry

// El Torito boot media types; the builder's diskette presets choose 1-3.
inline constexpr std::uint8_t kMediaNoEmulation = 0;
inline constexpr std::uint8_t kMedia1200 = 1;
inline constexpr std::uint8_t kMedia1440 = 2;
inline constexpr std::uint8_t kMedia2880 = 3;
inline constexpr std::uint8_t kMediaHardDisk = 4;
constexpr bool IsBootMediaType(std::uint8_t type) { return type <= kMediaHardDisk; }

// The EFI image as UEFI firmware finds it: a FAT volume in no emulation.
struct EfiBootEntry {
  std::uint32_t imageSector = 0;
  // 512-byte sectors of the image; 0 when more than the field holds, which
  // tells the firmware that the image reaches to the end of the CD.
  std::uint16_t sectorCount = 0;
};

struct BootCatalogFields {
  std::string_view publisher;  // at most 24 bytes become the catalog's id string
  std::uint8_t bootMediaType = kMediaHardDisk;
  std::uint8_t systemType = 0;  // partition type of the MBR entry, 0 without one
  std::uint32_t bootImageSector = kReadmeSector;
  std::optional<EfiBootEntry> efi;  // the UEFI section, when the package has a loader
};

// Fills the whole catalog sector; the validation entry gets its checksum.
// Without an EFI entry, everything after the default entry is zero.
void SerializeBootCatalog(std::span<std::uint8_t, kSectorSize> sector,
                          const BootCatalogFields& fields);

// The checksum word that makes the entry's 16 little-endian words sum to 0
// (the checksum field itself counted as 0).
std::uint16_t ValidationChecksum(std::span<const std::uint8_t, validation_entry::kSize> entry);

}  // namespace imagebuilder::iso
