// The on-disk structures of a FAT12/FAT16 disk: the master boot record and its
// partition entries, the boot sector with its BIOS parameter block, the 32-byte
// directory entry and the long-name entry. Each field is a named byte offset
// with its width in bytes in the comment, read and written through
// common/endian.h; no packed structs are cast onto buffers.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "common/endian.h"

namespace common {

// ---- Master boot record (one 512-byte sector) ----------------------------
// The maker's entry 0 sits in front of the four standard entries, so the
// table holds five entries; the standard ones are 1..4 (at 0x1BE, 0x1CE,
// 0x1DE and 0x1EE).
inline constexpr std::size_t MBR_MakerTag = 0x1A3;        // 11: "OrvoVirtual" lets entry 0 be used; "OrvoProcess" marks a process container
inline constexpr std::size_t MBR_PartitionTable = 0x1AE;  // 5 entries of 16 bytes
inline constexpr std::size_t MBR_Signature = 510;         // 2: 0x55 0xAA
inline constexpr std::size_t kMbrSize = 512;
inline constexpr std::size_t kMakerTagSize = 11;
inline constexpr int kPartitionEntries = 5;
inline constexpr std::size_t kPartitionEntrySize = 16;
static_assert(MBR_MakerTag + kMakerTagSize == MBR_PartitionTable);
static_assert(MBR_PartitionTable + kPartitionEntries * kPartitionEntrySize == MBR_Signature);
static_assert(MBR_Signature + 2 == kMbrSize);

// Partition entry, offsets within its 16 bytes. A CHS address is three bytes:
// the head, then the sector (bits 0-5) with bits 8-9 of the cylinder (bits
// 6-7), then the low 8 bits of the cylinder.
inline constexpr std::size_t PE_BootIndicator = 0;  // 1: 0x80 active
inline constexpr std::size_t PE_StartChs = 1;       // 3: CHS of the first sector
inline constexpr std::size_t PE_Type = 4;           // 1
inline constexpr std::size_t PE_EndChs = 5;         // 3: CHS of the last sector
inline constexpr std::size_t PE_FirstSector = 8;    // 4: LBA of the first sector
inline constexpr std::size_t PE_SectorCount = 12;   // 4
inline constexpr std::size_t kChsHead = 0;          // within a CHS address
inline constexpr std::size_t kChsSector = 1;
inline constexpr std::size_t kChsCylinder = 2;
static_assert(PE_SectorCount + 4 == kPartitionEntrySize);

inline const std::uint8_t* PartitionEntry(const std::uint8_t* mbr, int k) {
  return mbr + MBR_PartitionTable + kPartitionEntrySize * static_cast<std::size_t>(k);
}
inline std::uint8_t* PartitionEntry(std::uint8_t* mbr, int k) {
  return mbr + MBR_PartitionTable + kPartitionEntrySize * static_cast<std::size_t>(k);
}

// ---- Boot sector with the FAT12/16 BIOS parameter block ------------------
inline constexpr std::size_t BS_JmpBoot = 0;       // 3: 0xEB xx 0x90 or 0xE9 xx xx
inline constexpr std::size_t BS_OEMName = 3;       // 8
inline constexpr std::size_t BPB_BytsPerSec = 11;  // 2
inline constexpr std::size_t BPB_SecPerClus = 13;  // 1
inline constexpr std::size_t BPB_RsvdSecCnt = 14;  // 2
inline constexpr std::size_t BPB_NumFATs = 16;     // 1
inline constexpr std::size_t BPB_RootEntCnt = 17;  // 2
inline constexpr std::size_t BPB_TotSec16 = 19;    // 2: 0 when BPB_TotSec32 holds the count
inline constexpr std::size_t BPB_Media = 21;       // 1
inline constexpr std::size_t BPB_FATSz16 = 22;     // 2: sectors per FAT
inline constexpr std::size_t BPB_SecPerTrk = 24;   // 2
inline constexpr std::size_t BPB_NumHeads = 26;    // 2
inline constexpr std::size_t BPB_HiddSec = 28;     // 4: sectors in front of the volume
inline constexpr std::size_t BPB_TotSec32 = 32;    // 4
inline constexpr std::size_t BS_DrvNum = 36;       // 1: 0x00 diskette, 0x80 hard disk
inline constexpr std::size_t BS_Reserved1 = 37;    // 1: 0
inline constexpr std::size_t BS_BootSig = 38;      // 1: 0x29 when the next three fields are present
inline constexpr std::size_t BS_VolID = 39;        // 4
inline constexpr std::size_t BS_VolLab = 43;       // 11, blank padded
inline constexpr std::size_t BS_FilSysType = 54;   // 8: "FAT12   " or "FAT16   "
inline constexpr std::size_t BS_BootCode = 62;     // 448
inline constexpr std::size_t BS_Signature = 510;   // 2: 0x55 0xAA
inline constexpr std::size_t kBootSectorSize = 512;
static_assert(BS_FilSysType + 8 == BS_BootCode);
static_assert(BS_BootCode + 448 == BS_Signature);
static_assert(BS_Signature + 2 == kBootSectorSize);

inline constexpr std::uint16_t kBootSignature = 0xAA55;  // both records, read as le16
inline constexpr std::uint8_t kExtendedBootSignature = 0x29;

// ---- Directory entry ------------------------------------------------------
inline constexpr std::size_t DIR_Name = 0;           // 11: 8 + 3, blank padded; byte 0 is 0x00 at the end, 0xE5 when deleted
inline constexpr std::size_t DIR_Ext = 8;            // 3: the extension part of DIR_Name
inline constexpr std::size_t DIR_Attr = 11;          // 1
inline constexpr std::size_t DIR_NTRes = 12;         // 1: 0
inline constexpr std::size_t DIR_CrtTimeTenth = 13;  // 1
inline constexpr std::size_t DIR_CrtTime = 14;       // 2
inline constexpr std::size_t DIR_CrtDate = 16;       // 2
inline constexpr std::size_t DIR_LstAccDate = 18;    // 2
inline constexpr std::size_t DIR_FstClusHI = 20;     // 2: 0 on FAT12/16
inline constexpr std::size_t DIR_WrtTime = 22;       // 2: DOS time
inline constexpr std::size_t DIR_WrtDate = 24;       // 2: DOS date
inline constexpr std::size_t DIR_FstClusLO = 26;     // 2
inline constexpr std::size_t DIR_FileSize = 28;      // 4
inline constexpr std::size_t kDirEntrySize = 32;
inline constexpr std::size_t kShortNameSize = 11;
inline constexpr std::size_t kEntriesPerSector = 512 / kDirEntrySize;  // in a 512-byte sector
static_assert(DIR_Name + kShortNameSize == DIR_Attr);
static_assert(DIR_FileSize + 4 == kDirEntrySize);

inline constexpr std::uint8_t ATTR_READ_ONLY = 0x01;
inline constexpr std::uint8_t ATTR_HIDDEN = 0x02;
inline constexpr std::uint8_t ATTR_SYSTEM = 0x04;
inline constexpr std::uint8_t ATTR_VOLUME_ID = 0x08;
inline constexpr std::uint8_t ATTR_DIRECTORY = 0x10;
inline constexpr std::uint8_t ATTR_ARCHIVE = 0x20;
// A long-name slot: read-only, hidden, system and volume label at once.
inline constexpr std::uint8_t ATTR_LONG_NAME = 0x0F;
inline constexpr std::uint8_t kAttrLongNameMask = 0x3F;

inline constexpr std::uint8_t kEntryEnd = 0x00;
inline constexpr std::uint8_t kEntryDeleted = 0xE5;

using DirEntry = std::array<std::uint8_t, kDirEntrySize>;
static_assert(sizeof(DirEntry) == kDirEntrySize);

inline std::uint16_t EntryFirstCluster(const std::uint8_t* e) { return load_le16(e + DIR_FstClusLO); }
inline std::uint32_t EntrySize(const std::uint8_t* e) { return load_le32(e + DIR_FileSize); }
inline std::uint8_t EntryAttributes(const std::uint8_t* e) { return e[DIR_Attr]; }
inline std::uint16_t EntryTime(const std::uint8_t* e) { return load_le16(e + DIR_WrtTime); }
inline std::uint16_t EntryDate(const std::uint8_t* e) { return load_le16(e + DIR_WrtDate); }

// ---- Long-name entry ------------------------------------------------------
// A long name is stored as UTF-16 in slots of 13 characters, last part first,
// in front of the short entry it belongs to.
inline constexpr std::size_t LDIR_Ord = 0;         // 1: part number 1..20, kLongNameLast on the last part
inline constexpr std::size_t LDIR_Name1 = 1;       // 10: characters 1-5
inline constexpr std::size_t LDIR_Attr = 11;       // 1: ATTR_LONG_NAME
inline constexpr std::size_t LDIR_Type = 12;       // 1: 0
inline constexpr std::size_t LDIR_Chksum = 13;     // 1: checksum of the short name the slot belongs to
inline constexpr std::size_t LDIR_Name2 = 14;      // 12: characters 6-11
inline constexpr std::size_t LDIR_FstClusLO = 26;  // 2: 0
inline constexpr std::size_t LDIR_Name3 = 28;      // 4: characters 12-13
static_assert(LDIR_Name1 + 10 == LDIR_Attr);
static_assert(LDIR_Name2 + 12 == LDIR_FstClusLO);
static_assert(LDIR_Name3 + 4 == kDirEntrySize);

inline constexpr std::uint8_t kLongNameLast = 0x40;
inline constexpr std::size_t kLongNameCharsPerSlot = 13;
inline constexpr std::size_t kLongNameMaxSlots = 20;  // 255 characters

// Where the 13 UTF-16 characters of a long-name slot lie, in order.
inline constexpr std::array<std::size_t, kLongNameCharsPerSlot> kLongNameCharOffsets = [] {
  std::array<std::size_t, kLongNameCharsPerSlot> at{};
  for (std::size_t i = 0; i < kLongNameCharsPerSlot; ++i) {
    at[i] = i < 5 ? LDIR_Name1 + 2 * i : i < 11 ? LDIR_Name2 + 2 * (i - 5) : LDIR_Name3 + 2 * (i - 11);
  }
  return at;
}();

// A live long-name slot (not deleted, not the end mark).
inline bool IsLongNameSlot(const std::uint8_t* e) {
  return (e[DIR_Attr] & kAttrLongNameMask) == ATTR_LONG_NAME && e[DIR_Name] != kEntryEnd &&
         e[DIR_Name] != kEntryDeleted;
}

}  // namespace common
