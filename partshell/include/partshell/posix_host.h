// The POSIX host's single-instance lock and console control events.
#pragma once

#include <string>
#include <vector>

#include "partshell/host_services.h"

namespace partshell {

// Keeps a second shell off the disks this one works on, not off the machine:
// every disk the run may open (the image file or device TORBEL_DISK names, or
// the machine's drives) is held with flock on the file itself for the life of
// the process, and the kernel drops the locks when the process ends, however
// it ends. Shells on different disks run side by side. A disk that cannot be
// opened is not held (opening it for the run fails on its own).
class PosixInstanceLock : public InstanceLock {
 public:
  explicit PosixInstanceLock(std::vector<std::string> disks) : disks_(std::move(disks)) {}
  ~PosixInstanceLock() override;
  PosixInstanceLock(const PosixInstanceLock&) = delete;
  PosixInstanceLock& operator=(const PosixInstanceLock&) = delete;
  // The name (the Windows mutex's) is not looked at.
  bool HeldElsewhere(const std::string& name) override;
  bool Acquire(const std::string& name) override;

 private:
  bool TryLock();
  std::vector<std::string> disks_;
  std::vector<int> held_;
  bool locked_ = false;
};

// The disks a run on this machine may open, TORBEL_DISK's first.
std::vector<std::string> HostDiskPaths();

// SIGHUP is the console being closed, SIGTERM the system shutting down and
// SIGINT the Ctrl-C key.
class PosixControlEvents : public ControlEvents {
 public:
  void InstallCloseHandler(void (*onEvent)(ControlEvent)) override;
  void InstallInterruptHandler(void (*onEvent)(ControlEvent)) override;
  void RemoveHandlers() override;
};

}  // namespace partshell
