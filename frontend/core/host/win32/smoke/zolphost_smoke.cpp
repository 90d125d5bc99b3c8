// Runs the front end's services on the real Win32 host (under wine in the
// cross build): processes and their environment, files, package lookups, the
// copy worker onto a handle opened like a disk, posted messages, pages and a
// pass-through request to something that is no SCSI device, the volume list and
// the device requests the USB and CD options make before they write. Exit code 0 when
// every check holds; each failed check is printed.
#include <windows.h>

#include <cstdio>
#include <string>

#include "zolp/disk_volumes.h"
#include "zolp/image_copy.h"
#include "zolp/mmc.h"
#include "zolp/package_config.h"
#include "zolp/report.h"
#include "zolp/system_info.h"
#include "zolp/tool_runner.h"
#include "zolp/win32_host.h"

namespace {

int failures = 0;

void Check(bool ok, const char* what) {
  if (!ok) {
    std::printf("FAILED: %s\n", what);
    ++failures;
  }
}

std::string TempPath(const char* name) {
  char dir[MAX_PATH];
  GetTempPathA(sizeof dir, dir);
  return std::string(dir) + name;
}

void WriteText(zolp::FileSystem& files, const std::string& path, const std::string& text) {
  auto f = files.Create(path);
  Check(f && f->Write(text.data(), static_cast<std::uint32_t>(text.size())), "create a file");
}

void ChecksOfProcesses(const zolp::Services& s) {
  std::uint32_t code = 0;
  Check(zolp::RunCommandShell(s, "exit 7", &code) == 0 && code == 7, "cmd exit code");
  // The command interpreter runs with an empty environment: no PATH of ours.
  Check(zolp::RunCommandShell(s, "if defined ZOLP_SMOKE_MARK (exit 3) else (exit 4)", &code) == 0 &&
            code == 4,
        "empty environment for cmd");

  std::string system;
  Check(s.files->SystemDirectory(system), "system directory");
  zolp::LaunchRequest r;
  r.commandLine = "\"" + system + "\\cmd.exe\" /C if \"%LOGALL%\"==\"NUL\" (exit 5) else (exit 6)";
  r.environment = {"LOGALL=NUL"};
  auto child = s.processes->Start(r);
  Check(child != nullptr, "start with an environment");
  if (child) {
    child->Wait();
    Check(child->ExitCode(code) && code == 5, "LOGALL=NUL reaches the child");
  }

  r.commandLine = "no-such-program-zolp.exe";
  r.environment.clear();
  Check(s.processes->Start(r) == nullptr && s.errors->Last() != 0,
        "missing program fails to start");
}

void ChecksOfFilesAndLookups(const zolp::Services& s) {
  const std::string cfg = TempPath("zolp-smoke-dd.cfg");
  WriteText(*s.files, cfg, "Package=Smoke\r\n[HDD]\r\nImageName=x.img ; comment\r\n");
  char value[260];
  Check(zolp::ReadPackageValue(s, cfg, "[HDD]", "ImageName", false, value, sizeof value) &&
            std::string(value) == "x.img ; comment",
        "section lookup over CRLF lines");
  Check(zolp::FindPackageValue(s, cfg, "Package", false, value, sizeof value) &&
            std::string(value) == "Smoke",
        "whole-file lookup");
  Check(s.files->Exists(cfg), "exists");
  zolp::DeleteToolFile(s, cfg);
  Check(!s.files->Exists(cfg), "deleted");
  Check(!zolp::FindPackageValue(s, cfg, "Package", false, value, sizeof value), "missing file");

  const std::string dir = TempPath("zolp-smoke-dir");
  RemoveDirectoryA(dir.c_str());
  Check(s.files->MakeDirectory(dir), "make a directory");
  Check(!s.files->MakeDirectory(dir) && s.errors->Last() == ERROR_ALREADY_EXISTS,
        "directory exists already");
  RemoveDirectoryA(dir.c_str());

  const std::string log = TempPath("zolp-smoke.log");
  DeleteFileA(log.c_str());
  for (const char* line : {"one\n", "two\n"}) {
    auto f = s.files->OpenAppend(log);
    Check(f && f->Write(line, 4), "append");
  }
  auto f = s.files->OpenRead(log);
  std::uint64_t size = 0;
  Check(f && f->Size(size) && size == 8, "appended size");
  f.reset();
  DeleteFileA(log.c_str());

  Check(zolp::FormatSystemError(s, ERROR_FILE_NOT_FOUND, "Opening x")
                .rfind("Opening x failed with error 2: ", 0) == 0,
        "system message text");
}

void ChecksOfTheCopyWorker(const zolp::Services& s) {
  const std::string image = TempPath("zolp-smoke.img");
  const std::string disk = TempPath("zolp-smoke.disk");
  std::string bytes(0x8000 * 3 + 512, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + (i >> 9));
  WriteText(*s.files, image, bytes);
  WriteText(*s.files, disk, std::string(bytes.size(), 'z'));

  auto handle = s.devices->Open(disk, zolp::DiskAccess::ReadWrite);
  Check(handle != nullptr, "open a file like a disk");
  if (!handle) return;
  MSG msg;
  PeekMessageA(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);  // this thread gets a queue
  const zolp::CopyJob job{0, handle.get(), image.c_str(), bytes.size()};
  Check(zolp::ImageCopyThread(s, job) == 1, "copy worker succeeds");
  int progress = 0, finished = 0;
  while (PeekMessageA(&msg, nullptr, 0x500, 0x502, PM_REMOVE)) {
    if (msg.message == 0x501) ++progress;
    if (msg.message == 0x500 && msg.wParam == 0) ++finished;
  }
  Check(progress == 4 && finished == 1, "copy worker posts progress and one finish");

  std::uint8_t sense[32];
  zolp::ScsiCommand tur;
  tur.cdbLength = 6;
  const std::int32_t status = zolp::fScsiPassThrough(s, *handle, tur, sense);
  Check(status > 0, "pass-through to a file fails with a system error");
  handle.reset();

  auto copied = s.files->OpenRead(disk);
  std::string back(bytes.size(), '\0');
  std::uint32_t got = 0;
  Check(copied && copied->Read(back.data(), static_cast<std::uint32_t>(back.size()), got) &&
            got == back.size() && back == bytes,
        "disk holds the image");
  copied.reset();
  DeleteFileA(image.c_str());
  DeleteFileA(disk.c_str());
}

void ChecksOfTheSystem(const zolp::Services& s) {
  void* pages = s.memory->AllocatePages(zolp::kCopyPieceSize);
  Check(pages != nullptr, "page allocation");
  zolp::FreeBuffer(s, pages);
  Check(s.clock->Milliseconds() > 0, "clock");
  std::printf("administrator: %d, drives: 0x%08lX, CD writers: %d\n", zolp::IsUserAdmin(s) ? 1 : 0,
              static_cast<unsigned long>(s.devices->LogicalDrives()),
              zolp::fEnumCdWriters(s, nullptr, nullptr));
  std::vector<std::string> names;
  Check(s.devices->DosDeviceNames(names) && !names.empty(), "DOS device names");
}

// The calls the USB and CD options make before they write, on whatever wine
// or Windows has: the DOS device list refuses a short buffer (the list is then
// read into a bigger one), volumes are listed by name, and a handle that is no
// device answers the device requests with a system error.
void ChecksOfVolumesAndDevices(const zolp::Services& s) {
  char tiny[16];
  SetLastError(0);
  const DWORD stored = QueryDosDeviceA(nullptr, tiny, sizeof tiny);
  Check(stored == 0 && (GetLastError() == ERROR_INSUFFICIENT_BUFFER || GetLastError() == ERROR_MORE_DATA),
        "a DOS device list longer than the buffer is refused");

  std::vector<std::string> volumes;
  if (s.devices->VolumeNames(volumes)) {
    for (const std::string& name : volumes) {
      Check(name.rfind("\\\\?\\Volume{", 0) == 0 && name.back() == '\\', "volume name form");
      std::vector<std::string> paths;
      Check(s.devices->VolumePaths(name, paths) || s.errors->Last() != 0, "volume paths or a reason");
    }
  } else {
    Check(s.errors->Last() != 0, "no volume list without a reason");
  }
  // A disk that has no volumes: nothing to hold, and nothing is refused.
  zolp::HeldVolumes held;
  std::string refusal;
  Check(held.HoldDisk(s, 99, refusal) == zolp::HeldVolumes::Outcome::Held && held.Empty(),
        "a disk without volumes holds nothing");

  const std::string file = TempPath("zolp-smoke-device.bin");
  WriteText(*s.files, file, std::string(4096, 'd'));
  auto handle = s.devices->Open(file, zolp::DiskAccess::ReadWrite);
  Check(handle != nullptr, "open a file like a device");
  if (handle) {
    std::vector<zolp::DiskExtent> extents;
    std::uint32_t mask = 0;
    Check(handle->Flush(), "flush");
    Check(!handle->VolumeDiskExtents(extents) && extents.empty() && s.errors->Last() != 0,
          "a file has no disk extents");
    Check(!handle->AdapterAlignmentMask(mask) && mask == 0, "a file has no adapter");
    Check(!handle->ExclusiveAccess(true) && s.errors->Last() != 0, "a file takes no exclusive access");
  }
  handle.reset();
  DeleteFileA(file.c_str());
}

}  // namespace

int main() {
  zolp::win32::Win32Host host;
  const zolp::Services s = host.Wire({});
  ChecksOfProcesses(s);
  ChecksOfFilesAndLookups(s);
  ChecksOfTheCopyWorker(s);
  ChecksOfTheSystem(s);
  ChecksOfVolumesAndDevices(s);
  std::printf("%s\n", failures == 0 ? "all checks passed" : "some checks failed");
  return failures == 0 ? 0 : 1;
}
