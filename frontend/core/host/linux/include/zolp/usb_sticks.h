// USB sticks as the Linux kernel lays them out in sysfs: each entry of block/
// whose removable is 1, whose size is not 0 and whose device path runs through
// a USB device (.../usbN/...). The sysfs root is $ZOLP_SYSFS_ROOT when set (a
// test's own tree), else /sys. Which disks are in use (mounted, holding / or
// the package directory) is always asked of the kernel's /sys itself.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace zolp::linux_host {

using DevNumbers = std::pair<unsigned, unsigned>;  // major, minor

struct Stick {
  std::string name;  // "sdb"
  std::string node;  // "/dev/sdb"
  DevNumbers dev{};
  std::uint64_t bytes = 0;
  std::string vendor, model, rev, serial;
};

// Same serial, size, vendor, product and dev numbers: still the stick that was listed.
bool SameStick(const Stick& a, const Stick& b);

std::string SysfsRoot();

// The stick named so in block/, or why it is no stick: not removable, no
// medium, not on USB, or its /dev node does not carry its dev numbers.
std::optional<Stick> ReadStick(const std::string& root, const std::string& name,
                               std::string& why);
// Every stick of block/, in name order; what was passed over, with why, in skipped.
std::vector<Stick> FindSticks(const std::string& root,
                              std::vector<std::pair<std::string, std::string>>* skipped = nullptr);

// The whole disks that must not be written: those holding a mounted file
// system (/proc/self/mountinfo), and those holding / and packageDir, followed
// through partitions and the disks under device-mapper and md devices.
std::set<DevNumbers> DisksInUse(const std::string& packageDir);
// Why a stick is never written ("" when it may be).
std::string Refusal(const Stick& stick, const std::set<DevNumbers>& inUse);

}  // namespace zolp::linux_host
