// The computer's drive letters and DOS device names.
#include <windows.h>
// The shell's file information needs windows.h first.
#include <shellapi.h>

#include <vector>

#include "zolp/win32_host.h"

namespace zolp::win32 {

namespace {

constexpr DWORD kDosDeviceBufferSize = 0x8000;

class Win32Devices final : public DeviceCatalog {
 public:
  std::uint32_t LogicalDrives() override { return GetLogicalDrives(); }

  DriveType TypeOfDrive(char letter) override {
    const char root[] = {letter, ':', '\\', '\0'};
    return static_cast<DriveType>(GetDriveTypeA(root));
  }

  bool DosDeviceNames(std::vector<std::string>& names) override {
    names.clear();
    std::vector<char> buffer(kDosDeviceBufferSize, '\0');
    const DWORD n = QueryDosDeviceA(nullptr, buffer.data(), kDosDeviceBufferSize);
    if (n == 0) return false;
    for (DWORD i = 0; i < n && buffer[i] != '\0';) {
      std::string name(&buffer[i]);
      i += static_cast<DWORD>(name.size()) + 1;
      names.push_back(std::move(name));
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
};

}  // namespace

std::unique_ptr<DeviceCatalog> MakeDeviceCatalog() { return std::make_unique<Win32Devices>(); }

}  // namespace zolp::win32
