// zolpcli: the front end's options on the command line, on the same portable
// core as the dialogs (the vellix runs, the drive rules, the copy and
// verification worker). Linux host: the USB sticks of sysfs.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace zolp::cli {

// Exit codes of zolpcli itself; the image commands end with vellix's code.
inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;   // a stick or a build failed
inline constexpr int kExitUsage = 2;    // a command line it does not take
inline constexpr int kExitRefused = 3;  // nothing written: refused, not confirmed, no stick

struct Console {
  std::FILE* out = stdout;
  std::FILE* err = stderr;
  std::FILE* in = stdin;
  bool inTerminal = false;
  bool outTerminal = false;
  std::string self;  // the program's own path: the tools are looked for beside it
};

int Run(const std::vector<std::string>& arguments, const Console& console);

}  // namespace zolp::cli
