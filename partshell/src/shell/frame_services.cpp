#include "partshell/frame_services.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace partshell {
namespace {
Shell* g_activeShell = nullptr;
}  // namespace

Shell* ActiveShell() { return g_activeShell; }
void SetActiveShell(Shell* shell) { g_activeShell = shell; }

void FrameShellServices::PrintConsoleOnly(std::string_view text) {
  ConsolePrint("%.*s", static_cast<int>(text.size()), text.data());
}

void FrameShellServices::Trace(std::string_view origin, std::string_view text) {
  const std::string o(origin);
  TraceLog(o.c_str(), "%.*s", static_cast<int>(text.size()), text.data());
}

void FrameShellServices::HexDump(const std::uint8_t* data, std::size_t length, std::uint32_t base_offset) {
  if (g_activeShell != nullptr) {
    g_activeShell->HexDump(data, length, base_offset);
  } else {
    Shell::TraceHexDump(data, length, base_offset);
  }
}

void FrameShellServices::TraceHexDump(const std::uint8_t* data, std::size_t length) {
  Shell::TraceHexDump(data, length, 0);
}

bool FrameShellServices::PutLocalVariable(std::string_view assignment) {
  return EnvPutValue(std::string(assignment)) == 0;
}

LocalDateTime FrameShellServices::Now() const { return CurrentLocalDateTime(); }

void FrameShellServices::EndProcess(int exit_code) {
  if (g_activeShell != nullptr) g_activeShell->console().Restore();
  std::fflush(stdout);
  std::exit(exit_code);
}

}  // namespace partshell
