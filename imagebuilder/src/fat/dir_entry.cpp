#include "imagebuilder/fat/dir_entry.h"

#include <algorithm>

#include "common/endian.h"
#include "common/short_names.h"
#include "common/text.h"

namespace imagebuilder {

common::DirEntry SerializeShortEntry(const ShortEntry& e) {
  common::DirEntry b{};
  std::copy(e.name.begin(), e.name.end(), b.begin() + common::DIR_Name);
  b[common::DIR_Attr] = e.attributes;
  common::store_le16(&b[common::DIR_WrtTime], e.time);
  common::store_le16(&b[common::DIR_WrtDate], e.date);
  common::store_le16(&b[common::DIR_FstClusLO], e.firstCluster);
  common::store_le32(&b[common::DIR_FileSize], e.size);
  return b;
}

std::vector<common::DirEntry> SerializeLongName(std::string_view longName, const ShortName& shortName) {
  constexpr std::size_t kPerSlot = common::kLongNameCharsPerSlot;
  const std::u16string units = common::Utf8ToUtf16(longName);
  const std::size_t parts = (units.size() + kPerSlot - 1) / kPerSlot;
  const std::uint8_t checksum = common::ShortNameChecksum(shortName.data());
  std::vector<common::DirEntry> out;
  out.reserve(parts);
  for (std::size_t part = parts; part >= 1; --part) {
    common::DirEntry b{};
    b[common::LDIR_Ord] = static_cast<std::uint8_t>(part | (part == parts ? common::kLongNameLast : 0));
    b[common::LDIR_Attr] = common::ATTR_LONG_NAME;
    b[common::LDIR_Chksum] = checksum;
    // The name ends with a 0x0000 when it leaves room; 0xFFFF fills the rest.
    for (std::size_t slot = 0; slot < kPerSlot; ++slot) {
      const std::size_t index = (part - 1) * kPerSlot + slot;
      std::uint16_t unit = 0xFFFF;
      if (index < units.size()) {
        unit = units[index];
      } else if (index == units.size()) {
        unit = 0x0000;
      }
      common::store_le16(&b[common::kLongNameCharOffsets[slot]], unit);
    }
    out.push_back(b);
  }
  return out;
}

}  // namespace imagebuilder
