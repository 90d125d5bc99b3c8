#include "partshell/shell_output.h"

#include <cerrno>
#include <cstdio>

#include "common/text.h"
#include "partshell/console.h"
#include "partshell/session_log.h"

namespace partshell {
namespace {

constexpr std::size_t kPrintBuffer = 1024;

Console* g_console = nullptr;
SessionLog* g_log = nullptr;
bool g_verbose = false;
bool g_logAll = false;

// The shell prints through a buffer of 1,024 bytes: a longer text is cut.
std::string FormatLimited(const char* format, va_list args) {
  std::string text = common::FormatV(format, args);
  if (text.size() > kPrintBuffer - 1) text.resize(kPrintBuffer - 1);
  return text;
}

void ToConsole(std::string_view text) {
  if (g_console != nullptr) {
    g_console->Write(text);
  } else {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
  }
}

}  // namespace

void InstallOutput(Console* console, SessionLog* log) {
  g_console = console;
  g_log = log;
}

void ShellWrite(std::string_view text) {
  const int savedErrno = errno;
  ToConsole(text);
  if (g_logAll && g_log != nullptr) g_log->Append(text);
  errno = savedErrno;
}

void ShellPrint(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = FormatLimited(format, args);
  va_end(args);
  ShellWrite(text);
}

void ConsolePrint(const char* format, ...) {
  const int savedErrno = errno;
  va_list args;
  va_start(args, format);
  std::string text = FormatLimited(format, args);
  va_end(args);
  ToConsole(text);
  errno = savedErrno;
}

void TraceLog(const char* origin, const char* format, ...) {
  const int savedErrno = errno;
  va_list args;
  va_start(args, format);
  std::string text = common::FormatV(format, args);
  va_end(args);
  if (g_log != nullptr) {
    std::string line;
    if (origin != nullptr && *origin != '\0') {
      line = "[";
      line += origin;
      line += "] ";
    }
    line += text;
    line += '\n';
    g_log->Append(line);
  }
  errno = savedErrno;
}

bool VerboseMode() { return g_verbose; }

void SetVerboseMode(bool on) { g_verbose = on; }

bool LogAllMode() { return g_logAll; }
void SetLogAllMode(bool on) { g_logAll = on; }

}  // namespace partshell
