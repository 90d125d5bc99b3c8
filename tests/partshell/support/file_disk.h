// Disks that are files, for the tests: a disk image as a block device, a disk
// system of such drives, and a device that fails chosen transfers.
#pragma once

#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "partshell/block_device.h"

namespace partshell::testing {

class FileBlockDevice : public BlockDevice {
 public:
  // nullptr when the file cannot be opened for reading and writing.
  static std::unique_ptr<FileBlockDevice> Open(const std::string& path);
  SectorIoResult ReadSector(std::uint32_t sector, std::uint8_t* buffer) override;
  SectorIoResult WriteSector(std::uint32_t sector, const std::uint8_t* buffer) override;
  std::uint64_t SizeInBytes();

 private:
  std::fstream file_;
};

// Fails reads or writes of chosen sectors, or every write after a number of
// good ones; everything else goes to the wrapped device.
class FaultInjectingDevice : public BlockDevice {
 public:
  explicit FaultInjectingDevice(std::unique_ptr<BlockDevice> inner) : inner_(std::move(inner)) {}
  SectorIoResult ReadSector(std::uint32_t sector, std::uint8_t* buffer) override;
  SectorIoResult WriteSector(std::uint32_t sector, const std::uint8_t* buffer) override;

  std::set<std::uint32_t> failing_reads;
  unsigned good_reads_before_failing = 0;  // reads of a failing sector that still succeed first
  std::set<std::uint32_t> failing_writes;
  long writes_before_failure = -1;  // -1: no countdown
  bool fail_once = false;           // the countdown fails one write, not every later one
  std::uint32_t system_error = 5;   // reported with each injected failure
  unsigned writes_done = 0;
  unsigned failures_injected = 0;
  std::map<std::uint32_t, unsigned> reads_of;  // read attempts per sector

 private:
  std::unique_ptr<BlockDevice> inner_;
};

// Physical drives 0..9 backed by files: an empty path is a drive that cannot
// be opened. `wrap`, when set, may replace each opened device (fault tests).
class FileDiskSystem : public DiskSystem {
 public:
  explicit FileDiskSystem(std::vector<std::string> drive_paths) : paths_(std::move(drive_paths)) {}
  std::unique_ptr<BlockDevice> OpenDrive(int n, std::uint32_t& system_error) override;
  std::uint32_t DriveSizeMegabytes(int n) override;
  bool NeedsUtilityPartitionLock() const override { return false; }
  int OpenLockDismountUtilityPartition(int, int, EngineServices&) override { return 0; }
  void CloseUtilityPartition(EngineServices&) override {}
  void SleepMilliseconds(unsigned) override {}
  std::string DrivePath(int n) const override {
    return n >= 0 && static_cast<std::size_t>(n) < paths_.size() ? paths_[n] : std::string();
  }

  std::function<std::unique_ptr<BlockDevice>(int, std::unique_ptr<BlockDevice>)> wrap;
  std::vector<int> opened;  // drive numbers in the order they were opened

 private:
  std::vector<std::string> paths_;
};

}  // namespace partshell::testing
