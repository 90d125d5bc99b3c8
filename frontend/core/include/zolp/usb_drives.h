// The USB disks a flash image can go to: which disks are offered, what their
// list entries read, and what OK decides for the chosen one (refused, or the
// vellix command line that builds its image). The dialog and the command-line
// front end share these rules.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "zolp/host.h"

namespace zolp {

// Disks of this size or less are not offered: card-reader slots and failed
// size queries drop out here.
inline constexpr std::uint64_t kUsbSmallestBytes = 3000000;
// READ CAPACITY (10) answers this last block address for a disk of 2 TiB or
// more, whose blocks an MBR cannot all address: such disks are not offered.
inline constexpr std::uint32_t kUsbLastSectorBeyond = 0xFFFFFFFF;
// The largest volume the FLASH image holds: 4,128,768 blocks (2 GB, FAT16's
// limit). A larger drive gets it at its start; the rest stays unallocated.
inline constexpr std::uint32_t kUsbVolumeBlocksMax = 0x3F0000;
inline constexpr std::uint32_t kUsbSectorBytes = 512;

inline constexpr const char* kUsbNoDrives =
    "No suitable USB flash drives were found. You must connect a supported USB flash drive to one "
    "of your USB ports before you can continue with this option.";
inline constexpr const char* kUsbOwnDrive = "Cannot format the media you are executing from.";
inline constexpr const char* kUsbNoSize = "Failed to get the size of the USB flash drive.";
inline constexpr const char* kUsbTooLarge =
    "The selected flash drive is too large to format with this utility.\nOnly drives up to 2 TB "
    "in size are supported.";
inline constexpr const char* kUsbSucceeded = "Successfully created the USB flash drive.";

struct UsbDrive {
  unsigned number = 0;  // \\.\PhysicalDrive<n>
  std::string entry;    // the list's text
};

// True when a USB disk of so many bytes (READ CAPACITY's block length times
// blocks) with this last block address is offered.
bool UsbDriveListed(std::uint64_t bytes, std::uint32_t lastSector);

// The USB disks to offer, in the order the system names them. Each entry
// starts with the drive's volume letter, file system and label when it has a
// volume, then the size and the identification; entries that would read the
// same end with the drive number, so the user can tell them apart.
std::vector<UsbDrive> FindUsbDrives(const Services& services);
// The letter of the removable volume on a physical drive; 0 when none.
char VolumeLetterOf(const Services& services, unsigned driveNumber);

// What OK decides for a drive whose READ CAPACITY gave lastSector: the
// refusal's text (null when the drive is taken) and the blocks of the image
// built for it, the whole drive up to kUsbVolumeBlocksMax.
struct UsbImagePlan {
  const char* refusal = nullptr;
  std::uint32_t blocks = 0;
};
UsbImagePlan PlanUsbImage(std::uint32_t lastSector);

// vellix.exe dd.cfg FLASH -v"<label>" -t<blocks> -i"<image>": the label is cut
// to 11 characters.
std::string UsbImageCommandLine(const std::string& label, std::uint32_t blocks,
                                const std::string& imagePath);

}  // namespace zolp
