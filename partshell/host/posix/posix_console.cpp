#include "partshell/posix_console.h"

#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace partshell {
namespace {

constexpr int kEscapeFollowMs = 40;
constexpr int kPrefix = 0xE0;

// The saved terminal state lives outside the object so that the exit and
// fatal-signal paths, which cannot reach the object safely, can put it back.
struct SavedTerminal {
  int fd = -1;
  termios mode{};
  termios raw{};
  volatile sig_atomic_t saved = 0;
};
SavedTerminal g_terminal;

void RestoreTerminalNow() {
  if (g_terminal.saved != 0) {
    tcsetattr(g_terminal.fd, TCSANOW, &g_terminal.mode);
  }
}

void RestoreAtExit() { RestoreTerminalNow(); }

void RestoreOnFatalSignal(int signal) {
  RestoreTerminalNow();
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

// A stop request (from outside; the keyboard's Ctrl-Z is an ordinary key
// here) hands the terminal back in its normal state while the shell is
// stopped, and takes raw mode up again when it continues.
void OnStopSignal(int signal) {
  const int savedErrno = errno;
  RestoreTerminalNow();
  ::signal(signal, SIG_DFL);
  // The signal is blocked while its handler runs; let it through so the
  // process really stops here.
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, signal);
  sigprocmask(SIG_UNBLOCK, &stop, nullptr);
  ::raise(signal);
  ::signal(signal, OnStopSignal);
  if (g_terminal.saved != 0) tcsetattr(g_terminal.fd, TCSANOW, &g_terminal.raw);
  errno = savedErrno;
}

// Scan codes of the PC keyboard for the keys terminals send as sequences.
int ScanCodeForFinal(char final) {
  switch (final) {
    case 'A': return 0x48;  // Up
    case 'B': return 0x50;  // Down
    case 'C': return 0x4D;  // Right
    case 'D': return 0x4B;  // Left
    case 'H': return 0x47;  // Home
    case 'F': return 0x4F;  // End
    default: return 0;
  }
}

int ScanCodeForTilde(int number) {
  switch (number) {
    case 1:
    case 7: return 0x47;  // Home
    case 2: return 0x52;  // Insert
    case 3: return 0x53;  // Delete
    case 4:
    case 8: return 0x4F;  // End
    case 5: return 0x49;  // Page Up
    case 6: return 0x51;  // Page Down
    default: return 0;
  }
}

}  // namespace

PosixConsole::PosixConsole(int inputFd, int outputFd)
    : in_(inputFd), out_(outputFd), inputTty_(isatty(inputFd) == 1), outputTty_(isatty(outputFd) == 1) {}

PosixConsole::~PosixConsole() { Restore(); }

void PosixConsole::Setup() {
  if (inputTty_ && g_terminal.saved == 0) {
    termios mode{};
    if (tcgetattr(in_, &mode) == 0) {
      g_terminal.fd = in_;
      g_terminal.mode = mode;
      g_terminal.saved = 1;
      static bool hooksInstalled = false;
      if (!hooksInstalled) {
        hooksInstalled = true;
        std::atexit(RestoreAtExit);
        for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGQUIT, SIGPIPE}) ::signal(sig, RestoreOnFatalSignal);
      }
      // Keys arrive one by one and unechoed; Ctrl-C, Ctrl-S and the rest
      // reach the line editor as their control codes. Output processing
      // stays on, so a line feed still starts a new line.
      mode.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO | ISIG | IEXTEN));
      mode.c_iflag &= static_cast<tcflag_t>(~(IXON | ICRNL | INLCR | IGNCR));
      mode.c_cc[VMIN] = 1;
      mode.c_cc[VTIME] = 0;
      g_terminal.raw = mode;
      tcsetattr(in_, TCSANOW, &mode);
      ::signal(SIGTSTP, OnStopSignal);
    }
  }
  if (outputTty_) Write("\033[?25h");
}

void PosixConsole::Restore() {
  if (attributes_ != kAttrDefault) SetTextAttributes(kAttrDefault);
  if (g_terminal.saved != 0 && g_terminal.fd == in_) {
    ::signal(SIGTSTP, SIG_DFL);
    RestoreTerminalNow();
    g_terminal.saved = 0;
  }
}

void PosixConsole::Write(std::string_view text) {
  const char* p = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    ssize_t n = ::write(out_, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    p += n;
    left -= static_cast<std::size_t>(n);
  }
}

void PosixConsole::SetTextAttributes(std::uint16_t attributes) {
  attributes_ = attributes;
  if (!outputTty_) return;
  if (attributes == kAttrDefault) {
    Write("\033[0m");
    return;
  }
  // PC colour bits are blue, green, red; ANSI numbers them red, green, blue.
  auto ansi = [](unsigned nibble) { return ((nibble & 4) ? 1 : 0) | ((nibble & 2) ? 2 : 0) | ((nibble & 1) ? 4 : 0); };
  const unsigned fg = attributes & 0x0F;
  const unsigned bg = (attributes >> 4) & 0x0F;
  std::string seq = "\033[0;";
  seq += std::to_string(((fg & kAttrIntensity) ? 90 : 30) + ansi(fg));
  // A black background is left to the terminal's own.
  if (bg != 0) {
    seq += ';';
    seq += std::to_string(((bg & kAttrIntensity) ? 100 : 40) + ansi(bg));
  }
  seq += 'm';
  Write(seq);
}

bool PosixConsole::KeyAvailable() {
  if (pushedKey_.load() >= 0 || !queued_.empty()) return true;
  // A script on standard input holds no typed-ahead keys: its next line is
  // for the prompt, not for pausing a display.
  if (!inputTty_) return false;
  pollfd p{in_, POLLIN, 0};
  return ::poll(&p, 1, 0) > 0;
}

int PosixConsole::ReadByte(int timeoutMs) {
  pollfd p{in_, POLLIN, 0};
  int ready = ::poll(&p, 1, timeoutMs);
  if (ready == 0 || (ready < 0 && errno == EINTR)) return kNoKeyYet;
  if (ready < 0) return kEndOfInput;
  unsigned char c = 0;
  ssize_t n = ::read(in_, &c, 1);
  if (n < 0 && (errno == EINTR || errno == EAGAIN)) return kNoKeyYet;
  if (n <= 0) return kEndOfInput;
  return c;
}

int PosixConsole::TranslateEscape() {
  int next = ReadByte(kEscapeFollowMs);
  if (next != '[' && next != 'O') {
    if (next >= 0) queued_.push_back(next);
    return 27;
  }
  int number = 0;
  int c = ReadByte(kEscapeFollowMs);
  while (c >= 0 && ((c >= '0' && c <= '9') || c == ';')) {
    // Modifier parameters after ';' do not change which key it was.
    if (c == ';') {
      number = number == 0 ? 1 : number;
      do c = ReadByte(kEscapeFollowMs);
      while (c >= '0' && c <= '9');
      break;
    }
    number = number * 10 + (c - '0');
    c = ReadByte(kEscapeFollowMs);
  }
  if (c < 0) return kNoKeyYet;
  int scan = c == '~' ? ScanCodeForTilde(number) : ScanCodeForFinal(static_cast<char>(c));
  if (scan == 0) return kNoKeyYet;  // a key the shell has no use for
  queued_.push_back(scan);
  return kPrefix;
}

int PosixConsole::ReadChar(int timeoutMs) {
  int pushed = pushedKey_.exchange(-1);
  if (pushed >= 0) return pushed;
  if (!queued_.empty()) {
    int c = queued_.front();
    queued_.pop_front();
    return c;
  }
  int c = ReadByte(timeoutMs);
  if (c < 0) return c;
  const bool afterCarriageReturn = lastWasCarriageReturn_;
  lastWasCarriageReturn_ = c == '\r';
  switch (c) {
    // Raw NUL and 0xE0 bytes would read as the PC keyboard's key prefixes;
    // only escape sequences may produce those.
    case 0: return kNoKeyYet;
    case kPrefix: return 0xFF;
    case 27: return TranslateEscape();
    case 127: return 8;
    case '\r': return 13;
    case '\n':
      // A script's CR LF line end is one Enter.
      if (afterCarriageReturn && !inputTty_) return kNoKeyYet;
      return 13;
    default: return c;
  }
}

void PosixConsole::FlushInput() {
  // Only typed-ahead keys are thrown away; piped input is a script whose
  // keys are all meant.
  if (!inputTty_) return;
  tcflush(in_, TCIFLUSH);
  queued_.clear();
}

void PosixConsole::Beep() {
  if (outputTty_) Write("\a");
}

}  // namespace partshell
