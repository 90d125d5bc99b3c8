#include "partshell/frame_services.h"

namespace partshell {
namespace {
Shell* g_activeShell = nullptr;
}  // namespace

Shell* ActiveShell() { return g_activeShell; }
void SetActiveShell(Shell* shell) { g_activeShell = shell; }

void FrameEngineServices::PrintConsoleOnly(std::string_view text) {
  ConsolePrint("%.*s", static_cast<int>(text.size()), text.data());
}

void FrameEngineServices::Trace(std::string_view origin, std::string_view text) {
  const std::string o(origin);
  TraceLog(o.c_str(), "%.*s", static_cast<int>(text.size()), text.data());
}

void FrameEngineServices::HexDump(const std::uint8_t* data, std::size_t length, std::uint32_t base_offset) {
  if (g_activeShell != nullptr) {
    g_activeShell->HexDump(data, length, base_offset);
  } else {
    Shell::TraceHexDump(data, length, base_offset);
  }
}

void FrameEngineServices::TraceHexDump(const std::uint8_t* data, std::size_t length) {
  Shell::TraceHexDump(data, length, 0);
}

common::DateTime FrameEngineServices::Now() const { return CurrentLocalDateTime(); }

}  // namespace partshell
