// Creating the volume: image size, reserved FAT entries, cluster chains
// written strictly in cluster order, and the FAT copies.
#include <algorithm>
#include <vector>

#include "common/dos_time.h"
#include "common/endian.h"
#include "imagebuilder/fat/directory_writer.h"
#include "imagebuilder/error_codes.h"
#include "imagebuilder/fat/fat_volume.h"

namespace imagebuilder {
namespace {

constexpr std::uint32_t kFat12MaxChain = 43689;
constexpr std::uint32_t kFat16MaxChain = 32767;

int MirrorFat(BuildContext& ctx) {
  const Settings& s = ctx.settings;
  const Layout& l = ctx.layout;
  if (s.numFATs <= 1) return 0;
  std::vector<std::uint8_t> sector(s.sectorSize);
  const std::uint64_t firstFat = static_cast<std::uint64_t>(l.hiddenSectors) + s.reservedSectors;
  for (std::uint32_t i = 0; i < l.fatSize; ++i) {
    if (!SeekVolume(ctx, (firstFat + i) * s.sectorSize)) return ctx.ReportError(kErrSeek);
    if (!ctx.image.Read(sector.data(), sector.size())) return ctx.ReportError(kErrFatRead);
    for (std::uint32_t j = 1; j < s.numFATs; ++j) {
      const std::uint64_t target = firstFat + i + static_cast<std::uint64_t>(j) * l.fatSize;
      if (!SeekVolume(ctx, target * s.sectorSize)) return ctx.ReportError(kErrSeek);
      if (!ctx.image.Write(sector.data(), sector.size())) return ctx.ReportError(kErrFatMirror);
    }
  }
  return 0;
}

}  // namespace

bool SeekVolume(BuildContext& ctx, std::uint64_t offset) {
  return ctx.image.Seek(ctx.layout.volumeOffset + offset);
}

bool LocalDosDateTime(BuildContext& ctx, std::int64_t utc, std::uint16_t& date, std::uint16_t& time) {
  CalendarTime local;
  if (!ctx.clock.ToLocal(utc, local)) return false;
  return common::EncodeDosDateTime({local.year, local.month, local.day, local.hour, local.minute, local.second},
                                   date, time);
}

std::size_t FatBytes(std::uint8_t fatType, std::uint32_t entries) {
  return fatType == 16 ? static_cast<std::size_t>(entries) * 2 : (static_cast<std::size_t>(entries) * 3 + 1) / 2;
}

std::uint16_t GetFatEntry(const std::vector<std::uint8_t>& fat, std::uint8_t fatType, std::uint32_t n) {
  if (fatType == 16) return common::load_le16(&fat[static_cast<std::size_t>(n) * 2]);
  const std::size_t at = static_cast<std::size_t>(n) + n / 2;
  const std::uint16_t pair = common::load_le16(&fat[at]);
  return (n & 1) != 0 ? static_cast<std::uint16_t>(pair >> 4) : static_cast<std::uint16_t>(pair & 0x0FFF);
}

void SetFatEntry(std::vector<std::uint8_t>& fat, std::uint8_t fatType, std::uint32_t n, std::uint16_t value) {
  if (fatType == 16) {
    common::store_le16(&fat[static_cast<std::size_t>(n) * 2], value);
    return;
  }
  const std::size_t at = static_cast<std::size_t>(n) + n / 2;
  if ((n & 1) != 0) {
    fat[at] = static_cast<std::uint8_t>((fat[at] & 0x0F) | ((value & 0x0F) << 4));
    fat[at + 1] = static_cast<std::uint8_t>(value >> 4);
  } else {
    fat[at] = static_cast<std::uint8_t>(value);
    fat[at + 1] = static_cast<std::uint8_t>((fat[at + 1] & 0xF0) | ((value >> 8) & 0x0F));
  }
}

int CreateVolume(BuildContext& ctx) {
  const Settings& s = ctx.settings;
  Layout& l = ctx.layout;
  const std::uint64_t ss = s.sectorSize;
  const std::uint64_t fats = static_cast<std::uint64_t>(s.numFATs) * l.fatSize;

  std::uint64_t size = 0;
  if (s.zeroData) {
    size = static_cast<std::uint64_t>(s.numSectors) * ss;
    if (s.iso) size = (size + 2047) / 2048 * 2048;
    size += l.volumeOffset;
  } else {
    size = (fats + s.reservedSectors + l.rootSectors + l.hiddenSectors) * ss + l.volumeOffset;
  }
  if (!ctx.image.SetSize(size)) return ctx.ReportError(kErrImageSize);
  l.imageFileSize = size;
  // The space the tree's clusters will take is claimed before they are written.
  if (ctx.snapshot) {
    const std::uint64_t treeClusters = std::min<std::uint64_t>(
        CountTreeClusters(ctx, *ctx.snapshot, l.sectorsPerCluster), l.clusterCount);
    if (treeClusters > 0) {
      ctx.image.Reserve(0, l.volumeOffset +
                               (l.firstDataSector + treeClusters * l.sectorsPerCluster) * ss);
    }
  }

  // Entry 0 holds the media descriptor, entry 1 the end-of-chain mark.
  l.nextFreeCluster = 2;
  l.fat.assign(FatBytes(s.fatType, 2), 0);
  SetFatEntry(l.fat, s.fatType, 0, static_cast<std::uint16_t>(0xFF00 | s.mediaType));
  SetFatEntry(l.fat, s.fatType, 1, 0xFFFF);

  std::uint16_t date = 0;
  std::uint16_t time = 0;
  if (!LocalDosDateTime(ctx, ctx.BuildTime(), date, time)) return ctx.ReportError(kErrBuildTime);
  const std::uint64_t rootOffset = (fats + s.reservedSectors + l.hiddenSectors) * ss;
  if (WriteRootDirectory(ctx, rootOffset, rootOffset + l.rootSectors * ss) != 0) {
    return ctx.code();
  }
  if (!ctx.data.Flush()) return ctx.ReportError(kErrFileWrite);
  if (!SeekVolume(ctx, l.fatStart)) return ctx.ReportError(kErrSeek);
  if (!ctx.image.Write(l.fat.data(), l.fat.size())) return ctx.ReportError(kErrFatWrite);
  // Without ZeroData the image ends with the last cluster handed out.
  if (!s.zeroData && !ctx.image.SetSize(l.imageFileSize)) return ctx.ReportError(kErrZeroSpace);
  return MirrorFat(ctx);
}

int AllocateClusters(BuildContext& ctx, std::uint32_t sectors, Allocation& out) {
  const Settings& s = ctx.settings;
  Layout& l = ctx.layout;
  out = Allocation{};
  if (sectors == 0) return 0;
  const std::uint32_t spc = l.sectorsPerCluster;
  const std::uint32_t count = (sectors + spc - 1) / spc;
  if (count > (s.fatType == 12 ? kFat12MaxChain : kFat16MaxChain)) {
    return ctx.ReportError(kErrChainTooLong);
  }
  const std::uint32_t first = l.nextFreeCluster;
  // Checked before the chain is written, so no entry lands beyond the FAT.
  if (static_cast<std::uint64_t>(first) + count > l.clusterCount) {
    return ctx.ReportError(kErrFatTooSmall);
  }
  const std::uint16_t endOfChain = s.fatType == 12 ? 0x0FFF : 0xFFFF;
  l.fat.resize(FatBytes(s.fatType, first + count), 0);
  for (std::uint32_t k = 0; k < count; ++k) {
    const std::uint32_t n = first + k;
    SetFatEntry(l.fat, s.fatType, n, k + 1 == count ? endOfChain : static_cast<std::uint16_t>(n + 1));
  }
  l.nextFreeCluster = first + count;

  const std::uint64_t bytesPerCluster = static_cast<std::uint64_t>(spc) * s.sectorSize;
  // The file grows with its clusters; the new length is set once, when the tree is
  // written (CreateVolume), rather than once per file.
  if (!s.zeroData) l.imageFileSize += count * bytesPerCluster;
  out.firstCluster = first;
  out.offset = (static_cast<std::uint64_t>(spc) * (first - 2) + l.firstDataSector) * s.sectorSize;
  return 0;
}

}  // namespace imagebuilder
