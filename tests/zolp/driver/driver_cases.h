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

// The option cases' shared parts (driver_options.cpp).
inline constexpr DWORD kBuildTimeout = 60000;
inline constexpr const char* kLabel = "T15";
// A package of 8.3 names with the sample package's boot code: sections HDD,
// Disk1 and Disk2, the version "T15".
void WriteTestPackage(const PackageDir& dir);
// One medium for check_media.sh: how it boots (qemu-boot.sh's kinds, joined
// by commas; "-" for a medium that does not), section, package folder, image,
// the seconds between which vellix read its build time, and further vellix
// options of the build.
void ListMedium(const std::string& media, const char* kind, const std::string& section,
                const std::string& package, const std::string& image, unsigned long long from,
                unsigned long long to, const std::string& options = "");
// ZOLP_MEDIA, the folder the media stay in; a failure when it is not set.
std::string MediaFolder();
// The visible top-level window of the process that holds this control.
HWND WaitDialogWith(DWORD processId, int control, DWORD milliseconds);
bool FileExists(const std::string& path);
bool NoTemporaryImages(const PackageDir& dir);
// Starts the program, clicks an option's button and expects the "Warning" box
// with the text (saved as the shot), after which the option's dialog, the one
// with the list control, has closed itself and the program goes on.
void CheckNoDrives(Zolp& z, int button, const std::string& text, const std::string& shot,
                   int list);

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
// The USB flash drive option (driver_usb.cpp).
void CaseNoUsbDrives();
void CaseUsbDrive();
// The CD option (driver_cd.cpp).
void CaseCdIsoFile();
void CaseCdBurn();
// The partition update (ZOLP.exe in test mode and without a partition, ZOLPSIM.exe on a disk).
void CaseUpdateTestMode();
void CaseUpdateWithoutPartition();
void CaseUpdatePartition();

}  // namespace zolptest
