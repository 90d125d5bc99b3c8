// The master boot record with its partition entry, the boot sector with its
// BIOS parameter block, and the loader sectors between them.
#include <cstring>
#include <vector>

#include "common/endian.h"
#include "common/fat_layout.h"
#include "common/text.h"
#include "imagebuilder/error_codes.h"
#include "imagebuilder/fat/fat_volume.h"

namespace imagebuilder {

using namespace common;  // the on-disk field names and little-endian access

namespace {

// What the builder patches in the MBR file for a GRUB loader, and in the
// loader's own first two sectors.
constexpr std::size_t kGrubLoadAddressHigh = 0x43;  // 1: high byte of the stage-2 address
constexpr std::size_t kGrubLoadSegmentHigh = 0x49;  // 1: high byte of the stage-2 segment
constexpr std::size_t kLoaderSectorCount = 508;     // first sector: sectors after it
constexpr std::size_t kLoaderSecondByte = 25;       // second sector: cleared

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
    } else if (load_le16(&sector[BS_Signature]) != kBootSignature) {
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
  entry[PE_BootIndicator] = 0x80;
  entry[PE_StartChs + kChsHead] = 1;
  entry[PE_StartChs + kChsSector] = 1;
  entry[PE_StartChs + kChsCylinder] = 0;
  entry[PE_Type] = l.partitionType;
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
  entry[PE_EndChs + kChsHead] = static_cast<std::uint8_t>(endHead);
  entry[PE_EndChs + kChsSector] =
      static_cast<std::uint8_t>((endSector & 0x3F) | ((cylinder >> 2) & 0xC0));
  entry[PE_EndChs + kChsCylinder] = static_cast<std::uint8_t>(cylinder & 0xFF);
  store_le32(entry + PE_FirstSector, l.hiddenSectors);
  store_le32(entry + PE_SectorCount, l.partitionSectors);
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

  // The whole table is cleared, the maker's entry 0 with it; the volume is entry 1.
  std::memset(&sector[MBR_PartitionTable], 0, kPartitionEntries * kPartitionEntrySize);
  l.partitionType = ChoosePartitionType(s, l);
  FillPartitionEntry(s, l, PartitionEntry(sector.data(), 1));
  if (s.processContainer) {
    std::memcpy(&sector[MBR_MakerTag], "OrvoProcess", kMakerTagSize);
    std::memcpy(PartitionEntry(sector.data(), 0), PartitionEntry(sector.data(), 1), kPartitionEntrySize);
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
  if (!s.oemName.empty()) PadField(&b[BS_OEMName], s.oemName, 8);
  store_le16(&b[BPB_BytsPerSec], static_cast<std::uint16_t>(s.sectorSize));
  b[BPB_SecPerClus] = l.sectorsPerCluster;
  store_le16(&b[BPB_RsvdSecCnt], s.reservedSectors);
  b[BPB_NumFATs] = s.numFATs;
  store_le16(&b[BPB_RootEntCnt], s.rootDirEntries);
  const bool small = l.partitionSectors < 65536;
  store_le16(&b[BPB_TotSec16], small ? static_cast<std::uint16_t>(l.partitionSectors) : 0);
  b[BPB_Media] = s.mediaType;
  store_le16(&b[BPB_FATSz16], l.fatSize);
  store_le16(&b[BPB_SecPerTrk], s.secPerTrack);
  store_le16(&b[BPB_NumHeads], s.heads);
  store_le32(&b[BPB_HiddSec], l.hiddenSectors);
  store_le32(&b[BPB_TotSec32], small ? 0 : l.partitionSectors);
  b[BS_DrvNum] = (s.diskType == 0 && !s.mbrFileName.empty()) ? 0x80 : 0x00;
  b[BS_Reserved1] = 0;
  b[BS_BootSig] = kExtendedBootSignature;
  const std::uint32_t id =
      s.volumeID != 0 ? s.volumeID : static_cast<std::uint32_t>(ctx.BuildTime());
  store_le32(&b[BS_VolID], id);
  // Upper case as in the root directory's label entry, so the two agree; a
  // volume without a label says so the way FAT volumes do.
  const bool blank = s.volumeLabel.find_first_not_of(' ') == std::string::npos;
  PadField(&b[BS_VolLab], blank ? std::string("NO NAME") : UpperAscii(s.volumeLabel), 11);
  PadField(&b[BS_FilSysType], fsType, 8);

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
