// The CD's EFI boot image: when the package tree holds EFI\BOOT\BOOTX64.EFI,
// a second FAT volume holding the tree's EFI folder follows the boot volume in
// the ISO's own sectors, and the boot catalog's UEFI section points at it.
// UEFI firmware starts the loader from it; BIOSes keep booting the default
// entry. A tree without the loader gets no EFI image.
#pragma once

#include <cstdint>
#include <optional>

#include "imagebuilder/build_context.h"
#include "imagebuilder/iso/iso_boot_catalog.h"

namespace imagebuilder {

// Where UEFI firmware looks on removable media.
inline constexpr const char* kEfiLoaderPath[] = {"EFI", "BOOT", "BOOTX64.EFI"};

// The catalog's sector count for an image of `bytes` (a whole number of CD
// sectors): its 512-byte sectors, or 0 beyond what the field holds.
constexpr std::uint16_t EfiSectorCount(std::uint64_t bytes) {
  return bytes / 512 <= 0xFFFF ? static_cast<std::uint16_t>(bytes / 512) : 0;
}
static_assert(EfiSectorCount(18432) == 36);
static_assert(EfiSectorCount(0xFFFFull * 512 + 512) == 0);

// After the boot volume is written and before the volume descriptors: lays
// out and writes the EFI image behind the boot volume with the FAT volume
// writer, growing the image file by it, and answers its catalog entry
// (nothing when the tree holds no loader). Its failures carry the volume
// writer's codes, as the boot volume's do, with a subject that names the EFI
// image. Returns the recorded code.
int WriteEfiImage(BuildContext& ctx, std::optional<iso::EfiBootEntry>& entry);

}  // namespace imagebuilder
