#include "partshell/volume_partition.h"

#include "partshell/error_codes.h"

namespace partshell {

int VolumePartition::Mount(const MountRequest& request) {
  MountOptions options;
  options.wanted_index = request.wantedIndex;
  options.wanted_type = request.wantedType;
  options.no_mbr_write = request.noWriteMbr;
  options.show_mbr_only = request.showMbrOnly;
  options.interactive = request.interactive;
  return volume_.MountPartition(options);
}

bool VolumePartition::AnyEntryMatches(const std::string& pattern) {
  DirEntry entry{};
  int error = 0;
  std::unique_ptr<DirSearch> search = engine_.FindFirstEntry(pattern, entry, error);
  return search != nullptr && error == 0;
}

std::string VolumePartition::ErrorText(int code) const { return partshell::ErrorText(code); }

}  // namespace partshell
