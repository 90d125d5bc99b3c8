// Windows drives: \\.\PHYSICALDRIVE<n> by raw sector I/O, and the native
// lock and dismount that keep Windows off the utility partition.
#include <windows.h>
#include <winioctl.h>
#include <winternl.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "partshell/error_codes.h"
#include "partshell/host_disks.h"
#include "partshell/engine_services.h"

namespace partshell {

namespace {

constexpr UINT kQuietErrorMode = 0x8001;  // fail critical errors, no open-file error boxes
constexpr LONG kMaximumSeekStep = 2000000000;

// Restores the process error mode on every way out of a transfer.
class QuietErrorMode {
 public:
  QuietErrorMode() : previous_(SetErrorMode(kQuietErrorMode)) {}
  ~QuietErrorMode() { SetErrorMode(previous_); }

 private:
  UINT previous_;
};

class Win32BlockDevice : public BlockDevice {
 public:
  Win32BlockDevice(HANDLE handle, EngineServices** out) : handle_(handle), out_(out) {}
  ~Win32BlockDevice() override { CloseHandle(handle_); }

  SectorIoResult ReadSector(std::uint32_t sector, std::uint8_t* buffer) override {
    QuietErrorMode quiet;
    if (!SetFilePointerToSector(sector)) return {SectorIoStatus::seek_failed, GetLastError()};
    DWORD got = 0;
    if (!ReadFile(handle_, buffer, kSectorSize, &got, nullptr)) return {SectorIoStatus::read_failed, GetLastError()};
    if (got == kSectorSize) return {};
    if (got == 0) return {SectorIoStatus::read_no_data, 0};
    return {SectorIoStatus::read_failed, 0};
  }

  SectorIoResult ReadSectors(std::uint32_t sector, std::uint32_t count, std::uint8_t* buffer) override {
    QuietErrorMode quiet;
    if (!SetFilePointerToSector(sector)) return {SectorIoStatus::seek_failed, GetLastError()};
    DWORD got = 0;
    const DWORD bytes = count * kSectorSize;
    if (!ReadFile(handle_, buffer, bytes, &got, nullptr)) return {SectorIoStatus::read_failed, GetLastError()};
    if (got != bytes) return {SectorIoStatus::read_failed, 0};
    return {};
  }

  SectorIoResult WriteSector(std::uint32_t sector, const std::uint8_t* buffer) override {
    return WriteSectors(sector, 1, buffer);
  }

  SectorIoResult WriteSectors(std::uint32_t sector, std::uint32_t count, const std::uint8_t* buffer) override {
    QuietErrorMode quiet;
    if (!SetFilePointerToSector(sector)) return {SectorIoStatus::seek_failed, GetLastError()};
    DWORD put = 0;
    const DWORD bytes = count * kSectorSize;
    if (!WriteFile(handle_, buffer, bytes, &put, nullptr)) return {SectorIoStatus::write_failed, GetLastError()};
    if (put != bytes) return {SectorIoStatus::write_failed, 0};
    return {};
  }

 private:
  // Absolute seeks from byte 0, in steps that each fit a signed 32-bit distance.
  bool SetFilePointerToSector(std::uint32_t sector) {
    if (SetFilePointer(handle_, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) {
      return false;
    }
    std::uint64_t remaining = static_cast<std::uint64_t>(sector) * kSectorSize;
    while (remaining > 0) {
      const bool full = remaining >= static_cast<std::uint64_t>(kMaximumSeekStep);
      const LONG step = full ? kMaximumSeekStep : static_cast<LONG>(remaining);
      SetLastError(NO_ERROR);
      if (SetFilePointer(handle_, step, nullptr, FILE_CURRENT) == INVALID_SET_FILE_POINTER &&
          GetLastError() != NO_ERROR) {
        if (*out_ != nullptr && (*out_)->Verbose()) {
          (*out_)->Print(full ? "[SetFilePointerToSector] 1, SetFilePointer Failed\n"
                              : "[SetFilePointerToSector] 2, SetFilePointer Failed\n");
        }
        return false;
      }
      remaining -= static_cast<std::uint64_t>(step);
    }
    return true;
  }

  HANDLE handle_;
  EngineServices** out_;
};

using NtOpenFileFn = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, ULONG, ULONG);
using NtCloseFn = NTSTATUS(NTAPI*)(HANDLE);
using RtlInitUnicodeStringFn = VOID(NTAPI*)(PUNICODE_STRING, PCWSTR);

template <typename Fn>
Fn NtdllFunction(const char* name) {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  if (ntdll == nullptr) return nullptr;
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(ntdll, name)));
}

bool WindowsSixOrLater() {
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
  auto get_version = NtdllFunction<RtlGetVersionFn>("RtlGetVersion");
  if (get_version == nullptr) return false;
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof(info);
  return get_version(&info) == 0 && info.dwPlatformId == VER_PLATFORM_WIN32_NT && info.dwMajorVersion >= 6;
}

class Win32DiskSystem : public DiskSystem {
 public:
  explicit Win32DiskSystem(HostDriveList drives) : drives_(std::move(drives)) {}
  ~Win32DiskSystem() override {
    if (partition_handle_ != nullptr) {
      auto nt_close = NtdllFunction<NtCloseFn>("NtClose");
      if (nt_close != nullptr) nt_close(partition_handle_);
    }
  }

  void AttachServices(EngineServices& out) override { out_ = &out; }
  std::string DriveDescription(int n) const override { return DescribeHostDrive(drives_, n); }

  std::unique_ptr<BlockDevice> OpenDrive(int n, std::uint32_t& system_error) override {
    system_error = 0;
    if (n < 0 || static_cast<std::size_t>(n) >= drives_.paths.size()) {
      system_error = ERROR_FILE_NOT_FOUND;
      return nullptr;
    }
    const std::string& name = drives_.paths[static_cast<std::size_t>(n)];
    HANDLE handle = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      system_error = GetLastError();
      return nullptr;
    }
    return std::make_unique<Win32BlockDevice>(handle, &out_);
  }

  std::uint32_t DriveSizeMegabytes(int n) override {
    if (n < 0 || static_cast<std::size_t>(n) >= drives_.paths.size()) return 0;
    const std::string& name = drives_.paths[static_cast<std::size_t>(n)];
    HANDLE handle = CreateFileA(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return 0;
    DISK_GEOMETRY geometry{};
    DWORD returned = 0;
    std::uint32_t megabytes = 0;
    if (DeviceIoControl(handle, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometry, sizeof(geometry), &returned,
                        nullptr)) {
      megabytes = static_cast<std::uint32_t>(static_cast<std::uint64_t>(geometry.Cylinders.QuadPart) *
                                             geometry.TracksPerCylinder * geometry.SectorsPerTrack / 2048);
    } else if (drives_.named_by_variable) {
      LARGE_INTEGER size{};
      HANDLE file = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
      if (file != INVALID_HANDLE_VALUE) {
        if (GetFileSizeEx(file, &size)) megabytes = static_cast<std::uint32_t>(size.QuadPart / (1024 * 1024));
        CloseHandle(file);
      }
    }
    CloseHandle(handle);
    return megabytes;
  }

  // The disk named by TORBEL_DISK has no partition device to lock.
  bool NeedsUtilityPartitionLock() const override { return !drives_.named_by_variable && WindowsSixOrLater(); }

  int OpenLockDismountUtilityPartition(int disk, int partition, EngineServices& out) override {
    static constexpr const char* kOrigin = "OpenLockDismountUtilityPartition";
    ++lock_attempts_;
    auto nt_open = NtdllFunction<NtOpenFileFn>("NtOpenFile");
    auto nt_close = NtdllFunction<NtCloseFn>("NtClose");
    auto init_string = NtdllFunction<RtlInitUnicodeStringFn>("RtlInitUnicodeString");
    int result = 0;
    if (nt_open == nullptr) {
      out.Trace(kOrigin, "Unable To GetProcAddress On NTDLL.DLL\n   for NtOpenFile");
      result = static_cast<int>(GetLastError());
    }
    if (nt_close == nullptr) {
      out.Trace(kOrigin, "Unable To GetProcAddress On NTDLL.DLL\n   for NtClose");
      result = static_cast<int>(GetLastError());
    }
    if (init_string == nullptr) {
      out.Trace(kOrigin, "Unable To GetProcAddress On NTDLL.DLL\n   for RtlInitUnicodeString");
      result = static_cast<int>(GetLastError());
    }
    if (nt_open == nullptr || init_string == nullptr) return result != 0 ? result : ERROR_PROC_NOT_FOUND;

    wchar_t device[260];
    std::swprintf(device, 260, L"\\Device\\Harddisk%d\\Partition%d", disk, partition);
    UNICODE_STRING name{};
    init_string(&name, device);
    OBJECT_ATTRIBUTES attributes{};
    attributes.Length = sizeof(OBJECT_ATTRIBUTES);
    attributes.RootDirectory = nullptr;
    attributes.ObjectName = &name;
    attributes.Attributes = OBJ_CASE_INSENSITIVE;
    IO_STATUS_BLOCK status_block{};
    HANDLE handle = nullptr;
    // Opened for synchronous I/O, so that the lock and dismount requests
    // below complete before they return.
    constexpr ULONG kSynchronousIo = 0x00000020;  // FILE_SYNCHRONOUS_IO_NONALERT
    const NTSTATUS status = nt_open(&handle, GENERIC_READ | SYNCHRONIZE, &attributes, &status_block,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, kSynchronousIo);
    if (status != 0) {
      out.Trace(kOrigin, Format("NtOpenFile, Disk %d (Part %d) failed. Status: 0x%lX", disk, partition,
                                static_cast<unsigned long>(status)));
      result = status != 0 ? static_cast<int>(status) : 1;
    } else {
      partition_handle_ = handle;
      DWORD returned = 0;
      bool refused = false;
      if (DeviceIoControl(handle, FSCTL_LOCK_VOLUME, nullptr, 0, nullptr, 0, &returned, nullptr)) {
        lock_attempts_ = 0;
      } else if (lock_attempts_ < kLockAttemptsOfTheMount) {
        // Someone has the volume open for a moment: a failed attempt, so that
        // the mount asks again a second later. Only the last one dismounts by force.
        refused = true;
        result = static_cast<int>(GetLastError());
        out.Trace(kOrigin, Format("FSCTL_LOCK_VOLUME failed\n with error code %d. Retrying", result));
        if (result == 0) result = 1;
      } else {
        out.Trace(kOrigin, Format("FSCTL_LOCK_VOLUME failed\n with error code %d. Force dismounting",
                                  static_cast<int>(GetLastError())));
      }
      if (!refused) {
        if (DeviceIoControl(handle, FSCTL_DISMOUNT_VOLUME, nullptr, 0, nullptr, 0, &returned, nullptr)) {
          out.Trace(kOrigin, Format("Status: %ld(0x%lX)", 0L, 0UL));
          return 0;
        }
        result = static_cast<int>(GetLastError());
        out.Trace(kOrigin, Format("FSCTL_DISMOUNT_VOLUME failed with error code %d", result));
        if (result == 0) result = 1;
      }
    }
    if (partition_handle_ != nullptr && nt_close != nullptr) {
      nt_close(partition_handle_);
      partition_handle_ = nullptr;
    }
    partition_handle_ = nullptr;
    out.Trace(kOrigin, Format("Status: %ld(0x%lX)", static_cast<long>(result), static_cast<unsigned long>(result)));
    return result;
  }

  void CloseUtilityPartition(EngineServices& out) override {
    if (partition_handle_ == nullptr) return;
    auto nt_close = NtdllFunction<NtCloseFn>("NtClose");
    if (nt_close == nullptr) {
      out.PrintConsoleOnly("[CloseUtilityPartition] Unable To GetProcAddress On NTDLL.DLL\n   for NtClose\n");
      return;
    }
    out.Trace("CloseUtilityPartition", "NtClose");
    nt_close(partition_handle_);
    partition_handle_ = nullptr;
  }

  void SleepMilliseconds(unsigned milliseconds) override { Sleep(milliseconds); }

 private:
  // The mount asks for the lock this many times, a second apart.
  static constexpr int kLockAttemptsOfTheMount = 30;

  HostDriveList drives_;
  HANDLE partition_handle_ = nullptr;
  int lock_attempts_ = 0;  // attempts since the last lock held
  EngineServices* out_ = nullptr;
};

}  // namespace

std::unique_ptr<DiskSystem> CreateHostDiskSystem() {
  return std::make_unique<Win32DiskSystem>(ChooseHostDrives([] {
    std::vector<std::string> names;
    for (int n = 0; n < 10; ++n) names.push_back(PhysicalDriveName(n));
    return names;
  }));
}

std::string HostSystemMessage(std::uint32_t code) {
  char* text = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
      MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&text), 0, nullptr);
  std::string message;
  if (length != 0 && text != nullptr) message.assign(text, length < 511 ? length : 511);
  if (text != nullptr) LocalFree(text);
  return message;
}

}  // namespace partshell
