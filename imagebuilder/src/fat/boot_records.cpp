// The master boot record with its partition entry, the boot sector with its
// BIOS parameter block, and the loader sectors between them.
#include <cstring>
#include <vector>

#include "common/endian.h"
#include "imagebuilder/fat/boot_layout.h"
#include "imagebuilder/error_codes.h"
#include "imagebuilder/fat/fat_volume.h"
#include "imagebuilder/naming.h"

namespace imagebuilder {
namespace {

struct SectorFileCodes {
  int open, read, size, signature, close;
  const char* what;  // for the error line: "boot sector file" and its key
  const char* key;
};

// Reads a one-sector boot file, checking its size and signature.
int ReadSectorFile(BuildContext& ctx, const std::string& path, const SectorFileCodes& codes,
                   std::vector<std::uint8_t>& sector) {
  const std::uint32_t ss = ctx.settings.sectorSize;
  std::unique_ptr<HostFile> f = ctx.tree.OpenRead(path);
  if (!f) {
    return ctx.Fail(codes.open,
                    FileSubject("open", codes.what, path, codes.key, ctx.tree.LastError()));
  }
  int code = 0;
  std::string why;
  std::uint64_t length = 0;
  sector.assign(ss, 0);
  if (!f->Length(length)) {
    code = codes.read;
  } else if (length != ss) {
    code = codes.size;
    why = "it holds " + std::to_string(length) + " bytes, not one sector of " + std::to_string(ss);
  } else {
    std::size_t have = 0;
    std::size_t got = 0;
    while (have < ss && f->Read(sector.data() + have, ss - have, got) && got > 0) have += got;
    if (have != ss) {
      code = codes.read;
    } else if (sector[kSignatureOffset] != 0x55 || sector[kSignatureOffset + 1] != 0xAA) {
      code = codes.signature;
      why = "it does not end with 55 AA";
    }
  }
  const bool closed = f->Close();
  if (code != 0) {
    return ctx.Fail(code, FileSubject(code == codes.read ? "read" : "use", codes.what, path,
                                      codes.key, why));
  }
  if (!closed) return ctx.Fail(codes.close, FileSubject("close", codes.what, path, codes.key, ""));
  return 0;
}

std::uint8_t ChoosePartitionType(const Settings& s, const Layout& l) {
  if (s.partitionType != 0) return s.partitionType;
  if (l.clusterCount < kFat12MaxClusters) return 0x01;
  if (l.clusterCount < kFat16MaxClusters) {
    if (s.extendedPartition) return 0x0E;
    return l.partitionSectors >= 65536 ? 0x06 : 0x04;
  }
  return s.extendedPartition ? 0x0C : 0x0B;
}

void FillPartitionEntry(const Settings& s, const Layout& l, std::uint8_t* entry) {
  entry[kPartBootFlag] = 0x80;
  entry[kPartStartHead] = 1;
  entry[kPartStartSector] = 1;
  entry[kPartStartCylinder] = 0;
  entry[kPartType] = l.partitionType;
  const std::uint64_t last = static_cast<std::uint64_t>(l.partitionSectors) + l.hiddenSectors - 1;
  const std::uint64_t perCylinder = static_cast<std::uint64_t>(s.heads) * s.secPerTrack;
  const std::uint64_t cylinder = last / perCylinder;
  std::uint64_t endHead;
  std::uint64_t endSector;
  if (s.extendedPartition) {
    endHead = s.heads - 1u;
    endSector = s.secPerTrack;
  } else {
    endHead = (last % perCylinder) / s.secPerTrack;
    endSector = (last % perCylinder) % s.secPerTrack + 1;
  }
  entry[kPartEndHead] = static_cast<std::uint8_t>(endHead);
  entry[kPartEndSector] =
      static_cast<std::uint8_t>((endSector & 0x3F) | ((cylinder >> 2) & 0xC0));
  entry[kPartEndCylinder] = static_cast<std::uint8_t>(cylinder & 0xFF);
  common::store_le32(entry + kPartFirstSector, l.hiddenSectors);
  common::store_le32(entry + kPartSectorCount, l.partitionSectors);
}

void PadField(std::uint8_t* field, const std::string& text, std::size_t width) {
  for (std::size_t i = 0; i < width; ++i) {
    field[i] = i < text.size() ? static_cast<std::uint8_t>(text[i]) : ' ';
  }
}

}  // namespace

int WriteMbr(BuildContext& ctx) {
  const Settings& s = ctx.settings;
  Layout& l = ctx.layout;
  if (s.mbrFileName.empty()) return 0;
  if (l.bootMediaType != kBootMediaHardDisk) return ctx.ReportError(kErrMbrOnDiskette);
  if (!SeekVolume(ctx, 0)) return ctx.ReportError(kErrSeek);
  std::vector<std::uint8_t> sector;
  const SectorFileCodes codes{kErrMbrOpen, kErrMbrRead, kErrMbrSize, kErrMbrSignature,
                              kErrMbrClose, "MBR file", "MbrFileName"};
  if (ReadSectorFile(ctx, s.mbrFileName, codes, sector) != 0) return ctx.code();

  std::memset(&sector[kMbrClearStart], 0, kMbrClearLength);
  l.partitionType = ChoosePartitionType(s, l);
  FillPartitionEntry(s, l, &sector[kMbrEntry1]);
  if (s.processContainer) {
    std::memcpy(&sector[kMbrProcessTag], "OrvoProcess", 11);
    std::memcpy(&sector[kMbrEntryCopy], &sector[kMbrEntry1], kPartEntrySize);
  }
  if (!s.grub.empty()) {
    sector[kGrubLoadAddressHigh] = 0x20;
    sector[kGrubLoadSegmentHigh] = 0x02;
  }
  if (!SeekVolume(ctx, 0)) return ctx.ReportError(kErrSeek);
  if (!ctx.image.Write(sector.data(), sector.size())) return ctx.ReportError(kErrMbrWrite);
  return 0;
}

int WriteBootSector(BuildContext& ctx) {
  const Settings& s = ctx.settings;
  const Layout& l = ctx.layout;
  const std::uint64_t at = static_cast<std::uint64_t>(l.hiddenSectors) * s.sectorSize;
  if (!SeekVolume(ctx, at)) return ctx.ReportError(kErrSeek);
  std::vector<std::uint8_t> b;
  const SectorFileCodes codes{kErrBootOpen, kErrBootRead, kErrBootSize, kErrBootSignature,
                              kErrBootClose, "boot sector file", "BsFileName"};
  if (ReadSectorFile(ctx, s.bsFileName, codes, b) != 0) return ctx.code();

  const char* fsType = nullptr;
  if (l.clusterCount < kFat12MaxClusters) {
    fsType = "FAT12";
  } else if (l.clusterCount < kFat16MaxClusters) {
    fsType = "FAT16";
  } else {
    return ctx.ReportError(kErrFat32);
  }
  if (!s.oemName.empty()) PadField(&b[kBsOemName], s.oemName, 8);
  common::store_le16(&b[kBpbBytesPerSector], static_cast<std::uint16_t>(s.sectorSize));
  b[kBpbSectorsPerCluster] = l.sectorsPerCluster;
  common::store_le16(&b[kBpbReservedSectors], s.reservedSectors);
  b[kBpbNumFats] = s.numFATs;
  common::store_le16(&b[kBpbRootEntries], s.rootDirEntries);
  const bool small = l.partitionSectors < 65536;
  common::store_le16(&b[kBpbTotalSectors16],
                     small ? static_cast<std::uint16_t>(l.partitionSectors) : 0);
  b[kBpbMedia] = s.mediaType;
  common::store_le16(&b[kBpbFatSize], l.fatSize);
  common::store_le16(&b[kBpbSectorsPerTrack], s.secPerTrack);
  common::store_le16(&b[kBpbHeads], s.heads);
  common::store_le32(&b[kBpbHiddenSectors], l.hiddenSectors);
  common::store_le32(&b[kBpbTotalSectors32], small ? 0 : l.partitionSectors);
  b[kBsDriveNumber] = (s.diskType == 0 && !s.mbrFileName.empty()) ? 0x80 : 0x00;
  b[kBsReserved1] = 0;
  b[kBsBootSignature] = 0x29;
  const std::uint32_t id =
      s.volumeID != 0 ? s.volumeID : static_cast<std::uint32_t>(ctx.BuildTime());
  common::store_le32(&b[kBsVolumeId], id);
  // Upper case as in the root directory's label entry, so the two agree; a
  // volume without a label says so the way FAT volumes do.
  const bool blank = s.volumeLabel.find_first_not_of(' ') == std::string::npos;
  PadField(&b[kBsVolumeLabel], blank ? std::string("NO NAME") : UpperAscii(s.volumeLabel), 11);
  PadField(&b[kBsFileSystemType], fsType, 8);

  if (!SeekVolume(ctx, at)) return ctx.ReportError(kErrSeek);
  if (!ctx.image.Write(b.data(), b.size())) return ctx.ReportError(kErrBootWrite);
  return 0;
}

int WriteLoader(BuildContext& ctx) {
  const Settings& s = ctx.settings;
  const Layout& l = ctx.layout;
  if (s.grub.empty()) return 0;
  std::unique_ptr<HostFile> f = ctx.tree.OpenRead(s.grub);
  if (!f) {
    return ctx.Fail(kErrGrubOpen,
                    FileSubject("open", "GRUB loader file", s.grub, "Grub", ctx.tree.LastError()));
  }
  const std::uint32_t ss = s.sectorSize;
  std::uint64_t length = 0;
  int code = 0;
  if (!f->Length(length)) {
    code = kErrGrubRead;
  } else {
    const std::uint64_t n = (length + ss - 1) / ss;
    if (n >= l.hiddenSectors) {
      code = kErrGrubTooLarge;
    } else {
      std::vector<std::uint8_t> piece(ss);
      for (std::uint64_t i = 0; i < n && code == 0; ++i) {
        const std::size_t want = static_cast<std::size_t>(
            (i + 1 == n && length % ss != 0) ? length % ss : ss);
        std::fill(piece.begin(), piece.end(), 0);
        std::size_t have = 0;
        std::size_t got = 0;
        while (have < want && f->Read(piece.data() + have, want - have, got) && got > 0) {
          have += got;
        }
        if (have != want) {
          code = kErrGrubRead;
          break;
        }
        if (i == 0 && kLoaderSectorCount < want) {
          piece[kLoaderSectorCount] = static_cast<std::uint8_t>(n - 1);
        }
        if (i == 1 && kLoaderSecondByte < want) piece[kLoaderSecondByte] = 0;
        if (!SeekVolume(ctx, (1 + i) * ss)) {
          code = kErrSeek;
        } else if (!ctx.image.Write(piece.data(), want)) {
          code = kErrGrubWrite;
        }
      }
    }
  }
  const bool closed = f->Close();
  if (code != 0) return ctx.ReportError(code);
  if (!closed) return ctx.ReportError(kErrGrubClose);
  return 0;
}

}  // namespace imagebuilder
