// A disk held in memory, for the fuzz targets and the tests: a base image shared by
// every run, the sectors one run has written over it, and a guard on where writes
// may land.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "partshell/block_device.h"

namespace partshell::testing {

class MemoryDisk {
 public:
  // A disk of `total_sectors` that reads as zeros until data is placed on it.
  explicit MemoryDisk(std::uint32_t total_sectors) : total_sectors_(total_sectors) {}

  // Puts `bytes` on the disk from `first_sector` on (the base image, shared by every
  // run); later places win where they overlap. Anything past the disk's end is dropped.
  void Place(std::uint32_t first_sector, std::vector<std::uint8_t> bytes);
  // Drops every place and every write.
  void Clear() {
    places_.clear();
    written_.clear();
  }
  // Back to the base image: drops what was written over it.
  void Reset() { written_.clear(); }

  SectorIoResult Read(std::uint32_t sector, std::uint8_t* buffer) const;
  SectorIoResult Write(std::uint32_t sector, const std::uint8_t* buffer);
  std::uint32_t total_sectors() const { return total_sectors_; }
  // The disk as it stands, sector 0 to `sectors` - 1.
  std::vector<std::uint8_t> Image(std::uint32_t sectors) const;

  // Writes are allowed only to sectors first..last; AllowNoWrites forbids every
  // write. A forbidden write calls `on_forbidden_write` (the fuzz targets stop
  // there) and fails.
  void AllowWrites(std::uint32_t first, std::uint32_t last) {
    allowed_first_ = first;
    allowed_last_ = last;
    writes_allowed_ = true;
  }
  void AllowNoWrites() { writes_allowed_ = false; }
  std::function<void(std::uint32_t sector)> on_forbidden_write;
  unsigned long writes = 0;
  // The sectors written since the last Reset, in no order.
  std::vector<std::uint32_t> WrittenSectors() const {
    std::vector<std::uint32_t> sectors;
    for (const auto& kept : written_) sectors.push_back(kept.first);
    return sectors;
  }

 private:
  struct PlacedBytes {
    std::uint32_t first_sector;
    std::vector<std::uint8_t> bytes;
  };
  std::vector<PlacedBytes> places_;
  std::uint32_t total_sectors_;
  std::unordered_map<std::uint32_t, std::array<std::uint8_t, kSectorSize>> written_;
  bool writes_allowed_ = false;
  std::uint32_t allowed_first_ = 0;
  std::uint32_t allowed_last_ = 0;
};

// The disk as physical drive 0, the only drive of the machine.
class MemoryDiskSystem : public DiskSystem {
 public:
  explicit MemoryDiskSystem(MemoryDisk& disk) : disk_(disk) {}
  std::unique_ptr<BlockDevice> OpenDrive(int n, std::uint32_t& system_error) override;
  std::uint32_t DriveSizeMegabytes(int n) override { return n == 0 ? disk_.total_sectors() / 2048 : 0; }
  bool NeedsUtilityPartitionLock() const override { return false; }
  int OpenLockDismountUtilityPartition(int, int, EngineServices&) override { return 0; }
  void CloseUtilityPartition(EngineServices&) override {}
  void SleepMilliseconds(unsigned) override {}

 private:
  MemoryDisk& disk_;
};

// The sectors of partition entry 1 (the utility partition's place) of a disk's MBR:
// first and last sector, false when the entry is empty.
bool UtilityPartitionSectors(const std::uint8_t* mbr, std::uint32_t& first, std::uint32_t& last);

// A disk image of `disk_sectors` with one type-DE partition in entry 1, formatted
// FAT16 (two FATs, one reserved sector) and empty but for the volume label.
struct UtilityDiskLayout {
  std::uint32_t disk_sectors = 8192;
  std::uint32_t partition_start = 63;
  std::uint32_t partition_sectors = 8000;
  std::uint8_t sectors_per_cluster = 1;
  std::uint16_t root_entries = 512;
};
std::vector<std::uint8_t> FormatUtilityDisk(const UtilityDiskLayout& layout);

}  // namespace partshell::testing
