#include "partshell/posix_host.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>

namespace partshell {
namespace {

void (*volatile g_closeHandler)(ControlEvent) = nullptr;
void (*volatile g_interruptHandler)(ControlEvent) = nullptr;

void OnSignal(int signal) {
  const int savedErrno = errno;
  if (signal == SIGINT) {
    if (g_interruptHandler != nullptr) g_interruptHandler(ControlEvent::kInterrupt);
  } else if (g_closeHandler != nullptr) {
    g_closeHandler(signal == SIGHUP ? ControlEvent::kClose : ControlEvent::kShutdown);
  }
  errno = savedErrno;
}

void Catch(int signal) {
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(signal, &action, nullptr);
}

void Default(int signal) {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
}

}  // namespace

PosixInstanceLock::~PosixInstanceLock() {
  for (int fd : held_) ::close(fd);
}

bool PosixInstanceLock::TryLock() {
  if (locked_) return true;
  std::vector<int> held;
  for (const std::string& disk : disks_) {
    // Read-only is enough for flock; O_NONBLOCK keeps a FIFO from stopping the run here.
    const int fd = ::open(disk.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) continue;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      ::close(fd);
      for (int other : held) ::close(other);
      return false;
    }
    held.push_back(fd);
  }
  held_ = std::move(held);
  locked_ = true;
  return true;
}

bool PosixInstanceLock::HeldElsewhere(const std::string&) { return !TryLock(); }

bool PosixInstanceLock::Acquire(const std::string&) { return TryLock(); }

void PosixControlEvents::InstallCloseHandler(void (*onEvent)(ControlEvent)) {
  g_closeHandler = onEvent;
  Catch(SIGHUP);
  Catch(SIGTERM);
}

void PosixControlEvents::InstallInterruptHandler(void (*onEvent)(ControlEvent)) {
  g_interruptHandler = onEvent;
  Catch(SIGINT);
}

void PosixControlEvents::RemoveHandlers() {
  Default(SIGHUP);
  Default(SIGTERM);
  Default(SIGINT);
  g_closeHandler = nullptr;
  g_interruptHandler = nullptr;
}

std::string HostOperatingSystemName() {
  utsname name{};
  if (::uname(&name) != 0) return "Unknown";
  return std::string(name.sysname) + " " + name.release;
}

}  // namespace partshell

extern char** environ;

namespace partshell {

std::vector<std::string> HostProcessEnvironment() {
  std::vector<std::string> list;
  for (char** e = environ; e != nullptr && *e != nullptr; ++e) list.emplace_back(*e);
  return list;
}

}  // namespace partshell
