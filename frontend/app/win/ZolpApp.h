// The program object: start-up as one instance, the command words, the move
// to the package directory, the choice of the main dialog's template, and the
// main dialog's run.
#pragma once

#include <windows.h>

#include <functional>

#include "zolp/win32_host.h"

namespace zolp::win {

inline constexpr const char* kInstanceMutexName =
    "Global\\ZOLP-088FA840-B10D-11D3-BC36-006067709674";

class CZolpApp {
 public:
  // Changes the wired services before any dialog sees them (ZOLPSIM.exe puts
  // its simulated devices in); answering false ends the program at once.
  using ServicesHook = std::function<bool(Services&)>;

  explicit CZolpApp(ServicesHook adjustServices = {}) : adjustServices_(std::move(adjustServices)) {}

  // Answers false in every case: the process ends when it returns.
  bool InitInstance();

 private:
  bool AnotherInstanceRuns();
  void MoveToProgramDirectory(const Services& services);

  zolp::win32::Win32Host host_;
  ServicesHook adjustServices_;
};

}  // namespace zolp::win
