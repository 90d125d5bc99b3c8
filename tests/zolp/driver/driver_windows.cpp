// Cases on the shared windows and custom controls, shown by the test gallery,
// and on the resources the program carries.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "driver_cases.h"

namespace zolptest {
void CaseProgressWindow() {
  Gallery g("progress");
  HWND window = g.Start("progress 130 -5 42", "Copy Progress");
  if (!window) return;
  // The gallery shows the values given, one per WM_APP it receives.
  CHECK(WaitFor([&] { return ItemText(window, IDC_PROGRESS_PERCENT) == "100%"; }, 3000));
  CHECK(SendMessageA(GetDlgItem(window, IDC_PROGRESS_BAR), PBM_GETPOS, 0, 0) == 100);
  PostMessageA(window, WM_COMMAND, IDCANCEL, 0);  // Escape does nothing
  Sleep(300);
  CHECK(IsWindow(window));
  PostMessageA(window, WM_APP, 0, 0);  // next value
  CHECK(WaitFor([&] { return ItemText(window, IDC_PROGRESS_PERCENT) == "0%"; }, 3000));
  CHECK(SendMessageA(GetDlgItem(window, IDC_PROGRESS_BAR), PBM_GETPOS, 0, 0) == 0);
  PostMessageA(window, WM_APP, 0, 0);
  CHECK(WaitFor([&] { return ItemText(window, IDC_PROGRESS_PERCENT) == "42%"; }, 3000));
  CHECK(SendMessageA(GetDlgItem(window, IDC_PROGRESS_BAR), PBM_GETPOS, 0, 0) == 42);
  PostMessageA(window, WM_APP, 0, 0);  // title and target icon of the partition update
  CHECK(WaitFor([&] { return Text(window) == "Diagnostic Partition Update Progress"; }, 3000));
  CHECK(SaveScreenshot(window, shotsDir + "\\progress.bmp"));
  PostMessageA(window, WM_APP, 0, 0);  // last step: the gallery ends
  CHECK(g.process->WaitExit(5000));
}

void CaseBuildWindow() {
  Gallery g("building");
  g.process = std::make_unique<Process>(g.dir.Program(), " building", g.dir.Path());
  HWND window = nullptr;
  CHECK(WaitFor([&] {
    for (HWND w : TopWindows(g.process->Id()))
      if (GetDlgItem(w, IDC_BUILDING_TEXT)) window = w;
    return window != nullptr;
  }, kStartTimeout));
  if (!window) return;
  CHECK_EQ_TEXT(ItemText(window, IDC_BUILDING_TEXT), "Building the image...");
  CHECK((GetWindowLongA(window, GWL_STYLE) & WS_CAPTION) != WS_CAPTION);
  CHECK(SaveScreenshot(window, shotsDir + "\\building.bmp"));
  PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
  Sleep(300);
  CHECK(IsWindow(window));
  // The worker thread that owns the window ends it; the gallery then exits.
  PostMessageA(window, WM_APP, 0, 0);
  CHECK(g.process->WaitExit(5000));
}

void CaseViewersWithoutFiles() {
  Gallery g("viewers");
  HWND readme = g.Start("readme", "View Readme");
  if (readme) {
    CHECK_EQ_TEXT(ItemText(readme, IDC_README_TEXT), "Error trying to open the readme file.");
    PostMessageA(readme, WM_COMMAND, IDOK, 0);
  }
  HWND release = WaitTopWindow(g.process->Id(), "Release Information", 5000);
  CHECK(release != nullptr);
  if (release) {
    CHECK_EQ_TEXT(ItemText(release, IDC_RELEASE_VERSION), "Unknown");
    CHECK_EQ_TEXT(ItemText(release, IDC_RELEASE_TEXT), "Release information is not available.");
    PostMessageA(release, WM_COMMAND, IDOK, 0);
  }
  CHECK(g.process->WaitExit(5000));
}

void CaseControlsGallery() {
  Gallery g("controls");
  HWND window = g.Start("controls", "controls: 0");
  if (!window) return;
  CHECK(SaveScreenshot(window, shotsDir + "\\controls.bmp"));
  // Buttons 1..4 report clicks (the disabled one can't); the logo (5) swallows
  // them; a notify label (6) reports a click command of its own ID.
  PostClick(GetDlgItem(window, 1));
  CHECK(WaitFor([&] { return Text(window) == "controls: 1 last 1"; }, 3000));
  PostClick(GetDlgItem(window, 5));
  Sleep(400);
  CHECK_EQ_TEXT(Text(window), "controls: 1 last 1");
  PostClick(GetDlgItem(window, 6));
  CHECK(WaitFor([&] { return Text(window) == "controls: 2 last 6"; }, 3000));
  // Hover tracking follows the real mouse pointer.
  RECT link = ItemRect(window, 6);
  SetCursorPos((link.left + link.right) / 2, (link.top + link.bottom) / 2);
  CHECK(WaitFor([&] { return ItemText(window, 8) == "hovering"; }, 3000));
  RECT box = ItemRect(window, 8);
  SetCursorPos((box.left + box.right) / 2, (box.top + box.bottom) / 2);
  CHECK(WaitFor([&] { return ItemText(window, 8) == "not hovering"; }, 3000));
  PostMessageA(window, WM_CLOSE, 0, 0);
  CHECK(g.process->WaitExit(5000));
}

void CaseNotAdministrator() {
  Gallery g("notadmin");
  g.dir.Write("readme.txt", "Readme\r\n");
  g.process = std::make_unique<Process>(g.dir.Program(), " notadmin", g.dir.Path());
  HWND notice = WaitTopWindow(g.process->Id(), "Notice", kStartTimeout);
  CHECK(notice != nullptr);
  HWND main = nullptr;
  for (HWND window : TopWindows(g.process->Id()))
    if (GetDlgItem(window, IDC_FINISHED)) main = window;
  CHECK(main != nullptr);
  if (!notice || !main) return;
  // The dialog is on the screen behind the notice, USB and Update already disabled.
  CHECK(IsWindowVisible(main));
  CHECK(!IsWindowEnabled(GetDlgItem(main, IDC_USB)));
  CHECK(!IsWindowEnabled(GetDlgItem(main, IDC_UPDATE)));
  CHECK(IsWindowEnabled(GetDlgItem(main, IDC_CD)));
  CHECK(IsWindowEnabled(GetDlgItem(main, IDC_DISKETTE)));
  CHECK(IsWindowEnabled(GetDlgItem(main, IDC_IMAGE)));
  CHECK_EQ_TEXT(BoxText(notice),
                "You must be a member of the local administrators group to access the USB flash "
                "drive, diagnostic partition update or built in CD burning features of this program.");
  PostMessageA(notice, WM_COMMAND, IDOK, 0);
  CHECK(WaitFor([&] { return !IsWindow(notice); }, 5000));
  SaveScreenshot(main, shotsDir + "\\main-not-admin.bmp");
  // Once per run: later paints don't bring it back.
  RedrawWindow(main, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  CHECK(WaitTopWindow(g.process->Id(), "Notice", kQuiet) == nullptr);
  CHECK(!IsWindowEnabled(GetDlgItem(main, IDC_USB)));
  // The links still work.
  PostClick(GetDlgItem(main, IDC_README_LINK));
  HWND viewer = WaitTopWindow(g.process->Id(), "View Readme", 5000);
  CHECK(viewer != nullptr);
  if (viewer) PostMessageA(viewer, WM_COMMAND, IDOK, 0);
  CHECK(WaitFor([&] { return !viewer || !IsWindow(viewer); }, 5000));
  PostMessageA(GetDlgItem(main, IDC_FINISHED), BM_CLICK, 0, 0);
  CHECK(g.process->WaitExit(5000));
}

void CaseCursorOverLinks() {
  {
    Gallery g("cursor");
    g.dir.Write("readme.txt", "Readme\r\n");
    HWND main = g.Start("cursor", "cursor: hand arrow arrow");
    if (main) PostMessageA(main, WM_COMMAND, IDCANCEL, 0);
    CHECK(g.process->WaitExit(5000));
  }
  {
    Gallery g("cursor-release");
    g.dir.Write("Version.txt", "OEM Ver: 1\r\n");
    HWND main = g.Start("cursor", "cursor: arrow hand arrow");
    if (main) PostMessageA(main, WM_COMMAND, IDCANCEL, 0);
    CHECK(g.process->WaitExit(5000));
  }
}

// The system menu opened as Alt+Space does, walked upwards from the end with
// the arrow keys: About, then Readme, then Release Information.
// --- resources --------------------------------------------------------------

std::string ResourceBytes(HMODULE module, const char* type, int id) {
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), type);
  if (!found) return {};
  HGLOBAL loaded = LoadResource(module, found);
  const char* data = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
  return data ? std::string(data, SizeofResource(module, found)) : std::string();
}

std::string VersionString(const std::vector<char>& block, const char* name) {
  char* value = nullptr;
  UINT length = 0;
  std::string query = std::string("\\StringFileInfo\\040904e4\\") + name;
  if (!VerQueryValueA(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &length) ||
      !value)
    return "<none>";
  return value;
}

void CaseResources() {
  HMODULE module = LoadLibraryExA(zolpExe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  CHECK(module != nullptr);
  if (!module) return;
  for (int id : {100, 101, 102, 103, 104, 108, 111, 141, 142})
    CHECK(FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5)) != nullptr);  // RT_DIALOG
  for (int id : {135, 136, 138, 139, 140, 143, 146, 147}) {
    HBITMAP bitmap = static_cast<HBITMAP>(LoadImageA(module, MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0, 0));
    CHECK(bitmap != nullptr);
    if (bitmap) DeleteObject(bitmap);
  }
  for (int id : {130, 131, 132, 133, 145}) {
    HICON icon = static_cast<HICON>(LoadImageA(module, MAKEINTRESOURCEA(id), IMAGE_ICON, 32, 32, 0));
    CHECK(icon != nullptr);
    if (icon) DestroyIcon(icon);
  }
  std::string avi = ResourceBytes(module, "AVI", 134);
  CHECK(avi.size() > 12 && avi.compare(0, 4, "RIFF") == 0 && avi.compare(8, 4, "AVI ") == 0);
  std::string manifest = ResourceBytes(module, MAKEINTRESOURCEA(24), 1);
  CHECK(manifest.find("Microsoft.Windows.Common-Controls") != std::string::npos);

  // The two tools are the very programs of this build, or absent when the
  // build has none: never stand-ins.
  struct Tool { const char* variable; int id; } tools[] = {{"ZOLP_TORBEL", 149}, {"ZOLP_VELLIX", 150}};
  for (const Tool& tool : tools) {
    char path[MAX_PATH] = {};
    std::string embedded = ResourceBytes(module, "BIN", tool.id);
    if (GetEnvironmentVariableA(tool.variable, path, MAX_PATH) > 0) {
      std::string built = FileBytes(path);
      CHECK(!built.empty());
      CHECK(embedded == built);
    } else {
      CHECK(embedded.empty());
      std::printf("    note: no %s in this build, BIN %d not embedded\n", tool.variable, tool.id);
    }
  }
  FreeLibrary(module);

  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(zolpExe.c_str(), &ignored);
  CHECK(size > 0);
  std::vector<char> block(size + 1);
  CHECK(GetFileVersionInfoA(zolpExe.c_str(), 0, size, block.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  CHECK(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length) && fixed);
  if (fixed) {
    CHECK(fixed->dwFileVersionMS == 0x00030003);
    CHECK(fixed->dwFileVersionLS == 0x00020000);
  }
  CHECK_EQ_TEXT(VersionString(block, "FileVersion"), "3.3.2");
  CHECK_EQ_TEXT(VersionString(block, "FileDescription"), kDiagTitle);
  CHECK_EQ_TEXT(VersionString(block, "OriginalFilename"), "ZOLP.exe");
}

}  // namespace zolptest
