// The 32-byte FAT directory entry and the long-name entry, field by field.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "imagebuilder/naming.h"

namespace imagebuilder {

inline constexpr std::size_t kDirEntrySize = 32;
using DirEntryBytes = std::array<std::uint8_t, kDirEntrySize>;
static_assert(sizeof(DirEntryBytes) == 32, "a directory entry is 32 bytes");

// Short entry field offsets.
inline constexpr std::size_t kDirName = 0;         // 11: 8.3 name, blank padded
inline constexpr std::size_t kDirAttributes = 11;  // 1
inline constexpr std::size_t kDirWriteTime = 22;   // 2: DOS time
inline constexpr std::size_t kDirWriteDate = 24;   // 2: DOS date
inline constexpr std::size_t kDirFirstCluster = 26;  // 2
inline constexpr std::size_t kDirFileSize = 28;    // 4

// Long-name entry field offsets.
inline constexpr std::size_t kLfnSequence = 0;    // 1: 1..n, 0x40 on the last part
inline constexpr std::size_t kLfnChars1 = 1;      // 10: characters 1-5
inline constexpr std::size_t kLfnAttributes = 11;  // 1: 0x0F
inline constexpr std::size_t kLfnChecksum = 13;   // 1: checksum of the short name
inline constexpr std::size_t kLfnChars2 = 14;     // 12: characters 6-11
inline constexpr std::size_t kLfnChars3 = 28;     // 4: characters 12-13
inline constexpr std::uint8_t kLfnLastFlag = 0x40;

struct ShortEntry {
  ShortName name{};
  std::uint8_t attributes = 0;
  std::uint16_t time = 0;
  std::uint16_t date = 0;
  std::uint16_t firstCluster = 0;
  std::uint32_t size = 0;
};

DirEntryBytes SerializeShortEntry(const ShortEntry& e);

// The long-name entries of `longName` in the order they are written (last
// part first), each carrying the checksum of `shortName`.
std::vector<DirEntryBytes> SerializeLongName(std::string_view longName, const ShortName& shortName);

}  // namespace imagebuilder
