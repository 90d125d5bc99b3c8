// The host layer's disks: the machine's physical drives, or the one disk
// named by the environment variable TORBEL_DISK, which then stands as
// physical drive 0 while no other drive is scanned.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "partshell/block_device.h"

namespace partshell {

inline constexpr const char* kDiskOverrideVariable = "TORBEL_DISK";

std::unique_ptr<DiskSystem> CreateHostDiskSystem();

// The platform's message text for a system error number ("" when unknown).
std::string HostSystemMessage(std::uint32_t code);

}  // namespace partshell
