// Runs the Linux builds of the front end's tools for the command lines the
// front end builds, so that native tests make real media: a request for
// ".\vellix.exe" with `vellix.exe dd.cfg HDD -v"A05" -i"C:\PACKAGE\x.img"`
// starts the Linux vellix in the mapped current directory, with the command
// line split as the Windows C runtime splits it and every Windows absolute
// path (also one glued to a switch, as in -iC:\...) mapped into the host
// directory. The tool file the front end extracted must be present, as the
// real system needs it. POSIX hosts only.
#pragma once

#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "zolp/host.h"
#include "zolp/sim/mapped_file_system.h"

namespace zolp::sim {

class LinuxToolLauncher final : public ProcessLauncher {
 public:
  // Output of every run (standard output and error) is appended to outputLog.
  LinuxToolLauncher(MappedFileSystem& files, SystemErrors& errors,
                    std::filesystem::path outputLog);

  // The Linux program that stands for a Windows one ("vellix.exe").
  void AddTool(const std::string& windowsName, std::filesystem::path program);
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
  std::map<std::string, std::filesystem::path> tools_;
  mutable std::mutex mutex_;
  std::vector<LaunchRequest> requests_;
  std::vector<std::vector<std::string>> runs_;
};

// A command line split into arguments by the rules of the Windows C runtime:
// blanks separate, double quotes group, 2n backslashes before a quote give n
// and the quote groups, 2n+1 give n and a literal quote.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

}  // namespace zolp::sim
