// The platform as the front end's services see it. Each interface is small and
// has a Win32 implementation (host/win32) and a test one (sim/). Every failing
// call leaves its system error code where SystemErrors::Last() finds it, the
// way GetLastError() works, so reports can name the real cause.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "zolp/run_options.h"

namespace zolp {

// An opaque window handle (HWND on Windows); 0 is "no window".
using WindowRef = std::uintptr_t;

class SystemErrors {
 public:
  virtual ~SystemErrors() = default;
  virtual std::uint32_t Last() const = 0;
  virtual void SetLast(std::uint32_t code) = 0;
  // The system's English (0x409) text for a code, without trailing line breaks;
  // empty when the system has none.
  virtual std::string MessageText(std::uint32_t code) const = 0;
};

// Error is the stop sign (MB_ICONSTOP and MB_ICONERROR are one style).
enum class MessageIcon { Information, Warning, Error, Question };

class UserInterface {
 public:
  virtual ~UserInterface() = default;
  // A modal box owned by the main window.
  virtual void ShowMessage(std::string_view text, std::string_view title, MessageIcon icon) = 0;
  // PostMessage to a dialog; workers report only through this.
  virtual void Post(WindowRef owner, std::uint32_t message, std::intptr_t wParam,
                    std::intptr_t lParam) = 0;
  virtual void BringMainWindowToFront() = 0;
  // The modeless "Building the image..." window shown while vellix runs. The
  // worker asks for it; the host posts the request to the main window, whose
  // dialog opens and closes the window (kMsgBuildingWindow).
  virtual void ShowBuildingWindow() = 0;
  virtual void CloseBuildingWindow() = 0;
  // Ends the process (after a fatal formatting error). Test hosts record it and return.
  virtual void EndProgram(int status) = 0;
};

struct LaunchRequest {
  std::string application;  // empty: taken from the command line
  std::string commandLine;
  std::vector<std::string> environment;     // the whole environment; empty means none at all
  bool noWindow = true;                     // CREATE_NO_WINDOW
  std::optional<std::uint16_t> showWindow;  // start-up window state, when set
};

class ChildProcess {
 public:
  virtual ~ChildProcess() = default;
  virtual void Wait() = 0;                         // without limit
  virtual bool ExitCode(std::uint32_t& code) = 0;  // GetExitCodeProcess
};

class ProcessLauncher {
 public:
  virtual ~ProcessLauncher() = default;
  // Null when the process could not be created (system error set).
  virtual std::unique_ptr<ChildProcess> Start(const LaunchRequest& request) = 0;
};

// The steps of fetching one of the program's own resources, in order.
enum class ResourceStep { Ok, Find, Load, Lock, Size };

class ResourceStore {
 public:
  virtual ~ResourceStore() = default;
  // On success points data/size at the resource bytes (valid for the process's
  // life); otherwise answers the step that failed, with the system error set.
  virtual ResourceStep Fetch(std::string_view type, int id, const std::uint8_t*& data,
                             std::size_t& size) = 0;
};

class File {
 public:
  virtual ~File() = default;
  // got < size only at the end of the file; false on an error.
  virtual bool Read(void* buffer, std::uint32_t size, std::uint32_t& got) = 0;
  virtual bool Write(const void* buffer, std::uint32_t size) = 0;
  virtual bool Size(std::uint64_t& size) = 0;
};

// Paths are Windows paths ("C:\UP\DIAGS", ".\torbel.exe"), relative ones to the
// current directory (the package directory).
class FileSystem {
 public:
  virtual ~FileSystem() = default;
  virtual std::unique_ptr<File> OpenRead(const std::string& path) = 0;    // shared read
  virtual std::unique_ptr<File> Create(const std::string& path) = 0;      // replaces
  virtual std::unique_ptr<File> OpenAppend(const std::string& path) = 0;  // creates
  virtual bool Delete(const std::string& path) = 0;
  virtual bool Exists(const std::string& path) = 0;
  virtual bool MakeDirectory(const std::string& path) = 0;
  // RemoveDirectoryA: an empty directory only. A file system that cannot
  // remove directories keeps them.
  virtual bool RemoveEmptyDirectory(const std::string& path) {
    (void)path;
    return false;
  }
  virtual bool SystemDirectory(std::string& path) = 0;
  // The current directory as a full path (GetCurrentDirectoryA).
  virtual bool CurrentDirectory(std::string& path) = 0;
  // GetTempFileNameA(directory, prefix, 0): creates an empty file of a new name
  // "<prefix><hex>.tmp" in the directory and answers its path.
  virtual bool TemporaryFileName(const std::string& directory, const std::string& prefix,
                                 std::string& path) = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual void Sleep(std::uint32_t milliseconds) = 0;
  virtual std::uint64_t Milliseconds() = 0;  // monotonic
};

class Security {
 public:
  virtual ~Security() = default;
  // Membership of the process token in the built-in Administrators group
  // (S-1-5-32-544); false when the check itself fails.
  virtual bool IsMemberOfAdministrators() = 0;
};

// Page allocations (VirtualAlloc) for transfer buffers.
class Memory {
 public:
  virtual ~Memory() = default;
  virtual void* AllocatePages(std::size_t size) = 0;  // null on failure, error set
  virtual bool FreePages(void* pages) = 0;
};

// The request of one SCSI command through the platform's direct pass-through,
// with its sense buffer. The Win32 host copies it into SCSI_PASS_THROUGH_DIRECT
// followed by the sense bytes, one 80-byte block sent as input and output.
struct ScsiRequest {
  static constexpr std::uint16_t kHeaderLength = 44;  // sizeof(SCSI_PASS_THROUGH_DIRECT), 32-bit
  static constexpr std::uint32_t kSenseOffset = 48;
  static constexpr std::uint8_t kSenseLength = 32;
  static constexpr std::uint32_t kBlockSize = 80;
  enum Direction : std::uint8_t { kToDevice = 0, kFromDevice = 1, kNoData = 2 };

  std::uint16_t length = 0;
  std::uint8_t scsiStatus = 0;  // out
  std::uint8_t pathId = 0, targetId = 0, lun = 0;
  std::uint8_t cdbLength = 0;
  std::uint8_t senseInfoLength = 0;
  std::uint8_t dataIn = kNoData;
  std::uint32_t dataTransferLength = 0;
  std::uint32_t timeOutSeconds = 0;
  void* dataBuffer = nullptr;
  std::uint32_t senseInfoOffset = 0;
  std::uint8_t cdb[16] = {};
  std::uint8_t sense[kSenseLength] = {};  // out
};

// One run of a volume's sectors on a physical drive
// (IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS), in bytes from the drive's start.
struct DiskExtent {
  std::uint32_t diskNumber = 0;  // \\.\PhysicalDrive<n>
  std::uint64_t startingOffset = 0;
  std::uint64_t length = 0;
};

// An open handle on a disk, volume or CD drive (CreateFileA on \\.\...).
class DiskHandle {
 public:
  virtual ~DiskHandle() = default;
  virtual bool Read(void* buffer, std::uint32_t size, std::uint32_t& got) = 0;
  virtual bool Write(const void* buffer, std::uint32_t size, std::uint32_t& written) = 0;
  virtual bool Seek(std::uint64_t offset) = 0;
  // IOCTL_SCSI_PASS_THROUGH_DIRECT: false when the device control itself failed.
  virtual bool ScsiPassThrough(ScsiRequest& request) = 0;
  // IOCTL_STORAGE_QUERY_PROPERTY, standard device property, standard query.
  virtual bool QueryStorageProperty(void* buffer, std::uint32_t size) = 0;
  // IOCTL_STORAGE_GET_DEVICE_NUMBER.
  virtual bool DeviceNumber(std::uint32_t& deviceType, std::uint32_t& number) = 0;
  virtual bool LockVolume() = 0;        // FSCTL_LOCK_VOLUME
  virtual bool UnlockVolume() = 0;      // FSCTL_UNLOCK_VOLUME
  virtual bool DismountVolume() = 0;    // FSCTL_DISMOUNT_VOLUME
  virtual bool UpdateProperties() = 0;  // IOCTL_DISK_UPDATE_PROPERTIES
  // IOCTL_STORAGE_GET_MEDIA_TYPES: the MediaType of each geometry the drive
  // supports (room for 30), kMediaF3_1Pt44_512 for a 1.44 MB 3.5-inch drive.
  virtual bool MediaTypes(std::vector<std::uint32_t>& types) = 0;

  // The calls below have no use on every kind of handle; a handle that does
  // not take one answers false (the host's error set where it has one).
  //
  // IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS on a volume handle: where on which
  // physical drives the volume lies.
  virtual bool VolumeDiskExtents(std::vector<DiskExtent>& extents) {
    extents.clear();
    return false;
  }
  // FlushFileBuffers: everything written reaches the medium before it returns.
  virtual bool Flush() { return false; }
  // IOCTL_STORAGE_QUERY_PROPERTY, StorageAdapterProperty: the AlignmentMask
  // that pass-through data buffers must honour (0: any address).
  virtual bool AdapterAlignmentMask(std::uint32_t& mask) {
    mask = 0;
    return false;
  }
  // IOCTL_CDROM_EXCLUSIVE_ACCESS: lock the CD drive for this handle alone (or
  // let it go). The system releases the lock when the handle closes.
  virtual bool ExclusiveAccess(bool lock) {
    (void)lock;
    return false;
  }
};

inline constexpr std::uint32_t kMediaF3_1Pt44_512 = 2;   // 3.5", 1.44 MB, 512-byte sectors
inline constexpr std::uint32_t kMediaF3_720_512 = 5;     // 3.5", 720 KB
inline constexpr std::uint32_t kMediaRemovable = 11;     // RemovableMedia: not a diskette
inline constexpr std::uint32_t kMediaTypesRoom = 30;

// GetDriveTypeA values the front end tests for.
enum class DriveType : std::uint32_t {
  Unknown = 0,
  NoRootDir = 1,
  Removable = 2,
  Fixed = 3,
  Remote = 4,
  CdRom = 5,
  RamDisk = 6
};

// Rights and sharing of a device open. None: device controls only; Read: reading,
// sharing reading and writing; ReadWrite: reading and writing, sharing both;
// ReadWriteShareRead: reading and writing, sharing reading only (a diskette
// being written).
enum class DiskAccess { None, Read, ReadWrite, ReadWriteShareRead };

class DeviceCatalog {
 public:
  virtual ~DeviceCatalog() = default;
  virtual std::uint32_t LogicalDrives() = 0;       // bit 0 = A:
  virtual DriveType TypeOfDrive(char letter) = 0;  // of the root "X:\"
  // All DOS device names (QueryDosDeviceA with no name); false on failure.
  virtual bool DosDeviceNames(std::vector<std::string>& names) = 0;
  // GetVolumeInformationA of "X:\".
  virtual bool VolumeInformation(char letter, std::string& label, std::string& fileSystem) = 0;
  // CreateFileA of a device path (\\.\X:, \\.\PhysicalDrive<n>), existing only.
  // Null on failure, error set.
  virtual std::unique_ptr<DiskHandle> Open(const std::string& devicePath, DiskAccess access) = 0;
  // The shell's display name of the drive "X:\" ("Removable Disk (E:)"); "X:" when
  // the shell has none.
  virtual std::string DisplayName(char letter) = 0;

  // Every volume of the system, with a letter or not (FindFirstVolumeA /
  // FindNextVolumeA): "\\?\Volume{...}\". Open takes the name without its
  // last backslash.
  virtual bool VolumeNames(std::vector<std::string>& names) {
    names.clear();
    return false;
  }
  // Where a volume is mounted (GetVolumePathNamesForVolumeNameA): "E:\",
  // "C:\mnt\stick\"; none for a volume without a letter or folder.
  virtual bool VolumePaths(const std::string& volumeName, std::vector<std::string>& paths) {
    (void)volumeName;
    paths.clear();
    return false;
  }
};

// Worker threads (image build, image copy, burn, update). A worker touches only
// its job record and reports through posted messages.
class Workers {
 public:
  virtual ~Workers() = default;
  // Runs work on a thread of its own; false (system error set) when no thread
  // could be started, in which case work never runs.
  virtual bool StartThread(std::function<void()> work) = 0;
};

// Everything the services need, wired once at start-up (the real Win32 set in
// the program, simulated ones in tests).
struct Services {
  SystemErrors* errors = nullptr;
  UserInterface* ui = nullptr;
  ProcessLauncher* processes = nullptr;
  ResourceStore* resources = nullptr;
  FileSystem* files = nullptr;
  Clock* clock = nullptr;
  Security* security = nullptr;
  Memory* memory = nullptr;
  DeviceCatalog* devices = nullptr;
  Workers* workers = nullptr;
  RunOptions options;
};

}  // namespace zolp
