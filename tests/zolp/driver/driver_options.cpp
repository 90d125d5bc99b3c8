// Cases on the image file and diskette set options: ZOLP.exe makes a hard-disk
// image with its embedded vellix.exe; ZOLPSIM.exe writes a diskette set onto
// simulated diskette drives. The media and their package folders stay in
// ZOLP_MEDIA, listed in made.txt, for tests/zolp/check_media.sh to compare with
// the Linux vellix, check with fsck.fat and boot in qemu.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>

#include "driver_cases.h"

namespace zolptest {

// Names valid as 8.3 names only: the Windows and the Linux vellix then make
// the same image byte for byte.
void WriteTestPackage(const PackageDir& dir) {
  const std::string sample = Environment("ZOLP_SAMPLE_PACKAGE");
  for (const char* boot : {"BOOTSECT.BIN", "MBR.BIN", "ORVOBOOT.SYS"}) {
    std::string bytes = FileBytes(sample + "\\" + boot);
    CHECK(!bytes.empty());
    dir.Write(boot, bytes);
  }
  dir.Write("DD.CFG",
            Crlf({"Package=ZOLP Test Package", "BsFileName=BOOTSECT.BIN", "OemName=ORVODIAG",
                  "ExcludeFile=MBR.BIN", "ExcludeFile=BOOTSECT.BIN", "ExcludeFile=*.IMG",
                  "ExcludeFile=~DP*.*", "ExcludeFile=vellix.exe", "ExcludeFile=torbel.exe",
                  "ExcludeFile=ZOLP.exe", "ExcludeFile=ZOLPSIM.exe", "", "[HDD]", "FileRoot=.",
                  "OrderedFile=ORVOBOOT.SYS", "ImageName=hdd.img", "MbrFileName=MBR.BIN",
                  "ZeroData=1", "", "[Disk1]", "FileRoot=.", "OrderedFile=ORVOBOOT.SYS",
                  "DiskType=1440", "ZeroData=1", "", "[Disk2]", "FileRoot=SET2", "DiskType=1440",
                  "ZeroData=1"}));
  dir.Write("Version.txt", Crlf({"ZOLP Test Package", "OEM Ver: T15"}));
  dir.Write("readme.txt", Crlf({"Diskettes and images of the option tests."}));
  dir.Write("AUTOEXEC.BAT", Crlf({"@ECHO OFF", "DIAGS\\DIAGMAIN.EXE"}));
  std::string program(70000, '\0');
  for (std::size_t i = 0; i < program.size(); ++i) program[i] = static_cast<char>(i * 7 + i / 251);
  dir.Write("DIAGS\\DIAGMAIN.EXE", program);
  dir.Write("SET2\\VIDTEST.EXE", program.substr(0, 30000));
  dir.Write("SET2\\PATTERNS.DAT", std::string(5000, 'P'));
}

// One line of made.txt, with the label of the test package.
void ListMedium(const std::string& media, const char* kind, const std::string& section,
                const std::string& package, const std::string& image,
                unsigned long long from, unsigned long long to, const std::string& options) {
  FILE* made = std::fopen((media + "\\made.txt").c_str(), "ab");
  CHECK(made != nullptr);
  if (!made) return;
  std::fprintf(made, "%s %s %s %s %s %llu %llu %s\n", kind, section.c_str(), package.c_str(),
               image.c_str(), kLabel, from, to, options.c_str());
  std::fclose(made);
}

std::string MediaFolder() {
  std::string media = Environment("ZOLP_MEDIA");
  if (media.empty()) Fail("ZOLP_MEDIA names no folder for the media");
  return media;
}

// The visible top-level window of the process that holds this control.
HWND WaitDialogWith(DWORD processId, int control, DWORD milliseconds) {
  HWND found = nullptr;
  WaitFor([&] {
    for (HWND window : TopWindows(processId))
      if (GetDlgItem(window, control)) found = window;
    return found != nullptr;
  }, milliseconds);
  return found;
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool NoTemporaryImages(const PackageDir& dir) {
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((dir.Path() + "\\~DP*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return true;
  FindClose(find);
  return false;
}

void CaseImageFile() {
  const std::string media = MediaFolder();
  if (media.empty()) return;
  Zolp z(zolpExe, "image", media);
  WriteTestPackage(z.dir);
  z.Start();
  if (!z.main) return;
  PostMessageA(GetDlgItem(z.main, IDC_IMAGE), BM_CLICK, 0, 0);
  HWND dialog = WaitTopWindow(z.process->Id(), "Create a Bootable Image", kStartTimeout);
  CHECK(dialog != nullptr);
  if (!dialog) return;
  CHECK(SendMessageA(GetDlgItem(dialog, IDC_IMAGE_HDD), BM_GETCHECK, 0, 0) == BST_CHECKED);
  CHECK(!IsWindowEnabled(GetDlgItem(dialog, IDC_IMAGE_DISKETTE)));  // the package has no [DISKETTE]
  const std::string image = z.dir.Path() + "\\hdd.img";
  CHECK_EQ_TEXT(ItemText(dialog, IDC_IMAGE_PATH), image);
  CHECK(SaveScreenshot(dialog, shotsDir + "\\image.bmp"));

  const unsigned long long from = UnixNow();
  PostMessageA(dialog, WM_COMMAND, IDOK, 0);
  HWND box = WaitTopWindow(z.process->Id(), "Success!", kBuildTimeout);
  const unsigned long long to = UnixNow();
  CHECK(box != nullptr);
  if (!box) return;
  CHECK_EQ_TEXT(BoxText(box), "The image file was successfully created.");
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  CHECK(WaitFor([&] { return !IsWindow(dialog); }, 5000));
  CHECK(FileExists(image));
  CHECK(!FileExists(z.dir.Path() + "\\vellix.exe"));
  ListMedium(media, "hd", "HDD", z.dir.Path(), image, from, to);
  z.Finish();
}

void CheckNoDrives(Zolp& z, int button, const std::string& text, const std::string& shot,
                   int list) {
  z.Start();
  if (!z.main) return;
  PostMessageA(GetDlgItem(z.main, button), BM_CLICK, 0, 0);
  HWND box = WaitTopWindow(z.process->Id(), "Warning", kStartTimeout);
  CHECK(box != nullptr);
  if (!box) return;
  CHECK_EQ_TEXT(BoxText(box), text);
  CHECK(SaveScreenshot(box, shotsDir + "\\" + shot + ".bmp"));
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  CHECK(WaitFor([&] { return !IsWindow(box); }, 5000));
  Sleep(kQuiet);
  // The drive dialog closed itself; the main dialog is all that shows.
  CHECK(WaitDialogWith(z.process->Id(), list, 0) == nullptr);
  CHECK(z.process->Running());
  z.Finish();
}

void CaseNoDisketteDrives() {
  Zolp z("nodrives");
  z.dir.Write("DD.CFG", Crlf({"[Disk1]"}));
  CheckNoDrives(z, IDC_DISKETTE,
                "No diskette drives were found. You must connect a drive before you can continue "
                "with this option.",
                "no-diskette-drives", IDC_DISKETTE_DRIVES);
}

// Two simulated drives; the set goes to the second, B:, one diskette after the
// other, each "inserted" as an empty image file and taken out when written.
void CaseDisketteSet() {
  const std::string media = MediaFolder();
  if (media.empty()) return;
  Zolp z(zolpsimExe, "diskettes", media);
  WriteTestPackage(z.dir);
  const std::string driveA = media + "\\driveA.img", driveB = media + "\\driveB.img";
  const std::string devices = media + "\\devices.txt";
  CHECK(WriteWholeFile(devices, Crlf({"# two 1.44 MB drives; a missing file is an empty drive;",
                                      "# another program has B: open for the first lock attempt",
                                      ("floppy A \"" + driveA + "\"").c_str(),
                                      ("floppy b \"" + driveB + "\" inuse=1").c_str()})));
  SetEnvironmentVariableA("ZOLP_SIM_DEVICES", devices.c_str());
  // Slow enough writes that the progress window can be seen.
  SetEnvironmentVariableA("ZOLP_SIM_WRITE_DELAY_MS", "40");
  z.Start();
  SetEnvironmentVariableA("ZOLP_SIM_DEVICES", nullptr);
  SetEnvironmentVariableA("ZOLP_SIM_WRITE_DELAY_MS", nullptr);
  if (!z.main) return;

  PostMessageA(GetDlgItem(z.main, IDC_DISKETTE), BM_CLICK, 0, 0);
  HWND drives = WaitDialogWith(z.process->Id(), IDC_DISKETTE_DRIVES, kStartTimeout);
  CHECK(drives != nullptr);
  if (!drives) return;
  HWND list = GetDlgItem(drives, IDC_DISKETTE_DRIVES);
  CHECK(SendMessageA(list, CB_GETCOUNT, 0, 0) == 2);
  CHECK_EQ_TEXT(Text(list), "Floppy Disk Drive (A:)");
  CHECK(SaveScreenshot(drives, shotsDir + "\\diskette-drives.bmp"));
  SendMessageA(list, CB_SETCURSEL, 1, 0);
  CHECK_EQ_TEXT(Text(list), "Floppy Disk Drive (B:)");
  PostMessageA(drives, WM_COMMAND, IDOK, 0);

  for (int n = 1; n <= 2; ++n) {
    HWND dialog = WaitDialogWith(z.process->Id(), IDC_DISKX_TITLE, kStartTimeout);
    CHECK(dialog != nullptr);
    if (!dialog) return;
    const std::string of = std::to_string(n) + " of 2";
    CHECK_EQ_TEXT(ItemText(dialog, IDC_DISKX_TITLE), "Ready to create diskette " + of + " ...");
    CHECK_EQ_TEXT(ItemText(dialog, IDC_DISKX_TEXT),
                  "Please insert a blank 1.44 MB diskette in the selected diskette drive (B:), and "
                  "then click OK to continue.");
    CHECK_EQ_TEXT(ItemText(dialog, IDC_DISKX_WARNING),
                  "WARNING - All data on the diskette will be erased!");
    if (n == 1) CHECK(SaveScreenshot(dialog, shotsDir + "\\diskette-1-of-2.bmp"));

    CHECK(WriteWholeFile(driveB, ""));  // a blank diskette goes in
    const unsigned long long from = UnixNow();
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    HWND progress = WaitTopWindow(z.process->Id(), ("Copy Progress - Diskette " + of).c_str(),
                                  kBuildTimeout);
    CHECK(progress != nullptr);
    if (progress && n == 1) {
      WaitFor([&] { return ItemText(progress, IDC_PROGRESS_PERCENT) != "0%"; }, 5000);
      CHECK(SaveScreenshot(progress, shotsDir + "\\diskette-progress.bmp"));
    }
    CHECK(WaitFor([&] { return !progress || !IsWindow(progress); }, kBuildTimeout));
    const unsigned long long to = UnixNow();
    if (n == 2) {  // the last diskette: the set is done
      HWND box = WaitTopWindow(z.process->Id(), "Success!", kStartTimeout);
      CHECK(box != nullptr);
      if (box) {
        CHECK_EQ_TEXT(BoxText(box), "The diskette set was successfully created.");
        PostMessageA(box, WM_COMMAND, IDOK, 0);
      }
    }
    CHECK(WaitFor([&] { return !IsWindow(dialog); }, kStartTimeout));
    CHECK(NoTemporaryImages(z.dir));
    const std::string written = media + "\\disk" + std::to_string(n) + ".img";
    CHECK(MoveFileA(driveB.c_str(), written.c_str()));  // the diskette comes out
    // Only the first diskette of the set carries the loader and boots.
    ListMedium(media, n == 1 ? "floppy" : "-", "Disk" + std::to_string(n), z.dir.Path(), written,
               from, to);
  }
  CHECK(!FileExists(driveA));  // the other drive was never touched
  Sleep(kQuiet);
  CHECK(WaitDialogWith(z.process->Id(), IDC_DISKX_TITLE, 0) == nullptr);
  z.Finish();
}

}  // namespace zolptest
