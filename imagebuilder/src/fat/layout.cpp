// Sizing of the FAT volume: boot sector size, root region, geometry, FAT
// size and cluster count, by the fixed-size or the file-sized rule.
#include <algorithm>

#include "imagebuilder/fat/directory_writer.h"
#include "imagebuilder/error_codes.h"
#include "imagebuilder/fat/fat_volume.h"

namespace imagebuilder {
namespace {

std::uint64_t CeilDiv(std::uint64_t a, std::uint64_t b) { return (a + b - 1) / b; }

std::uint32_t EntriesPerFatSector(std::uint8_t fatType) {
  return fatType == 12 ? kFat12EntriesPerSector : kFat16EntriesPerSector;
}

// FAT entries `fatSize` sectors really hold at this sector size.
std::uint64_t FatCapacity(std::uint8_t fatType, std::uint64_t fatSize, std::uint32_t sectorSize) {
  return fatSize * sectorSize * 8 / (fatType == 12 ? 12 : 16);
}


int ReadBootSectorSize(BuildContext& ctx) {
  Settings& s = ctx.settings;
  std::unique_ptr<HostFile> f = ctx.tree.OpenRead(s.bsFileName);
  if (!f) {
    return ctx.Fail(kErrBootOpen, FileSubject("open", "boot sector file", s.bsFileName,
                                              "BsFileName", ctx.tree.LastError()));
  }
  std::uint64_t length = 0;
  if (!f->Length(length)) {
    f->Close();
    return ctx.ReportError(kErrBootRead);
  }
  if (!f->Close()) return ctx.ReportError(kErrBootClose);
  const std::uint64_t sectors = CeilDiv(length, s.sectorSize);
  s.reservedSectors = static_cast<std::uint16_t>(std::clamp<std::uint64_t>(sectors, 1, 65535));
  return 0;
}

int FixedSizeRule(BuildContext& ctx, std::uint32_t spc, std::uint32_t upper) {
  Settings& s = ctx.settings;
  Layout& l = ctx.layout;
  const std::uint64_t overhead =
      static_cast<std::uint64_t>(l.hiddenSectors) + l.rootSectors + s.reservedSectors;
  std::uint64_t available = s.numSectors > overhead ? s.numSectors - overhead : 0;
  if (s.partitionSize != 0) {
    const std::uint64_t part = s.partitionSize > overhead ? s.partitionSize - overhead : 0;
    available = std::min(available, part);
  }
  const std::uint32_t e = EntriesPerFatSector(s.fatType);
  std::uint64_t clusters = 0;
  for (; spc <= upper; spc *= 2) {
    std::uint64_t fatSize = CeilDiv(available, static_cast<std::uint64_t>(spc) * e + s.numFATs);
    std::uint64_t rest = 0;
    for (;;) {
      const std::uint64_t fatSectors = fatSize * s.numFATs;
      rest = available > fatSectors ? available - fatSectors : 0;
      clusters = rest / spc;
      // The estimate can leave the last two cluster numbers without a FAT
      // entry; a larger FAT then takes sectors from the data area.
      if (clusters + 2 <= FatCapacity(s.fatType, fatSize, s.sectorSize)) break;
      ++fatSize;
    }
    l.sectorsPerCluster = static_cast<std::uint8_t>(spc);
    l.fatSize = static_cast<std::uint16_t>(std::min<std::uint64_t>(fatSize, 0xFFFF));
    l.clusterCount = static_cast<std::uint32_t>(std::min<std::uint64_t>(clusters, 0xFFFFFFFF));
    l.dataSectors = static_cast<std::uint32_t>(clusters * spc);
    l.leftoverSectors = static_cast<std::uint32_t>(rest - clusters * spc);
    if (s.fatType == 12) {
      if (clusters == 0) return ctx.ReportError(kErrFatTooSmall);
      if (clusters < 4069) return 0;
    } else if (s.fatType == 16) {
      if (clusters < 4101) return ctx.ReportError(kErrFat16TooFewClusters);
      if (clusters < 65509) return 0;
    } else {
      return ctx.ReportError(kErrFat32);
    }
  }
  return 0;
}

int FileSizedRule(BuildContext& ctx, std::uint32_t spc, std::uint32_t upper) {
  Settings& s = ctx.settings;
  Layout& l = ctx.layout;
  const std::uint32_t e = EntriesPerFatSector(s.fatType);
  const std::uint64_t overhead =
      static_cast<std::uint64_t>(l.hiddenSectors) + l.rootSectors + s.reservedSectors;
  for (; spc <= upper; spc *= 2) {
    std::uint64_t clusters = 2 + CountTreeClusters(ctx, *ctx.snapshot, spc);
    std::uint64_t fatSize = 0;
    if (s.fatType == 12) {
      if (clusters >= 4069) continue;
      fatSize = CeilDiv(CeilDiv((clusters + 2) * 3, 2), s.sectorSize);
    } else if (s.fatType == 16) {
      clusters = std::max<std::uint64_t>(clusters, 4101);
      if (clusters >= 65509) continue;
      fatSize = CeilDiv((clusters + 2) * 2, s.sectorSize);
    } else {
      return ctx.ReportError(kErrFat32);
    }
    if (!s.extendedPartition && !s.noCHSRounding) {
      std::uint64_t total = s.numFATs * fatSize + spc * clusters + overhead;
      if (s.heads == 0) {
        const std::uint64_t cyl = s.cylinders != 0 ? s.cylinders : 1024;
        const std::uint64_t track = static_cast<std::uint64_t>(s.secPerTrack) * cyl;
        s.heads = total < track * 16 ? 16 : total < track * 32 ? 32 : 64;
      }
      const std::uint64_t m = static_cast<std::uint64_t>(s.heads) * s.secPerTrack;
      total += m - total % m;
      const std::uint64_t available = total - overhead;
      fatSize = CeilDiv(available, static_cast<std::uint64_t>(spc) * e + s.numFATs);
      clusters = (available - fatSize * s.numFATs) / spc;
      // The FATs take the sectors the clusters leave.
      fatSize = (available - clusters * spc) / s.numFATs;
      while (clusters + 2 > FatCapacity(s.fatType, fatSize, s.sectorSize)) {
        --clusters;
        fatSize = (available - clusters * spc) / s.numFATs;
      }
      if (clusters >= (s.fatType == 12 ? 4069u : 65509u)) continue;
    }
    if (fatSize > 0xFFFF) continue;
    l.sectorsPerCluster = static_cast<std::uint8_t>(spc);
    l.clusterCount = static_cast<std::uint32_t>(clusters);
    l.fatSize = static_cast<std::uint16_t>(fatSize);
    l.dataSectors = static_cast<std::uint32_t>(spc * clusters);
    l.leftoverSectors = 0;
    const std::uint64_t total = s.numFATs * fatSize + overhead + l.dataSectors;
    if (total > 0xFFFFFFFFu) return ctx.ReportError(kErrTooManySectors);
    s.numSectors = static_cast<std::uint32_t>(total);
    return 0;
  }
  // No cluster size fits the tree.
  return ctx.ReportError(kErrTooLargeForFat);
}

// A FAT directory holds at most 65536 entries (2 MiB of them), long-name slots,
// "." and ".." included.
constexpr std::uint64_t kMaxDirectoryEntries = 65536;

const DirectoryNode* OverfullDirectory(const BuildContext& ctx, const DirectoryNode& dir,
                                       std::uint64_t& entries) {
  for (const TreeEntry& e : dir.entries) {
    if (e.excluded || !e.directory) continue;
    entries = CountEntries(ctx, *e.directory, false);
    if (entries > kMaxDirectoryEntries) return e.directory.get();
    if (const DirectoryNode* deeper = OverfullDirectory(ctx, *e.directory, entries)) return deeper;
  }
  return nullptr;
}

// The image is written over whatever file it names, so it must not name a file
// of the tree the volume is made of. A file left out of the tree (ExcludeFile)
// is no part of it, and neither is an empty one: that is the name the front end
// has just made for its temporary image, and replacing it loses nothing.
int RefuseImageInTree(BuildContext& ctx, DirectoryNode& dir, bool imageIsEmpty) {
  for (TreeEntry& e : dir.entries) {
    if (e.excluded) continue;
    if (e.directory) {
      if (RefuseImageInTree(ctx, *e.directory, imageIsEmpty) != 0) return ctx.code();
    } else if (ctx.tree.IsSameFile(e.hostPath, ctx.settings.imageName)) {
      if (imageIsEmpty) {
        e.excluded = true;
        continue;
      }
      return ctx.Fail(kErrImageOpen,
                      FileSubject("create", "image file", ctx.settings.imageName, "ImageName",
                                  "it is the package file \"" + e.hostPath +
                                      "\" (FileRoot); name another image or leave the file out "
                                      "with ExcludeFile"));
    }
  }
  return 0;
}

int RefuseImageInTree(BuildContext& ctx) {
  HostFileStatus st;
  if (ctx.settings.imageName.empty() || !ctx.tree.Status(ctx.settings.imageName, st)) return 0;
  return RefuseImageInTree(ctx, *ctx.snapshot, !st.isDirectory && st.size == 0);
}

int ReadPackageTree(BuildContext& ctx) {
  const Settings& s = ctx.settings;
  ctx.snapshot.emplace();
  TreeLimits limits;
  limits.clusterBytes = static_cast<std::uint64_t>(s.sectPerCluster != 0 ? s.sectPerCluster : 64) *
                        s.sectorSize;
  limits.maxClusters = s.fatType == 12 ? kFat12MaxClusters : kFat16MaxClusters;
  std::string treeFailure;
  const int treeCode = ReadTree(ctx.tree, s.fileRoot, CompileExclusions(s.excludeFiles), limits,
                                *ctx.snapshot, treeFailure);
  if (treeCode == kErrRootNotFound) {
    return ctx.Fail(treeCode, FileSubject("read", "package folder", s.fileRoot, "FileRoot",
                                          s.fileRoot.empty() ? "the key is empty"
                                                             : ctx.tree.LastError()));
  }
  if (treeCode == kErrTooLargeForFat) {
    return ctx.Fail(treeCode, "the files under \"" + s.fileRoot + "\" (FileRoot) need more clusters"
                              " than FAT" + std::to_string(s.fatType) + " has");
  }
  if (treeCode != 0) {
    return treeFailure.empty() ? ctx.ReportError(treeCode) : ctx.Fail(treeCode, treeFailure);
  }
  return RefuseImageInTree(ctx);
}

}  // namespace

int ComputeLayout(BuildContext& ctx) {
  Settings& s = ctx.settings;
  Layout& l = ctx.layout;
  if (ReadBootSectorSize(ctx) != 0) return ctx.code();
  // A volume of a tree read before (the CD's EFI image) lays out that tree.
  if (!ctx.snapshot && ReadPackageTree(ctx) != 0) return ctx.code();

  const std::uint32_t entriesPerSector = s.sectorSize / 32;
  const std::uint32_t rootNeeded = CountEntrySectors(ctx, *ctx.snapshot, true);
  l.rootSectors = static_cast<std::uint16_t>(CeilDiv(s.rootDirEntries, entriesPerSector));
  // The root directory fills whole sectors, and the boot sector says so: a count that
  // ends inside a sector is rounded up, unless the rounded count no longer fits its field.
  const std::uint32_t wholeSectors = static_cast<std::uint32_t>(l.rootSectors) * entriesPerSector;
  if (wholeSectors > 0xFFFF) return ctx.ReportError(kErrParameters);
  s.rootDirEntries = static_cast<std::uint16_t>(wholeSectors);
  if (rootNeeded > l.rootSectors) {
    return ctx.Fail(kErrRootTooSmall,
                    "the root folder \"" + s.fileRoot + "\" needs " +
                        std::to_string(CountEntries(ctx, *ctx.snapshot, true)) +
                        " directory entries, more than the " + std::to_string(s.rootDirEntries) +
                        " of RootDirEntries");
  }
  std::uint64_t entries = 0;
  if (const DirectoryNode* full = OverfullDirectory(ctx, *ctx.snapshot, entries)) {
    return ctx.Fail(kErrRootTooSmall, "the folder \"" + full->hostPath + "\" needs " +
                                          std::to_string(entries) +
                                          " directory entries, more than the 65536 a FAT "
                                          "directory holds");
  }

  if (s.secPerTrack == 0) {
    const bool small = s.numSectors != 0 && s.numSectors <= 0x7F8000 && s.numSectors % 32 == 0;
    s.secPerTrack = small && !s.extendedPartition ? 32 : 63;
  }
  l.hiddenSectors = s.mbrFileName.empty() ? 0 : s.secPerTrack;

  const std::uint64_t chs = static_cast<std::uint64_t>(s.cylinders) * s.secPerTrack * s.heads;
  if (s.numSectors == 0 && !s.extendedPartition) {
    s.numSectors = static_cast<std::uint32_t>(chs);
  } else if (s.numSectors != 0 && chs != 0 && !s.extendedPartition && chs != s.numSectors) {
    return ctx.ReportError(kErrChsMismatch);
  }

  std::uint32_t spc = s.sectPerCluster != 0 ? s.sectPerCluster : (s.iso ? 4 : 2);
  const std::uint32_t upper = s.sectPerCluster != 0 ? s.sectPerCluster : 64;
  const int sizing = s.numSectors != 0 ? FixedSizeRule(ctx, spc, upper) : FileSizedRule(ctx, spc, upper);
  if (sizing != 0) return ctx.code();
  const std::uint32_t limit = s.fatType == 12 ? kFat12MaxClusters : kFat16MaxClusters;
  if (l.clusterCount >= limit) return ctx.ReportError(kErrTooLargeForFat);

  if (s.heads == 0) {
    if (s.cylinders == 0) {
      const std::uint64_t track = s.secPerTrack;
      s.heads = s.numSectors < track * 16384 ? 16 : s.numSectors < track * 32768 ? 32 : 64;
    } else {
      const std::uint64_t h = CeilDiv(CeilDiv(s.numSectors, s.secPerTrack), s.cylinders);
      if (h > 255) return ctx.ReportError(kErrNoGeometry);
      s.heads = static_cast<std::uint16_t>(h);
    }
  }
  if (s.cylinders == 0) {
    const std::uint64_t c = CeilDiv(CeilDiv(s.numSectors, s.secPerTrack), s.heads);
    if (c >= 1 && c <= 1024) s.cylinders = static_cast<std::uint16_t>(c);
  }
  if (s.numSectors > kMaxNumSectors) return ctx.ReportError(kErrTooManySectors);

  const std::uint32_t fats = static_cast<std::uint32_t>(s.numFATs) * l.fatSize;
  l.partitionSectors = s.reservedSectors + fats + l.rootSectors + l.dataSectors + l.leftoverSectors;
  l.firstDataSector = l.hiddenSectors + s.reservedSectors + fats + l.rootSectors;
  l.fatStart =
      (static_cast<std::uint64_t>(s.reservedSectors) + l.hiddenSectors) * s.sectorSize;
  return 0;
}

}  // namespace imagebuilder
