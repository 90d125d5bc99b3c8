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
};

}  // namespace

std::unique_ptr<DiskHandle> MakeDiskHandle(void* handle) {
  return std::make_unique<Win32Disk>(static_cast<HANDLE>(handle));
}

}  // namespace zolp::win32
