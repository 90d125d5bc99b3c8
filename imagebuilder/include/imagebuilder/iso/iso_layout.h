// Where everything sits in an ISO image: a fixed run of 2048-byte sectors in
// front of the FAT volume, then the volume itself as the El Torito boot image.
// The whole placement is decided before the image file is created.
#pragma once

#include <cstdint>

namespace imagebuilder::iso {

inline constexpr std::uint32_t kSectorSize = 2048;

// Sectors 0-15 are the system area and stay zero.
inline constexpr std::uint32_t kPrimaryDescriptorSector = 16;
inline constexpr std::uint32_t kBootRecordSector = 17;
inline constexpr std::uint32_t kTerminatorSector = 18;
inline constexpr std::uint32_t kLPathTableSector = 20;
inline constexpr std::uint32_t kMPathTableSector = 22;
inline constexpr std::uint32_t kBootCatalogSector = 24;
inline constexpr std::uint32_t kRootDirectorySector = 25;
inline constexpr std::uint32_t kReadmeSector = 26;

constexpr std::uint64_t ByteOffset(std::uint32_t sector) {
  return static_cast<std::uint64_t>(sector) * kSectorSize;
}
constexpr std::uint64_t RoundUpToSector(std::uint64_t bytes) {
  return (bytes + kSectorSize - 1) / kSectorSize * kSectorSize;
}

inline constexpr std::uint64_t kReadmeOffset = ByteOffset(kReadmeSector);
// The readme may fill the sectors up to 0x1C800; it sits in front of the boot
// image, so a larger one would push the volume past what the front end expects.
inline constexpr std::uint64_t kMaxReadmeRoundedSize = 0xF800;

static_assert(ByteOffset(kPrimaryDescriptorSector) == 0x8000);
static_assert(ByteOffset(kBootCatalogSector) == 0xC000);
static_assert(kReadmeOffset == 0xD000);

struct IsoPlacement {
  std::uint64_t readmeRoundedSize = 0;  // 0 when the CD carries no readme
  std::uint64_t volumeOffset = kReadmeOffset;
  std::uint32_t bootImageSector = kReadmeSector;
};

// Places a readme of `readmeSize` bytes (none: 0) and the boot image behind
// it. False when the readme is too large for its area.
bool PlaceReadme(std::uint64_t readmeSize, IsoPlacement& placement);

}  // namespace imagebuilder::iso
