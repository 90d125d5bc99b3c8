// Cases on the links, the two viewers, the system menu and the About box.
#include <windows.h>

#include <cstring>
#include <string>

#include "driver_cases.h"

namespace zolptest {
std::string Crlf(std::initializer_list<const char*> lines) {
  std::string text;
  for (const char* line : lines) text += std::string(line) + "\r\n";
  return text;
}

void CaseVersionLabel() {
  struct Row {
    const char* versionFile;  // null: no Version.txt
    const char* label;
    bool release;
  } rows[] = {
      {"OEM Version: A05\r\n", "Package Version A05", true},
      {"OEM Ver=A05\r\n", "Package Version A05", true},
      {"Release notes only\r\n", "Package Version Unknown", false},
      {nullptr, "Package Version Unknown", false},
  };
  for (const Row& row : rows) {
    Zolp z("version");
    if (row.versionFile) z.dir.Write("Version.txt", row.versionFile);
    z.Start();
    CHECK_EQ_TEXT(ItemText(z.main, IDC_VERSION_LABEL), row.label);
    // The release link opens the viewer only when there is release information.
    PostClick(GetDlgItem(z.main, IDC_RELEASE_LINK));
    HWND viewer = WaitTopWindow(z.process->Id(), "Release Information", row.release ? 5000 : kQuiet);
    CHECK((viewer != nullptr) == row.release);
    if (viewer) {
      CHECK_EQ_TEXT(ItemText(viewer, IDC_RELEASE_VERSION), "A05");
      CHECK_EQ_TEXT(ItemText(viewer, IDC_RELEASE_TEXT), row.versionFile);
      if (std::strchr(row.versionFile, ':')) {
        CHECK(SaveScreenshot(viewer, shotsDir + "\\release-viewer.bmp"));
      }
      PostMessageA(viewer, WM_COMMAND, IDOK, 0);
      CHECK(WaitFor([&] { return !IsWindow(viewer); }, 5000));
    }
    z.Finish();
  }
}

void CaseReleaseViewerShowsWholeFile() {
  Zolp z("release");
  std::string version = Crlf({"Package release notes", "OEM Ver: X12 build 7", "", "Fixed: all"});
  z.dir.Write("Version.txt", version);
  z.Start();
  CHECK_EQ_TEXT(ItemText(z.main, IDC_VERSION_LABEL), "Package Version X12 build 7");
  PostMessageA(z.main, WM_SYSCOMMAND, IDM_RELEASEINFO, 0);
  HWND viewer = WaitTopWindow(z.process->Id(), "Release Information", 5000);
  CHECK(viewer != nullptr);
  if (viewer) {
    CHECK_EQ_TEXT(ItemText(viewer, IDC_RELEASE_TEXT), version);
    CHECK_EQ_TEXT(ItemText(viewer, IDC_RELEASE_VERSION), "X12 build 7");
    // Modal over the main dialog, which waits disabled behind it.
    CHECK(GetWindow(viewer, GW_OWNER) == z.main);
    CHECK(!IsWindowEnabled(z.main));
    PostKey(GetDlgItem(viewer, IDOK), VK_ESCAPE);
    CHECK(WaitFor([&] { return !IsWindow(viewer); }, 5000));
    CHECK(IsWindowEnabled(z.main));
  }
  z.Finish();
}

void CaseReadmeViewer() {
  std::string big;
  for (int i = 0; i < 3000; ++i) big += "Line " + std::to_string(i) + " of a long readme file.\r\n";
  struct Row {
    std::string readme;
    bool present;
    const char* shown;   // null: the link leads nowhere
    const char* shot;
  } rows[] = {
      {"Line one\nLine two\r\n", true, "Line one\r\nLine two\r\n", "readme-viewer"},
      {"", true, "The readme file length is 0.", "readme-viewer-empty"},
      {std::string("Shown\0hidden", 12), true, "Shown", nullptr},
      {big, true, big.c_str(), nullptr},
      {"", false, nullptr, nullptr},
  };
  for (const Row& row : rows) {
    Zolp z("readme");
    if (row.present) z.dir.Write("readme.txt", row.readme);
    z.Start();
    PostClick(GetDlgItem(z.main, IDC_README_LINK));
    HWND viewer = WaitTopWindow(z.process->Id(), "View Readme", row.shown ? 5000 : kQuiet);
    CHECK((viewer != nullptr) == (row.shown != nullptr));
    if (viewer) {
      CHECK_EQ_TEXT(ItemText(viewer, IDC_README_TEXT), row.shown);
      if (row.shot) CHECK(SaveScreenshot(viewer, shotsDir + "\\" + row.shot + ".bmp"));
      PostMessageA(viewer, WM_COMMAND, IDOK, 0);
      CHECK(WaitFor([&] { return !IsWindow(viewer); }, 5000));
    }
    // The system menu's readme command exists only with a readme.
    PostMessageA(z.main, WM_SYSCOMMAND, IDM_VIEWREADME, 0);
    viewer = WaitTopWindow(z.process->Id(), "View Readme", row.shown ? 5000 : kQuiet);
    CHECK((viewer != nullptr) == (row.shown != nullptr));
    if (viewer) PostMessageA(viewer, WM_COMMAND, IDOK, 0);
    z.Finish();
  }
}

// The system menu of another process can't be read under every system, so
// its items are checked by their commands and, where possible, by the menu.
void CaseSystemMenuAndAbout() {
  Zolp z("sysmenu");
  z.dir.Write("DD.CFG", Crlf({"Package = Test Kit 7"}));
  z.Start();
  HMENU menu = GetSystemMenu(z.main, FALSE);
  int count = menu ? GetMenuItemCount(menu) : -1;
  if (count > 0) {
    char text[64] = {};
    GetMenuStringA(menu, count - 1, text, sizeof text, MF_BYPOSITION);
    CHECK_EQ_TEXT(text, "&About ZOLP...");
    CHECK(GetMenuItemID(menu, count - 1) == IDM_ABOUTBOX);
    CHECK(GetMenuItemID(menu, count - 2) == 0);  // the separator: no release, no readme
  } else {
    std::printf("    note: the system menu of another process is not readable here\n");
  }
  PostMessageA(z.main, WM_SYSCOMMAND, IDM_RELEASEINFO | 0x0F, 0);
  CHECK(WaitTopWindow(z.process->Id(), "Release Information", kQuiet) == nullptr);
  PostMessageA(z.main, WM_SYSCOMMAND, IDM_ABOUTBOX | 0x0A, 0);
  HWND about = WaitTopWindow(z.process->Id(), "About ZOLP", 5000);
  CHECK(about != nullptr);
  if (about) {
    CHECK_EQ_TEXT(ItemText(about, IDC_ABOUT_VERSION), "Version 3.3.2");
    CHECK_EQ_TEXT(ItemText(about, IDC_ABOUT_PACKAGE), "Test Kit 7");
    CHECK(SaveScreenshot(about, shotsDir + "\\about.bmp"));
    PostMessageA(about, WM_COMMAND, IDOK, 0);
    CHECK(WaitFor([&] { return !IsWindow(about); }, 5000));
  }
  z.Finish();
}

void CaseAboutWithoutPackageName() {
  Zolp z("about");
  z.Start();
  PostMessageA(z.main, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
  HWND about = WaitTopWindow(z.process->Id(), "About ZOLP", 5000);
  CHECK(about != nullptr);
  if (about) {
    CHECK_EQ_TEXT(ItemText(about, IDC_ABOUT_PACKAGE), kDiagTitle);
    PostMessageA(about, WM_COMMAND, IDCANCEL, 0);
  }
  z.Finish();
}

HWND OpenSystemMenu(Zolp& z) {
  SetForegroundWindow(z.main);
  PostMessageA(z.main, WM_SYSCOMMAND, SC_KEYMENU, ' ');
  HWND popup = nullptr;
  WaitFor([&] {
    for (HWND w : TopWindows(z.process->Id())) {
      char cls[32] = {};
      GetClassNameA(w, cls, sizeof cls);
      if (std::string(cls) == "#32768") popup = w;
    }
    return popup != nullptr;
  }, 3000);
  return popup;
}

void WalkUpAndChoose(Zolp& z, int steps) {
  for (int i = 0; i < steps; ++i) {
    PostKey(z.main, VK_UP);
    Sleep(100);
  }
  PostKey(z.main, VK_RETURN);
}

void CaseSystemMenuByKeyboard() {
  struct Row {
    bool release, readme;
    int steps;
    const char* opens;
  } rows[] = {
      {true, true, 1, "About ZOLP"},
      {true, true, 2, "View Readme"},
      {true, true, 3, "Release Information"},
      {true, false, 2, "Release Information"},
      {false, true, 2, "View Readme"},
      {false, false, 1, "About ZOLP"},
  };
  for (const Row& row : rows) {
    Zolp z("sysmenu-keys");
    if (row.release) z.dir.Write("Version.txt", "OEM Ver: 2\r\n");
    if (row.readme) z.dir.Write("readme.txt", "Readme\r\n");
    z.Start();
    if (!z.main) continue;
    HWND popup = OpenSystemMenu(z);
    CHECK(popup != nullptr);
    if (!popup) continue;
    if (row.release && row.readme && row.steps == 3)
      CHECK(SaveScreenshot(popup, shotsDir + "\\system-menu.bmp"));
    WalkUpAndChoose(z, row.steps);
    HWND opened = WaitTopWindow(z.process->Id(), row.opens, 5000);
    CHECK(opened != nullptr);
    if (opened) PostMessageA(opened, WM_COMMAND, IDOK, 0);
    CHECK(WaitFor([&] { return !opened || !IsWindow(opened); }, 5000));
    z.Finish();
  }
}

}  // namespace zolptest
