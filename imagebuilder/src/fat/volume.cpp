// Creating the volume: image size, reserved FAT entries, cluster chains
// written strictly in cluster order, and the FAT copies.
#include <algorithm>
#include <vector>

#include "imagebuilder/fat/directory_writer.h"
#include "imagebuilder/dos_time.h"
#include "imagebuilder/error_codes.h"
#include "imagebuilder/fat/fat_volume.h"

namespace imagebuilder {
namespace {

constexpr std::uint32_t kFat12MaxChain = 43689;
constexpr std::uint32_t kFat16MaxChain = 32767;

// Encodes the chain first..first+count-1 as FAT12 or FAT16 bytes starting at
// the FAT write position; returns how many whole bytes it completes.
std::size_t EncodeChain(Layout& l, std::uint8_t fatType, std::uint32_t first, std::uint32_t count,
                        std::vector<std::uint8_t>& out) {
  out.clear();
  if (fatType == 16) {
    out.reserve(static_cast<std::size_t>(count) * 2);
    for (std::uint32_t k = 0; k < count; ++k) {
      const std::uint32_t v = k + 1 == count ? 0xFFFF : first + k + 1;
      out.push_back(static_cast<std::uint8_t>(v));
      out.push_back(static_cast<std::uint8_t>(v >> 8));
    }
    return out.size();
  }
  out.reserve(static_cast<std::size_t>(count) * 3 / 2 + 2);
  for (std::uint32_t k = 0; k < count; ++k) {
    const std::uint32_t v = k + 1 == count ? 0xFFF : (first + k + 1) & 0xFFF;
    if (!l.fat12NibblePending) {
      out.push_back(static_cast<std::uint8_t>(v));
      l.fat12PendingNibble = static_cast<std::uint8_t>((v >> 8) & 0x0F);
      l.fat12NibblePending = true;
    } else {
      out.push_back(static_cast<std::uint8_t>(l.fat12PendingNibble | ((v & 0x0F) << 4)));
      out.push_back(static_cast<std::uint8_t>(v >> 4));
      l.fat12NibblePending = false;
    }
  }
  const std::size_t whole = out.size();
  // A chain ending on an even cluster leaves half a byte; the next chain rewrites it.
  if (l.fat12NibblePending) out.push_back(l.fat12PendingNibble);
  return whole;
}

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

  l.nextFreeCluster = 2;
  l.fat12NibblePending = false;
  const std::uint8_t reserved[4] = {s.mediaType, 0xFF, 0xFF, 0xFF};
  const std::size_t reservedBytes = s.fatType == 12 ? 3 : 4;
  l.fatStart = l.fatWritePosition;
  l.fat.assign(reserved, reserved + reservedBytes);
  l.fatWritePosition += reservedBytes;

  CalendarTime local;
  std::uint16_t date = 0;
  std::uint16_t time = 0;
  if (!ctx.clock.ToLocal(ctx.BuildTime(), local) || !ToDosDateTime(local, date, time)) {
    return ctx.ReportError(kErrBuildTime);
  }
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
  std::vector<std::uint8_t> bytes;
  const std::size_t whole = EncodeChain(l, s.fatType, first, count, bytes);
  // A half byte left by the previous FAT12 chain is rewritten with this one.
  l.fat.resize(static_cast<std::size_t>(l.fatWritePosition - l.fatStart));
  l.fat.insert(l.fat.end(), bytes.begin(), bytes.end());
  l.fatWritePosition += whole;
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
