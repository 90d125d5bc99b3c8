#include <cstdlib>

#include "partshell/host_disks.h"

namespace partshell {

HostDriveList ChooseHostDrives(const std::function<std::vector<std::string>()>& physical_drives) {
  const char* named = std::getenv(kDiskOverrideVariable);
  if (named != nullptr && *named != '\0') return {{named}, true};
  return {physical_drives(), false};
}

std::string DescribeHostDrive(const HostDriveList& drives, int n) {
  const std::string physical = PhysicalDriveName(n);
  if (n < 0 || static_cast<std::size_t>(n) >= drives.paths.size()) return physical;
  const std::string& path = drives.paths[static_cast<std::size_t>(n)];
  if (drives.named_by_variable) return "\"" + path + "\" (" + kDiskOverrideVariable + ")";
  return path == physical ? physical : physical + " (" + path + ")";
}

}  // namespace partshell
