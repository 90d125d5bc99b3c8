// Short (8.3) and long names of directory entries.
#pragma once

#include <array>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "imagebuilder/host.h"

namespace imagebuilder {

using ShortName = std::array<std::uint8_t, 11>;

// True when `name` is a valid 8.3 name as it stands (any letter case).
bool IsValidShortName(std::string_view name);

// ASCII upper-casing; bytes of 0x80 and above are kept.
std::string UpperAscii(std::string_view text);

// Case-insensitive (ASCII) ordering used for every listing.
bool ListingLess(std::string_view a, std::string_view b);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

// The alias Windows would give `name`: upper case, invalid characters
// replaced by '_', base cut so that "~N" fits, extension cut to 3; the first
// N whose alias is not in `taken`.
std::string MakeShortAlias(std::string_view name, const std::set<std::string>& taken);

// Sorts a directory's entries case-insensitively and gives an alias to every
// entry the host left without one whose name is not a valid 8.3 name, or
// whose name collides (ignoring case) with an earlier one.
void PrepareListing(std::vector<HostEntry>& entries);

struct EntryNames {
  ShortName shortName{};
  std::string longName;  // UTF-8; empty when the entry has none
  int error = 0;         // 35 or 51 when the naming rule refuses the name
};

// Where the first character of `name` is that Windows forbids in a file name
// (a control character or one of " * / : < > ? \ |); npos when it holds none.
std::size_t ForbiddenNameCharacter(std::string_view name);

// The entry's names: the host alias (or the name) upper-cased and padded
// to 8+3; the full name as long name when it differs from the short one.
// A name with a character Windows forbids is refused (35): no FAT driver
// may be handed it, in a long-name slot or anywhere else.
EntryNames NameEntry(const HostEntry& entry);

// "." and "..", padded as a whole.
ShortName DotName(bool dotDot);

// The volume label, upper-cased and padded to 11.
ShortName LabelName(std::string_view label);

// FAT long-name checksum of an 11-byte short name.
std::uint8_t LongNameChecksum(const ShortName& name);

// UTF-16 code units of a UTF-8 name; invalid sequences map byte for byte.
std::u16string ToUtf16(std::string_view utf8);

// Number of long-name entries `longName` takes (0 for none).
std::uint32_t LongNameEntryCount(std::string_view longName);

}  // namespace imagebuilder
