// The computer's drive letters and DOS device names.
#include <windows.h>

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
    const DWORD rights = access == DiskAccess::ReadWrite ? GENERIC_READ | GENERIC_WRITE : 0;
    HANDLE h = CreateFileA(devicePath.c_str(), rights, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    return MakeDiskHandle(h);
  }
};

}  // namespace

std::unique_ptr<DeviceCatalog> MakeDeviceCatalog() { return std::make_unique<Win32Devices>(); }

}  // namespace zolp::win32
