// The image build worker: runs vellix on a worker thread and reports its exit
// code to the owning dialog.
#include "zolp/report.h"
#include "zolp/tool_runner.h"

namespace zolp {

std::int32_t ImageBuildThread(const Services& services, const BuildJob& job) {
  if (!ExtractTool(services, kToolResourceType, kVellixResource, kVellixPath)) {
    const std::uint32_t error = ReportLastError(services, false, "Find vellix.exe", "Error");
    // The dialog waits for 0x502 and must not read a failed extraction as a built image.
    const std::intptr_t posted = error != 0 ? static_cast<std::intptr_t>(error) : -1;
    services.ui->Post(job.owner, kMsgImageBuilt, posted, 0);
    return static_cast<std::int32_t>(posted);
  }

  LaunchRequest request;
  request.application = kVellixPath;
  request.commandLine = job.commandLine ? job.commandLine : "";
  request.noWindow = true;  // and an empty environment: the build time comes from the clock

  std::int32_t exitCode = -1;
  if (auto child = services.processes->Start(request)) {
    services.ui->BringMainWindowToFront();
    services.ui->ShowBuildingWindow();
    child->Wait();
    std::uint32_t code = 0;
    if (child->ExitCode(code)) {
      exitCode = static_cast<std::int32_t>(code);
    } else {
      ReportLastError(services, true, "GetExitCodeProcess", "Error");
      exitCode = -1;  // an unknown outcome is not a built image
    }
    child.reset();
    services.ui->BringMainWindowToFront();
    services.ui->CloseBuildingWindow();
  }

  if (exitCode != 0) ShowImageBuildError(services, exitCode);
  // The tool goes before 0x502: a dialog may start its next build as soon as
  // the message arrives, and that build's extraction must not meet this removal.
  DeleteToolFile(services, kVellixPath);
  services.ui->Post(job.owner, kMsgImageBuilt, exitCode, 0);
  return exitCode;
}

}  // namespace zolp
