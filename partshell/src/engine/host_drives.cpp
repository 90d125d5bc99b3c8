#include <cstdlib>

#include "partshell/host_disks.h"

namespace partshell {

HostDriveList ChooseHostDrives(const std::function<std::vector<std::string>()>& physical_drives) {
  const char* named = std::getenv(kDiskOverrideVariable);
  if (named != nullptr && *named != '\0') return {{named}, true};
  return {physical_drives(), false};
}

}  // namespace partshell
