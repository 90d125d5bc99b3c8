// Walks the sectors of the root directory or of any cluster chain.
#include "partshell/error_codes.h"
#include "partshell/fat16_engine.h"

namespace partshell {

std::string LinkageMessage(std::uint32_t link) {
  return Format("ERROR: Invalid FAT Linkage Detected: %d (%04X)", static_cast<int>(link), static_cast<unsigned>(link));
}

DirSectorIterator::DirSectorIterator(Fat16Engine& engine, std::uint16_t start) : engine_(engine), start_(start) {
  MountedVolume& v = engine_.volume();
  if (start_ == kRootDirectory) {
    if (v.root_entries / 16u == 0) {
      end_ = true;
      return;
    }
    cluster_sector_ = v.RootDirSector;
  } else if (!Enter(start_)) {
    return;
  }
  used_in_cluster_ = 1;
  first_sector_ = cluster_sector_;
}

bool DirSectorIterator::Enter(std::uint32_t cluster) {
  MountedVolume& v = engine_.volume();
  const bool in_volume = cluster >= 2 && cluster < v.ClusterLimit;
  // A chain can pass each data cluster once; the first revisit is a loop. The
  // map is only made once the chain leaves its first cluster.
  bool seen = false;
  if (in_volume && cluster_ != 0) {
    if (visited_.empty()) {
      visited_.assign(v.ClusterLimit, false);
      visited_[cluster_] = true;
    }
    seen = visited_[cluster];
    visited_[cluster] = true;
  }
  // A cluster of a chain holds a link or the end mark itself; one marked free,
  // reserved or bad belongs to no chain.
  const FatEntryClass own = in_volume ? ClassifyFatEntry(engine_.FatEntry(cluster)) : FatEntryClass::bad;
  const bool chained = own == FatEntryClass::link || own == FatEntryClass::end_of_chain;
  if (!in_volume || seen || !chained) {
    bad_link_ = cluster;
    error_ = FAT_LINKAGE_ERROR;
    end_ = true;
    return false;
  }
  cluster_ = static_cast<std::uint16_t>(cluster);
  cluster_sector_ = engine_.GetSectorOfCluster(cluster_);
  used_in_cluster_ = 1;
  return true;
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
  const FatEntryClass kind = ClassifyFatEntry(next);
  if (kind == FatEntryClass::end_of_chain) {
    end_ = true;
    return 0;
  }
  // Enter refuses the clusters that free, reserved and bad entries would name
  // (0, 1, and 0xFFF0 up) as lying outside the volume.
  if (!Enter(next)) return 0;
  return cluster_sector_;
}

std::string DirSectorIterator::LinkageMessage() const { return partshell::LinkageMessage(bad_link_); }

}  // namespace partshell
