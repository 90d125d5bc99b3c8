// The 32-byte FAT directory entry as the shell reads and writes it.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "common/endian.h"

namespace partshell {

inline constexpr std::size_t kDirEntrySize = 32;
inline constexpr std::size_t kEntriesPerSector = 16;

// Byte offsets of the fields (width in the comment).
inline constexpr std::size_t DIR_Name = 0;        // 8, blank padded; 0x00 end, 0xE5 deleted
inline constexpr std::size_t DIR_Ext = 8;         // 3, blank padded
inline constexpr std::size_t DIR_Attr = 11;       // 1
inline constexpr std::size_t DIR_Reserved = 12;   // 10, zero in entries the shell creates
inline constexpr std::size_t DIR_WrtTime = 22;    // 2
inline constexpr std::size_t DIR_WrtDate = 24;    // 2
inline constexpr std::size_t DIR_FstClus = 26;    // 2
inline constexpr std::size_t DIR_FileSize = 28;   // 4
static_assert(DIR_FileSize + 4 == kDirEntrySize);

inline constexpr std::uint8_t ATTR_READ_ONLY = 0x01;
inline constexpr std::uint8_t ATTR_HIDDEN = 0x02;
inline constexpr std::uint8_t ATTR_SYSTEM = 0x04;
inline constexpr std::uint8_t ATTR_VOLUME_ID = 0x08;
inline constexpr std::uint8_t ATTR_DIRECTORY = 0x10;
inline constexpr std::uint8_t ATTR_ARCHIVE = 0x20;
// A long-name slot: read-only, hidden, system and volume label at once.
inline constexpr std::uint8_t ATTR_LONG_NAME = 0x0F;
inline constexpr std::size_t LDIR_Chksum = 13;  // 1, the checksum of the short name the slot belongs to

inline constexpr std::uint8_t kEntryEnd = 0x00;
inline constexpr std::uint8_t kEntryDeleted = 0xE5;

using DirEntry = std::array<std::uint8_t, kDirEntrySize>;

inline std::uint16_t EntryFirstCluster(const std::uint8_t* e) { return common::load_le16(e + DIR_FstClus); }
inline std::uint32_t EntrySize(const std::uint8_t* e) { return common::load_le32(e + DIR_FileSize); }
inline std::uint8_t EntryAttributes(const std::uint8_t* e) { return e[DIR_Attr]; }
inline std::uint16_t EntryTime(const std::uint8_t* e) { return common::load_le16(e + DIR_WrtTime); }
inline std::uint16_t EntryDate(const std::uint8_t* e) { return common::load_le16(e + DIR_WrtDate); }

// A live long-name slot (not deleted, not the end mark).
inline bool IsLongNameSlot(const std::uint8_t* e) {
  return (e[DIR_Attr] & 0x3F) == ATTR_LONG_NAME && e[DIR_Name] != kEntryEnd && e[DIR_Name] != kEntryDeleted;
}
// The checksum of the 11 name bytes that a short name's long-name slots carry.
inline std::uint8_t ShortNameChecksum(const std::uint8_t* e) {
  std::uint8_t sum = 0;
  for (std::size_t i = 0; i < 11; ++i) sum = static_cast<std::uint8_t>(((sum & 1) << 7) + (sum >> 1) + e[i]);
  return sum;
}

// "NAME.EXT" (or "NAME") with the blank padding removed.
std::string EntryDisplayName(const std::uint8_t* e);

}  // namespace partshell
