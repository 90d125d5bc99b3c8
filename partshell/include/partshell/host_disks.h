// The host layer's disks: the machine's physical drives, or the one disk
// named by the environment variable TORBEL_DISK.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "partshell/block_device.h"

namespace partshell {

inline constexpr const char* kDiskOverrideVariable = "TORBEL_DISK";

// The drives a run may scan, drive n being paths[n]. TORBEL_DISK, when set and not
// empty, names one disk (an image file or a device) that stands as physical drive 0:
// no other drive is scanned then, and nothing on it is locked or dismounted. Without
// it the host's own drives are listed (`physical_drives` is only asked then).
struct HostDriveList {
  std::vector<std::string> paths;
  bool named_by_variable = false;
};
HostDriveList ChooseHostDrives(const std::function<std::vector<std::string>()>& physical_drives);
// Drive n as the user knows it: the file TORBEL_DISK names, or the physical drive
// with the host's device behind it ("\\.\PHYSICALDRIVE0 (/dev/sda)").
std::string DescribeHostDrive(const HostDriveList& drives, int n);

std::unique_ptr<DiskSystem> CreateHostDiskSystem();

// The platform's message text for a system error number ("" when unknown).
std::string HostSystemMessage(std::uint32_t code);

}  // namespace partshell
