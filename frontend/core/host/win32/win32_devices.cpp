// The computer's drive letters and DOS device names.
#include <windows.h>
// The shell's file information needs windows.h first.
#include <shellapi.h>

#include <vector>

#include "zolp/disk_volumes.h"
#include "zolp/win32_host.h"

namespace zolp::win32 {

namespace {

class Win32Devices final : public DeviceCatalog {
 public:
  std::uint32_t LogicalDrives() override { return GetLogicalDrives(); }

  DriveType TypeOfDrive(char letter) override {
    const char root[] = {letter, ':', '\\', '\0'};
    return static_cast<DriveType>(GetDriveTypeA(root));
  }

  // The list is read into a buffer grown until it fits: on Windows 10 and later
  // it is often longer than 32 KiB, and a short buffer gets none of it.
  bool DosDeviceNames(std::vector<std::string>& names) override {
    return ReadDosDeviceNames(
        *errors_,
        [](char* buffer, std::uint32_t size) {
          return static_cast<std::uint32_t>(QueryDosDeviceA(nullptr, buffer, size));
        },
        names);
  }

  bool VolumeNames(std::vector<std::string>& names) override {
    names.clear();
    char name[MAX_PATH] = {};
    HANDLE find = FindFirstVolumeA(name, sizeof name);
    if (find == INVALID_HANDLE_VALUE) return false;
    do {
      names.emplace_back(name);
    } while (FindNextVolumeA(find, name, sizeof name));
    const DWORD error = GetLastError();
    FindVolumeClose(find);
    SetLastError(error);
    return error == ERROR_NO_MORE_FILES;
  }

  bool VolumePaths(const std::string& volumeName, std::vector<std::string>& paths) override {
    paths.clear();
    std::vector<char> buffer(MAX_PATH, '\0');
    DWORD needed = 0;
    while (!GetVolumePathNamesForVolumeNameA(volumeName.c_str(), buffer.data(),
                                             static_cast<DWORD>(buffer.size()), &needed)) {
      if (GetLastError() != ERROR_MORE_DATA || needed <= buffer.size()) return false;
      buffer.assign(needed, '\0');
    }
    for (std::size_t at = 0; at < buffer.size() && buffer[at] != '\0';) {
      paths.emplace_back(&buffer[at]);
      at += paths.back().size() + 1;
    }
    return true;
  }

  bool VolumeInformation(char letter, std::string& label, std::string& fileSystem) override {
    const char root[] = {letter, ':', '\\', '\0'};
    char volumeLabel[17] = {};
    char fileSystemName[17] = {};
    if (!GetVolumeInformationA(root, volumeLabel, sizeof volumeLabel, nullptr, nullptr, nullptr,
                               fileSystemName, sizeof fileSystemName))
      return false;
    label = volumeLabel;
    fileSystem = fileSystemName;
    return true;
  }

  std::unique_ptr<DiskHandle> Open(const std::string& devicePath, DiskAccess access) override {
    DWORD rights = 0;
    DWORD sharing = FILE_SHARE_READ | FILE_SHARE_WRITE;
    switch (access) {
      case DiskAccess::None:
        break;
      case DiskAccess::Read:
        rights = GENERIC_READ;
        break;
      case DiskAccess::ReadWrite:
        rights = GENERIC_READ | GENERIC_WRITE;
        break;
      case DiskAccess::ReadWriteShareRead:
        rights = GENERIC_READ | GENERIC_WRITE;
        sharing = FILE_SHARE_READ;
        break;
    }
    HANDLE h = CreateFileA(devicePath.c_str(), rights, sharing, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    return MakeDiskHandle(h);
  }

  std::string DisplayName(char letter) override {
    const char root[] = {letter, ':', '\\', '\0'};
    SHFILEINFOA info = {};
    if (SHGetFileInfoA(root, 0, &info, sizeof info, SHGFI_DISPLAYNAME) == 0 ||
        info.szDisplayName[0] == '\0')
      return std::string{letter, ':'};
    return info.szDisplayName;
  }

 private:
  std::unique_ptr<SystemErrors> errors_ = MakeSystemErrors();  // GetLastError / SetLastError
};

}  // namespace

std::unique_ptr<DeviceCatalog> MakeDeviceCatalog() { return std::make_unique<Win32Devices>(); }

}  // namespace zolp::win32
