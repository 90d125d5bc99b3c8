// Clusters, sectors and the two in-memory FAT copies.
#include <algorithm>
#include <cstring>

#include "partshell/error_codes.h"
#include "partshell/fat16_engine.h"

namespace partshell {

FatEntryClass ClassifyFatEntry(std::uint16_t value) {
  if (value == 0x0000) return FatEntryClass::free_cluster;
  if (value == 0x0001) return FatEntryClass::reserved;
  if (value <= 0xFFEF) return FatEntryClass::link;
  if (value <= 0xFFF6) return FatEntryClass::reserved_high;
  if (value == 0xFFF7) return FatEntryClass::bad;
  return FatEntryClass::end_of_chain;
}

Fat16Engine::Fat16Engine(MountedVolume& volume, LocalFiles& local_files) : v_(volume), local_(local_files) {}

std::uint32_t Fat16Engine::GetSectorOfCluster(std::uint32_t cluster, const char* origin) {
  if (cluster < 2 || cluster > v_.ClusterLimit) {
    const std::string text = Format("ERROR - Cluster %ld, Invalid Cluster Requested.", static_cast<long>(cluster));
    v_.out().Trace(origin, text);
    v_.out().Print(text);
    v_.RaiseFatalCondition(INVALID_CLUSTER_IN_REQUEST);
    return 0;
  }
  return v_.FirstDataSector + (cluster - 2) * v_.sectors_per_cluster;
}

std::uint16_t Fat16Engine::FatEntry(std::uint32_t cluster) const {
  // The mount makes the FAT cover every cluster below the limit; anything
  // beyond reads as a bad cluster rather than outside the array.
  return cluster < v_.fat1.size() ? v_.fat1[cluster] : 0xFFF7;
}

void Fat16Engine::SetFatEntry(std::uint16_t cluster, std::uint16_t value) {
  if (cluster >= v_.fat1.size()) return;
  v_.fat1[cluster] = value;
  v_.fat2[cluster] = value;
}

int Fat16Engine::CommitFatTables(std::string& message) {
  if (v_.fat1 != v_.fat2) {
    message = "Corrupted FAT: FAT Table 1 & 2 Compare Failed";
    return FAT_TABLE_COMPARE_FAILED;
  }
  // Copy 2 is written only once copy 1 is: after a failure the copies differ
  // on the disk, and the next mount takes the one that holds.
  const int first = v_.WriteFatCopy(0, v_.fat1, message);
  if (first != 0) return first;
  return v_.WriteFatCopy(1, v_.fat1, message);
}

std::uint16_t Fat16Engine::FindFreeCluster(std::uint32_t from) const {
  for (std::uint32_t i = std::max<std::uint32_t>(from, 1); i < v_.ClusterLimit; ++i) {
    if (FatEntry(i) == 0) return static_cast<std::uint16_t>(i);
  }
  return 0;
}

namespace {

// Free (zero) entries among `count` FAT entries, four at a time: a 16-bit
// lane is zero exactly when adding 0x7FFF to its low 15 bits carries nothing
// into bit 15 and bit 15 itself is clear.
std::uint64_t CountFreeEntries(const std::uint16_t* entries, std::size_t count) {
  constexpr std::uint64_t kLow = 0x7FFF7FFF7FFF7FFFull;
  constexpr std::uint64_t kHigh = 0x8000800080008000ull;
  std::uint64_t free_entries = 0;
  std::size_t i = 0;
  for (; i + 4 <= count; i += 4) {
    std::uint64_t word;
    std::memcpy(&word, entries + i, sizeof word);
    const std::uint64_t nonzero = ((word & kLow) + kLow) | word;
    // One bit per free lane, at the bottom of its lane; the multiply sums the
    // four lanes into the top one.
    const std::uint64_t marks = (~nonzero & kHigh) >> 15;
    free_entries += (marks * 0x0001000100010001ull) >> 48;
  }
  for (; i < count; ++i) free_entries += entries[i] == 0 ? 1 : 0;
  return free_entries;
}

}  // namespace

bool Fat16Engine::HasFreeSpace(std::uint64_t bytes) const {
  if (bytes == 0) return true;
  if (v_.BytesPerCluster == 0) return false;
  const std::uint64_t wanted = (bytes + v_.BytesPerCluster - 1) / v_.BytesPerCluster;
  // From the top down: files fill a partition from its first clusters, so the
  // free ones are usually found at once, however full the bottom is.
  std::uint64_t found = 0;
  for (std::size_t i = std::min<std::size_t>(v_.ClusterLimit, v_.fat1.size()); i > 0; --i) {
    if (v_.fat1[i - 1] == 0 && ++found == wanted) return true;
  }
  return false;
}

std::uint64_t Fat16Engine::FreeSpace() const {
  // Entries past the loaded FAT read as bad clusters, never as free ones.
  const std::size_t counted = std::min<std::size_t>(v_.ClusterLimit, v_.fat1.size());
  return CountFreeEntries(v_.fat1.data(), counted) * v_.BytesPerCluster;
}

int Fat16Engine::FreeClusterChain(std::uint16_t first, std::string& message) {
  std::uint32_t cluster = first;
  while (cluster != 0) {
    const std::uint16_t value = FatEntry(cluster);
    const FatEntryClass kind = cluster < 2 || cluster >= v_.ClusterLimit ? FatEntryClass::bad : ClassifyFatEntry(value);
    if (kind == FatEntryClass::link) {
      SetFatEntry(static_cast<std::uint16_t>(cluster), 0);
      cluster = value;
    } else if (kind == FatEntryClass::end_of_chain) {
      SetFatEntry(static_cast<std::uint16_t>(cluster), 0);
      cluster = 0;
    } else {
      // A chain that runs into a free cluster (which is also where a looping
      // chain ends up, its entries being cleared on the way) or out of the
      // volume: nothing is written, and the FAT goes back to what the disk holds.
      message = LinkageMessage(value);
      v_.fat1 = v_.disk_fat1;
      v_.fat2 = v_.disk_fat2;
      return FAT_LINKAGE_ERROR;
    }
  }
  return CommitFatTables(message);
}

}  // namespace partshell
