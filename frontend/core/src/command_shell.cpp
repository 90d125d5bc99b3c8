// Local copy, delete and make-directory commands through the system's
// command interpreter.
#include "zolp/report.h"
#include "zolp/tool_runner.h"

namespace zolp {

namespace {
constexpr std::uint16_t kSwForceMinimize = 11;
constexpr std::uint32_t kErrorInvalidHandle = 6;  // ERROR_INVALID_HANDLE
constexpr std::uint32_t kErrorPathNotFound = 3;   // ERROR_PATH_NOT_FOUND
}  // namespace

std::int32_t RunCommandShell(const Services& services, std::string_view command,
                             std::uint32_t* exitCode) {
  // Every way out but a command that ran and told its exit code leaves no exit
  // code to believe.
  if (exitCode) *exitCode = kExitCodeUnknown;
  std::string systemDirectory;
  if (!services.files->SystemDirectory(systemDirectory)) {
    const std::uint32_t error = services.errors->Last();
    return static_cast<std::int32_t>(error != 0 ? error : kErrorPathNotFound);
  }

  LaunchRequest request;
  request.commandLine = Format("\"%s\\cmd.exe\" /C \"%.*s\"", systemDirectory.c_str(),
                               static_cast<int>(command.size()), command.data());
  request.noWindow = true;
  request.showWindow = kSwForceMinimize;

  auto child = services.processes->Start(request);
  if (!child) return -1;
  child->Wait();
  std::uint32_t code = 0;
  // Without the exit code the command's outcome is unknown: say so rather than succeed.
  if (!child->ExitCode(code)) {
    const std::uint32_t error = ReportLastError(services, true, "GetExitCodeProcess", "Error");
    return static_cast<std::int32_t>(error != 0 ? error : kErrorInvalidHandle);
  }
  if (exitCode) *exitCode = code;
  return 0;
}

}  // namespace zolp
