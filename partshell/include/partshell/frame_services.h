// The frame's side of what the disk and volume engine asks of it: output
// through the console and the session log, the verbose mode and the clock.
#pragma once

#include "partshell/engine_services.h"
#include "partshell/shell.h"

namespace partshell {

// Works with whichever shell is running (RunTorbel makes it the active one),
// so the volume layers can be built before the shell itself.
class FrameEngineServices : public EngineServices {
 public:
  void Print(std::string_view text) override { ShellWrite(text); }
  void PrintConsoleOnly(std::string_view text) override;
  void Trace(std::string_view origin, std::string_view text) override;
  void HexDump(const std::uint8_t* data, std::size_t length, std::uint32_t base_offset) override;
  void TraceHexDump(const std::uint8_t* data, std::size_t length) override;
  bool Verbose() const override { return VerboseMode(); }
  common::DateTime Now() const override;
};

// The shell of the current run, or null outside RunTorbel.
Shell* ActiveShell();
void SetActiveShell(Shell* shell);

}  // namespace partshell
