// Fields of the drive's master boot record and of the partition boot sector.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/endian.h"

namespace partshell {

// Master boot record: the maker's entry 0 sits in front of the four standard entries.
inline constexpr std::size_t MBR_VirtualTag = 0x1A3;      // 11, "OrvoVirtual" allows entry 0
inline constexpr std::size_t MBR_PartitionTable = 0x1AE;  // 5 entries of 16 bytes
inline constexpr std::size_t MBR_Signature = 510;         // 2, 0xAA55
inline constexpr int kPartitionEntries = 5;
inline constexpr std::size_t kPartitionEntrySize = 16;
static_assert(MBR_PartitionTable + kPartitionEntries * kPartitionEntrySize == MBR_Signature);

// Partition entry, offsets within its 16 bytes.
inline constexpr std::size_t PE_BootIndicator = 0;  // 1, 0x80 active
inline constexpr std::size_t PE_StartChs = 1;       // 3: head, sector|cyl high bits, cyl low
inline constexpr std::size_t PE_Type = 4;           // 1
inline constexpr std::size_t PE_EndChs = 5;         // 3
inline constexpr std::size_t PE_FirstSector = 8;    // 4
inline constexpr std::size_t PE_SectorCount = 12;   // 4
static_assert(PE_SectorCount + 4 == kPartitionEntrySize);

inline const std::uint8_t* PartitionEntry(const std::uint8_t* mbr, int k) {
  return mbr + MBR_PartitionTable + kPartitionEntrySize * static_cast<std::size_t>(k);
}

// Partition boot sector (BIOS parameter block of FAT12/16).
inline constexpr std::size_t BS_JmpBoot = 0;      // 1 (+2)
inline constexpr std::size_t BS_OEMName = 3;      // 8
inline constexpr std::size_t BPB_BytsPerSec = 11; // 2
inline constexpr std::size_t BPB_SecPerClus = 13; // 1
inline constexpr std::size_t BPB_RsvdSecCnt = 14; // 2
inline constexpr std::size_t BPB_NumFATs = 16;    // 1
inline constexpr std::size_t BPB_RootEntCnt = 17; // 2
inline constexpr std::size_t BPB_TotSec16 = 19;   // 2
inline constexpr std::size_t BPB_Media = 21;      // 1
inline constexpr std::size_t BPB_FATSz16 = 22;    // 2
inline constexpr std::size_t BPB_SecPerTrk = 24;  // 2
inline constexpr std::size_t BPB_NumHeads = 26;   // 2
inline constexpr std::size_t BPB_HiddSec = 28;    // 4
inline constexpr std::size_t BPB_TotSec32 = 32;   // 4
inline constexpr std::size_t BS_DrvNum = 36;      // 1
inline constexpr std::size_t BS_BootSig = 38;     // 1
inline constexpr std::size_t BS_VolID = 39;       // 4
inline constexpr std::size_t BS_VolLab = 43;      // 11
inline constexpr std::size_t BS_FilSysType = 54;  // 8
inline constexpr std::size_t BS_Signature = 510;  // 2
static_assert(BS_FilSysType + 8 == 62);

inline constexpr std::uint16_t kBootSignature = 0xAA55;

}  // namespace partshell
