// A removable drive whose medium is an image file, as the simulated device
// catalog offers it: a USB disk, an empty card-reader slot or a 1.44 MB
// diskette drive. Writes land in the image file at their offsets (the file
// grows as written); nothing past the drive's capacity is taken.
//
// It keeps the rules Windows keeps for such drives:
// - transfers are whole sectors at sector offsets (else ERROR_INVALID_PARAMETER);
// - a write into the sectors of a volume that is mounted with a file system
//   is refused (ERROR_ACCESS_DENIED) unless that volume is locked or
//   dismounted; a volume that is dismounted but not locked is mounted again
//   by the program that has it open as soon as the disk is written;
// - a volume locked while mounted keeps its file system's view of it: when the
//   lock goes, the file system writes back the boot sector it had read, unless
//   the volume was dismounted;
// - a volume is locked by a handle of its own, opened with write sharing
//   (ERROR_SHARING_VIOLATION otherwise), and only while no other program has
//   it open (ERROR_ACCESS_DENIED); closing the handle lets the lock go;
// - a USB disk caches writes: what has not been flushed is not on the medium;
// - disk properties are a disk's: a volume handle refuses them;
// - pass-through data buffers must meet the adapter's alignment mask.
//
// A diskette drive holds a diskette while its image file exists: without the
// file it reads and writes as "not ready", a read-only file is a
// write-protected diskette, an empty one is blank (no file system).
#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <vector>

#include "zolp/host.h"

namespace zolp::sim {

enum class DriveKind { Usb, CardSlot, Floppy };

inline constexpr std::uint64_t kDisketteBytes = 1474560;  // 80 x 2 x 18 x 512

// One volume the system mounts from the drive.
struct SimulatedVolume {
  char letter = 0;  // 0: mounted without a drive letter
  std::uint64_t offset = 0, length = 0;  // bytes on the drive
  // Another program (the shell, a virus scanner) has the volume open: that
  // many lock attempts are refused; -1: it never lets go.
  int inUse = 0;
  // State.
  bool locked = false, dismounted = false;
  int openHandles = 0;  // the catalog's own handles with access rights
  const void* lockOwner = nullptr;
  // What its file system had read of it when it was locked still mounted: the
  // boot sector, which it writes back when the lock goes unless it was
  // dismounted meanwhile.
  std::vector<std::uint8_t> cachedBootSector;
};

class SimulatedDrive {
 public:
  // capacity in bytes; a diskette drive's is always kDisketteBytes.
  SimulatedDrive(DriveKind kind, std::filesystem::path image, std::uint64_t capacity,
                 SystemErrors& errors);
  SimulatedDrive(const SimulatedDrive&) = delete;
  SimulatedDrive& operator=(const SimulatedDrive&) = delete;
  ~SimulatedDrive();

  // The disk (\\.\PhysicalDrive<n>): a handle of its own (its own position), as
  // each CreateFile gives. Offsets count from the drive's first sector.
  std::unique_ptr<DiskHandle> Open();
  // Volume n (\\.\X:, \\?\Volume{...}); offsets count from the volume's start.
  // Null (error set) when the access cannot be had.
  std::unique_ptr<DiskHandle> OpenVolume(std::size_t n, DiskAccess access);

  DriveKind kind() const { return kind_; }
  const std::filesystem::path& image() const { return image_; }
  std::uint64_t capacity() const { return capacity_; }
  bool MediumPresent() const;
  // Whether some volume of the drive is locked.
  bool Locked() const;
  int WriteCalls() const;
  // IOCTL_DISK_UPDATE_PROPERTIES received on the disk.
  int LayoutUpdates() const;
  // Written but still in the drive's cache.
  std::uint64_t UnflushedBytes() const;
  // A copy of the volume's state.
  SimulatedVolume Volume(std::size_t n) const;

  std::uint32_t deviceNumber = 0;
  std::vector<std::uint8_t> descriptor;  // empty: the storage query fails
  // The volumes; a diskette drive has one over the whole diskette.
  std::vector<SimulatedVolume> volumes;
  // Bytes a USB disk caches before it writes the oldest to the medium.
  std::uint64_t cacheBytes = 0;
  // The adapter's AlignmentMask for pass-through buffers.
  std::uint32_t alignmentMask = 0;
  // Each write takes this long, as a real drive's do (so that a progress
  // window can be watched); 0 in tests.
  std::uint32_t writeDelayMs = 0;
  // Writes take as long as this many bytes a second allow (0: no limit).
  std::uint64_t writeBytesPerSecond = 0;

  // Fault injection for tests: write call n (1-based, counted over the drive's
  // life) fails with the given system error.
  int failWriteCall = 0;
  std::uint32_t failWriteError = 1117;  // ERROR_IO_DEVICE
  // Write call n reports success, but nothing of it reaches the medium.
  int dropWriteCall = 0;

 private:
  class DiskView;
  class VolumeView;
  struct Pending {
    std::uint64_t offset;
    std::vector<std::uint8_t> bytes;
  };
  bool ReadAt(std::uint64_t offset, void* buffer, std::uint32_t size, std::uint32_t& got);
  bool WriteAt(std::uint64_t offset, const void* buffer, std::uint32_t size,
               std::uint32_t& written);
  bool ReadMedium(std::uint64_t offset, void* buffer, std::uint32_t size);
  bool WriteMedium(std::uint64_t offset, const void* buffer, std::uint32_t size);
  bool Store(std::uint64_t offset, const void* buffer, std::uint32_t size);
  void LetGo(SimulatedVolume& v);
  bool Flush();
  bool PassThrough(ScsiRequest& request);
  bool HasFileSystem() const;
  bool WriteAllowed(std::uint64_t offset, std::uint64_t size) const;
  void AfterWrite();
  bool Lock(std::size_t n, const void* owner, bool counted);
  bool Unlock(std::size_t n, const void* owner);
  bool Dismount(std::size_t n);
  void Closed(std::size_t n, const void* handle, bool counted);
  bool Fail(std::uint32_t error) const;

  DriveKind kind_;
  std::filesystem::path image_;
  std::uint64_t capacity_;
  SystemErrors& errors_;
  mutable std::recursive_mutex mutex_;  // a worker writes while the dialog's thread may ask
  int writeCalls_ = 0;
  int layoutUpdates_ = 0;
  std::deque<Pending> cache_;
  std::uint64_t cached_ = 0;
};

}  // namespace zolp::sim
