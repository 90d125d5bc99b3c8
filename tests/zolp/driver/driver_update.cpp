// Cases on "Update Existing Diagnostic Partition": ZOLP.exe in test mode
// updates a C:\UP tree through cmd.exe; ZOLP.exe on wine's drives, which hold
// no utility partition, refuses; ZOLPSIM.exe runs its embedded torbel.exe on a
// simulated system disk that scripts/test-zolp.sh made (update_disk.sh sample)
// and lists what the disk must hold afterwards in ZOLP_MEDIA\update-checks.txt
// for update_disk.sh check.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "driver_cases.h"

namespace zolptest {
namespace {

constexpr DWORD kUpdateTimeout = 120000;
constexpr const char* kDialogTitle = "Update Diagnostic Partition";
constexpr const char* kConfirmation =
    "This option will update the diagnostic partition on this computer to version 3.3.2 T18 from "
    "version 3.3.1 A04.";
constexpr const char* kOldVersion = "[DiagVersion]\r\n3.3.1 A04\r\n";
// What the package copies into \DIAGS, the program files several times so
// that the progress window stays long enough to be seen.
const std::vector<std::string> kCopied = {"DIAGMAIN.EXE", "MEMTEST.EXE", "VIDTEST.EXE",
                                          "NETTEST.EXE",  "CPUTEST.EXE", "OrvoDiag.ini"};

void WriteUpdatePackage(const PackageDir& dir) {
  std::string config = Crlf({"Package=ZOLP Update Test", "", "[UP_DELETE]", "T,OLDDIAG.EXE",
                             "r,\\ORVOUP\\TEMP.DAT", "", "[UP_COPY]"});
  for (const std::string& name : kCopied) config += "DIAGS\\" + name + " \\DIAGS\r\n";
  dir.Write("DD.CFG", config);
  dir.Write("DIAGS\\OrvoDiag.ini", Crlf({"; this package's diagnostics", "[DiagVersion]", "3.3.2 T18"}));
  for (std::size_t n = 0; n + 1 < kCopied.size(); ++n) {
    std::string program(40000 + 9000 * n, '\0');
    for (std::size_t i = 0; i < program.size(); ++i)
      program[i] = static_cast<char>(i * (n + 3) + i / 509);
    dir.Write("DIAGS\\" + kCopied[n], program);
  }
}

// The dialog the Update button opens.
HWND OpenUpdateDialog(const Zolp& z) {
  PostMessageA(GetDlgItem(z.main, IDC_UPDATE), BM_CLICK, 0, 0);
  HWND dialog = WaitTopWindow(z.process->Id(), kDialogTitle, kUpdateTimeout);
  // The partition is probed on a worker: its answer enables OK, or a box
  // (which disables the dialog) says why not.
  if (dialog)
    WaitFor([&] {
      return !IsWindow(dialog) || !IsWindowEnabled(dialog) || IsWindowEnabled(GetDlgItem(dialog, IDOK));
    }, kUpdateTimeout);
  return dialog;
}

// WM_QUERYENDSESSION's answer: false refuses the end of the session.
bool AllowsEndOfSession(HWND window) {
  DWORD_PTR answer = 1;
  CHECK(SendMessageTimeoutA(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG,
                            3000, &answer) != 0);
  return answer != 0;
}

// Confirms and waits for the success box; answers false when it did not come.
bool ConfirmAndWaitForSuccess(const Zolp& z, HWND dialog, const char* progressShot) {
  PostMessageA(dialog, WM_COMMAND, IDOK, 0);
  if (progressShot) {
    HWND progress =
        WaitTopWindow(z.process->Id(), "Diagnostic Partition Update Progress", kUpdateTimeout);
    CHECK(progress != nullptr);
    if (progress) {
      CHECK(!IsWindowVisible(dialog));  // hidden behind the progress window, but there
      CHECK(!AllowsEndOfSession(dialog));
      // Once the first step is done the bar shows something.
      WaitFor([&] { return ItemText(progress, IDC_PROGRESS_PERCENT) != "0%"; }, 10000);
      CHECK(SaveScreenshot(progress, shotsDir + "\\" + progressShot + ".bmp"));
    }
  }
  HWND box = WaitTopWindow(z.process->Id(), "Success!", kUpdateTimeout);
  CHECK(box != nullptr);
  if (!box) return false;
  CHECK_EQ_TEXT(BoxText(box), "The diagnostic partition was successfully updated.");
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  CHECK(WaitFor([&] { return !IsWindow(dialog); }, 5000));
  return true;
}

// The confirmation: both versions, the warning, and no end of the session.
void CheckConfirmation(const Zolp& z, HWND dialog, const char* shot) {
  CHECK_EQ_TEXT(ItemText(dialog, IDC_UP_TEXT), kConfirmation);
  CHECK_EQ_TEXT(ItemText(dialog, IDC_UP_WARNING),
                "WARNING - Do not logoff or shutdown Windows until the update is complete!");
  CHECK(!AllowsEndOfSession(dialog));
  CHECK(AllowsEndOfSession(z.main));  // the main dialog alone would let it end
  if (shot) CHECK(SaveScreenshot(dialog, shotsDir + "\\" + shot + ".bmp"));
}

void CheckNothingLeft(const PackageDir& dir) {
  CHECK(GetFileAttributesA((dir.Path() + "\\torbel.exe").c_str()) == INVALID_FILE_ATTRIBUTES);
  CHECK(GetFileAttributesA((dir.Path() + "\\UP").c_str()) == INVALID_FILE_ATTRIBUTES);
}

// Z:\work\x as the Linux path /work/x.
std::string UnixPath(std::string path) {
  if (path.size() >= 2 && path[1] == ':') path.erase(0, 2);
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

}  // namespace

void CaseUpdateTestMode() {
  const std::string up = "C:\\UP";
  RemoveFolder(up);
  for (const char* folder : {"C:\\UP", "C:\\UP\\DIAGS", "C:\\UP\\ORVOUP"})
    CHECK(CreateDirectoryA(folder, nullptr));
  CHECK(WriteWholeFile(up + "\\DIAGS\\OrvoDiag.ini", kOldVersion));
  CHECK(WriteWholeFile(up + "\\DIAGS\\OLDDIAG.EXE", "old program"));
  CHECK(WriteWholeFile(up + "\\DIAGS\\DIAGMAIN.EXE", "old main program"));
  CHECK(WriteWholeFile(up + "\\ORVOUP\\TEMP.DAT", "temporary"));

  Zolp z("uptest");
  WriteUpdatePackage(z.dir);
  z.Start(" -uptest");
  if (!z.main) return;
  HWND dialog = OpenUpdateDialog(z);
  CHECK(dialog != nullptr);
  if (!dialog) return;
  CheckConfirmation(z, dialog, nullptr);
  if (ConfirmAndWaitForSuccess(z, dialog, nullptr)) {
    for (const std::string& name : kCopied) {
      const std::string copied = FileBytes(up + "\\DIAGS\\" + name);
      CHECK(!copied.empty());
      CHECK(copied == FileBytes(z.dir.Path() + "\\DIAGS\\" + name));
    }
    for (const char* gone : {"\\DIAGS\\OLDDIAG.EXE", "\\ORVOUP\\TEMP.DAT"})
      CHECK(GetFileAttributesA((up + gone).c_str()) == INVALID_FILE_ATTRIBUTES);
  }
  CheckNothingLeft(z.dir);
  z.Finish();
  RemoveFolder(up);
}

void CaseUpdateWithoutPartition() {
  Zolp z("nopartition");
  WriteUpdatePackage(z.dir);
  z.Start();
  if (!z.main) return;
  PostMessageA(GetDlgItem(z.main, IDC_UPDATE), BM_CLICK, 0, 0);
  // torbel.exe finds no drive with a utility partition among wine's.
  HWND box = WaitTopWindow(z.process->Id(), "Warning", kUpdateTimeout);
  CHECK(box != nullptr);
  if (!box) return;
  CHECK_EQ_TEXT(BoxText(box),
                "Update not possible - No Diagnostic Utility Partition was found or there was an "
                "error accessing the partition!");
  CHECK(SaveScreenshot(box, shotsDir + "\\update-not-possible.bmp"));
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  CHECK(WaitFor([&] { return !IsWindow(box); }, 5000));
  Sleep(kQuiet);
  CHECK(FindTopWindow(z.process->Id(), kDialogTitle) == nullptr);
  CHECK(z.process->Running());
  CheckNothingLeft(z.dir);
  z.Finish();
}

void CaseUpdatePartition() {
  const std::string media = Environment("ZOLP_MEDIA");
  if (media.empty()) {
    Fail("ZOLP_MEDIA names no folder for the media");
    return;
  }
  const std::string disk = media + "\\update-disk.img";
  CHECK(GetFileAttributesA(disk.c_str()) != INVALID_FILE_ATTRIBUTES);  // made by test-zolp.sh
  Zolp z(zolpsimExe, "update", media);
  WriteUpdatePackage(z.dir);
  const std::string devices = media + "\\update-devices.txt";
  CHECK(WriteWholeFile(devices, Crlf({("systemdisk \"" + disk + "\"").c_str()})));
  SetEnvironmentVariableA("ZOLP_SIM_DEVICES", devices.c_str());
  z.Start();
  SetEnvironmentVariableA("ZOLP_SIM_DEVICES", nullptr);
  if (!z.main) return;
  HWND dialog = OpenUpdateDialog(z);
  CHECK(dialog != nullptr);
  if (!dialog) return;
  CheckConfirmation(z, dialog, "update-confirm");
  if (!ConfirmAndWaitForSuccess(z, dialog, "update-progress")) return;
  CheckNothingLeft(z.dir);

  // What update_disk.sh check then finds on the disk.
  const std::string unixDisk = UnixPath(disk);
  std::string checks = "disk " + unixDisk + " " + unixDisk + ".before\n";
  for (const std::string& name : kCopied)
    checks += "copied " + UnixPath(z.dir.Path()) + "/DIAGS/" + name + " /DIAGS/" + name + "\n";
  checks += "gone /DIAGS/OLDDIAG.EXE\ngone /ORVOUP/TEMP.DAT\n";
  for (const char* kept : {"DIAGS/KEEP.DAT", "BOOT.SYS"})
    checks += "copied " + unixDisk + ".old/" + kept + " /" + kept + "\n";
  CHECK(WriteWholeFile(media + "\\update-checks.txt", checks));
  z.Finish();
}

}  // namespace zolptest
