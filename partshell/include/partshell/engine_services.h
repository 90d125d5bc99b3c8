// What the disk and volume engine needs of whoever runs it: the console and
// the session log, the verbose switch and the clock. The shell frame
// implements it; tests use the capturing version.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/dos_time.h"
#include "common/text.h"

namespace partshell {

// The host clock as local calendar time.
common::DateTime CurrentLocalDateTime();


class EngineServices {
 public:
  virtual ~EngineServices() = default;
  // Console, and the session log when LOGALL is on.
  virtual void Print(std::string_view text) = 0;
  // Console only (progress texts and the drive scan's verbose lines).
  virtual void PrintConsoleOnly(std::string_view text) = 0;
  // Session log only, "[origin] text\n" or "text\n" for an empty origin.
  virtual void Trace(std::string_view origin, std::string_view text) = 0;
  // The paged hex display on the console and its session-log form.
  virtual void HexDump(const std::uint8_t* data, std::size_t length, std::uint32_t base_offset) = 0;
  virtual void TraceHexDump(const std::uint8_t* data, std::size_t length) = 0;
  virtual bool Verbose() const = 0;
  virtual common::DateTime Now() const = 0;
};

// Console on standard output, no log, the local clock. Tests derive from it
// to capture what is printed.
class StdoutEngineServices : public EngineServices {
 public:
  void Print(std::string_view text) override;
  void PrintConsoleOnly(std::string_view text) override;
  void Trace(std::string_view origin, std::string_view text) override;
  void HexDump(const std::uint8_t* data, std::size_t length, std::uint32_t base_offset) override;
  void TraceHexDump(const std::uint8_t* data, std::size_t length) override;
  bool Verbose() const override { return verbose; }
  common::DateTime Now() const override;

  bool verbose = false;
};

// printf-style formatting into a std::string (the shell's texts are printf formats).
using common::Format;

}  // namespace partshell
