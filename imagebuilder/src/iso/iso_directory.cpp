#include "imagebuilder/iso/iso_directory.h"

#include <algorithm>
#include <cstring>

#include "common/endian.h"

namespace imagebuilder::iso {

std::size_t SerializeDirectoryRecord(std::span<std::uint8_t> out,
                                     const DirectoryRecordFields& fields) {
  using namespace dir_record;
  const std::size_t length = RecordLength(fields.identifier.size());
  if (fields.identifier.empty() || length > 255 || length > out.size()) return 0;
  std::uint8_t* p = out.data();
  std::memset(p, 0, length);
  p[kLength.offset] = static_cast<std::uint8_t>(length);
  p[kExtendedAttributeLength.offset] = 0;
  common::store_both32(p + kExtent.offset, fields.extent);
  common::store_both32(p + kDataLength.offset, fields.dataLength);
  StoreRecordDate(p + kRecordingDate.offset, fields.time);
  p[kFlags.offset] = fields.directory ? kFlagDirectory : 0;
  common::store_both16(p + kVolumeSequenceNumber.offset, 1);
  p[kIdentifierLength.offset] = static_cast<std::uint8_t>(fields.identifier.size());
  std::memcpy(p + kIdentifierOffset, fields.identifier.data(), fields.identifier.size());
  return length;
}

void SerializePathTable(std::span<std::uint8_t> out, std::uint32_t rootExtent, bool bigEndian) {
  using namespace path_record;
  std::uint8_t* p = out.data();
  std::memset(p, 0, kRootTableSize);
  p[kIdentifierLength.offset] = 1;
  p[kExtendedAttributeLength.offset] = 0;
  if (bigEndian) {
    common::store_be32(p + kExtent.offset, rootExtent);
    common::store_be16(p + kParentNumber.offset, 1);
  } else {
    common::store_le32(p + kExtent.offset, rootExtent);
    common::store_le16(p + kParentNumber.offset, 1);
  }
  p[kIdentifier.offset] = 0;
}

void SerializeRootDirectory(std::span<std::uint8_t, kSectorSize> sector,
                            const IsoDateTime& buildTimeUtc,
                            const std::optional<ReadmeEntry>& readme) {
  std::fill(sector.begin(), sector.end(), std::uint8_t{0});
  std::span<std::uint8_t> rest = sector;
  for (std::string_view id : {dir_record::kSelf, dir_record::kParent}) {
    const DirectoryRecordFields self{kRootDirectorySector, kSectorSize, buildTimeUtc, true, id};
    rest = rest.subspan(SerializeDirectoryRecord(rest, self));
  }
  if (readme) {
    const DirectoryRecordFields file{kReadmeSector, readme->length, readme->modified, false,
                                     readme->identifier};
    SerializeDirectoryRecord(rest, file);
  }
}

std::optional<std::string> ReadmeIdentifier(std::string_view path) {
  const std::size_t separator = path.find_last_of("/\\:");
  const std::string_view file =
      separator == std::string_view::npos ? path : path.substr(separator + 1);
  const std::size_t dot = file.find_last_of('.');
  const std::string_view name = dot == std::string_view::npos ? file : file.substr(0, dot);
  const std::string_view extension =
      dot == std::string_view::npos ? std::string_view{} : file.substr(dot);
  if (name.empty()) return std::nullopt;
  std::string identifier(name.substr(0, 8));
  identifier += extension.substr(0, 4);
  identifier += ";1";
  return identifier;
}

}  // namespace imagebuilder::iso
