#include "imagebuilder/fat/dir_entry.h"

#include "common/endian.h"

namespace imagebuilder {

DirEntryBytes SerializeShortEntry(const ShortEntry& e) {
  DirEntryBytes b{};
  for (std::size_t i = 0; i < e.name.size(); ++i) b[kDirName + i] = e.name[i];
  b[kDirAttributes] = e.attributes;
  common::store_le16(&b[kDirWriteTime], e.time);
  common::store_le16(&b[kDirWriteDate], e.date);
  common::store_le16(&b[kDirFirstCluster], e.firstCluster);
  common::store_le32(&b[kDirFileSize], e.size);
  return b;
}

std::vector<DirEntryBytes> SerializeLongName(std::string_view longName, const ShortName& shortName) {
  const std::u16string units = ToUtf16(longName);
  const std::size_t parts = (units.size() + 12) / 13;
  const std::uint8_t checksum = LongNameChecksum(shortName);
  static constexpr std::size_t kSlots[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
  std::vector<DirEntryBytes> out;
  out.reserve(parts);
  for (std::size_t part = parts; part >= 1; --part) {
    DirEntryBytes b{};
    b[kLfnSequence] = static_cast<std::uint8_t>(part | (part == parts ? kLfnLastFlag : 0));
    b[kLfnAttributes] = 0x0F;
    b[kLfnChecksum] = checksum;
    for (std::size_t slot = 0; slot < 13; ++slot) {
      const std::size_t index = (part - 1) * 13 + slot;
      std::uint16_t unit = 0xFFFF;
      if (index < units.size()) {
        unit = units[index];
      } else if (index == units.size()) {
        unit = 0x0000;
      }
      common::store_le16(&b[kSlots[slot]], unit);
    }
    out.push_back(b);
  }
  return out;
}

}  // namespace imagebuilder
