// The open physical drive and the mounted FAT16 partition: drive scan,
// guarded sector reads and writes, partition choice, boot sector and FAT
// checks, and the volume geometry the FAT16 engine works with.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "partshell/block_device.h"
#include "partshell/engine_services.h"
#include "partshell/mount_request.h"

namespace partshell {

inline constexpr int kSectorBufferSlots = 11;
// Slot n of the eleven 512-byte-aligned sector buffers, nullptr for n > 10.
std::uint8_t* SectorBufferSlot(int n);

inline constexpr std::uint16_t kRootDirectory = 0xFFFF;  // directory number of the root
inline constexpr std::uint8_t kUtilityPartitionType = 0xDE;
inline constexpr std::uint8_t kHiddenVendorPartitionType = 0xDF;
// FAT entry 1's clean-shutdown bit: set while no change is under way. Windows
// and fsck.fat read it too.
inline constexpr std::uint16_t kCleanShutdownBit = 0x8000;

class MountedVolume {
 public:
  MountedVolume(DiskSystem& disks, EngineServices& out);
  ~MountedVolume();
  MountedVolume(const MountedVolume&) = delete;
  MountedVolume& operator=(const MountedVolume&) = delete;

  // 0 when a partition is mounted, else the error level (702, 703, 700,
  // 706-709, 705). On failure the drive is closed again.
  int MountPartition(const MountRequest& request);
  void CloseHardDrive();
  bool IsMounted() const { return partition_index >= 0; }

  // 0 or 741 / 739 / 761 (reads), 741 / 740 (writes). A write above the
  // partition end is the fatal condition 762, an unaligned buffer 254.
  int ReadHardDriveSector(std::uint32_t sector, std::uint8_t* buffer);
  int WriteHardDriveSector(std::uint32_t sector, const std::uint8_t* buffer);
  // `count` consecutive sectors with the same guards, in one transfer where
  // the device allows (file data is written a cluster at a time).
  int WriteHardDriveSectors(std::uint32_t first, std::uint32_t count, const std::uint8_t* buffer);
  // `count` consecutive sectors in one transfer, for copying file data out.
  // 0 or the device's failure, without a trace: the caller then reads the
  // sectors one by one with ReadHardDriveSector, which reports the one that
  // fails as every read does.
  int ReadHardDriveSectors(std::uint32_t first, std::uint32_t count, std::uint8_t* buffer);

  // A directory sector as ReadHardDriveSector gives it, from memory when this
  // command has read it already and nothing has written it since: the scans
  // of one command (a name lookup, the free-slot search, the next file of a
  // wildcard copy) read the same sectors over and over. Every write drops
  // the sectors it covers; a failed read is never kept.
  int ReadDirectorySector(std::uint32_t sector, std::uint8_t* buffer);
  // Drops every kept sector; done before each command, so nothing the disk
  // may have undergone between commands is hidden.
  void ForgetDirectorySectors() { directory_sectors_.clear(); }

  // Reads both FAT copies from the disk into fat1/fat2; 0, or the first
  // sector read error.
  int LoadFatTables();
  // Writes the sectors of FAT copy `copy` (0 or 1) whose on-disk record
  // differs from `source`, in order; the first failed write stops it with
  // "ERROR: FAT1 Write Error: %ld" and 722 (or FAT2 and 723).
  int WriteFatCopy(int copy, const std::vector<std::uint16_t>& source, std::string& message);

  // One command's changes. The first write into the partition inside the
  // outermost BeginChange marks the volume dirty (FAT entry 1 of copy 1, then
  // of copy 2; a failure fails that write); the matching EndChange marks it
  // clean again, copy 1 then copy 2, when both copies on the disk are what the
  // engine holds. A change that left them apart leaves the volume dirty: the
  // next mount settles it. 0, or the failed clean mark's code and message.
  void BeginChange() { ++change_depth_; }
  int EndChange(std::string& message);

  void ShowMbr();
  void ShowBootSector();

  // A condition that must end the run at once: 254 (an unaligned sector
  // buffer), 762 (a write above the partition end), 763 (a cluster outside
  // the volume); 0 while there is none. Its message is out when it is raised;
  // from then on every sector transfer fails with it and nothing more reaches
  // the disk, until the shell ends the process.
  int FatalCondition() const { return fatal_condition_; }
  void RaiseFatalCondition(int exit_code) {
    if (fatal_condition_ == 0) fatal_condition_ = exit_code;
  }

  EngineServices& out() { return out_; }
  const std::uint8_t* mbr() const { return mbr_valid ? SectorBufferSlot(0) : nullptr; }
  const std::uint8_t* pbr() const { return SectorBufferSlot(1); }

  // --- the mounted state, read by the FAT16 engine and the commands ---
  MountRequest request;  // what the last mount was asked for
  std::string drive_name;
  int drive_number = -1;
  int partition_index = -1;
  std::uint8_t partition_type = 0;
  bool mbr_valid = false;

  std::vector<std::uint16_t> fat1;
  std::vector<std::uint16_t> fat2;
  // What each FAT copy holds on the disk as far as the shell knows, so that
  // a commit rewrites only the sectors that changed.
  std::vector<std::uint16_t> disk_fat1;
  std::vector<std::uint16_t> disk_fat2;

  std::uint32_t partition_start = 0;
  std::uint32_t total_sectors = 0;
  std::uint16_t bytes_per_sector = 512;
  std::uint8_t sectors_per_cluster = 1;
  std::uint16_t reserved_sectors = 1;
  std::uint8_t number_of_fats = 2;
  std::uint16_t root_entries = 0;
  std::uint16_t sectors_per_fat = 0;

  std::uint32_t ClusterLimit = 0;
  std::uint32_t PartitionEndSector = 0;
  std::uint32_t RootDirSector = 0;
  std::uint32_t FirstDataSector = 0;
  std::uint32_t BytesPerCluster = 0;

  // The current directory of SYS:, reset to the root by the mount.
  std::string current_path = "\\";
  std::uint16_t current_directory = kRootDirectory;

 private:
  int OpenHardDriveForReadWrite();
  // After a scan that found no utility partition: why, in one line.
  std::string ScanFailure() const;
  int ChoosePartitionEntry(bool virtual_tag) const;
  int CheckBootSector();
  void ComputeGeometry();
  // FAT entry 1 of both copies on the disk, with the clean-shutdown bit set or
  // cleared, copy 1 first; 0 or 722 / 723 with the message.
  int WriteVolumeState(bool clean, std::string& message);
  int MarkDirtyBeforeWrite(std::uint32_t first, std::uint32_t count);
  // A mount that finds the volume dirty: copies that differ are brought
  // together from the one whose chains hold, then the volume is marked clean.
  int SettleInterruptedChange();
  // Every chain of `fat` links only to used clusters of the volume, no cluster
  // has two predecessors, and none lies on a loop.
  bool ChainsSound(const std::vector<std::uint16_t>& fat) const;
  // Every transfer checks its buffer first: false, and the fatal condition
  // 254, when it is not 512-byte aligned.
  bool VerifySectorBufferPointer(const void* buffer);

  DiskSystem& disks_;
  EngineServices& out_;
  std::unique_ptr<BlockDevice> drive_;
  bool utility_partition_locked_ = false;
  // The last scan: drives that opened without a utility partition, and the
  // first drive that did not open, with the system's error.
  std::vector<std::string> scanned_without_up_;
  std::string first_unopened_;
  std::uint32_t first_open_error_ = 0;
  std::unordered_map<std::uint32_t, std::array<std::uint8_t, kSectorSize>> directory_sectors_;
  int fatal_condition_ = 0;
  int change_depth_ = 0;
  bool dirty_marked_ = false;
  bool marking_ = false;
};

}  // namespace partshell
