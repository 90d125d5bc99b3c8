// The frame's side of what the disk and volume layers ask of the shell:
// output through the console and session log, the verbose mode, the local
// environment, the clock and the fatal exit.
#pragma once

#include "partshell/shell.h"
#include "partshell/shell_services.h"

namespace partshell {

// Works with whichever shell is running (RunTorbel makes it the active one),
// so the volume layers can be built before the shell itself.
class FrameShellServices : public ShellServices {
 public:

  void Print(std::string_view text) override { ShellWrite(text); }
  void PrintConsoleOnly(std::string_view text) override;
  void Trace(std::string_view origin, std::string_view text) override;
  void HexDump(const std::uint8_t* data, std::size_t length, std::uint32_t base_offset) override;
  void TraceHexDump(const std::uint8_t* data, std::size_t length) override;
  bool Verbose() const override { return VerboseMode(); }
  bool PutLocalVariable(std::string_view assignment) override;
  LocalDateTime Now() const override;
  // Puts the console back before the process ends.
  [[noreturn]] void EndProcess(int exit_code) override;
};

// The shell of the current run, or null outside RunTorbel.
Shell* ActiveShell();
void SetActiveShell(Shell* shell);

}  // namespace partshell
