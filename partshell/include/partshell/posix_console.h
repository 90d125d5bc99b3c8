// The terminal console of POSIX hosts. On a terminal: raw key input with the
// usual escape sequences turned into the PC keyboard's codes, colours as
// ANSI sequences, and the terminal restored on every way out. On a pipe or
// file: keys read byte by byte, a line feed is Enter, no colour sequences.
#pragma once

#include <atomic>
#include <deque>

#include "partshell/console.h"

namespace partshell {

class PosixConsole : public Console {
 public:
  PosixConsole(int inputFd, int outputFd);
  ~PosixConsole() override;

  void Setup() override;
  void Restore() override;
  void Write(std::string_view text) override;
  std::uint16_t TextAttributes() const override { return attributes_; }
  void SetTextAttributes(std::uint16_t attributes) override;
  bool KeyAvailable() override;
  int ReadChar(int timeoutMs) override;
  void FlushInput() override;
  void PushKey(int key) override { pushedKey_.store(key); }
  void Beep() override;

  bool InputIsTerminal() const { return inputTty_; }

 private:
  int ReadByte(int timeoutMs);
  int TranslateEscape();

  int in_;
  int out_;
  bool inputTty_;
  bool outputTty_;
  std::uint16_t attributes_ = kAttrDefault;
  std::atomic<int> pushedKey_{-1};
  std::deque<int> queued_;
  bool lastWasCarriageReturn_ = false;
};

}  // namespace partshell
