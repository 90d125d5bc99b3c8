// The console the shell talks to: text out in colours, keys in, and the
// hooks that let control events reach the key reader.
#pragma once

#include <chrono>
#include <cstdint>
#include <string_view>
#include <thread>

namespace partshell {

// Text attributes use the PC console's 4-bit colour scheme on every host:
// low nibble foreground, high nibble background.
inline constexpr std::uint16_t kAttrBlue = 0x01;
inline constexpr std::uint16_t kAttrGreen = 0x02;
inline constexpr std::uint16_t kAttrRed = 0x04;
inline constexpr std::uint16_t kAttrIntensity = 0x08;
inline constexpr std::uint16_t kAttrDefault = 0x07;

// Result of Console::ReadChar when the input has ended for good (a closed
// pipe or file); terminals never report it.
inline constexpr int kEndOfInput = -1;

class Console {
 public:
  virtual ~Console() = default;

  // Saves cursor, mode and attributes and puts the console into the state
  // the line editor needs; Restore puts everything back. Both may be called
  // more than once.
  virtual void Setup() = 0;
  virtual void Restore() = 0;

  virtual void Write(std::string_view text) = 0;
  virtual std::uint16_t TextAttributes() const = 0;
  virtual void SetTextAttributes(std::uint16_t attributes) = 0;

  // True when ReadChar would return without waiting.
  virtual bool KeyAvailable() = 0;
  // One character the way the PC keyboard reader delivers it: plain
  // characters as themselves, special keys as a prefix (0 or 0xE0)
  // followed, on the next call, by the key's scan code. Waits at most
  // timeoutMs milliseconds; returns -2 when nothing came in that time.
  virtual int ReadChar(int timeoutMs) = 0;
  // Drops every key already waiting.
  virtual void FlushInput() = 0;
  // Makes the next ReadChar return this character (Ctrl-C arrives this way).
  virtual void PushKey(int key) = 0;
  virtual void Beep() = 0;
  // Lets time pass (DELAY, SLEEP). The host consoles sleep; a scripted one
  // may let no time pass at all.
  virtual void Wait(int milliseconds) {
    if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }
};

inline constexpr int kNoKeyYet = -2;

}  // namespace partshell
