#include "partshell/engine_services.h"

#include <cstdio>
#include <ctime>

#include "partshell/block_device.h"

namespace partshell {

std::string PhysicalDriveName(int n) { return Format("\\\\.\\PHYSICALDRIVE%d", n); }

void StdoutEngineServices::Print(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
}

void StdoutEngineServices::PrintConsoleOnly(std::string_view text) { Print(text); }

void StdoutEngineServices::Trace(std::string_view, std::string_view) {}

void StdoutEngineServices::HexDump(const std::uint8_t* data, std::size_t length, std::uint32_t base_offset) {
  for (std::size_t line = 0; line < length; line += 16) {
    std::string text = Format("%08X  ", static_cast<unsigned>(base_offset + line));
    for (std::size_t i = line; i < line + 16 && i < length; ++i) text += Format("%02X ", data[i]);
    text += "\n";
    Print(text);
  }
}

void StdoutEngineServices::TraceHexDump(const std::uint8_t*, std::size_t) {}

common::DateTime CurrentLocalDateTime() {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
#if defined(_WIN32)
  localtime_s(&parts, &now);
#else
  localtime_r(&now, &parts);
#endif
  return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec};
}

common::DateTime StdoutEngineServices::Now() const { return CurrentLocalDateTime(); }

}  // namespace partshell
