#include "ZolpApp.h"

#include <commctrl.h>

#include <atomic>
#include <memory>
#include <string>

#include "AppServices.h"
#include "BuildImgDlg.h"
#include "ZolpDlg.h"
#include "model/startup.h"
#include "zolp/report.h"

namespace zolp::win {
namespace {

constexpr UINT kProbeTimeoutMs = 200;

struct ProbeSearch {
  UINT message;
  HWND found;
};

BOOL CALLBACK ProbeWindow(HWND window, LPARAM lParam) {
  auto* search = reinterpret_cast<ProbeSearch*>(lParam);
  DWORD_PTR answer = 0;
  if (SendMessageTimeoutA(window, search->message, 0, 0, SMTO_BLOCK | SMTO_ABORTIFHUNG,
                          kProbeTimeoutMs, &answer) &&
      answer == search->message) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

// The build window lives on the image build worker's thread, which creates
// and destroys it.
thread_local std::unique_ptr<cBuildImg> buildWindow;
// Read by the worker thread that closes the build window.
std::atomic<HWND> mainWindow = nullptr;

void ShowBuildWindow() {
  buildWindow = std::make_unique<cBuildImg>();
  if (!buildWindow->Create(nullptr)) buildWindow.reset();
}

void CloseBuildWindow() {
  buildWindow.reset();
  if (HWND main = mainWindow.load()) {
    SetForegroundWindow(main);
    RedrawWindow(main, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  }
}

}  // namespace

bool CZolpApp::AnotherInstanceRuns() {
  // The handle stays open for the life of the process: it is the marker.
  CreateMutexA(nullptr, FALSE, kInstanceMutexName);
  DWORD error = GetLastError();
  if (error != ERROR_ALREADY_EXISTS && error != ERROR_ACCESS_DENIED) return false;
  ProbeSearch search{RegisterWindowMessageA(kInstanceProbeMessage), nullptr};
  EnumWindows(&ProbeWindow, reinterpret_cast<LPARAM>(&search));
  if (search.found) {
    if (IsIconic(search.found)) ShowWindow(search.found, SW_RESTORE);
    SetForegroundWindow(search.found);
  }
  return true;
}

void CZolpApp::MoveToProgramDirectory(const Services& services) {
  char path[MAX_PATH + 1] = {};
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    if (length >= MAX_PATH) SetLastError(ERROR_INSUFFICIENT_BUFFER);
    ReportLastError(services, true, "GetModuleFileName", "Get Execute Directory Failed");
    return;
  }
  std::string directory(ProgramDirectoryOf(std::string_view(path, length)));
  if (directory.empty() || !SetCurrentDirectoryA(directory.c_str())) {
    ReportLastError(services, true, "SetCurrentDirectory", "Error");
  }
}

bool CZolpApp::InitInstance() {
  if (AnotherInstanceRuns()) return false;

  INITCOMMONCONTROLSEX controls{sizeof controls, 0xFF};
  InitCommonControlsEx(&controls);

  CommandWords words = ParseCommandWords(CommandTail(GetCommandLineA()));
  RunOptions options;
  options.verbose = words.verbose;
  options.upTest = words.upTest;
  options.upDebug = words.upDebug;
  options.debug = words.debug;
  options.verify = !words.noVerify;
  char path[MAX_PATH + 1] = {};
  if (GetModuleFileNameA(nullptr, path, MAX_PATH) > 0) options.programDrive = ProgramDriveOf(path);
  Services services = host_.Wire(options);
  if (adjustServices_ && !adjustServices_(services)) return false;
  SetAppServices(services);
  host_.SetBuildingWindowHooks(&ShowBuildWindow, &CloseBuildWindow);

  MoveToProgramDirectory(services);
  int templateId = ChooseMainTemplate([](std::string_view key) { return PackageHasLine(key); });

  CZolpDlg dialog(templateId);
  // The main window is known only once the dialog exists; the dialog tells the
  // host through this hook when it has its window.
  dialog.SetCreatedHook([this](HWND window) {
    mainWindow = window;
    host_.SetMainWindow(reinterpret_cast<WindowRef>(window));
  });
  dialog.DoModal(nullptr);
  mainWindow = nullptr;
  host_.SetMainWindow(0);
  return false;
}

}  // namespace zolp::win
