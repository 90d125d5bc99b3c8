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
  if (fd_ >= 0) ::close(fd_);
}

bool PosixInstanceLock::TryLock(const std::string& name) {
  if (fd_ >= 0) return true;
  const std::string path = directory_ + "/" + name;
  // Read-only is enough for flock, so a lock file made by another user
  // still serves everyone; a link planted in its place is not followed.
  int fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
  if (fd < 0) return true;  // no lock file possible: do not stand in the way
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  return true;
}

bool PosixInstanceLock::HeldElsewhere(const std::string& name) { return !TryLock(name); }

bool PosixInstanceLock::Acquire(const std::string& name) { return TryLock(name); }

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
