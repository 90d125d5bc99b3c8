#include <cstdio>

#include "partshell/shell.h"

namespace partshell {
namespace {

constexpr std::size_t kBytesPerLine = 16;
constexpr std::size_t kLinesPerBlock = 16;

std::string HexLine(const std::uint8_t* data, std::size_t length, std::size_t offset, std::uint32_t base) {
  char field[16];
  std::snprintf(field, sizeof field, "%08lX ", static_cast<unsigned long>(base + offset));
  std::string line = field;
  std::string chars;
  for (std::size_t i = 0; i < kBytesPerLine; ++i) {
    const std::size_t at = offset + i;
    if (at < length) {
      std::snprintf(field, sizeof field, "%02X ", data[at]);
      line += field;
      chars += (data[at] >= 0x20 && data[at] < 0x7F) ? static_cast<char>(data[at]) : '.';
    } else {
      line += "   ";
      chars += ' ';
    }
    if (i == 7) line += ' ';
  }
  return line + " " + chars;
}

}  // namespace

int Shell::HexDump(const std::uint8_t* data, std::size_t length, std::uint32_t baseOffset) {
  for (std::size_t offset = 0, index = 0; offset < length; offset += kBytesPerLine, ++index) {
    if (index > 0 && index % kLinesPerBlock == 0) ShellWrite("\n");
    ShellWrite(HexLine(data, length, offset, baseOffset) + "\n");
    ++hexLineCount_;
    if (hexPageSize_ != 0) {
      if (hexLineCount_ % hexPageSize_ == 0 && PagePrompt() == 0) return 0;
    } else if (console().KeyAvailable()) {
      // A key pressed while the display runs pauses it.
      ReadKey();
      if (PagePrompt() == 0) return 0;
    }
    if (StopCode() != 0) return 0;
  }
  return 1;
}

void Shell::TraceHexDump(const std::uint8_t* data, std::size_t length, std::uint32_t baseOffset) {
  for (std::size_t offset = 0, index = 0; offset < length; offset += kBytesPerLine, ++index) {
    if (index > 0 && index % kLinesPerBlock == 0) TraceLog("", "%s", "");
    TraceLog("", "%s", HexLine(data, length, offset, baseOffset).c_str());
  }
}

}  // namespace partshell
