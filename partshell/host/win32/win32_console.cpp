#include "partshell/win32_console.h"

#include <windows.h>
#include <conio.h>

#include <cstdio>

namespace partshell {

Win32Console::Win32Console() : in_(GetStdHandle(STD_INPUT_HANDLE)), out_(GetStdHandle(STD_OUTPUT_HANDLE)) {
  DWORD mode = 0;
  inputIsConsole_ = in_ != INVALID_HANDLE_VALUE && in_ != nullptr && GetConsoleMode(in_, &mode) != 0;
  outputIsConsole_ = out_ != INVALID_HANDLE_VALUE && out_ != nullptr && GetConsoleMode(out_, &mode) != 0;
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (outputIsConsole_ && GetConsoleScreenBufferInfo(out_, &info) != 0) attributes_ = info.wAttributes;
}

Win32Console::~Win32Console() { Restore(); }

void Win32Console::Setup() {
  if (saved_) return;
  saved_ = true;
  if (outputIsConsole_) {
    CONSOLE_CURSOR_INFO cursor{};
    if (GetConsoleCursorInfo(out_, &cursor) != 0) {
      savedCursorSize_ = cursor.dwSize;
      savedCursorVisible_ = cursor.bVisible != FALSE;
    }
    CONSOLE_CURSOR_INFO wanted{60, TRUE};
    SetConsoleCursorInfo(out_, &wanted);
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (GetConsoleScreenBufferInfo(out_, &info) != 0) {
      savedAttributes_ = info.wAttributes;
      attributes_ = info.wAttributes;
    }
  }
  if (inputIsConsole_) {
    DWORD mode = 0;
    if (GetConsoleMode(in_, &mode) != 0) savedMode_ = mode;
  }
}

void Win32Console::Restore() {
  if (!saved_) return;
  saved_ = false;
  if (outputIsConsole_) {
    CONSOLE_CURSOR_INFO cursor{savedCursorSize_, savedCursorVisible_ ? TRUE : FALSE};
    SetConsoleCursorInfo(out_, &cursor);
    SetConsoleTextAttribute(out_, savedAttributes_);
    attributes_ = savedAttributes_;
  }
  if (inputIsConsole_) SetConsoleMode(in_, savedMode_);
}

void Win32Console::Write(std::string_view text) {
  const DWORD lastError = GetLastError();
  if (outputIsConsole_) {
    DWORD written = 0;
    WriteConsoleA(out_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  } else if (out_ != nullptr && out_ != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    WriteFile(out_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  } else {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
  }
  SetLastError(lastError);
}

void Win32Console::SetTextAttributes(std::uint16_t attributes) {
  attributes_ = attributes;
  if (outputIsConsole_) SetConsoleTextAttribute(out_, attributes);
}

bool Win32Console::KeyAvailable() {
  if (pushedKey_.load() >= 0 || pendingByte_ >= 0) return true;
  // A script on standard input holds no typed-ahead keys: its next line is
  // for the prompt, not for pausing a display.
  return inputIsConsole_ && _kbhit() != 0;
}

int Win32Console::ReadChar(int timeoutMs) {
  int pushed = pushedKey_.exchange(-1);
  if (pushed >= 0) return pushed;
  if (inputIsConsole_) {
    const DWORD start = GetTickCount();
    for (;;) {
      if (_kbhit() != 0) return _getch();
      if (static_cast<int>(GetTickCount() - start) >= timeoutMs) return kNoKeyYet;
      Sleep(10);
    }
  }
  int c = pendingByte_;
  pendingByte_ = -1;
  if (c < 0) {
    unsigned char byte = 0;
    DWORD read = 0;
    if (ReadFile(in_, &byte, 1, &read, nullptr) == 0 || read == 0) return kEndOfInput;
    c = byte;
  }
  const bool afterCarriageReturn = lastWasCarriageReturn_;
  lastWasCarriageReturn_ = c == '\r';
  if (c == '\n') return afterCarriageReturn ? kNoKeyYet : 13;
  if (c == '\r') return 13;
  return c;
}

void Win32Console::FlushInput() {
  if (inputIsConsole_) FlushConsoleInputBuffer(in_);
}

void Win32Console::PushKey(int key) {
  if (inputIsConsole_) {
    // The key goes into the console's own input, so whatever waits for a
    // key sees it next.
    INPUT_RECORD record{};
    record.EventType = KEY_EVENT;
    record.Event.KeyEvent.bKeyDown = TRUE;
    record.Event.KeyEvent.wRepeatCount = 1;
    record.Event.KeyEvent.uChar.AsciiChar = static_cast<CHAR>(key);
    DWORD written = 0;
    if (WriteConsoleInputA(in_, &record, 1, &written) != 0 && written == 1) return;
  }
  pushedKey_.store(key);
}

void Win32Console::Beep() { MessageBeep(MB_ICONEXCLAMATION); }

}  // namespace partshell
