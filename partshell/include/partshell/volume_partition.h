// The mounted volume and its FAT16 engine seen through the frame's
// PartitionAccess.
#pragma once

#include <string>
#include <vector>

#include "partshell/fat16_engine.h"
#include "partshell/mounted_volume.h"
#include "partshell/partition_access.h"

namespace partshell {

class VolumePartition : public PartitionAccess {
 public:
  VolumePartition(MountedVolume& volume, Fat16Engine& engine) : volume_(volume), engine_(engine) {}

  int Mount(const MountRequest& request) override;
  void Close() override { volume_.CloseHardDrive(); }
  bool Mounted() const override { return volume_.IsMounted(); }
  int PartitionIndex() const override { return volume_.partition_index; }
  std::uint8_t PartitionType() const override { return volume_.partition_type; }
  std::string CurrentDirectory() const override { return volume_.current_path; }
  bool AnyEntryMatches(const std::string& pattern) override;
  int LookupError() const override { return lookup_error_; }
  std::string ErrorText(int code) const override;
  int FatalCondition() const override { return volume_.FatalCondition(); }

 private:
  MountedVolume& volume_;
  Fat16Engine& engine_;
  int lookup_error_ = 0;
};

// What a mounted volume publishes in the local environment, in this order:
// MOUNTED_PARTITION, MOUNTED_PARTITION_TYPE, ACTIVE_PARTITION (the last of
// entries 0..3 marked active, or NONE), then "$?" and ERRORLEVEL, both 0.
std::vector<std::string> MountVariables(const MountedVolume& volume);

}  // namespace partshell
