// Runs the Linux builds of the front end's tools for the command lines the
// front end builds, so that native tests make real media: a request for
// ".\vellix.exe" with `vellix.exe dd.cfg HDD -v"A05" -i"C:\PACKAGE\x.img"`
// starts the Linux vellix in the mapped current directory, with the command
// line split as the Windows C runtime splits it and every Windows absolute
// path (also one glued to a switch, as in -iC:\...) mapped into the host
// directory. The tool file the front end extracted must be present, as the
// real system needs it. POSIX hosts only.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "zolp/command_line.h"
#include "zolp/host.h"
#include "zolp/sim/mapped_file_system.h"

namespace zolp::sim {

class LinuxToolLauncher final : public ProcessLauncher {
 public:
  // Output of every run (standard output and error) is appended to outputLog.
  LinuxToolLauncher(MappedFileSystem& files, SystemErrors& errors,
                    std::filesystem::path outputLog);

  // The exit code a Windows program would have given, from the 8 bits a Linux
  // exit status keeps.
  using ExitCodeOf = std::uint32_t (*)(std::uint32_t status);

  // The Linux program that stands for a Windows one ("vellix.exe"); without
  // exitCodeOf the status is the exit code.
  void AddTool(const std::string& windowsName, std::filesystem::path program,
               ExitCodeOf exitCodeOf = nullptr);
  // Added to every run's environment, after the front end's own (for example a
  // fixed BUILDSETTIME, so that two builds can be compared byte for byte).
  std::vector<std::string> addedEnvironment;

  std::unique_ptr<ChildProcess> Start(const LaunchRequest& request) override;

  // Every request so far, as the front end made it, and the argument vectors
  // of the runs that started, after the path mapping.
  std::vector<LaunchRequest> Requests() const;
  std::vector<std::vector<std::string>> Runs() const;
  std::string Output() const;

 private:
  MappedFileSystem& files_;
  SystemErrors& errors_;
  std::filesystem::path outputLog_;
  struct Tool {
    std::filesystem::path program;
    ExitCodeOf exitCodeOf = nullptr;
  };
  std::map<std::string, Tool> tools_;
  mutable std::mutex mutex_;
  std::vector<LaunchRequest> requests_;
  std::vector<std::vector<std::string>> runs_;
};

using ::zolp::SplitCommandLine;
using ::zolp::TorbelExitCode;

}  // namespace zolp::sim
