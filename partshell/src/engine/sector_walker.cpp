// Walks the sectors of the root directory or of any cluster chain.
#include "partshell/error_codes.h"
#include "partshell/fat16_engine.h"

namespace partshell {

DirSectorIterator::DirSectorIterator(Fat16Engine& engine, std::uint16_t start) : engine_(engine), start_(start) {
  MountedVolume& v = engine_.volume();
  if (start_ == kRootDirectory) {
    if (v.root_entries / 16u == 0) {
      end_ = true;
      return;
    }
    cluster_sector_ = v.RootDirSector;
  } else {
    cluster_ = start_;
    cluster_sector_ = engine_.GetSectorOfCluster(cluster_);
    clusters_walked_ = 1;
  }
  used_in_cluster_ = 1;
  first_sector_ = cluster_sector_;
}

std::uint32_t DirSectorIterator::NextSector() {
  if (end_) return 0;
  MountedVolume& v = engine_.volume();
  if (start_ == kRootDirectory) {
    if (used_in_cluster_ >= v.root_entries / 16u) {
      end_ = true;
      return 0;
    }
    return v.RootDirSector + used_in_cluster_++;
  }
  if (used_in_cluster_ < v.sectors_per_cluster) return cluster_sector_ + used_in_cluster_++;
  const std::uint16_t next = engine_.FatEntry(cluster_);
  if (ClassifyFatEntry(next) == FatEntryClass::end_of_chain) {
    end_ = true;
    return 0;
  }
  // A chain can hold at most every data cluster once; a longer one loops.
  if (clusters_walked_ >= v.ClusterLimit - 2) {
    error_ = FAT_LINKAGE_ERROR;
    end_ = true;
    return 0;
  }
  cluster_sector_ = engine_.GetSectorOfCluster(next);
  cluster_ = next;
  ++clusters_walked_;
  used_in_cluster_ = 1;
  return cluster_sector_;
}

}  // namespace partshell
