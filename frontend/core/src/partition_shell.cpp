// The partition command runner: one torbel run per command, or, in test mode,
// the same five commands emulated against C:\UP standing for SYS:.
#include <vector>

#include "common/text.h"
#include "text_lines.h"
#include "zolp/report.h"
#include "zolp/system_errors.h"
#include "zolp/tool_runner.h"

namespace zolp {

namespace {

constexpr int kMaxRuns = 4;
constexpr std::uint32_t kErrorInvalidHandle = 6;  // ERROR_INVALID_HANDLE
constexpr const char* kEmulationTitle = "Partition Command Emulation";

std::vector<std::string> SplitWords(std::string_view text) {
  std::vector<std::string> words;
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t start = text.find_first_not_of(" \t\r\n", i);
    if (start == std::string_view::npos) break;
    std::size_t end = text.find_first_of(" \t\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    words.emplace_back(text.substr(start, end - start));
    i = end;
  }
  return words;
}

// The emulation's own complaints must reach the tester even when no system
// call failed, so they carry a system error of their own.
std::uint32_t RefuseEmulation(const Services& services, std::uint32_t code, const char* text,
                              std::uint32_t* exitCode) {
  services.errors->SetLast(code);
  ReportLastError(services, false, text, kEmulationTitle);
  if (exitCode) *exitCode = 1;
  return 1;
}

std::uint32_t WrongArgumentCount(const Services& services, const char* command,
                                 std::uint32_t* exitCode) {
  const std::string text = Format("Emulating %s: Incorrect number of parameters", command);
  return RefuseEmulation(services, syserr::kInvalidParameter, text.c_str(), exitCode);
}

std::uint32_t RunEmulatedShell(const Services& services, const std::string& command,
                               std::uint32_t* exitCode) {
  std::uint32_t code = 0;
  const std::int32_t status = RunCommandShell(services, command, &code);
  if (exitCode) *exitCode = status == 0 ? code : 1;
  return static_cast<std::uint32_t>(status);
}

// A path of SYS: under C:\UP: "\DIAGS" and "DIAGS" (relative to the root,
// where torbel starts) both name C:\UP\DIAGS.
std::string UnderRoot(const std::string& root, const std::string& path) {
  return path.empty() || path[0] == '\\' ? root + path : root + "\\" + path;
}

std::uint32_t EmulatePartitionCommand(const Services& services, std::string_view commandText,
                                      std::uint32_t* exitCode) {
  const std::string root = kUpTestRoot;
  if (!services.files->Exists(root)) {
    if (exitCode) *exitCode = 1;
    return 1;
  }
  const std::vector<std::string> words = SplitWords(commandText);
  if (words.empty())
    return RefuseEmulation(services, syserr::kNotSupported,
                           "Emulating MD: Unsupported TORBEL Command", exitCode);
  const std::string& verb = words[0];
  const std::size_t args = words.size() - 1;
  auto is = [&](const char* name) { return common::EqualsIgnoreCase(verb, name); };

  if (is("COPYHD2SYS")) {
    if (args == 1)
      return RunEmulatedShell(services, Format("copy %s %s", words[1].c_str(), root.c_str()),
                              exitCode);
    if (args == 2)
      return RunEmulatedShell(
          services, Format("copy %s %s", words[1].c_str(), UnderRoot(root, words[2]).c_str()),
          exitCode);
    return WrongArgumentCount(services, "COPYHD2SYS", exitCode);
  }
  if (is("COPYSYS2HD")) {
    if (args == 1)
      return RunEmulatedShell(services, Format("copy %s %s", root.c_str(), words[1].c_str()),
                              exitCode);
    if (args == 2)
      return RunEmulatedShell(
          services, Format("copy %s %s", UnderRoot(root, words[1]).c_str(), words[2].c_str()),
          exitCode);
    return WrongArgumentCount(services, "COPYSYS2HD", exitCode);
  }
  if (is("IFEXISTS")) {
    if (args != 1) return WrongArgumentCount(services, "IFEXISTS", exitCode);
    std::string path = words[1];
    // "SYS:\DIAGS\X.EXE" names C:\UP\DIAGS\X.EXE.
    if (path.size() >= 4 && path[3] == ':') path = root + path.substr(4);
    if (exitCode) *exitCode = services.files->Exists(path) ? 0 : 1;
    return 0;
  }
  if (is("DEL")) {
    // cmd's del takes its quiet switch with a slash.
    if (args == 1)
      return RunEmulatedShell(services, "del " + UnderRoot(root, words[1]), exitCode);
    if (args == 2)
      return RunEmulatedShell(services, "del /Q " + UnderRoot(root, words[1]), exitCode);
    return WrongArgumentCount(services, "DEL", exitCode);
  }
  if (is("MD")) {
    if (args != 1) return WrongArgumentCount(services, "MD", exitCode);
    if (!services.files->MakeDirectory(UnderRoot(root, words[1]))) {
      if (exitCode) *exitCode = 1;
      const std::uint32_t error = services.errors->Last();
      return error != 0 ? error : 1;
    }
    if (exitCode) *exitCode = 0;
    return 0;
  }
  return RefuseEmulation(services, syserr::kNotSupported,
                         "Emulating MD: Unsupported TORBEL Command", exitCode);
}

void AppendDebugLog(const Services& services, const std::string& commandLine) {
  if (auto log = services.files->OpenAppend(kDebugLog)) {
    const std::string line = commandLine + "\n";
    log->Write(line.data(), static_cast<std::uint32_t>(line.size()));
  }
  RunCommandShell(services, "COPY zolp.log+torbel.log zolp.log");
}

}  // namespace

std::uint32_t RunPartitionShell(const Services& services, std::string_view command,
                                std::uint32_t* exitCode) {
  if (services.options.upTest) return EmulatePartitionCommand(services, command, exitCode);

  if (!ExtractTool(services, kToolResourceType, kTorbelResource, kTorbelPath)) {
    const std::uint32_t error = ReportLastError(services, false, "Find torbel.exe", "Error");
    if (exitCode) *exitCode = 1;
    return error != 0 ? error : syserr::kResourceTypeNotFound;
  }

  const bool debug = services.options.debug;
  const std::string commandText(command);
  LaunchRequest request;
  request.commandLine = debug ? Format(".\\torbel.exe /TDE %s -VERBOSE", commandText.c_str())
                              : Format(".\\torbel.exe /TDE %s", commandText.c_str());
  if (!debug) request.environment = {"LOGALL=NUL"};
  request.noWindow = true;

  std::uint32_t status = 0;
  std::uint32_t code = 0;
  for (int run = 0; run < kMaxRuns; ++run) {
    status = 0;
    code = 0;
    auto child = services.processes->Start(request);
    if (!child) {
      status = services.errors->Last();
      // Never let a shell that did not run read as a successful one.
      if (status == 0) status = syserr::kFileNotFound;
      code = kExitCodeUnknown;
    } else {
      child->Wait();
      if (!child->ExitCode(code)) {
        // A lost exit code is no success: the status says why, the exit code says
        // nothing, and the command is tried again like any that did not end in 0.
        status = ReportLastError(services, true, "GetExitCodeProcess failed", "Error");
        if (status == 0) status = kErrorInvalidHandle;
        code = kExitCodeUnknown;
      }
      if (debug) AppendDebugLog(services, request.commandLine);
      if (services.options.verbose) {
        const std::string text =
            exitCode ? Format("\"%s\" execStatus = %d, exitCode=%d", request.commandLine.c_str(),
                              static_cast<int>(status), static_cast<int>(code))
                     : Format("\"%s\" execStatus = %d", request.commandLine.c_str(),
                              static_cast<int>(status));
        services.ui->ShowMessage(text, "Verbose", MessageIcon::Information);
      }
    }
    if (exitCode == nullptr || code == 0) break;
  }
  if (exitCode) *exitCode = code;
  DeleteToolFile(services, kTorbelPath);
  return status;
}

}  // namespace zolp
