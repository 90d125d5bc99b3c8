// Shared parts of the ZOLP test driver: the program under test in its package
// folder, the gallery of shared windows, and the cases of each file.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <memory>
#include <string>

#include "driver_support.h"
#include "resource.h"

namespace zolptest {

extern std::string zolpExe, galleryExe, zolpsimExe, shotsDir;

inline constexpr DWORD kStartTimeout = 15000;
inline constexpr DWORD kQuiet = 1200;  // how long "nothing opens" is watched
inline constexpr const char* kDiagTitle = "Diagnostic Distribution Package";

// ZOLP.exe running in a package folder, its main dialog found.
struct Zolp {
  PackageDir dir;
  std::unique_ptr<Process> process;
  HWND main = nullptr;

  explicit Zolp(const std::string& name) : dir(zolpExe, name) {}
  // A program (ZOLP.exe or ZOLPSIM.exe) in a package folder that outlives the case.
  Zolp(const std::string& program, const std::string& name, const std::string& parent)
      : dir(program, name, parent) {}
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

// The test gallery (zolp_gallery.exe) in a folder of its own.
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

std::string Crlf(std::initializer_list<const char*> lines);

// Main dialog: layouts, title, buttons, keys, instances, command words.
void CaseTemplate101();
void CaseTemplate102WithoutPackageFile();
void CaseTemplate103();
void CaseTemplate104();
void CaseMarkersIgnoreCaseAndBlanks();
void CaseTitleFromPackage();
void CaseOptionButtons();
void CaseEnterKey();
void CaseSecondStartBringsFirstForward();
void CaseSecondStartRestoresMinimisedFirst();
void CaseCommandWords();
// Links, viewers, system menu, About box.
void CaseVersionLabel();
void CaseReleaseViewerShowsWholeFile();
void CaseReadmeViewer();
void CaseSystemMenuAndAbout();
void CaseAboutWithoutPackageName();
void CaseSystemMenuByKeyboard();
// Shared windows and controls through the gallery, and the resources.
void CaseProgressWindow();
void CaseBuildWindow();
void CaseViewersWithoutFiles();
void CaseControlsGallery();
void CaseNotAdministrator();
void CaseCursorOverLinks();
void CaseResources();
// The image file and diskette set options (ZOLP.exe and ZOLPSIM.exe).
void CaseImageFile();
void CaseNoDisketteDrives();
void CaseDisketteSet();
// The partition update (ZOLP.exe in test mode and without a partition, ZOLPSIM.exe on a disk).
void CaseUpdateTestMode();
void CaseUpdateWithoutPartition();
void CaseUpdatePartition();

}  // namespace zolptest
