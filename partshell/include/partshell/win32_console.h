// The Windows console: console modes, cursor, text attributes and keys read
// the way the PC keyboard reader delivers them. When standard input is not
// a console, keys are read from it byte by byte (a line feed is Enter).
#pragma once

#include <atomic>

#include "partshell/console.h"

namespace partshell {

class Win32Console : public Console {
 public:
  Win32Console();
  ~Win32Console() override;

  void Setup() override;
  void Restore() override;
  void Write(std::string_view text) override;
  std::uint16_t TextAttributes() const override { return attributes_; }
  void SetTextAttributes(std::uint16_t attributes) override;
  bool KeyAvailable() override;
  int ReadChar(int timeoutMs) override;
  void FlushInput() override;
  void PushKey(int key) override;
  void Beep() override;

 private:
  void* in_;
  void* out_;
  bool inputIsConsole_ = false;
  bool outputIsConsole_ = false;
  bool saved_ = false;
  unsigned long savedMode_ = 0;
  unsigned long savedCursorSize_ = 25;
  bool savedCursorVisible_ = true;
  std::uint16_t savedAttributes_ = kAttrDefault;
  std::uint16_t attributes_ = kAttrDefault;
  std::atomic<int> pushedKey_{-1};
  int pendingByte_ = -1;
  bool lastWasCarriageReturn_ = false;
};

}  // namespace partshell
