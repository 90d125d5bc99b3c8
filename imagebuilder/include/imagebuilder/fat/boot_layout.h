// Field offsets of the master boot record and the boot sector's BIOS
// parameter block as the builder fills them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace imagebuilder {

inline constexpr std::size_t kSignatureOffset = 510;  // 0x55, 0xAA

// Master boot record.
inline constexpr std::size_t kMbrProcessTag = 0x1A3;      // 11: "OrvoProcess"
inline constexpr std::size_t kMbrClearStart = 0x1AE;      // 80 bytes cleared up to the signature
inline constexpr std::size_t kMbrClearLength = 80;
inline constexpr std::size_t kMbrEntryCopy = 0x1AE;       // 16: copy of entry 1 with the tag
inline constexpr std::size_t kMbrEntry1 = 0x1BE;          // 16: partition entry 1
inline constexpr std::size_t kPartBootFlag = 0;           // 1: 0x80 = active
inline constexpr std::size_t kPartStartHead = 1;          // 1
inline constexpr std::size_t kPartStartSector = 2;        // 1: sector, cylinder bits 8-9
inline constexpr std::size_t kPartStartCylinder = 3;      // 1
inline constexpr std::size_t kPartType = 4;               // 1
inline constexpr std::size_t kPartEndHead = 5;            // 1
inline constexpr std::size_t kPartEndSector = 6;          // 1: sector, cylinder bits 8-9
inline constexpr std::size_t kPartEndCylinder = 7;        // 1
inline constexpr std::size_t kPartFirstSector = 8;        // 4
inline constexpr std::size_t kPartSectorCount = 12;       // 4
inline constexpr std::size_t kPartEntrySize = 16;
inline constexpr std::size_t kGrubLoadAddressHigh = 0x43;  // 1: high byte of the stage-2 address
inline constexpr std::size_t kGrubLoadSegmentHigh = 0x49;  // 1: high byte of the stage-2 segment

// Boot sector (BIOS parameter block and extended fields).
inline constexpr std::size_t kBsOemName = 3;            // 8
inline constexpr std::size_t kBpbBytesPerSector = 11;   // 2
inline constexpr std::size_t kBpbSectorsPerCluster = 13;  // 1
inline constexpr std::size_t kBpbReservedSectors = 14;  // 2
inline constexpr std::size_t kBpbNumFats = 16;          // 1
inline constexpr std::size_t kBpbRootEntries = 17;      // 2
inline constexpr std::size_t kBpbTotalSectors16 = 19;   // 2
inline constexpr std::size_t kBpbMedia = 21;            // 1
inline constexpr std::size_t kBpbFatSize = 22;          // 2
inline constexpr std::size_t kBpbSectorsPerTrack = 24;  // 2
inline constexpr std::size_t kBpbHeads = 26;            // 2
inline constexpr std::size_t kBpbHiddenSectors = 28;    // 4
inline constexpr std::size_t kBpbTotalSectors32 = 32;   // 4
inline constexpr std::size_t kBsDriveNumber = 36;       // 1
inline constexpr std::size_t kBsReserved1 = 37;         // 1
inline constexpr std::size_t kBsBootSignature = 38;     // 1: 0x29
inline constexpr std::size_t kBsVolumeId = 39;          // 4
inline constexpr std::size_t kBsVolumeLabel = 43;       // 11
inline constexpr std::size_t kBsFileSystemType = 54;    // 8
inline constexpr std::size_t kBsFieldsEnd = 62;
static_assert(kBsFileSystemType + 8 == kBsFieldsEnd, "the extended BPB ends at byte 62");
static_assert(kMbrEntry1 + 4 * kPartEntrySize == kSignatureOffset,
              "four partition entries fill the MBR up to its signature");

// Loader sectors.
inline constexpr std::size_t kLoaderSectorCount = 508;  // first sector: sectors after it
inline constexpr std::size_t kLoaderSecondByte = 25;    // second sector: cleared

}  // namespace imagebuilder
