// The Windows host's single-instance mutex and console control handlers.
#pragma once

#include <string>

#include "partshell/host_services.h"

namespace partshell {

// A named mutex; its handle stays open until the process ends.
class Win32InstanceLock : public InstanceLock {
 public:
  ~Win32InstanceLock() override;
  bool HeldElsewhere(const std::string& name) override;
  bool Acquire(const std::string& name) override;

 private:
  void* mutex_ = nullptr;
};

class Win32ControlEvents : public ControlEvents {
 public:
  void InstallCloseHandler(void (*onEvent)(ControlEvent)) override;
  void InstallInterruptHandler(void (*onEvent)(ControlEvent)) override;
  void RemoveHandlers() override;
};

}  // namespace partshell
