#include "partshell/volume_partition.h"

#include "partshell/error_codes.h"
#include "partshell/local_environment.h"
#include "common/fat_layout.h"

namespace partshell {

namespace {
constexpr std::uint8_t kActive = 0x80;
constexpr int kEntriesWithBootIndicator = 4;
}  // namespace

std::vector<std::string> MountVariables(const MountedVolume& volume) {
  std::vector<std::string> assignments;
  assignments.push_back(Format("MOUNTED_PARTITION=%d", volume.partition_index));
  assignments.push_back(Format("MOUNTED_PARTITION_TYPE=%d", volume.partition_type));
  int active = -1;
  if (const std::uint8_t* mbr = volume.mbr(); mbr != nullptr) {
    for (int k = 0; k < kEntriesWithBootIndicator; ++k) {
      if (PartitionEntry(mbr, k)[PE_BootIndicator] == kActive) active = k;
    }
  }
  assignments.push_back(active >= 0 ? Format("ACTIVE_PARTITION=%d", active) : std::string("ACTIVE_PARTITION=NONE"));
  assignments.push_back("$?=0");
  assignments.push_back("ERRORLEVEL=0");
  return assignments;
}

int VolumePartition::Mount(const MountRequest& request) {
  const int result = volume_.MountPartition(request);
  if (result == 0 && volume_.IsMounted()) {
    for (const std::string& assignment : MountVariables(volume_)) EnvPutValue(assignment);
  }
  return result;
}

bool VolumePartition::AnyEntryMatches(const std::string& pattern) {
  DirEntry entry{};
  int error = 0;
  std::unique_ptr<DirSearch> search = engine_.FindFirstEntry(pattern, entry, error);
  const bool found = search != nullptr && error == 0;
  lookup_error_ = found || error == END_OF_DIRECTORY || error == DIR_PATH_NOT_FOUND || error == BAD_HANDLE ? 0 : error;
  return found;
}

std::string VolumePartition::ErrorText(int code) const { return partshell::ErrorText(code); }

}  // namespace partshell
