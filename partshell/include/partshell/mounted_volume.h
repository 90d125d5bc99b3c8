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
#include "partshell/shell_services.h"

namespace partshell {

inline constexpr int kSectorBufferSlots = 11;
// Slot n of the eleven 512-byte-aligned sector buffers, nullptr for n > 10.
std::uint8_t* SectorBufferSlot(int n);

inline constexpr std::uint16_t kRootDirectory = 0xFFFF;  // directory number of the root
inline constexpr std::uint8_t kUtilityPartitionType = 0xDE;
inline constexpr std::uint8_t kHiddenVendorPartitionType = 0xDF;

// What the command-line switches ask of the mount.
struct MountOptions {
  int wanted_index = 0;             // entry 0..4, -1 when a type is asked for
  std::uint8_t wanted_type = 0;     // 0 when an index is asked for
  bool no_mbr_write = false;        // /NOWRITEMBR
  bool show_mbr_only = false;       // /MBR: show the MBR, mount nothing
  bool interactive = false;         // no command given: announce the device
};

class MountedVolume {
 public:
  MountedVolume(DiskSystem& disks, ShellServices& out);
  ~MountedVolume();
  MountedVolume(const MountedVolume&) = delete;
  MountedVolume& operator=(const MountedVolume&) = delete;

  // 0 when a partition is mounted, else the error level (702, 703, 700,
  // 706-709, 705). On failure the drive is closed again.
  int MountPartition(const MountOptions& options);
  void CloseHardDrive();
  bool IsMounted() const { return partition_index >= 0; }

  // 0 or 741 / 739 / 761 (reads), 741 / 740 (writes). A write above the
  // partition end ends the process with 762; an unaligned buffer with 254.
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

  void ShowMbr();
  void ShowBootSector();

  ShellServices& out() { return out_; }
  const std::uint8_t* mbr() const { return mbr_valid ? SectorBufferSlot(0) : nullptr; }
  const std::uint8_t* pbr() const { return SectorBufferSlot(1); }

  // --- the mounted state, read by the FAT16 engine and the commands ---
  std::string drive_name;
  int drive_number = -1;
  int partition_index = -1;
  std::uint8_t partition_type = 0;
  int wanted_index = 0;
  std::uint8_t wanted_type = 0;
  bool no_mbr_write = false;
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
  void PublishMount();

  DiskSystem& disks_;
  ShellServices& out_;
  std::unique_ptr<BlockDevice> drive_;
  bool utility_partition_locked_ = false;
  // The last scan: drives that opened without a utility partition, and the
  // first drive that did not open, with the system's error.
  std::vector<std::string> scanned_without_up_;
  std::string first_unopened_;
  std::uint32_t first_open_error_ = 0;
  std::unordered_map<std::uint32_t, std::array<std::uint8_t, kSectorSize>> directory_sectors_;
};

}  // namespace partshell
