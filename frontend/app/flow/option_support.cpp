#include "flow/option_support.h"

#include "zolp/image_copy.h"
#include "zolp/package_config.h"
#include "zolp/tool_runner.h"

namespace zolp {

std::optional<std::string> ReadPackageVersion(const Services& services) {
  char value[kPackageVersionMax + 1] = {};
  if (!FindPackageValue(services, kVersionFile, "OEM Ver", true, value, sizeof value))
    return std::nullopt;
  return std::string(value);
}

std::string VolumeLabel(const Services& services) {
  return ReadPackageVersion(services).value_or("Unknown");
}

// The worker gets its own copy of the services and of the job record; what
// the record points at stays with the dialog until the worker's last message.
bool StartImageBuild(const Services& services, const BuildJob& job) {
  return services.workers->StartThread([services, job] { ImageBuildThread(services, job); });
}

bool StartImageCopy(const Services& services, const CopyJob& job) {
  return services.workers->StartThread([services, job] { ImageCopyThread(services, job); });
}

}  // namespace zolp
