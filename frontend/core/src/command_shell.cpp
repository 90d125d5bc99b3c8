// Local copy, delete and make-directory commands through the system's
// command interpreter.
#include "zolp/report.h"
#include "zolp/tool_runner.h"

namespace zolp {

namespace {
constexpr std::uint16_t kSwForceMinimize = 11;
}

std::int32_t RunCommandShell(const Services& services, std::string_view command,
                             std::uint32_t* exitCode) {
  std::string systemDirectory;
  if (!services.files->SystemDirectory(systemDirectory))
    return static_cast<std::int32_t>(services.errors->Last());

  LaunchRequest request;
  request.commandLine = Format("\"%s\\cmd.exe\" /C \"%.*s\"", systemDirectory.c_str(),
                               static_cast<int>(command.size()), command.data());
  request.noWindow = true;
  request.showWindow = kSwForceMinimize;

  auto child = services.processes->Start(request);
  if (!child) return -1;
  child->Wait();
  std::uint32_t code = 0;
  std::int32_t result = 0;
  // Without the exit code the command's outcome is unknown: say so rather than succeed.
  if (!child->ExitCode(code))
    result =
        static_cast<std::int32_t>(ReportLastError(services, true, "GetExitCodeProcess", "Error"));
  if (exitCode) *exitCode = code;
  return result;
}

}  // namespace zolp
