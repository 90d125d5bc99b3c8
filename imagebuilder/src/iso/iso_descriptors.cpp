#include "imagebuilder/iso/iso_descriptors.h"

#include <algorithm>
#include <cstring>

#include "common/endian.h"
#include "imagebuilder/iso/iso_directory.h"

namespace imagebuilder::iso {
namespace {

// ISO text fields are padded with blanks; longer text is cut to the field.
void StoreText(Sector sector, Field field, std::string_view text, char pad) {
  std::uint8_t* p = sector.data() + field.offset;
  std::memset(p, pad, field.width);
  std::memcpy(p, text.data(), std::min(text.size(), field.width));
}

void StoreHeader(Sector sector, std::uint8_t type) {
  std::fill(sector.begin(), sector.end(), std::uint8_t{0});
  sector[descriptor::kType.offset] = type;
  StoreText(sector, descriptor::kStandardId, descriptor::kStandardIdText, ' ');
  sector[descriptor::kVersion.offset] = 1;
}

}  // namespace

void SerializePrimaryVolumeDescriptor(Sector sector, const PrimaryVolumeFields& fields) {
  using namespace pvd;
  using common::store_both16;
  using common::store_both32;
  StoreHeader(sector, descriptor::kTypePrimary);
  std::uint8_t* p = sector.data();
  StoreText(sector, kSystemId, kSystemIdText, ' ');
  StoreText(sector, kVolumeId, fields.volumeId, ' ');
  store_both32(p + kVolumeSpaceSize.offset, fields.volumeSpaceSize);
  store_both16(p + kVolumeSetSize.offset, 1);
  store_both16(p + kVolumeSequenceNumber.offset, 1);
  store_both16(p + kLogicalBlockSize.offset, kSectorSize);
  store_both32(p + kPathTableSize.offset, path_record::kRootTableSize);
  common::store_le32(p + kLPathTable.offset, kLPathTableSector);
  common::store_be32(p + kMPathTable.offset, kMPathTableSector);

  const DirectoryRecordFields root{kRootDirectorySector, kSectorSize, fields.buildTimeUtc, true,
                                   dir_record::kSelf};
  SerializeDirectoryRecord(sector.subspan(kRootDirectoryRecord.offset, kRootDirectoryRecord.width),
                           root);

  StoreText(sector, kVolumeSetId, "", ' ');
  StoreText(sector, kPublisherId, fields.publisher, ' ');
  StoreText(sector, kDataPreparerId, "", ' ');
  StoreText(sector, kApplicationId, "", ' ');
  StoreText(sector, kCopyrightFileId, "", ' ');
  StoreText(sector, kAbstractFileId, "", ' ');
  StoreText(sector, kBibliographicFileId, "", ' ');
  StoreDescriptorDate(p + kCreationDate.offset, fields.buildTimeLocal);
  StoreDescriptorDate(p + kModificationDate.offset, fields.buildTimeLocal);
  StoreUnspecifiedDate(p + kExpirationDate.offset);
  StoreUnspecifiedDate(p + kEffectiveDate.offset);
  p[kFileStructureVersion.offset] = 1;
}

void SerializeBootRecordDescriptor(Sector sector) {
  using namespace boot_record;
  StoreHeader(sector, descriptor::kTypeBootRecord);
  StoreText(sector, kBootSystemId, kBootSystemIdText, '\0');
  common::store_le32(sector.data() + kBootCatalogPointer.offset, kBootCatalogSector);
}

void SerializeTerminator(Sector sector) { StoreHeader(sector, descriptor::kTypeTerminator); }

}  // namespace imagebuilder::iso
