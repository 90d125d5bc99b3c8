// The real platform under the front end's services: Win32 implementations of
// every host interface, gathered in one object the program creates at start-up.
#pragma once

#include <memory>

#include "zolp/host.h"

namespace zolp::win32 {

class Win32Host {
 public:
  Win32Host();
  ~Win32Host();
  Win32Host(const Win32Host&) = delete;
  Win32Host& operator=(const Win32Host&) = delete;

  // Services on the real system, with the options read from the command words.
  Services Wire(RunOptions options);

  // The owner of message boxes and the window brought to the front (an HWND).
  void SetMainWindow(WindowRef window);

  struct Parts;

 private:
  std::unique_ptr<Parts> parts_;
};

// Factories for the single parts, for programs that want only some of them.
std::unique_ptr<SystemErrors> MakeSystemErrors();
std::unique_ptr<ProcessLauncher> MakeProcessLauncher();
std::unique_ptr<ResourceStore> MakeResourceStore();
std::unique_ptr<FileSystem> MakeFileSystem();
std::unique_ptr<Clock> MakeClock();
std::unique_ptr<Security> MakeSecurity();
std::unique_ptr<Memory> MakeMemory();
std::unique_ptr<DeviceCatalog> MakeDeviceCatalog();
std::unique_ptr<Workers> MakeWorkers();
// A disk handle over an already open HANDLE (taken over and closed).
std::unique_ptr<DiskHandle> MakeDiskHandle(void* handle);

}  // namespace zolp::win32
