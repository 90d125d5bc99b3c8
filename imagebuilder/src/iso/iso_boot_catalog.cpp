#include "imagebuilder/iso/iso_boot_catalog.h"

#include <algorithm>
#include <cstring>

#include "common/endian.h"

namespace imagebuilder::iso {

std::uint16_t ValidationChecksum(std::span<const std::uint8_t, validation_entry::kSize> entry) {
  std::uint16_t sum = 0;
  for (std::size_t i = 0; i < entry.size(); i += 2) {
    if (i == validation_entry::kChecksum.offset) continue;
    sum = static_cast<std::uint16_t>(sum + common::load_le16(entry.data() + i));
  }
  return static_cast<std::uint16_t>(0x10000u - sum);
}

void SerializeBootCatalog(std::span<std::uint8_t, kSectorSize> sector,
                          const BootCatalogFields& fields) {
  std::fill(sector.begin(), sector.end(), std::uint8_t{0});
  {
    using namespace validation_entry;
    std::uint8_t* p = sector.data();
    p[kHeaderId.offset] = kHeader;
    p[kPlatformId.offset] = kPlatform80x86;
    std::memcpy(p + kIdString.offset, fields.publisher.data(),
                std::min(fields.publisher.size(), kIdString.width));
    p[kKey55.offset] = 0x55;
    p[kKeyAA.offset] = 0xAA;
    common::store_le16(p + kChecksum.offset,
                       ValidationChecksum(sector.first<validation_entry::kSize>()));
  }
  {
    using namespace default_entry;
    std::uint8_t* p = sector.data() + kOffset;
    p[kBootIndicator.offset] = kBootable;
    p[kBootMediaType.offset] = fields.bootMediaType;
    common::store_le16(p + kLoadSegment.offset, 0);
    p[kSystemType.offset] = fields.systemType;
    common::store_le16(p + kSectorCount.offset, 1);
    common::store_le32(p + kLoadRba.offset, fields.bootImageSector);
  }
  if (!fields.efi) return;
  {
    using namespace section_header;
    std::uint8_t* p = sector.data() + kOffset;
    p[kHeaderId.offset] = kFinalHeader;
    p[kPlatformId.offset] = kPlatformEfi;
    common::store_le16(p + kEntryCount.offset, 1);
  }
  {
    using namespace section_entry;
    std::uint8_t* p = sector.data() + kOffset;
    p[kBootIndicator.offset] = default_entry::kBootable;
    p[kBootMediaType.offset] = kMediaNoEmulation;
    common::store_le16(p + kSectorCount.offset, fields.efi->sectorCount);
    common::store_le32(p + kLoadRba.offset, fields.efi->imageSector);
  }
}

}  // namespace imagebuilder::iso
