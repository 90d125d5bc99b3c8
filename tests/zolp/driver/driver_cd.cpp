// Cases on the CD option: ZOLP.exe saves an ISO image through its embedded
// vellix.exe (wine has no CD writer, so burning stays disabled); ZOLPSIM.exe
// burns one onto a simulated writer holding a blank CD-R, reads it back (the
// "verify" word) and leaves the disc as a file. Both stay in ZOLP_MEDIA, listed
// in made.txt, for tests/zolp/check_media.sh to compare with the Linux vellix,
// check with isoinfo, xorriso and fsck.fat, and boot in qemu as a CD.
#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <string>

#include "driver_cases.h"

namespace zolptest {
namespace {

constexpr DWORD kCdTimeout = 60000;
constexpr const char* kCdTitle = "Create Bootable CD Image";

// The test package with a CD section: the ISO boots its FAT volume through
// hard-disk emulation and carries the readme.
void WriteCdPackage(const PackageDir& dir) {
  WriteTestPackage(dir);
  const std::string config = FileBytes(dir.Path() + "\\DD.CFG");
  dir.Write("DD.CFG", config + Crlf({"", "[CD]", "FileRoot=.", "OrderedFile=ORVOBOOT.SYS",
                                     "ImageName=cd.iso", "ISO=1", "MbrFileName=MBR.BIN",
                                     "ISOReadmeName=readme.txt", "ExcludeFile=*.ISO"}));
}

// Opens the CD dialog from the main dialog's button.
HWND OpenCdDialog(Zolp& z) {
  PostMessageA(GetDlgItem(z.main, IDC_CD), BM_CLICK, 0, 0);
  HWND dialog = WaitTopWindow(z.process->Id(), kCdTitle, kStartTimeout);
  CHECK(dialog != nullptr);
  return dialog;
}

bool Checked(HWND dialog, int id) {
  return SendMessageA(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

}  // namespace

void CaseCdIsoFile() {
  const std::string media = MediaFolder();
  if (media.empty()) return;
  Zolp z(zolpExe, "cd-iso", media);
  WriteCdPackage(z.dir);
  z.Start();
  if (!z.main) return;
  HWND dialog = OpenCdDialog(z);
  if (!dialog) return;
  // Wine's user is an administrator, but wine has no CD writer.
  CHECK(!IsWindowEnabled(GetDlgItem(dialog, IDC_CD_BURN)));
  CHECK(!Checked(dialog, IDC_CD_BURN));
  const std::string image = z.dir.Path() + "\\cd.iso";
  CHECK_EQ_TEXT(ItemText(dialog, IDC_CD_PATH), image);
  CHECK(SaveScreenshot(dialog, shotsDir + "\\cd.bmp"));

  const unsigned long long from = UnixNow();
  PostMessageA(dialog, WM_COMMAND, IDOK, 0);
  HWND box = WaitTopWindow(z.process->Id(), "Success!", kCdTimeout);
  const unsigned long long to = UnixNow();
  CHECK(box != nullptr);
  if (!box) return;
  CHECK_EQ_TEXT(BoxText(box), "The CD ISO image file was successfully created.");
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  CHECK(WaitFor([&] { return !IsWindow(dialog); }, 5000));
  CHECK(FileExists(image));
  CHECK(!FileExists(z.dir.Path() + "\\vellix.exe"));
  ListMedium(media, "cd", "CD", z.dir.Path(), image, from, to, std::string("-N") + kLabel);
  z.Finish();
}

// A simulated writer E: with a blank CD-R; each WRITE (10) takes a while, so
// the burn dialog can be seen at work.
void CaseCdBurn() {
  const std::string media = MediaFolder();
  if (media.empty()) return;
  Zolp z(zolpsimExe, "cd-burn", media);
  WriteCdPackage(z.dir);
  const std::string disc = media + "\\burned.iso";
  const std::string devices = media + "\\cd-devices.txt";
  CHECK(WriteWholeFile(devices, Crlf({"# a writer with a blank CD-R; what it burns lands here.",
                                      "# Its buffer fills every 50th write, and another program",
                                      "# polls it unless the burn holds it for itself.",
                                      ("cdwriter E \"" + disc + "\" cd-r longwrite=50 shared").c_str()})));
  SetEnvironmentVariableA("ZOLP_SIM_DEVICES", devices.c_str());
  SetEnvironmentVariableA("ZOLP_SIM_WRITE_DELAY_MS", "15");
  z.Start(" verify");
  SetEnvironmentVariableA("ZOLP_SIM_DEVICES", nullptr);
  SetEnvironmentVariableA("ZOLP_SIM_WRITE_DELAY_MS", nullptr);
  if (!z.main) return;

  HWND dialog = OpenCdDialog(z);
  if (!dialog) return;
  CHECK(IsWindowEnabled(GetDlgItem(dialog, IDC_CD_BURN)));
  PostMessageA(GetDlgItem(dialog, IDC_CD_BURN), BM_CLICK, 0, 0);
  CHECK(WaitFor([&] { return Checked(dialog, IDC_CD_BURN); }, 5000));
  CHECK_EQ_TEXT(ItemText(dialog, IDC_CD_PATH), "Burn CD");
  CHECK(!IsWindowEnabled(GetDlgItem(dialog, IDC_CD_PATH)));
  CHECK(!IsWindowEnabled(GetDlgItem(dialog, IDC_CD_BROWSE)));
  CHECK(SaveScreenshot(dialog, shotsDir + "\\cd-burn.bmp"));

  const unsigned long long from = UnixNow();
  PostMessageA(dialog, WM_COMMAND, IDOK, 0);
  HWND burn = WaitTopWindow(z.process->Id(), "Burn CD", kCdTimeout);
  const unsigned long long to = UnixNow();  // the image is built before the burn dialog opens
  CHECK(burn != nullptr);
  if (!burn) return;
  HWND writers = GetDlgItem(burn, IDC_BURN_WRITERS);
  CHECK(SendMessageA(writers, CB_GETCOUNT, 0, 0) == 1);
  CHECK_EQ_TEXT(Text(writers), "(E:) SIMUL CD-RW WRITER");
  CHECK_EQ_TEXT(ItemText(burn, IDC_BURN_STATUS), " Waiting for user...");
  CHECK_EQ_TEXT(ItemText(burn, IDC_BURN_PERCENT), "0%");
  // The bar's colour as set (wine draws its own theme colour, as for the copy window).
  CHECK(SendMessageA(GetDlgItem(burn, IDC_BURN_PROGRESS), PBM_GETBARCOLOR, 0, 0) ==
        RGB(0, 0, 0x91));
  CHECK(SaveScreenshot(burn, shotsDir + "\\burn-cd.bmp"));

  PostMessageA(burn, WM_COMMAND, IDOK, 0);
  // Mid-burn: the files are being copied, the buttons are off, the animation plays.
  CHECK(WaitFor([&] { return std::atoi(ItemText(burn, IDC_BURN_PERCENT).c_str()) >= 50; },
                kCdTimeout));
  CHECK_EQ_TEXT(ItemText(burn, IDC_BURN_STATUS), " Copying files...");
  CHECK(!IsWindowEnabled(GetDlgItem(burn, IDOK)));
  CHECK(!IsWindowEnabled(GetDlgItem(burn, IDCANCEL)));
  CHECK(SaveScreenshot(burn, shotsDir + "\\burn-cd-progress.bmp"));
  PostMessageA(burn, WM_COMMAND, IDCANCEL, 0);  // refused while the worker runs
  Sleep(300);
  CHECK(IsWindowVisible(burn));

  HWND box = WaitTopWindow(z.process->Id(), "Success!", kCdTimeout);
  CHECK(box != nullptr);
  if (box) {
    CHECK_EQ_TEXT(BoxText(box), "Successfully created the CD.");
    CHECK(!IsWindowVisible(burn));  // hidden before the box
    // The disc was read back before it was called good.
    CHECK(WaitFor([&] { return ItemText(burn, IDC_BURN_STATUS) == " Verifying the CD..."; },
                  5000));
    PostMessageA(box, WM_COMMAND, IDOK, 0);
  }
  CHECK(WaitFor([&] { return !IsWindow(burn) && !IsWindow(dialog); }, kStartTimeout));
  CHECK(NoTemporaryImages(z.dir));
  CHECK(!FileExists(z.dir.Path() + "\\vellix.exe"));
  ListMedium(media, "cd", "CD", z.dir.Path(), disc, from, to, std::string("-N") + kLabel);
  z.Finish();
}

}  // namespace zolptest
