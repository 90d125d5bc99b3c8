// Small host services the shell frame needs besides the console.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "partshell/local_files.h"

namespace partshell {

// A named lock that spans the whole system, so that only one shell works on
// the disks at a time.
class InstanceLock {
 public:
  virtual ~InstanceLock() = default;
  // True when another process holds the lock of this name.
  virtual bool HeldElsewhere(const std::string& name) = 0;
  // Takes the lock for the rest of the process's life; false if it could
  // not be taken.
  virtual bool Acquire(const std::string& name) = 0;
};

// Console control events reported by the host. The shell stores a stop code
// for the first three; the interrupt pushes a Ctrl-C key.
enum class ControlEvent { kClose, kLogoff, kShutdown, kInterrupt };

class ControlEvents {
 public:
  virtual ~ControlEvents() = default;
  // The callback may run on another thread or in a signal handler: it only
  // stores a value or pushes a key.
  virtual void InstallCloseHandler(void (*onEvent)(ControlEvent)) = 0;
  virtual void InstallInterruptHandler(void (*onEvent)(ControlEvent)) = 0;
  virtual void RemoveHandlers() = 0;
};

// The name of the operating system for the version display, or an empty
// text when the system is too old to run the shell.
std::string HostOperatingSystemName();

// The process environment as NAME=value texts, in the system's order.
std::vector<std::string> HostProcessEnvironment();

// The host's local file system.
std::unique_ptr<LocalFiles> CreateHostLocalFiles();

}  // namespace partshell
