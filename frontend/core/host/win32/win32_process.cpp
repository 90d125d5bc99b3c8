#include <windows.h>

#include <vector>

#include "zolp/win32_host.h"

namespace zolp::win32 {

namespace {

class Win32Child final : public ChildProcess {
 public:
  explicit Win32Child(const PROCESS_INFORMATION& info) : info_(info) {}
  ~Win32Child() override {
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
  }
  void Wait() override { WaitForSingleObject(info_.hProcess, INFINITE); }
  bool ExitCode(std::uint32_t& code) override {
    DWORD value = 0;
    if (!GetExitCodeProcess(info_.hProcess, &value)) return false;
    code = value;
    return true;
  }

 private:
  PROCESS_INFORMATION info_;
};

class Win32Launcher final : public ProcessLauncher {
 public:
  std::unique_ptr<ChildProcess> Start(const LaunchRequest& request) override {
    // "A=1\0B=2\0\0"; with no variables the block is just its terminator,
    // which gives the child an empty environment rather than ours.
    std::vector<char> environment;
    for (const std::string& variable : request.environment) {
      environment.insert(environment.end(), variable.begin(), variable.end());
      environment.push_back('\0');
    }
    environment.push_back('\0');
    environment.push_back('\0');

    std::vector<char> commandLine(request.commandLine.begin(), request.commandLine.end());
    commandLine.push_back('\0');

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    if (request.showWindow) {
      startup.dwFlags = STARTF_USESHOWWINDOW;
      startup.wShowWindow = *request.showWindow;
    }
    PROCESS_INFORMATION info = {};
    const DWORD flags = request.noWindow ? CREATE_NO_WINDOW : 0;
    if (!CreateProcessA(request.application.empty() ? nullptr : request.application.c_str(),
                        commandLine.data(), nullptr, nullptr, FALSE, flags, environment.data(),
                        nullptr, &startup, &info))
      return nullptr;
    return std::make_unique<Win32Child>(info);
  }
};

}  // namespace

std::unique_ptr<ProcessLauncher> MakeProcessLauncher() { return std::make_unique<Win32Launcher>(); }

}  // namespace zolp::win32
