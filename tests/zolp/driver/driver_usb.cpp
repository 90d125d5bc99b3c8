// Cases on the USB flash drive option: ZOLP.exe finds no USB disk on wine;
// ZOLPSIM.exe, started with "verify" (which changes nothing: verification is
// the default), writes the first of two simulated 32 GB sticks of one make
// (sparse files). The stick stays in ZOLP_MEDIA, listed in made.txt, for
// tests/zolp/check_media.sh to compare with the Linux vellix's 2 GB FLASH
// image, check with fsck.fat and boot in qemu as USB storage and as an IDE
// disk.
#include <windows.h>

#include <string>
#include <vector>

#include "driver_cases.h"

namespace zolptest {
namespace {

constexpr const char* kUsbTitle = "Install to USB Flash Drive";
constexpr const char* kStickBytes = "32000000000";  // 32 GB: the 2 GB volume at its start
constexpr const char* kStickSectors = "-t4128768";

// The entries of the drive list, read by selecting each in turn (a
// selection made this way tells the dialog nothing until OK).
std::vector<std::string> Entries(HWND list) {
  std::vector<std::string> entries;
  const LRESULT count = SendMessageA(list, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    SendMessageA(list, CB_SETCURSEL, static_cast<WPARAM>(i), 0);
    entries.push_back(Text(list));
  }
  return entries;
}

}  // namespace

// wine has no USB disks.
void CaseNoUsbDrives() {
  Zolp z("nousb");
  CheckNoDrives(z, IDC_USB,
                "No suitable USB flash drives were found. You must connect a supported USB flash "
                "drive to one of your USB ports before you can continue with this option.",
                "no-usb-drives", IDC_USB_DRIVES);
}

void CaseUsbDrive() {
  const std::string media = MediaFolder();
  if (media.empty()) return;
  Zolp z(zolpsimExe, "usb", media);
  WriteTestPackage(z.dir);
  z.dir.Write("DD.CFG", FileBytes(z.dir.Path() + "\\DD.CFG") +
                            Crlf({"", "[FLASH]", "FileRoot=.", "OrderedFile=ORVOBOOT.SYS",
                                  "MbrFileName=MBR.BIN"}));
  const std::string stick = media + "\\stick.img", other = media + "\\other.img";
  const std::string devices = media + "\\usb-devices.txt";
  const std::string make = std::string(kStickBytes) + " vendor=ACME product=\"Flash 32\" revision=1.0";
  CHECK(WriteWholeFile(devices, Crlf({"# two sticks of one make; the first has the volume E:,",
                                      "# which another program keeps open for two lock attempts",
                                      ("usb 1 \"" + stick + "\" " + make + " letter=E inuse=2").c_str(),
                                      ("usb 2 \"" + other + "\" " + make).c_str()})));
  SetEnvironmentVariableA("ZOLP_SIM_DEVICES", devices.c_str());
  // Slow enough writes that the progress window can be seen.
  SetEnvironmentVariableA("ZOLP_SIM_WRITE_DELAY_MS", "40");
  z.Start(" verify");
  SetEnvironmentVariableA("ZOLP_SIM_DEVICES", nullptr);
  SetEnvironmentVariableA("ZOLP_SIM_WRITE_DELAY_MS", nullptr);
  if (!z.main) return;

  PostMessageA(GetDlgItem(z.main, IDC_USB), BM_CLICK, 0, 0);
  HWND dialog = WaitTopWindow(z.process->Id(), kUsbTitle, kStartTimeout);
  CHECK(dialog != nullptr);
  if (!dialog) return;
  HWND list = GetDlgItem(dialog, IDC_USB_DRIVES);
  // A sorted list: the entry with the volume first.
  const std::vector<std::string> entries = Entries(list);
  CHECK(entries.size() == 2);
  if (entries.size() != 2) return;
  CHECK_EQ_TEXT(entries[0], "(E:) [FAT:] 32000MB - ACME Flash 32 1.0");
  CHECK_EQ_TEXT(entries[1], "32000MB - ACME Flash 32 1.0");
  CHECK_EQ_TEXT(ItemText(dialog, IDC_USB_WARNING),
                "WARNING - Select the destination carefully.\nAll data on the selected drive will "
                "be erased. ");
  // Both entries show in the opened list, the first chosen.
  SendMessageA(list, CB_SHOWDROPDOWN, TRUE, 0);
  CHECK(WaitFor([&] { return SendMessageA(list, CB_GETDROPPEDSTATE, 0, 0) != 0; }, 5000));
  SendMessageA(list, CB_SETCURSEL, 0, 0);
  Sleep(300);
  CHECK(SaveScreenshot(dialog, shotsDir + "\\usb-drives.bmp"));
  // Closing the list takes what the pointer rests on: the choice is made again.
  SendMessageA(list, CB_SHOWDROPDOWN, FALSE, 0);
  SendMessageA(list, CB_SETCURSEL, 0, 0);
  CHECK_EQ_TEXT(Text(list), entries[0]);

  const unsigned long long from = UnixNow();
  PostMessageA(dialog, WM_COMMAND, IDOK, 0);
  HWND progress = WaitTopWindow(z.process->Id(), "Copy Progress", kBuildTimeout);
  CHECK(progress != nullptr);
  if (progress) {
    // The speed and the time left beside the percentage.
    CHECK(WaitFor([&] { return ItemText(progress, IDC_PROGRESS_PERCENT).find(" MB/s - about ") !=
                               std::string::npos; }, 10000));
    CHECK(SaveScreenshot(progress, shotsDir + "\\usb-progress.bmp"));
  }
  // Written, then read back and compared.
  HWND box = WaitTopWindow(z.process->Id(), "Success!", kBuildTimeout);
  const unsigned long long to = UnixNow();
  CHECK(box != nullptr);
  if (!box) return;
  CHECK_EQ_TEXT(BoxText(box), "Successfully created the USB flash drive.");
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  CHECK(WaitFor([&] { return !IsWindow(dialog); }, kStartTimeout));
  CHECK(!progress || !IsWindow(progress));
  CHECK(NoTemporaryImages(z.dir));
  CHECK(!FileExists(z.dir.Path() + "\\vellix.exe"));
  CHECK(FileExists(stick));
  CHECK(!FileExists(other));  // the other stick was never touched
  ListMedium(media, "usb,disk", "FLASH", z.dir.Path(), stick, from, to, kStickSectors);
  z.Finish();
}

}  // namespace zolptest
