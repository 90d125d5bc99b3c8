// Disk, volume and CD drive handles: sector I/O and the device controls the
// front end sends to them.
#include <windows.h>
// The device-control headers need windows.h's types first.
#include <winioctl.h>
// clang-format off
#include <ntddscsi.h>
// clang-format on

#include <cstddef>
#include <cstring>
#include <vector>

#include "zolp/win32_host.h"

namespace zolp::win32 {

namespace {

// The pass-through request and its sense bytes travel as one block, which is
// the device control's input and output alike.
struct PassThroughBlock {
  SCSI_PASS_THROUGH_DIRECT request;
  ULONG filler;  // aligns the sense buffer
  UCHAR sense[ScsiRequest::kSenseLength];
};
// The request's Length and SenseInfoOffset are always this build's own layout: the
// 32-bit one the portable request names (44-byte header, sense at 48), or on 64-bit
// Windows the wider one that its pointer-sized DataBuffer makes (56, sense at 60).
#if defined(_WIN64)
static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT) == 56);
static_assert(offsetof(PassThroughBlock, sense) == 60);
static_assert(sizeof(PassThroughBlock) == 96);
#else
static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT) == ScsiRequest::kHeaderLength);
static_assert(offsetof(PassThroughBlock, sense) == ScsiRequest::kSenseOffset);
static_assert(sizeof(PassThroughBlock) == ScsiRequest::kBlockSize);
#endif
constexpr USHORT kHeaderLength = sizeof(SCSI_PASS_THROUGH_DIRECT);
constexpr ULONG kSenseOffset = offsetof(PassThroughBlock, sense);

// The CD-ROM class driver's exclusive access (ntddcdrm.h, which mingw-w64 lacks).
constexpr DWORD kIoctlCdromExclusiveAccess =
    CTL_CODE(FILE_DEVICE_CD_ROM, 0x0017, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);
enum ExclusiveAccessRequest : DWORD { kExclusiveQueryState = 0, kExclusiveLock = 1, kExclusiveUnlock = 2 };
constexpr DWORD kLockIgnoreVolume = 0x1;  // CDROM_LOCK_IGNORE_VOLUME
constexpr std::size_t kCallerNameLength = 64;  // CDROM_EXCLUSIVE_CALLER_LENGTH
struct ExclusiveAccessBlock {
  DWORD requestType;
  DWORD flags;
};
struct ExclusiveLockBlock {
  ExclusiveAccessBlock access;
  UCHAR callerName[kCallerNameLength];
};

class Win32Disk final : public DiskHandle {
 public:
  explicit Win32Disk(HANDLE h) : h_(h) {}
  ~Win32Disk() override { CloseHandle(h_); }

  bool Read(void* buffer, std::uint32_t size, std::uint32_t& got) override {
    DWORD n = 0;
    const BOOL ok = ReadFile(h_, buffer, size, &n, nullptr);
    got = n;
    return ok != FALSE;
  }
  bool Write(const void* buffer, std::uint32_t size, std::uint32_t& written) override {
    DWORD n = 0;
    const BOOL ok = WriteFile(h_, buffer, size, &n, nullptr);
    written = n;
    return ok != FALSE;
  }
  bool Seek(std::uint64_t offset) override {
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(h_, to, nullptr, FILE_BEGIN) != FALSE;
  }

  bool ScsiPassThrough(ScsiRequest& r) override {
    PassThroughBlock block;
    std::memset(&block, 0, sizeof block);
    // r.length and r.senseInfoOffset hold the 32-bit layout; the device wants this build's.
    block.request.Length = kHeaderLength;
    block.request.PathId = r.pathId;
    block.request.TargetId = r.targetId;
    block.request.Lun = r.lun;
    block.request.CdbLength = r.cdbLength;
    block.request.SenseInfoLength = r.senseInfoLength;
    block.request.DataIn = r.dataIn;
    block.request.DataTransferLength = r.dataTransferLength;
    block.request.TimeOutValue = r.timeOutSeconds;
    block.request.DataBuffer = r.dataBuffer;
    block.request.SenseInfoOffset = kSenseOffset;
    std::memcpy(block.request.Cdb, r.cdb, sizeof r.cdb);
    DWORD returned = 0;
    if (!DeviceIoControl(h_, IOCTL_SCSI_PASS_THROUGH_DIRECT, &block, sizeof block, &block,
                         sizeof block, &returned, nullptr))
      return false;
    r.scsiStatus = block.request.ScsiStatus;
    std::memcpy(r.sense, block.sense, sizeof r.sense);
    return true;
  }

  bool QueryStorageProperty(void* buffer, std::uint32_t size) override {
    STORAGE_PROPERTY_QUERY query;
    std::memset(&query, 0, sizeof query);
    query.PropertyId = StorageDeviceProperty;
    query.QueryType = PropertyStandardQuery;
    DWORD returned = 0;
    return DeviceIoControl(h_, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, buffer, size,
                           &returned, nullptr) != FALSE;
  }

  bool DeviceNumber(std::uint32_t& deviceType, std::uint32_t& number) override {
    STORAGE_DEVICE_NUMBER value;
    DWORD returned = 0;
    if (!DeviceIoControl(h_, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &value, sizeof value,
                         &returned, nullptr))
      return false;
    deviceType = value.DeviceType;
    number = value.DeviceNumber;
    return true;
  }

  bool LockVolume() override { return Control(FSCTL_LOCK_VOLUME); }
  bool UnlockVolume() override { return Control(FSCTL_UNLOCK_VOLUME); }
  bool DismountVolume() override { return Control(FSCTL_DISMOUNT_VOLUME); }
  bool UpdateProperties() override { return Control(IOCTL_DISK_UPDATE_PROPERTIES); }

  bool VolumeDiskExtents(std::vector<DiskExtent>& extents) override {
    extents.clear();
    // Room for a few extents first; a volume spanning more says how many.
    std::vector<std::uint8_t> buffer(sizeof(VOLUME_DISK_EXTENTS) + 7 * sizeof(DISK_EXTENT));
    DWORD returned = 0;
    while (!DeviceIoControl(h_, IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, buffer.data(),
                            static_cast<DWORD>(buffer.size()), &returned, nullptr)) {
      if (GetLastError() != ERROR_MORE_DATA) return false;
      const auto* partial = reinterpret_cast<const VOLUME_DISK_EXTENTS*>(buffer.data());
      const std::size_t wanted =
          sizeof(VOLUME_DISK_EXTENTS) + partial->NumberOfDiskExtents * sizeof(DISK_EXTENT);
      if (wanted <= buffer.size()) return false;
      buffer.assign(wanted, 0);
    }
    const auto* found = reinterpret_cast<const VOLUME_DISK_EXTENTS*>(buffer.data());
    for (DWORD i = 0; i < found->NumberOfDiskExtents; ++i) {
      const DISK_EXTENT& e = found->Extents[i];
      extents.push_back({e.DiskNumber, static_cast<std::uint64_t>(e.StartingOffset.QuadPart),
                         static_cast<std::uint64_t>(e.ExtentLength.QuadPart)});
    }
    return true;
  }

  bool Flush() override { return FlushFileBuffers(h_) != FALSE; }

  // Asked once per handle: the adapter does not change under it.
  bool AdapterAlignmentMask(std::uint32_t& mask) override {
    if (!alignmentKnown_) {
      STORAGE_PROPERTY_QUERY query;
      std::memset(&query, 0, sizeof query);
      query.PropertyId = StorageAdapterProperty;
      query.QueryType = PropertyStandardQuery;
      STORAGE_ADAPTER_DESCRIPTOR adapter;
      std::memset(&adapter, 0, sizeof adapter);
      DWORD returned = 0;
      alignmentFound_ = DeviceIoControl(h_, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query,
                                        &adapter, sizeof adapter, &returned, nullptr) != FALSE &&
                        returned >= offsetof(STORAGE_ADAPTER_DESCRIPTOR, AlignmentMask) + sizeof(DWORD);
      alignmentMask_ = alignmentFound_ ? adapter.AlignmentMask : 0;
      alignmentKnown_ = true;
    }
    mask = alignmentMask_;
    return alignmentFound_;
  }

  bool ExclusiveAccess(bool lock) override {
    DWORD returned = 0;
    if (!lock) {
      ExclusiveAccessBlock unlock{kExclusiveUnlock, 0};
      return DeviceIoControl(h_, kIoctlCdromExclusiveAccess, &unlock, sizeof unlock, nullptr, 0,
                             &returned, nullptr) != FALSE;
    }
    ExclusiveLockBlock request;
    std::memset(&request, 0, sizeof request);
    request.access.requestType = kExclusiveLock;
    std::memcpy(request.callerName, "ZOLP", 4);  // letters, digits, blanks and a few marks only
    // Without a flag the lock wants the disc's file system dismounted first (the
    // caller does that where it can); a disc that has none takes it ignoring the volume.
    if (DeviceIoControl(h_, kIoctlCdromExclusiveAccess, &request, sizeof request, nullptr, 0,
                        &returned, nullptr))
      return true;
    if (GetLastError() == ERROR_ACCESS_DENIED) return false;  // another program holds it
    request.access.flags = kLockIgnoreVolume;
    return DeviceIoControl(h_, kIoctlCdromExclusiveAccess, &request, sizeof request, nullptr, 0,
                           &returned, nullptr) != FALSE;
  }

  bool MediaTypes(std::vector<std::uint32_t>& types) override {
    types.clear();
    DISK_GEOMETRY geometries[kMediaTypesRoom];
    DWORD returned = 0;
    if (!DeviceIoControl(h_, IOCTL_STORAGE_GET_MEDIA_TYPES, nullptr, 0, geometries,
                         sizeof geometries, &returned, nullptr))
      return false;
    for (DWORD i = 0; i < returned / sizeof(DISK_GEOMETRY); ++i)
      types.push_back(static_cast<std::uint32_t>(geometries[i].MediaType));
    return true;
  }

 private:
  bool Control(DWORD code) {
    DWORD returned = 0;
    return DeviceIoControl(h_, code, nullptr, 0, nullptr, 0, &returned, nullptr) != FALSE;
  }
  HANDLE h_;
  bool alignmentKnown_ = false, alignmentFound_ = false;
  DWORD alignmentMask_ = 0;
};

}  // namespace

std::unique_ptr<DiskHandle> MakeDiskHandle(void* handle) {
  return std::make_unique<Win32Disk>(static_cast<HANDLE>(handle));
}

}  // namespace zolp::win32
