// The MBR and boot sector displays (MBR, SHOWBOOT, /MBR).
#include <string>

#include "common/fat_layout.h"
#include "partshell/mounted_volume.h"

namespace partshell {

using namespace common;  // the on-disk field names and little-endian access

namespace {

std::string Chs(const std::uint8_t* chs) {
  const unsigned head = chs[0];
  const unsigned sector = chs[1] & 0x3Fu;
  const unsigned cylinder = ((chs[1] & 0xC0u) << 2) | chs[2];
  return Format("%d/%d/%d", cylinder, head, sector);
}

std::string Field(const std::uint8_t* p, std::size_t width) {
  std::string text(reinterpret_cast<const char*>(p), width);
  const auto nul = text.find('\0');
  if (nul != std::string::npos) text.resize(nul);
  return text;
}

}  // namespace

void MountedVolume::ShowMbr() {
  const std::uint8_t* mbr = SectorBufferSlot(0);
  if (load_le16(mbr + MBR_Signature) != kBootSignature) {
    out_.Print("Bad MBR Buffer, Missing AA55 ID Byte\n");
    return;
  }
  out_.Print("\n\nMBR\n\n");
  out_.Print("     Status     Start-C/H/S     End-C/H/S      Type    SecOffset      SecNums\n");
  out_.Print(std::string(78, '-') + "\n");
  for (int k = 0; k < kPartitionEntries; ++k) {
    const std::uint8_t* e = PartitionEntry(mbr, k);
    const bool empty = e[PE_Type] == 0;
    static constexpr std::uint8_t kZeroChs[3] = {0, 0, 0};
    out_.Print(Format("%d        %02X    %12s  %12s      %02X   %10ld   %10ld\n", k,
                      empty ? 0u : static_cast<unsigned>(e[PE_BootIndicator]),
                      Chs(empty ? kZeroChs : e + PE_StartChs).c_str(), Chs(empty ? kZeroChs : e + PE_EndChs).c_str(),
                      static_cast<unsigned>(e[PE_Type]), empty ? 0L : static_cast<long>(load_le32(e + PE_FirstSector)),
                      empty ? 0L : static_cast<long>(load_le32(e + PE_SectorCount))));
  }
  out_.Print("\n");
}

void MountedVolume::ShowBootSector() {
  const std::uint8_t* b = SectorBufferSlot(1);
  out_.Print("\n");
  out_.Print(Format("         driveNum: %02X       oemNameAndVersion: %s\n", b[BS_DrvNum],
                    Field(b + BS_OEMName, 8).c_str()));
  out_.Print(Format("   bytesPerSector: %04X           volumeLabel: %s\n", load_le16(b + BPB_BytsPerSec),
                    Field(b + BS_VolLab, 11).c_str()));
  out_.Print(Format("   sectPerCluster: %02X             fileSysType: %s\n", b[BPB_SecPerClus],
                    Field(b + BS_FilSysType, 8).c_str()));
  out_.Print(Format("  reservedSectors: %04X                numFAT: %02X\n", load_le16(b + BPB_RsvdSecCnt),
                    b[BPB_NumFATs]));
  out_.Print(Format("numRootDirEntries: %04X         numFATSectors: %04X\n", load_le16(b + BPB_RootEntCnt),
                    load_le16(b + BPB_FATSz16)));
  out_.Print(Format("        mediaType: %02X              numSectors: %04X\n", b[BPB_Media],
                    load_le16(b + BPB_TotSec16)));
  out_.Print(Format(" numHiddenSectors: %08X    numSectorsHuge: %08X\n", load_le32(b + BPB_HiddSec),
                    load_le32(b + BPB_TotSec32)));
  out_.Print(Format("        signature: %08X   sectorsPerTrack: %04X\n", static_cast<unsigned>(b[BS_BootSig]),
                    load_le16(b + BPB_SecPerTrk)));
  out_.Print(Format("         volumeID: %08X          numHeads: %04X\n", load_le32(b + BS_VolID),
                    load_le16(b + BPB_NumHeads)));
}

}  // namespace partshell
