// cmd.exe for the native tests: the few local commands the front end hands the
// system's command interpreter ("copy", "del", "md", as the partition update's
// test and debug modes use them) carried out on the mapped file system. Any
// other program goes to the launcher behind it.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "zolp/host.h"
#include "zolp/sim/mapped_file_system.h"

namespace zolp::testing {

class CommandInterpreterStandIn final : public ProcessLauncher {
 public:
  CommandInterpreterStandIn(sim::MappedFileSystem& files, ProcessLauncher& others)
      : files_(files), others_(others) {}

  std::unique_ptr<ChildProcess> Start(const LaunchRequest& request) override;

  // The commands cmd.exe was given, in order.
  std::vector<std::string> Commands() const;

 private:
  std::uint32_t Run(const std::string& command);
  std::uint32_t Copy(const std::vector<std::string>& words);
  std::uint32_t Delete(const std::vector<std::string>& words);

  sim::MappedFileSystem& files_;
  ProcessLauncher& others_;
  mutable std::mutex mutex_;
  std::vector<std::string> commands_;
};

}  // namespace zolp::testing
