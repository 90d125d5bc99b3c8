// The Win32 host assembled, and its user-interface part (message boxes and
// posted messages over the main window).
#include "zolp/win32_host.h"

#include <windows.h>

#include <atomic>
#include <string>

#include "zolp/messages.h"

namespace zolp::win32 {

namespace {

class Win32UserInterface final : public UserInterface {
 public:
  void ShowMessage(std::string_view text, std::string_view title, MessageIcon icon) override {
    const std::string t(text), c(title);
    UINT style = MB_OK;
    switch (icon) {
      case MessageIcon::Information:
        style |= MB_ICONINFORMATION;
        break;
      case MessageIcon::Warning:
        style |= MB_ICONWARNING;
        break;
      case MessageIcon::Error:
        style |= MB_ICONERROR;
        break;
      case MessageIcon::Question:
        style |= MB_ICONQUESTION;
        break;
    }
    MessageBoxA(reinterpret_cast<HWND>(mainWindow.load()), t.c_str(), c.c_str(), style);
  }
  void Post(WindowRef owner, std::uint32_t message, std::intptr_t wParam,
            std::intptr_t lParam) override {
    PostMessageA(reinterpret_cast<HWND>(owner), message, static_cast<WPARAM>(wParam),
                 static_cast<LPARAM>(lParam));
  }
  void BringMainWindowToFront() override {
    if (mainWindow.load() != 0) SetForegroundWindow(reinterpret_cast<HWND>(mainWindow.load()));
  }
  void ShowBuildingWindow() override { PostToMainWindow(kMsgBuildingWindow, 1); }
  void CloseBuildingWindow() override { PostToMainWindow(kMsgBuildingWindow, 0); }
  void EndProgram(int status) override { ExitProcess(static_cast<UINT>(status)); }

  std::atomic<WindowRef> mainWindow = 0;

 private:
  void PostToMainWindow(std::uint32_t message, std::intptr_t wParam) {
    if (const WindowRef main = mainWindow.load(); main != 0) Post(main, message, wParam, 0);
  }
};

}  // namespace

struct Win32Host::Parts {
  std::unique_ptr<SystemErrors> errors = MakeSystemErrors();
  Win32UserInterface ui;
  std::unique_ptr<ProcessLauncher> processes = MakeProcessLauncher();
  std::unique_ptr<ResourceStore> resources = MakeResourceStore();
  std::unique_ptr<FileSystem> files = MakeFileSystem();
  std::unique_ptr<Clock> clock = MakeClock();
  std::unique_ptr<Security> security = MakeSecurity();
  std::unique_ptr<Memory> memory = MakeMemory();
  std::unique_ptr<DeviceCatalog> devices = MakeDeviceCatalog();
  std::unique_ptr<Workers> workers = MakeWorkers();
};

Win32Host::Win32Host() : parts_(std::make_unique<Parts>()) {}
Win32Host::~Win32Host() = default;

Services Win32Host::Wire(RunOptions options) {
  Services s;
  s.errors = parts_->errors.get();
  s.ui = &parts_->ui;
  s.processes = parts_->processes.get();
  s.resources = parts_->resources.get();
  s.files = parts_->files.get();
  s.clock = parts_->clock.get();
  s.security = parts_->security.get();
  s.memory = parts_->memory.get();
  s.devices = parts_->devices.get();
  s.workers = parts_->workers.get();
  s.options = options;
  return s;
}

void Win32Host::SetMainWindow(WindowRef window) { parts_->ui.mainWindow = window; }

}  // namespace zolp::win32
