// Drives ZOLP.exe (and the test gallery of its shared windows) from outside,
// by window titles and control IDs, the way a user's clicks and keys reach it.
//   zolp_driver.exe ZOLP.exe zolp_gallery.exe SHOTS_DIR [case...]
// Each case runs the program in a fresh package folder. Exit code: failures.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <memory>
#include <cstring>
#include <string>
#include <vector>

#include "driver_support.h"
#include "resource.h"

using namespace zolptest;

namespace {

std::string zolpExe, galleryExe, shotsDir;

constexpr DWORD kStartTimeout = 15000;
constexpr DWORD kQuiet = 1200;  // how long "nothing opens" is watched

const char* const kDiagTitle = "Diagnostic Distribution Package";

// ZOLP.exe running in a package folder, its main dialog found.
struct Zolp {
  PackageDir dir;
  std::unique_ptr<Process> process;
  HWND main = nullptr;

  explicit Zolp(const std::string& name) : dir(zolpExe, name) {}
  void Start(const std::string& tail = "") {
    process = std::make_unique<Process>(dir.Program(), tail, dir.Path());
    main = WaitMain();
    CHECK(main != nullptr);
  }
  HWND WaitMain() {
    HWND found = nullptr;
    WaitFor([&] {
      for (HWND window : TopWindows(process->Id())) {
        if (GetDlgItem(window, IDC_FINISHED)) found = window;
      }
      return found != nullptr;
    }, kStartTimeout);
    return found;
  }
  // Leaves through the Finished button and expects the process to end.
  void Finish() {
    if (!main) return;
    PostMessageA(GetDlgItem(main, IDC_FINISHED), BM_CLICK, 0, 0);
    CHECK(process->WaitExit(5000));
  }
  void Shot(const char* name) {
    if (main) CHECK(SaveScreenshot(main, shotsDir + "\\" + name + ".bmp"));
  }
};

std::string Crlf(std::initializer_list<const char*> lines) {
  std::string text;
  for (const char* line : lines) text += std::string(line) + "\r\n";
  return text;
}

int WidthOf(HWND dialog, int id) {
  RECT r = ItemRect(dialog, id);
  return r.right - r.left;
}

// Which option buttons are shown, and the template-specific texts.
struct Expected {
  const char* title;
  bool diskette, update, image;
  bool tinyUpdateAndImage;
  const char* finishedCaption;
  const char* runWhat;
};

void CheckTemplate(Zolp& z, const Expected& e) {
  HWND m = z.main;
  if (!m) return;
  CHECK_EQ_TEXT(Text(m), e.title);
  CHECK(ItemVisible(m, IDC_USB));
  CHECK(ItemVisible(m, IDC_CD));
  CHECK(ItemVisible(m, IDC_FINISHED));
  CHECK(ItemVisible(m, IDC_LOGO));
  CHECK(ItemVisible(m, IDC_DISKETTE) == e.diskette);
  CHECK(ItemVisible(m, IDC_UPDATE) == e.update);
  CHECK(ItemVisible(m, IDC_IMAGE) == e.image);
  // Every option button exists in every template, shown or not.
  for (int id : {IDC_USB, IDC_CD, IDC_DISKETTE, IDC_IMAGE, IDC_UPDATE, IDC_FINISHED})
    CHECK(GetDlgItem(m, id) != nullptr);
  int usbWidth = WidthOf(m, IDC_USB);
  if (e.tinyUpdateAndImage) {
    CHECK(WidthOf(m, IDC_UPDATE) * 8 < usbWidth);
    CHECK(WidthOf(m, IDC_IMAGE) * 6 < usbWidth);
    RECT logo = ItemRect(m, IDC_LOGO), update = ItemRect(m, IDC_UPDATE);
    CHECK(update.left >= logo.left && update.bottom <= logo.bottom);
    CHECK(GetDlgItem(m, IDC_UPDATE_TEXT) == nullptr);
  } else if (e.update) {
    CHECK(WidthOf(m, IDC_UPDATE) == usbWidth);
  }
  CHECK_EQ_TEXT(ItemText(m, IDC_FINISHED), e.finishedCaption);
  std::string usbText = ItemText(m, IDC_USB_TEXT);
  CHECK(usbText.find(std::string("to run ") + e.runWhat + " from.") != std::string::npos);
  CHECK(usbText.find("flash drive  products") != std::string::npos);
  CHECK((GetDlgItem(m, IDC_DISKETTE_TEXT) != nullptr) == e.diskette);
}

// --- cases -----------------------------------------------------------------

void CaseTemplate101() {
  Zolp z("t101");
  z.dir.Write("DD.CFG", Crlf({"[Disk1]", "Files=1"}));
  z.Start();
  CheckTemplate(z, {kDiagTitle, true, true, true, false, "Finished Creating Diagnostic Media",
                    "diagnostics"});
  CHECK_EQ_TEXT(ItemText(z.main, IDC_UPDATE_TEXT),
                "Select this option to update an existing diagnostic utility partition on this "
                "computer. The partition must already exist or this option will fail. See the "
                "readme file for additional information. ");
  z.Shot("main-101");
  z.Finish();
}

void CaseTemplate102WithoutPackageFile() {
  Zolp z("t102");
  z.Start();
  CheckTemplate(z, {kDiagTitle, false, true, true, false, "Finished Creating Diagnostic Media",
                    "diagnostics"});
  // Finished sits centred below the two columns.
  RECT usb = ItemRect(z.main, IDC_USB), cd = ItemRect(z.main, IDC_CD);
  RECT fin = ItemRect(z.main, IDC_FINISHED);
  CHECK(fin.left > usb.left && fin.right < cd.right);
  z.Shot("main-102");
  z.Finish();
}

void CaseTemplate103() {
  Zolp z("t103");
  z.dir.Write("DD.CFG", Crlf({"[Disk1]", "x=1", "[VORTALIS]"}));
  z.Start();
  CheckTemplate(z, {"Vortalis Distribution Package", false, false, true, false,
                    "Finished Creating Media", "Vortalis"});
  CHECK(ItemText(z.main, IDC_CD_TEXT).find("run Vortalis from") != std::string::npos);
  z.Shot("main-103");
  z.Finish();
}

void CaseTemplate104() {
  Zolp z("t104");
  z.dir.Write("DD.CFG", Crlf({"[Disk1]", "[TIRANDOL]", "[VORTALIS]"}));
  z.Start();
  CheckTemplate(z, {kDiagTitle, false, true, true, true, "Finished Creating Diagnostic Media",
                    "diagnostics"});
  z.Shot("main-104");
  z.Finish();
}

void CaseMarkersIgnoreCaseAndBlanks() {
  Zolp z("markers");
  z.dir.Write("DD.CFG", Crlf({"; [TIRANDOL]", "  [disk1]  ", "Key=[VORTALIS]"}));
  z.Start();
  CHECK(ItemVisible(z.main, IDC_DISKETTE));  // 101
  z.Finish();
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
    PostKey(GetDlgItem(viewer, IDOK), VK_ESCAPE);
    CHECK(WaitFor([&] { return !IsWindow(viewer); }, 5000));
  }
  z.Finish();
}

void CaseReadmeViewer() {
  struct Row {
    const char* readme;  // null: no readme.txt
    const char* shown;   // null: the link leads nowhere
    const char* shot;
  } rows[] = {
      {"Line one\nLine two\r\n", "Line one\r\nLine two\r\n", "readme-viewer"},
      {"", "The readme file length is 0.", "readme-viewer-empty"},
      {nullptr, nullptr, nullptr},
  };
  for (const Row& row : rows) {
    Zolp z("readme");
    if (row.readme) z.dir.Write("readme.txt", row.readme);
    z.Start();
    PostClick(GetDlgItem(z.main, IDC_README_LINK));
    HWND viewer = WaitTopWindow(z.process->Id(), "View Readme", row.shown ? 5000 : kQuiet);
    CHECK((viewer != nullptr) == (row.shown != nullptr));
    if (viewer) {
      CHECK_EQ_TEXT(ItemText(viewer, IDC_README_TEXT), row.shown);
      CHECK(SaveScreenshot(viewer, shotsDir + "\\" + row.shot + ".bmp"));
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

void CaseTitleFromPackage() {
  Zolp z("title");
  std::string longName(200, 'N');
  z.dir.Write("DD.CFG", Crlf({"[VORTALIS]", ("Package:" + longName).c_str()}));
  z.Start();
  CHECK_EQ_TEXT(Text(z.main), std::string(127, 'N'));
  z.Finish();
}

void CaseOptionButtonsDoNothingYet() {
  Zolp z("options");
  z.dir.Write("DD.CFG", Crlf({"[Disk1]"}));
  z.Start();
  std::size_t windows = TopWindows(z.process->Id()).size();
  for (int id : {IDC_USB, IDC_CD, IDC_DISKETTE, IDC_IMAGE, IDC_UPDATE}) {
    CHECK(IsWindowEnabled(GetDlgItem(z.main, id)));  // wine's user counts as an administrator
    PostMessageA(GetDlgItem(z.main, id), BM_CLICK, 0, 0);
  }
  Sleep(kQuiet);
  CHECK(z.process->Running());
  CHECK(TopWindows(z.process->Id()).size() == windows);
  // A click on the logo is swallowed: nothing opens, nothing closes.
  PostClick(GetDlgItem(z.main, IDC_LOGO));
  Sleep(300);
  CHECK(z.process->Running());
  z.Finish();
}

void CaseEnterKey() {
  {
    Zolp z("enter-finished");
    z.dir.Write("DD.CFG", Crlf({"[Disk1]"}));
    z.Start();
    HWND focused = GetDlgItem(z.main, IDC_FINISHED);
    PostKey(focused, VK_RETURN);
    DWORD code = 1234;
    CHECK(z.process->WaitExit(5000, &code));
    CHECK(code == 0);
  }
  {
    Zolp z("enter-diskette");
    z.dir.Write("DD.CFG", Crlf({"[Disk1]"}));
    z.Start();
    HWND diskette = GetDlgItem(z.main, IDC_DISKETTE);
    PostMessageA(z.main, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(diskette), TRUE);
    Sleep(200);
    PostKey(diskette, VK_RETURN);
    // The diskette dialog is not part of the program yet: Enter opens nothing
    // and, above all, doesn't close the program.
    Sleep(kQuiet);
    CHECK(z.process->Running());
    PostKey(diskette, VK_ESCAPE);
    CHECK(z.process->WaitExit(5000));
  }
}

void CaseSecondStartBringsFirstForward() {
  Zolp z("instance");
  z.Start();
  UINT probe = RegisterWindowMessageA("name##_MSG");
  DWORD_PTR answer = 0;
  CHECK(SendMessageTimeoutA(z.main, probe, 0, 0, SMTO_ABORTIFHUNG, 2000, &answer));
  CHECK(answer == probe);

  // Something else in front first.
  HWND other = CreateWindowExA(0, "STATIC", "driver window", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                               0, 0, 300, 200, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  SetForegroundWindow(other);
  Sleep(300);
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  CHECK(GetForegroundWindow() != z.main);

  Process second(z.dir.Program(), "", z.dir.Path());
  DWORD code = 1234;
  CHECK(second.WaitExit(5000, &code));
  CHECK(code == 0);
  Sleep(300);
  CHECK(GetForegroundWindow() == z.main);
  DestroyWindow(other);
  z.Finish();
}

// Verbose mode shows reports that are otherwise silent: a missing DD.CFG
// gives "File Open Failed" boxes before the main dialog.
void CaseCommandWords() {
  struct Row {
    const char* tail;
    bool verbose;
  } rows[] = {{" /VERBOSE -uptest", true}, {" verbosex", false}, {" -Verbose", true}};
  for (const Row& row : rows) {
    Zolp z("words");
    z.process = std::make_unique<Process>(z.dir.Program(), row.tail, z.dir.Path());
    int boxes = 0;
    HWND main = nullptr;
    WaitFor([&] {
      if (HWND box = FindTopWindow(z.process->Id(), "File Open Failed")) {
        if (boxes == 0 && row.verbose) CHECK(SaveScreenshot(box, shotsDir + "\\verbose-report.bmp"));
        ++boxes;
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        WaitFor([&] { return !IsWindow(box); }, 3000);
      }
      for (HWND window : TopWindows(z.process->Id()))
        if (GetDlgItem(window, IDC_FINISHED)) main = window;
      return main != nullptr;
    }, kStartTimeout);
    z.main = main;
    CHECK(main != nullptr);
    CHECK((boxes > 0) == row.verbose);
    if (row.verbose) CHECK(boxes >= 3);  // one per template marker looked up
    z.Finish();
  }
}

// --- the gallery of shared windows -----------------------------------------

struct Gallery {
  PackageDir dir;
  std::unique_ptr<Process> process;
  explicit Gallery(const std::string& name) : dir(galleryExe, name) {}
  HWND Start(const std::string& page, const char* title) {
    process = std::make_unique<Process>(dir.Program(), " " + page, dir.Path());
    HWND window = WaitTopWindow(process->Id(), title, kStartTimeout);
    CHECK(window != nullptr);
    return window;
  }
};

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
  PostMessageA(window, WM_CLOSE, 0, 0);
  CHECK(g.process->WaitExit(5000));
}

struct Case {
  const char* name;
  void (*run)();
};

const Case kCases[] = {
    {"template_101", CaseTemplate101},
    {"template_102_without_package_file", CaseTemplate102WithoutPackageFile},
    {"template_103", CaseTemplate103},
    {"template_104", CaseTemplate104},
    {"markers_ignore_case_and_blanks", CaseMarkersIgnoreCaseAndBlanks},
    {"version_label", CaseVersionLabel},
    {"release_viewer_shows_whole_file", CaseReleaseViewerShowsWholeFile},
    {"readme_viewer", CaseReadmeViewer},
    {"system_menu_and_about", CaseSystemMenuAndAbout},
    {"about_without_package_name", CaseAboutWithoutPackageName},
    {"title_from_package", CaseTitleFromPackage},
    {"option_buttons_do_nothing_yet", CaseOptionButtonsDoNothingYet},
    {"enter_key", CaseEnterKey},
    {"second_start_brings_first_forward", CaseSecondStartBringsFirstForward},
    {"command_words", CaseCommandWords},
    {"progress_window", CaseProgressWindow},
    {"build_window", CaseBuildWindow},
    {"viewers_without_files", CaseViewersWithoutFiles},
    {"controls_gallery", CaseControlsGallery},
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: zolp_driver ZOLP.exe zolp_gallery.exe SHOTS_DIR [case...]\n");
    return 2;
  }
  zolpExe = argv[1];
  galleryExe = argv[2];
  shotsDir = argv[3];
  CreateDirectoryA(shotsDir.c_str(), nullptr);
  int failedCases = 0, ran = 0;
  for (const Case& c : kCases) {
    if (argc > 4) {
      bool wanted = false;
      for (int i = 4; i < argc; ++i) wanted |= std::strcmp(argv[i], c.name) == 0;
      if (!wanted) continue;
    }
    int before = FailureCount();
    DWORD start = GetTickCount();
    std::printf("[ RUN  ] %s\n", c.name);
    std::fflush(stdout);
    c.run();
    bool ok = FailureCount() == before;
    failedCases += ok ? 0 : 1;
    ++ran;
    std::printf("[ %s ] %s (%lu ms)\n", ok ? " OK " : "FAIL", c.name,
                static_cast<unsigned long>(GetTickCount() - start));
    std::fflush(stdout);
  }
  std::printf("%d of %d cases passed\n", ran - failedCases, ran);
  return failedCases;
}
