#include "imagebuilder/iso/iso_layout.h"

namespace imagebuilder::iso {

bool PlaceReadme(std::uint64_t readmeSize, IsoPlacement& placement) {
  const std::uint64_t rounded = RoundUpToSector(readmeSize);
  if (readmeSize > kMaxReadmeRoundedSize || rounded > kMaxReadmeRoundedSize) return false;
  placement.readmeRoundedSize = rounded;
  placement.volumeOffset = kReadmeOffset + rounded;
  placement.bootImageSector = static_cast<std::uint32_t>(placement.volumeOffset / kSectorSize);
  return true;
}

}  // namespace imagebuilder::iso
