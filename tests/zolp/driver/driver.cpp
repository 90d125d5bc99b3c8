// Drives ZOLP.exe (and the test gallery of its shared windows) from outside,
// by window titles and control IDs, the way a user's clicks and keys reach it.
//   zolp_driver.exe ZOLP.exe zolp_gallery.exe ZOLPSIM.exe SHOTS_DIR [case...]
// Each case runs the program in a fresh package folder. Exit code: failed cases,
// and unknown case names count as failures. The cases that make media put them
// with their package folders in ZOLP_MEDIA and list them in ZOLP_MEDIA\made.txt
// for tests/zolp/check_media.sh.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "driver_cases.h"

namespace zolptest {
std::string zolpExe, galleryExe, zolpsimExe, shotsDir;
}  // namespace zolptest

using namespace zolptest;

namespace {

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
    {"option_buttons", CaseOptionButtons},
    {"enter_key", CaseEnterKey},
    {"second_start_brings_first_forward", CaseSecondStartBringsFirstForward},
    {"second_start_restores_minimised_first", CaseSecondStartRestoresMinimisedFirst},
    {"command_words", CaseCommandWords},
    {"progress_window", CaseProgressWindow},
    {"build_window", CaseBuildWindow},
    {"viewers_without_files", CaseViewersWithoutFiles},
    {"controls_gallery", CaseControlsGallery},
    {"resources", CaseResources},
    {"not_administrator", CaseNotAdministrator},
    {"cursor_over_links", CaseCursorOverLinks},
    {"system_menu_by_keyboard", CaseSystemMenuByKeyboard},
    {"image_file", CaseImageFile},
    {"no_diskette_drives", CaseNoDisketteDrives},
    {"diskette_set", CaseDisketteSet},
    {"no_usb_drives", CaseNoUsbDrives},
    {"usb_drive", CaseUsbDrive},
    {"cd_iso_file", CaseCdIsoFile},
    {"cd_burn", CaseCdBurn},
    {"update_test_mode", CaseUpdateTestMode},
    {"update_without_partition", CaseUpdateWithoutPartition},
    {"update_partition", CaseUpdatePartition},
};

}  // namespace

int main(int argc, char** argv) {
  constexpr int kFirstCase = 5;
  if (argc < kFirstCase) {
    std::fprintf(stderr,
                 "usage: zolp_driver ZOLP.exe zolp_gallery.exe ZOLPSIM.exe SHOTS_DIR [case...]\n");
    return 2;
  }
  zolpExe = argv[1];
  galleryExe = argv[2];
  zolpsimExe = argv[3];
  shotsDir = argv[4];
  CreateDirectoryA(shotsDir.c_str(), nullptr);
  // A name that matches no case must not read as a pass.
  int unknown = 0;
  for (int i = kFirstCase; i < argc; ++i) {
    bool known = false;
    for (const Case& c : kCases) known |= std::strcmp(argv[i], c.name) == 0;
    if (!known) {
      std::printf("[ FAIL ] %s: no such case\n", argv[i]);
      ++unknown;
    }
  }
  int failedCases = 0, ran = 0;
  for (const Case& c : kCases) {
    if (argc > kFirstCase) {
      bool wanted = false;
      for (int i = kFirstCase; i < argc; ++i) wanted |= std::strcmp(argv[i], c.name) == 0;
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
  if (unknown > 0) std::printf("%d case name(s) matched no case\n", unknown);
  return failedCases + unknown;
}
