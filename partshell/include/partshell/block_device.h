// The disk boundary of the partition shell: one 512-byte sector at a time,
// addressed by absolute sector number from sector 0 of the physical drive.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace partshell {

inline constexpr std::uint32_t kSectorSize = 512;

enum class SectorIoStatus {
  ok,
  seek_failed,   // positioning at the sector failed
  read_failed,   // the read failed or returned part of a sector
  read_no_data,  // the read succeeded with 0 bytes (beyond the end of the device)
  write_failed,  // the write failed or wrote part of a sector
};

struct SectorIoResult {
  SectorIoStatus status = SectorIoStatus::ok;
  std::uint32_t system_error = 0;  // the platform's error number, 0 when it gave none
};

class BlockDevice {
 public:
  virtual ~BlockDevice() = default;
  // `buffer` is 512 bytes; callers pass 512-byte-aligned buffers only.
  virtual SectorIoResult ReadSector(std::uint32_t sector, std::uint8_t* buffer) = 0;
  virtual SectorIoResult WriteSector(std::uint32_t sector, const std::uint8_t* buffer) = 0;
  // `count` consecutive sectors into one buffer; devices that can read them
  // in one transfer override it.
  virtual SectorIoResult ReadSectors(std::uint32_t first, std::uint32_t count, std::uint8_t* buffer) {
    for (std::uint32_t i = 0; i < count; ++i) {
      const SectorIoResult r = ReadSector(first + i, buffer + static_cast<std::size_t>(i) * kSectorSize);
      if (r.status != SectorIoStatus::ok) return r;
    }
    return {};
  }
  // `count` consecutive sectors from one buffer; devices that can write them
  // in one transfer override it.
  virtual SectorIoResult WriteSectors(std::uint32_t first, std::uint32_t count, const std::uint8_t* buffer) {
    for (std::uint32_t i = 0; i < count; ++i) {
      const SectorIoResult r = WriteSector(first + i, buffer + static_cast<std::size_t>(i) * kSectorSize);
      if (r.status != SectorIoStatus::ok) return r;
    }
    return {};
  }
};

class EngineServices;

// "\\.\PHYSICALDRIVE<n>", the name a drive is known by in messages.
std::string PhysicalDriveName(int n);

// The physical drives of the machine (or the one disk named by TORBEL_DISK).
class DiskSystem {
 public:
  virtual ~DiskSystem() = default;
  // Opens physical drive n (0..9) for reading and writing; nullptr and the
  // platform error when it cannot be opened.
  virtual std::unique_ptr<BlockDevice> OpenDrive(int n, std::uint32_t& system_error) = 0;
  // Megabytes of 512-byte sectors from the drive geometry, 0 when unknown.
  virtual std::uint32_t DriveSizeMegabytes(int n) = 0;
  // True where the utility partition must be locked and dismounted to keep
  // the operating system off it while its sectors are written through the drive.
  virtual bool NeedsUtilityPartitionLock() const = 0;
  // 0 on success, else non-zero; the lock lasts until CloseUtilityPartition.
  virtual int OpenLockDismountUtilityPartition(int disk, int partition, EngineServices& out) = 0;
  virtual void CloseUtilityPartition(EngineServices& out) = 0;
  virtual void SleepMilliseconds(unsigned milliseconds) = 0;
  // Where the drives report their verbose seek texts; the mount attaches its own.
  virtual void AttachServices(EngineServices& /*out*/) {}
  // What drive n is, for the line that says why no disk could be used:
  // "\\.\PHYSICALDRIVE0 (/dev/sda)", or the disk TORBEL_DISK names.
  virtual std::string DriveDescription(int n) const;
  // The name drive n is opened by, for telling it apart from local files.
  virtual std::string DrivePath(int n) const { return PhysicalDriveName(n); }
};


}  // namespace partshell
