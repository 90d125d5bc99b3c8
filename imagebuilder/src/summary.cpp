#include "imagebuilder/summary.h"

#include <cstdarg>

#include "common/text.h"
#include "imagebuilder/fat/fat_volume.h"
#include "imagebuilder/iso/iso_directory.h"
#include "imagebuilder/iso/iso_layout.h"
#include "imagebuilder/naming.h"

namespace imagebuilder {
namespace {

void Line(std::string& out, const char* format, ...) COMMON_PRINTF(2, 3);
void Line(std::string& out, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string text = common::FormatV(format, args);
  va_end(args);
  if (text.empty()) return;
  out += text;
  out += '\n';
}

struct Placed {
  unsigned long long files = 0;
  unsigned long long directories = 0;
  unsigned long long bytes = 0;
};

void CountPlaced(const DirectoryNode& dir, Placed& placed) {
  for (const TreeEntry& e : dir.entries) {
    if (e.excluded) continue;
    if (!e.host.isDirectory) {
      ++placed.files;
      placed.bytes += e.host.size;
    } else if (e.directory) {
      ++placed.directories;
      CountPlaced(*e.directory, placed);
    }
  }
}

const char* Emulation(std::uint8_t media) {
  switch (media) {
    case 0: return "no emulation";
    case 1: return "1.2 MB diskette emulation";
    case 2: return "1.44 MB diskette emulation";
    case 3: return "2.88 MB diskette emulation";
    default: return "hard disk emulation";
  }
}

}  // namespace

std::string BuildSummary(BuildContext& ctx) {
  const Settings& s = ctx.settings;
  const Layout& l = ctx.layout;
  std::string out;
  const unsigned long long ss = s.sectorSize;
  const unsigned long long diskBytes = static_cast<unsigned long long>(s.numSectors) * ss;
  std::string disk = "\"" + s.imageName + "\"";
  if (s.iso) {
    const unsigned long long isoBytes =
        l.efiImageBytes != 0 ? l.efiImageOffset + l.efiImageBytes : l.imageFileSize;
    Line(out, "%s: ISO 9660 image of %llu sectors of 2048 bytes (%llu bytes), volume \"%s\"",
         disk.c_str(), isoBytes / iso::kSectorSize, isoBytes, s.isoVolumeID.c_str());
    if (!s.isoReadmeName.empty()) {
      const std::string name = iso::ReadmeIdentifier(s.isoReadmeName).value_or("");
      Line(out, "readme \"%s\" at sector %u", name.c_str(), iso::kReadmeSector);
    }
    Line(out, "El Torito boot entry: %s, boot image at sector %llu, system type 0x%02X",
         Emulation(l.bootMediaType),
         static_cast<unsigned long long>(l.volumeOffset / iso::kSectorSize), l.partitionType);
    if (l.efiImageBytes != 0) {
      Line(out, "UEFI boot entry: no emulation, EFI image at sector %llu, %llu bytes",
           static_cast<unsigned long long>(l.efiImageOffset / iso::kSectorSize),
           static_cast<unsigned long long>(l.efiImageBytes));
    }
    disk = "boot image";
  }
  Line(out, "%s: %u sectors of %llu bytes (%llu bytes), %u heads and %u sectors per track",
       disk.c_str(), s.numSectors, ss, diskBytes, s.heads, s.secPerTrack);
  const unsigned long long fileBytes = l.imageFileSize - l.volumeOffset;
  if (fileBytes < diskBytes) {
    Line(out, "the image file holds the first %llu bytes, up to the last cluster used", fileBytes);
  }
  if (!s.mbrFileName.empty()) {
    Line(out, "master boot record: partition 1 of type 0x%02X from sector %u, %u sectors%s",
         l.partitionType, l.hiddenSectors, l.partitionSectors,
         s.processContainer ? ", with the process tag" : "");
  }
  const int fatBits = l.clusterCount < kFat12MaxClusters ? 12 : 16;
  Line(out, "FAT%d volume of %u sectors: %u reserved, %u FATs of %u sectors, root directory of %u "
       "slots in %u sectors",
       fatBits, l.partitionSectors, s.reservedSectors, s.numFATs, l.fatSize, s.rootDirEntries,
       l.rootSectors);
  const unsigned long long clusterBytes = l.sectorsPerCluster * ss;
  Line(out, "%u clusters of %llu bytes (%u sector%s per cluster), media descriptor 0x%02x",
       l.clusterCount, clusterBytes, l.sectorsPerCluster, l.sectorsPerCluster == 1 ? "" : "s",
       s.mediaType);
  const std::uint32_t id =
      s.volumeID != 0 ? s.volumeID : static_cast<std::uint32_t>(ctx.BuildTime());
  const bool blank = s.volumeLabel.find_first_not_of(' ') == std::string::npos;
  if (blank) {
    Line(out, "volume ID %08x, no label", id);
  } else {
    Line(out, "volume ID %08x, label \"%s\"", id, common::UpperAscii(s.volumeLabel).c_str());
  }
  Placed placed;
  if (ctx.snapshot) CountPlaced(*ctx.snapshot, placed);
  const unsigned long long used = l.nextFreeCluster - 2ull;
  Line(out, "placed %llu files (%llu bytes) and %llu directories in %llu clusters", placed.files,
       placed.bytes, placed.directories, used);
  Line(out, "%llu bytes used, %llu bytes free", used * clusterBytes,
       (l.clusterCount - used) * clusterBytes);
  return out;
}

}  // namespace imagebuilder
