// The builder's directory entries as bytes: the short entry and the long-name
// entries in front of it (their fields are common/fat_layout.h).
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "common/fat_layout.h"
#include "imagebuilder/naming.h"

namespace imagebuilder {

struct ShortEntry {
  ShortName name{};
  std::uint8_t attributes = 0;
  std::uint16_t time = 0;
  std::uint16_t date = 0;
  std::uint16_t firstCluster = 0;
  std::uint32_t size = 0;
};

common::DirEntry SerializeShortEntry(const ShortEntry& e);

// The long-name entries of `longName` in the order they are written (last
// part first), each carrying the checksum of `shortName`.
std::vector<common::DirEntry> SerializeLongName(std::string_view longName, const ShortName& shortName);

}  // namespace imagebuilder
