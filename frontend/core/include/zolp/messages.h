// The worker messages and job records of the front end.
#pragma once

#include <cstddef>
#include <cstdint>

#include "zolp/host.h"

namespace zolp {

inline constexpr std::uint32_t kWmUser = 0x400;
// wParam 0 = done, a system error code or -1; lParam 0 or the failing step's text.
inline constexpr std::uint32_t kMsgJobFinished = 0x500;
// wParam percent done before the next piece (0..99); lParam 0, or a status text.
inline constexpr std::uint32_t kMsgProgress = 0x501;
// wParam the vellix exit code, or the system error of a failed extraction.
inline constexpr std::uint32_t kMsgImageBuilt = 0x502;

// Image build worker's job: the dialog owns it until 0x502 arrives.
struct BuildJob {
  WindowRef owner = 0;
  const char* commandLine = nullptr;  // "vellix.exe dd.cfg FLASH ..."
};

// Image copy worker's job: the dialog owns it (and the disk handle) until 0x500.
struct CopyJob {
  WindowRef owner = 0;
  DiskHandle* disk = nullptr;  // written from its current position
  const char* imagePath = nullptr;
  std::uint64_t capacity = 0;  // device bytes; 0 = not checked
  // With verify the copy starts at the disk's first sector, and what was
  // written is then read back through the disk handle and compared with the
  // image. The text of a failed verification names the first sector that
  // differs or could not be read; it is written to failureText (owned by the
  // dialog with the job), at which 0x500 then points.
  bool verify = false;
  // With clearTail (and a capacity) the copy then zeroes the device's last
  // MiB, or as much of it as lies past the image, and flushes after that.
  bool clearTail = false;
  char* failureText = nullptr;
  std::size_t failureTextSize = 0;
};

// lParam of 0x500 points at one of these static texts (or is 0).
inline const char* PostedText(std::intptr_t lParam) {
  return reinterpret_cast<const char*>(lParam);
}

}  // namespace zolp
