// The POSIX host's single-instance lock and console control events.
#pragma once

#include <string>

#include "partshell/host_services.h"

namespace partshell {

// A lock file "/tmp/<name>" held with flock for the life of the process; the
// kernel drops it when the process ends, however it ends.
class PosixInstanceLock : public InstanceLock {
 public:
  explicit PosixInstanceLock(std::string directory = "/tmp") : directory_(std::move(directory)) {}
  ~PosixInstanceLock() override;
  bool HeldElsewhere(const std::string& name) override;
  bool Acquire(const std::string& name) override;

 private:
  bool TryLock(const std::string& name);
  std::string directory_;
  int fd_ = -1;
};

// SIGHUP is the console being closed, SIGTERM the system shutting down and
// SIGINT the Ctrl-C key.
class PosixControlEvents : public ControlEvents {
 public:
  void InstallCloseHandler(void (*onEvent)(ControlEvent)) override;
  void InstallInterruptHandler(void (*onEvent)(ControlEvent)) override;
  void RemoveHandlers() override;
};

}  // namespace partshell
