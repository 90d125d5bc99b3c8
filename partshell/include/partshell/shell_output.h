// The shell's two output channels and its process-wide modes, usable from
// every part of the partition shell (mounting, the volume engine, commands).
//
// ShellPrint writes to the console and, with LOGALL on, to the session log.
// TraceLog writes only to the session log, whatever LOGALL says.
#pragma once

#include <cstdarg>
#include <string>
#include <string_view>

namespace partshell {

class Console;
class SessionLog;

#if defined(__GNUC__)
#define TORBEL_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define TORBEL_PRINTF(fmt, args)
#endif

// Formats into 1,024 bytes (longer text is cut at 1,023 characters).
void ShellPrint(const char* format, ...) TORBEL_PRINTF(1, 2);
// Writes text as it is, without formatting (no length limit).
void ShellWrite(std::string_view text);
// Writes to the console only, never to the log.
void ConsolePrint(const char* format, ...) TORBEL_PRINTF(1, 2);
// Appends "[origin] text\n", or "text\n" when origin is empty or null.
void TraceLog(const char* origin, const char* format, ...) TORBEL_PRINTF(2, 3);

// Off until set; the start-up sets it from the tag file "torbel.dbg".
bool VerboseMode();
void SetVerboseMode(bool on);
bool LogAllMode();
void SetLogAllMode(bool on);

// Where the output goes. The shell installs its console and log at start-up;
// without them output goes to standard output and the log is not written.
void InstallOutput(Console* console, SessionLog* log);

}  // namespace partshell
