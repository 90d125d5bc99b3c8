// The EFI image is an ordinary FAT volume of the builder's own making: a
// second build context lays it out from the EFI folder of the tree already
// read, and the FAT volume writer writes it behind the boot volume.
#include "imagebuilder/iso/iso_efi_image.h"

#include <memory>
#include <string>

#include "common/text.h"
#include "imagebuilder/error_codes.h"
#include "imagebuilder/fat/fat_volume.h"
#include "imagebuilder/iso/iso_layout.h"
#include "imagebuilder/naming.h"

namespace imagebuilder {
namespace {

const TreeEntry* FindEntry(const DirectoryNode& dir, const char* name, bool directory) {
  for (const TreeEntry& e : dir.entries) {
    if (e.excluded || e.host.isDirectory != directory || e.names.error != 0) continue;
    if (directory && !e.directory) continue;
    if (common::EqualsIgnoreCase(e.host.name, name) ||
        (!e.host.shortAlias.empty() && common::EqualsIgnoreCase(e.host.shortAlias, name))) {
      return &e;
    }
  }
  return nullptr;
}

// The tree's EFI folder when it holds the loader.
const TreeEntry* FindEfiFolder(const DirectoryNode& root) {
  const TreeEntry* efi = FindEntry(root, kEfiLoaderPath[0], true);
  const TreeEntry* boot = efi ? FindEntry(*efi->directory, kEfiLoaderPath[1], true) : nullptr;
  return boot && FindEntry(*boot->directory, kEfiLoaderPath[2], false) ? efi : nullptr;
}

TreeEntry Clone(const TreeEntry& from) {
  TreeEntry to;
  to.host = from.host;
  to.names = from.names;
  to.excluded = from.excluded;
  to.hostPath = from.hostPath;
  if (from.directory) {
    to.directory = std::make_unique<DirectoryNode>();
    to.directory->hostPath = from.directory->hostPath;
    to.directory->relativePath = from.directory->relativePath;
    to.directory->entries.reserve(from.directory->entries.size());
    for (const TreeEntry& e : from.directory->entries) to.directory->entries.push_back(Clone(e));
  }
  return to;
}

// A volume without MBR, sized to its files, as small as FAT allows: FAT12
// while it holds the folder, else FAT16. Sector size, boot sector file, names,
// label and serial number are the boot volume's, so the two volumes of the CD
// read alike.
Settings EfiSettings(const Settings& boot, std::uint8_t fatType) {
  Settings s;
  s.debugLevel = boot.debugLevel;
  s.bsFileName = boot.bsFileName;
  s.sectorSize = boot.sectorSize;  // the boot sector file is one sector of it
  s.fileRoot = boot.fileRoot;
  s.imageName = boot.imageName;
  s.longFN = boot.longFN;
  s.oemName = boot.oemName;
  s.volumeLabel = boot.volumeLabel;
  s.volumeID = boot.volumeID;
  s.fatType = fatType;
  s.rootDirEntries = 16;  // the label and the EFI folder
  s.noCHSRounding = true;
  s.iso = true;  // whole CD sectors
  s.zeroData = true;
  return s;
}

}  // namespace

int WriteEfiImage(BuildContext& ctx, std::optional<iso::EfiBootEntry>& entry) {
  entry.reset();
  if (!ctx.ok() || !ctx.snapshot) return ctx.code();
  const TreeEntry* folder = FindEfiFolder(*ctx.snapshot);
  if (folder == nullptr) return 0;

  const Host host{ctx.tree, ctx.image, ctx.clock, ctx.console};
  int code = 0;
  std::string subject;
  for (const std::uint8_t fatType : {std::uint8_t{12}, std::uint8_t{16}}) {
    Settings settings = EfiSettings(ctx.settings, fatType);
    BuildContext efi(settings, host);
    efi.rehearsal = ctx.rehearsal;
    ctx.ShareBuildTime(efi);
    efi.snapshot.emplace();
    efi.snapshot->hostPath = ctx.snapshot->hostPath;
    efi.snapshot->entries.push_back(Clone(*folder));
    if (ComputeLayout(efi) == kErrTooLargeForFat && fatType == 12) continue;
    // The image starts at the first CD sector behind the boot volume.
    efi.layout.volumeOffset = ctx.layout.imageFileSize;
    if (efi.ok()) CreateVolume(efi);
    if (efi.ok()) WriteBootSector(efi);
    code = efi.code();
    subject = efi.subject();
    if (code == 0) {
      const std::uint64_t bytes = iso::RoundUpToSector(
          static_cast<std::uint64_t>(settings.numSectors) * settings.sectorSize);
      entry = iso::EfiBootEntry{static_cast<std::uint32_t>(efi.layout.volumeOffset / iso::kSectorSize),
                                EfiSectorCount(bytes)};
      ctx.layout.efiImageOffset = efi.layout.volumeOffset;
      ctx.layout.efiImageBytes = bytes;
    }
    break;
  }
  if (code == 0) return 0;
  if (subject.empty()) {
    const ErrorInfo* info = FindError(code);
    subject = info != nullptr ? info->text : "";
  }
  return ctx.Fail(code, "the CD's EFI boot image (the package's EFI folder)" +
                            (subject.empty() ? "" : ": " + subject));
}

}  // namespace imagebuilder
