// A console for tests: keys come from a script, output is collected, and
// every change of colour is recorded in the output as "<attr:XX>".
#pragma once

#include <deque>
#include <string>

#include "partshell/console.h"

namespace partshell::test {

class ScriptedConsole : public Console {
 public:
  explicit ScriptedConsole(std::string keys = {}, bool markColours = false)
      : markColours_(markColours) {
    Type(keys);
  }

  // A line feed stands for the Enter key (13), as on the real consoles.
  void Type(const std::string& keys) {
    for (unsigned char c : keys) keys_.push_back(c == '\n' ? 13 : c);
  }
  // A special key as the PC keyboard sends it: prefix, then scan code.
  void TypeSpecial(int scanCode) {
    keys_.push_back(0xE0);
    keys_.push_back(scanCode);
  }

  void Setup() override { ++setups; }
  void Restore() override { ++restores; }
  void Write(std::string_view text) override { output.append(text); }
  std::uint16_t TextAttributes() const override { return attributes_; }
  void SetTextAttributes(std::uint16_t attributes) override {
    attributes_ = attributes;
    if (markColours_) {
      char mark[16];
      std::snprintf(mark, sizeof mark, "<attr:%02X>", attributes);
      output += mark;
    }
  }
  bool KeyAvailable() override { return !keys_.empty(); }
  int ReadChar(int) override {
    if (keys_.empty()) return kEndOfInput;
    int c = keys_.front();
    keys_.pop_front();
    return c;
  }
  void FlushInput() override {}
  void PushKey(int key) override { keys_.push_front(key); }
  void Beep() override { ++beeps; }
  // No time passes; the waits are added up instead.
  void Wait(int milliseconds) override { waited_ms += milliseconds; }

  std::string output;
  int beeps = 0;
  long long waited_ms = 0;
  int setups = 0;
  int restores = 0;

 private:
  std::deque<int> keys_;
  std::uint16_t attributes_ = kAttrDefault;
  bool markColours_;
};

}  // namespace partshell::test
