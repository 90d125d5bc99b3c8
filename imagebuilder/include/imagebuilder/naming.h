// The short (8.3) and long names of the builder's directory entries. The
// rules of short names and aliases themselves are common/short_names.h.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/fat_layout.h"
#include "imagebuilder/host.h"

namespace imagebuilder {

using ShortName = std::array<std::uint8_t, common::kShortNameSize>;

// Sorts a directory's entries in listing order and gives an alias to every
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

// Number of long-name entries `longName` takes (0 for none).
std::uint32_t LongNameEntryCount(std::string_view longName);

}  // namespace imagebuilder
