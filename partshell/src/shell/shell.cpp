#include "partshell/shell.h"

#include <cstdio>
#include <cstdlib>

namespace partshell {
namespace {

constexpr int kKeyPollMs = 50;
constexpr const char* kClearMore = "\r                 \r";

// Scan codes of the special keys the line editor knows, and the control
// codes they stand for.
int MapExtendedKey(int scanCode) {
  switch (scanCode) {
    case 0x47: return 1;   // Home
    case 0x4D: return 4;   // Right
    case 0x48: return 5;   // Up
    case 0x4F: return 6;   // End
    case 0x53: return 7;   // Delete
    case 0x4B: return 19;  // Left
    case 0x50: return 24;  // Down
    default: return 0x1B00 + scanCode;
  }
}

}  // namespace

Shell::Shell(Console& console, PartitionAccess& partition, LocalFiles& local_files)
    : console_(console), partition_(partition), local_files_(local_files) {}

void Shell::EndRunOnFatalCondition() {
  const int code = partition_.FatalCondition();
  if (code == 0) return;
  console_.Restore();
  std::fflush(stdout);
  if (processEnd_ != nullptr) processEnd_(code);
  std::exit(code);
}

std::atomic<int>& Shell::StopCodeCell() {
  static std::atomic<int> stopCode{0};
  return stopCode;
}

void Shell::SetErrorLevel(int value) {
  errorLevel_ = value;
  EnvPutValue("$?=" + std::to_string(value));
  EnvPutValue("ERRORLEVEL=" + std::to_string(value));
}

int Shell::ReadKey() {
  for (;;) {
    if (StopCode() != 0 || inputEnded_) return 27;
    int c = console_.ReadChar(kKeyPollMs);
    if (c == kNoKeyYet) continue;
    if (c == kEndOfInput) {
      inputEnded_ = true;
      return 27;
    }
    if (c == 0 || c == 0xE0) {
      int scan = kNoKeyYet;
      while (scan == kNoKeyYet && StopCode() == 0) scan = console_.ReadChar(kKeyPollMs);
      if (scan == kEndOfInput) {
        inputEnded_ = true;
        return 27;
      }
      if (scan == kNoKeyYet) return 27;
      int key = MapExtendedKey(scan);
      if (key == 0) continue;
      return key;
    }
    return c;
  }
}

int Shell::PagePrompt() {
  console_.FlushInput();
  ShellPrint("-- more -- ?");
  int key = ReadKey();
  ShellPrint("%s", kClearMore);
  switch (key) {
    case 3:
    case 27:
    case 'Q':
    case 'q':
    case 'X':
    case 'x':
      return 0;
    case 'C':
    case 'c':
      SetHexPageSize(0);
      return 1;
    default:
      return 1;
  }
}

void Shell::PrintInColour(std::uint16_t attributes, const std::string& text) {
  std::uint16_t previous = console_.TextAttributes();
  console_.SetTextAttributes(attributes);
  ShellWrite(text);
  console_.SetTextAttributes(previous);
}

std::string Shell::BuildPrompt() const {
  const char* kind = "FAT16";
  std::uint8_t type = partition_.PartitionType();
  if (type == 0xDE) kind = "UP";
  if (type == 0xDF) kind = "HVP";
  char head[64];
  std::snprintf(head, sizeof head, "%s[%s,%d,%02X]:", "SYS:", kind, partition_.PartitionIndex(),
                static_cast<unsigned>(type));
  return head + partition_.CurrentDirectory();
}

}  // namespace partshell
