// The program object: start-up as one instance, the command words, the move
// to the package directory, the choice of the main dialog's template, and the
// main dialog's run.
#pragma once

#include <windows.h>

#include "zolp/win32_host.h"

namespace zolp::win {

inline constexpr const char* kInstanceMutexName =
    "Global\\ZOLP-088FA840-B10D-11D3-BC36-006067709674";

class CZolpApp {
 public:
  // Answers false in every case: the process ends when it returns.
  bool InitInstance();

 private:
  bool AnotherInstanceRuns();
  void MoveToProgramDirectory(const Services& services);

  zolp::win32::Win32Host host_;
};

}  // namespace zolp::win
