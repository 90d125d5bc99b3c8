#include "flow/option_support.h"

#include "zolp/image_copy.h"
#include "zolp/package_config.h"
#include "zolp/report.h"
#include "zolp/tool_runner.h"

namespace zolp {

// The worker gets its own copy of the services and of the job record; what
// the record points at stays with the dialog until the worker's last message.
bool StartImageBuild(const Services& services, const BuildJob& job) {
  return services.workers->StartThread([services, job] { ImageBuildThread(services, job); });
}

bool StartImageCopy(const Services& services, const CopyJob& job) {
  return services.workers->StartThread([services, job] { ImageCopyThread(services, job); });
}

bool StartBuildJob(const Services& services, std::optional<BuildJob>& job, WindowRef owner,
                   const std::string& commandLine) {
  job = BuildJob{owner, commandLine.c_str()};
  if (StartImageBuild(services, *job)) return true;
  ReportLastError(services, false, "Start vellix", "Error");
  job.reset();
  return false;
}

std::string CopyFailureMessage(const Services& services, std::intptr_t error, const char* step) {
  const std::string text = step ? step : "";
  return error == -1 ? text : FormatSystemError(services, static_cast<std::uint32_t>(error), text);
}

}  // namespace zolp
