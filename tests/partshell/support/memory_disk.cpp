#include "memory_disk.h"

#include <algorithm>
#include <cstring>

#include "common/endian.h"
#include "common/fat_layout.h"

namespace partshell::testing {

using namespace common;

void MemoryDisk::Place(std::uint32_t first_sector, std::vector<std::uint8_t> bytes) {
  if (first_sector >= total_sectors_) return;
  const std::size_t room = static_cast<std::size_t>(total_sectors_ - first_sector) * kSectorSize;
  if (bytes.size() > room) bytes.resize(room);
  places_.push_back({first_sector, std::move(bytes)});
}

SectorIoResult MemoryDisk::Read(std::uint32_t sector, std::uint8_t* buffer) const {
  if (sector >= total_sectors_) return {SectorIoStatus::read_no_data, 0};
  if (const auto kept = written_.find(sector); kept != written_.end()) {
    std::memcpy(buffer, kept->second.data(), kSectorSize);
    return {};
  }
  std::memset(buffer, 0, kSectorSize);
  for (const PlacedBytes& place : places_) {
    if (sector < place.first_sector) continue;
    const std::size_t at = static_cast<std::size_t>(sector - place.first_sector) * kSectorSize;
    if (at >= place.bytes.size()) continue;
    std::memcpy(buffer, place.bytes.data() + at, std::min<std::size_t>(kSectorSize, place.bytes.size() - at));
  }
  return {};
}

SectorIoResult MemoryDisk::Write(std::uint32_t sector, const std::uint8_t* buffer) {
  if (!writes_allowed_ || sector < allowed_first_ || sector > allowed_last_) {
    if (on_forbidden_write) on_forbidden_write(sector);
    return {SectorIoStatus::write_failed, 19};
  }
  // A disk does not grow.
  if (sector >= total_sectors_) return {SectorIoStatus::write_failed, 29};
  ++writes;
  std::memcpy(written_[sector].data(), buffer, kSectorSize);
  return {};
}

std::vector<std::uint8_t> MemoryDisk::Image(std::uint32_t sectors) const {
  std::vector<std::uint8_t> image(static_cast<std::size_t>(sectors) * kSectorSize);
  for (std::uint32_t s = 0; s < sectors; ++s) Read(s, image.data() + static_cast<std::size_t>(s) * kSectorSize);
  return image;
}

namespace {

class MemoryBlockDevice : public BlockDevice {
 public:
  explicit MemoryBlockDevice(MemoryDisk& disk) : disk_(disk) {}
  SectorIoResult ReadSector(std::uint32_t sector, std::uint8_t* buffer) override { return disk_.Read(sector, buffer); }
  SectorIoResult WriteSector(std::uint32_t sector, const std::uint8_t* buffer) override {
    return disk_.Write(sector, buffer);
  }

 private:
  MemoryDisk& disk_;
};

}  // namespace

std::unique_ptr<BlockDevice> MemoryDiskSystem::OpenDrive(int n, std::uint32_t& system_error) {
  system_error = 0;
  if (n != 0) {
    system_error = 2;
    return nullptr;
  }
  return std::make_unique<MemoryBlockDevice>(disk_);
}

bool UtilityPartitionSectors(const std::uint8_t* mbr, std::uint32_t& first, std::uint32_t& last) {
  const std::uint8_t* entry = PartitionEntry(mbr, 1);
  first = load_le32(entry + PE_FirstSector);
  const std::uint32_t count = load_le32(entry + PE_SectorCount);
  if (count == 0) return false;
  const std::uint64_t end = static_cast<std::uint64_t>(first) + count - 1;
  last = static_cast<std::uint32_t>(std::min<std::uint64_t>(end, 0xFFFFFFFFu));
  return true;
}

std::vector<std::uint8_t> FormatUtilityDisk(const UtilityDiskLayout& layout) {
  std::vector<std::uint8_t> disk(static_cast<std::size_t>(layout.disk_sectors) * kSectorSize, 0);
  std::uint8_t* mbr = disk.data();
  std::uint8_t* entry = mbr + 0x1BE;
  entry[PE_BootIndicator] = 0x80;
  entry[PE_StartChs] = 0xFE;
  entry[PE_StartChs + 1] = 0xFF;
  entry[PE_StartChs + 2] = 0xFF;
  entry[PE_Type] = 0xDE;
  entry[PE_EndChs] = 0xFE;
  entry[PE_EndChs + 1] = 0xFF;
  entry[PE_EndChs + 2] = 0xFF;
  store_le32(entry + PE_FirstSector, layout.partition_start);
  store_le32(entry + PE_SectorCount, layout.partition_sectors);
  store_le16(mbr + MBR_Signature, kBootSignature);

  // The FAT must cover every cluster: grow it until the clusters it leaves fit.
  const std::uint32_t root_sectors = layout.root_entries / 16u;
  std::uint32_t fat_sectors = 1;
  for (;;) {
    const std::uint32_t data = layout.partition_sectors - 1 - 2 * fat_sectors - root_sectors;
    const std::uint32_t clusters = data / layout.sectors_per_cluster;
    if ((clusters + 2) * 2 <= fat_sectors * kSectorSize) break;
    ++fat_sectors;
  }

  std::uint8_t* pbr = disk.data() + static_cast<std::size_t>(layout.partition_start) * kSectorSize;
  pbr[BS_JmpBoot] = 0xEB;
  pbr[1] = 0x3C;
  pbr[2] = 0x90;
  std::memcpy(pbr + BS_OEMName, "TORBTEST", 8);
  store_le16(pbr + BPB_BytsPerSec, kSectorSize);
  pbr[BPB_SecPerClus] = layout.sectors_per_cluster;
  store_le16(pbr + BPB_RsvdSecCnt, 1);
  pbr[BPB_NumFATs] = 2;
  store_le16(pbr + BPB_RootEntCnt, layout.root_entries);
  if (layout.partition_sectors < 65536) {
    store_le16(pbr + BPB_TotSec16, static_cast<std::uint16_t>(layout.partition_sectors));
  } else {
    store_le32(pbr + BPB_TotSec32, layout.partition_sectors);
  }
  pbr[BPB_Media] = 0xF8;
  store_le16(pbr + BPB_FATSz16, static_cast<std::uint16_t>(fat_sectors));
  store_le16(pbr + BPB_SecPerTrk, 63);
  store_le16(pbr + BPB_NumHeads, 255);
  store_le32(pbr + BPB_HiddSec, layout.partition_start);
  pbr[BS_DrvNum] = 0x80;
  pbr[BS_BootSig] = 0x29;
  store_le32(pbr + BS_VolID, 0x1234ABCD);
  std::memcpy(pbr + BS_VolLab, "UTILITY    ", 11);
  std::memcpy(pbr + BS_FilSysType, "FAT16   ", 8);
  store_le16(pbr + BS_Signature, kBootSignature);

  for (std::uint32_t copy = 0; copy < 2; ++copy) {
    std::uint8_t* fat = pbr + static_cast<std::size_t>(1 + copy * fat_sectors) * kSectorSize;
    store_le16(fat, 0xFFF8);
    store_le16(fat + 2, 0xFFFF);
  }
  std::uint8_t* root = pbr + static_cast<std::size_t>(1 + 2 * fat_sectors) * kSectorSize;
  std::memcpy(root + DIR_Name, "UTILITY    ", 11);
  root[DIR_Attr] = ATTR_VOLUME_ID;
  return disk;
}

}  // namespace partshell::testing
