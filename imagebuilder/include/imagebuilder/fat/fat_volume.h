// The FAT volume: layout computation, volume creation, cluster allocation
// and the boot records (MBR, boot sector, loader sectors).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "imagebuilder/build_context.h"

namespace imagebuilder {

// Entries per FAT sector used when sizing a volume of a given size.
inline constexpr std::uint32_t kFat12EntriesPerSector = 341;
inline constexpr std::uint32_t kFat16EntriesPerSector = 256;
// Cluster-count limits: FAT12 below 4085, FAT16 from 4085 below 65525.
inline constexpr std::uint32_t kFat12MaxClusters = 4085;
inline constexpr std::uint32_t kFat16MaxClusters = 65525;

// Reads the tree (unless the context holds one already) and fills the layout
// and the geometry keys. Returns the recorded code.
int ComputeLayout(BuildContext& ctx);

// Sizes the image file, writes the reserved FAT entries, the directory tree
// and the FAT copies.
int CreateVolume(BuildContext& ctx);

struct Allocation {
  std::uint64_t offset = 0;  // bytes from the FAT volume's start; 0 when nothing was allocated
  std::uint32_t firstCluster = 0;
};
// Hands out the next clusters for `sectors` sectors and writes their chain.
int AllocateClusters(BuildContext& ctx, std::uint32_t sectors, Allocation& out);

int WriteMbr(BuildContext& ctx);
int WriteBootSector(BuildContext& ctx);
int WriteLoader(BuildContext& ctx);

// Seeks the image to `offset` bytes from the FAT volume's start.
bool SeekVolume(BuildContext& ctx, std::uint64_t offset);

// The DOS date and time of `utc` in local time; false when the clock cannot
// convert it or it lies outside 1980..2107.
bool LocalDosDateTime(BuildContext& ctx, std::int64_t utc, std::uint16_t& date, std::uint16_t& time);

// The FAT as it is built in memory: entries 0..entries-1 take FatBytes bytes.
// A FAT12 entry takes a byte and a half: an even entry the low 12 bits of the
// 16 at n * 3 / 2, an odd one the high 12; the table must reach its last byte.
std::size_t FatBytes(std::uint8_t fatType, std::uint32_t entries);
std::uint16_t GetFatEntry(const std::vector<std::uint8_t>& fat, std::uint8_t fatType, std::uint32_t n);
void SetFatEntry(std::vector<std::uint8_t>& fat, std::uint8_t fatType, std::uint32_t n, std::uint16_t value);

}  // namespace imagebuilder
