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
                            const CalendarTime& buildTimeUtc,
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

namespace {

// `text` in d-characters (ECMA-119 7.4.1: A-Z, 0-9 and '_'): letters upper
// case, any other character '_', a character of several UTF-8 bytes one '_';
// at most `limit` of them.
std::string DCharacters(std::string_view text, std::size_t limit) {
  std::string out;
  for (const char c : text) {
    if (out.size() == limit) break;
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x80 && u < 0xC0) continue;  // the rest of a UTF-8 sequence
    if (c >= 'a' && c <= 'z') {
      out += static_cast<char>(c - 'a' + 'A');
    } else if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
      out += c;
    } else {
      out += '_';
    }
  }
  return out;
}

}  // namespace

std::optional<std::string> ReadmeIdentifier(std::string_view path) {
  const std::size_t separator = path.find_last_of("/\\:");
  const std::string_view file =
      separator == std::string_view::npos ? path : path.substr(separator + 1);
  const std::size_t dot = file.find_last_of('.');
  const std::string_view name = dot == std::string_view::npos ? file : file.substr(0, dot);
  if (name.empty()) return std::nullopt;
  std::string identifier = DCharacters(name, 8);
  if (identifier.empty()) identifier = "_";
  if (dot != std::string_view::npos) identifier += "." + DCharacters(file.substr(dot + 1), 3);
  identifier += ";1";
  return identifier;
}

}  // namespace imagebuilder::iso
