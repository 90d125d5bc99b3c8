#include "partshell/win32_host.h"

#include <windows.h>

#include <cstring>

namespace partshell {
namespace {

void (*volatile g_closeHandler)(ControlEvent) = nullptr;
void (*volatile g_interruptHandler)(ControlEvent) = nullptr;
HANDLE g_shutDownDone = nullptr;

// Windows ends the process soon after a close, log-off or shut-down event
// is handled; waiting here a little lets the shell finish its loops, write
// its exit report and put the console back first.
constexpr DWORD kGraceMs = 4000;

BOOL WINAPI CloseRoutine(DWORD event) {
  ControlEvent which;
  switch (event) {
    case CTRL_CLOSE_EVENT: which = ControlEvent::kClose; break;
    case CTRL_LOGOFF_EVENT: which = ControlEvent::kLogoff; break;
    case CTRL_SHUTDOWN_EVENT: which = ControlEvent::kShutdown; break;
    default: return FALSE;
  }
  if (g_closeHandler != nullptr) g_closeHandler(which);
  if (g_shutDownDone != nullptr) WaitForSingleObject(g_shutDownDone, kGraceMs);
  return TRUE;
}

BOOL WINAPI InterruptRoutine(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  if (g_interruptHandler != nullptr) g_interruptHandler(ControlEvent::kInterrupt);
  return TRUE;
}

}  // namespace

Win32InstanceLock::~Win32InstanceLock() {
  if (mutex_ != nullptr) CloseHandle(mutex_);
}

bool Win32InstanceLock::HeldElsewhere(const std::string& name) {
  HANDLE existing = OpenMutexA(SYNCHRONIZE, FALSE, name.c_str());
  if (existing == nullptr) return false;
  CloseHandle(existing);
  return true;
}

bool Win32InstanceLock::Acquire(const std::string& name) {
  if (mutex_ == nullptr) mutex_ = CreateMutexA(nullptr, FALSE, name.c_str());
  return mutex_ != nullptr;
}

void Win32ControlEvents::InstallCloseHandler(void (*onEvent)(ControlEvent)) {
  g_closeHandler = onEvent;
  if (g_shutDownDone == nullptr) g_shutDownDone = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(CloseRoutine, TRUE);
}

void Win32ControlEvents::InstallInterruptHandler(void (*onEvent)(ControlEvent)) {
  g_interruptHandler = onEvent;
  // Installed last, so it is asked first.
  SetConsoleCtrlHandler(InterruptRoutine, TRUE);
}

void Win32ControlEvents::RemoveHandlers() {
  SetConsoleCtrlHandler(InterruptRoutine, FALSE);
  SetConsoleCtrlHandler(CloseRoutine, FALSE);
  g_interruptHandler = nullptr;
  g_closeHandler = nullptr;
  if (g_shutDownDone != nullptr) SetEvent(g_shutDownDone);
}

std::string HostOperatingSystemName() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (GetVersionExA(&info) == 0 || info.dwPlatformId != VER_PLATFORM_WIN32_NT) return {};
  if (info.dwMajorVersion >= 5) return "Windows 2000/XP/Vista/PE/X64";
  if (info.dwMajorVersion == 4) return "Windows NT4";
  return {};
}

std::vector<std::string> HostProcessEnvironment() {
  std::vector<std::string> list;
  LPCH block = GetEnvironmentStringsA();
  if (block == nullptr) return list;
  for (const char* p = block; *p != '\0'; p += std::strlen(p) + 1) list.emplace_back(p);
  FreeEnvironmentStringsA(block);
  return list;
}

}  // namespace partshell
