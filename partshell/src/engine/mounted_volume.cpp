#include "partshell/mounted_volume.h"

#include <algorithm>
#include <cstring>

#include "common/fat_layout.h"

#include "partshell/error_codes.h"

namespace partshell {

using namespace common;  // the on-disk field names and little-endian access

namespace {

constexpr int kScannedDrives = 10;
constexpr int kLockAttempts = 30;

bool EntryUsable(const std::uint8_t* entry) {
  return load_le32(entry + PE_FirstSector) != 0 && load_le32(entry + PE_SectorCount) != 0 &&
         entry[PE_Type] != 0;
}

}  // namespace

MountedVolume::MountedVolume(DiskSystem& disks, EngineServices& out) : disks_(disks), out_(out) {
  disks_.AttachServices(out_);
}

MountedVolume::~MountedVolume() { CloseHardDrive(); }

bool MountedVolume::VerifySectorBufferPointer(const void* buffer) {
  if (reinterpret_cast<std::uintptr_t>(buffer) % kSectorSize == 0) return true;
  out_.Trace("VerifySectorBufferPointer", Format("Unaligned Sector Pointer Passed To Read or Write: %p", buffer));
  RaiseFatalCondition(kExitUnalignedSectorBuffer);
  return false;
}

int MountedVolume::ReadHardDriveSector(std::uint32_t sector, std::uint8_t* buffer) {
  if (fatal_condition_ != 0) return fatal_condition_;
  if (!VerifySectorBufferPointer(buffer)) return fatal_condition_;
  if (!drive_) return DISK_ERROR_READING_SECTOR;
  const SectorIoResult r = drive_->ReadSector(sector, buffer);
  int code = 0;
  const char* what = "Unable To Read Sector: %ld. Error: %ld/%ld";
  switch (r.status) {
    case SectorIoStatus::ok:
      return 0;
    case SectorIoStatus::seek_failed:
      code = DISK_ERROR_SEEKING_SECTOR;
      what = "Unable To Seek To Sector: %ld. Error: %ld/%ld";
      break;
    case SectorIoStatus::read_no_data:
      code = DISK_ERROR_SEEK_BEYOND_EOF;
      break;
    default:
      code = DISK_ERROR_READING_SECTOR;
      break;
  }
  const long system_error = r.system_error != 0 ? static_cast<long>(r.system_error) : code;
  out_.Trace("ReadHardDriveSector", Format(what, static_cast<long>(sector), system_error, static_cast<long>(code)));
  return code;
}

int MountedVolume::ReadDirectorySector(std::uint32_t sector, std::uint8_t* buffer) {
  if (fatal_condition_ != 0) return fatal_condition_;
  if (!VerifySectorBufferPointer(buffer)) return fatal_condition_;
  if (const auto kept = directory_sectors_.find(sector); kept != directory_sectors_.end()) {
    std::memcpy(buffer, kept->second.data(), kSectorSize);
    return 0;
  }
  const int read = ReadHardDriveSector(sector, buffer);
  if (read != 0) return read;
  // A bound on the memory one command can hold: 4 MiB of directories.
  if (directory_sectors_.size() >= 8192) directory_sectors_.clear();
  std::memcpy(directory_sectors_[sector].data(), buffer, kSectorSize);
  return 0;
}

int MountedVolume::ReadHardDriveSectors(std::uint32_t first, std::uint32_t count, std::uint8_t* buffer) {
  if (fatal_condition_ != 0) return fatal_condition_;
  if (!VerifySectorBufferPointer(buffer)) return fatal_condition_;
  if (!drive_) return DISK_ERROR_READING_SECTOR;
  const SectorIoResult r = drive_->ReadSectors(first, count, buffer);
  if (r.status == SectorIoStatus::ok) return 0;
  return r.status == SectorIoStatus::seek_failed ? DISK_ERROR_SEEKING_SECTOR : DISK_ERROR_READING_SECTOR;
}

int MountedVolume::MarkDirtyBeforeWrite(std::uint32_t first, std::uint32_t count) {
  if (change_depth_ == 0 || dirty_marked_ || marking_ || PartitionEndSector == 0) return 0;
  if (static_cast<std::uint64_t>(first) + count <= partition_start || first > PartitionEndSector) return 0;
  // The engine's next FAT write keeps the mark.
  fat1[1] = static_cast<std::uint16_t>(fat1[1] & ~kCleanShutdownBit);
  fat2[1] = static_cast<std::uint16_t>(fat2[1] & ~kCleanShutdownBit);
  std::string message;
  if (WriteVolumeState(false, message) != 0) {
    out_.Trace("WriteHardDriveSector", message);
    return DISK_ERROR_WRITING_SECTOR;
  }
  dirty_marked_ = true;
  return 0;
}

int MountedVolume::WriteVolumeState(bool clean, std::string& message) {
  alignas(512) static std::uint8_t sector[kSectorSize];
  marking_ = true;
  int result = 0;
  for (int copy = 0; copy < 2; ++copy) {
    std::vector<std::uint16_t>& on_disk = copy == 0 ? disk_fat1 : disk_fat2;
    const std::uint16_t value = static_cast<std::uint16_t>(clean ? on_disk[1] | kCleanShutdownBit
                                                                 : on_disk[1] & ~kCleanShutdownBit);
    if (value == on_disk[1]) continue;
    // Only entry 1 changes: the rest of the sector is what the disk holds,
    // whatever the engine has changed in memory so far.
    for (std::size_t j = 0; j < kSectorSize / 2; ++j) store_le16(sector + 2 * j, j == 1 ? value : on_disk[j]);
    const std::uint32_t at = partition_start + reserved_sectors + static_cast<std::uint32_t>(copy) * sectors_per_fat;
    const int written = WriteHardDriveSector(at, sector);
    if (written != 0) {
      message = Format(copy == 0 ? "ERROR: FAT1 Write Error: %ld" : "ERROR: FAT2 Write Error: %ld",
                       static_cast<long>(written));
      result = copy == 0 ? UNABLE_TO_WRITE_FAT1 : UNABLE_TO_WRITE_FAT2;
      break;
    }
    on_disk[1] = value;
  }
  marking_ = false;
  return result;
}

int MountedVolume::EndChange(std::string& message) {
  if (change_depth_ > 0) --change_depth_;
  if (change_depth_ > 0 || !dirty_marked_) return 0;
  dirty_marked_ = false;
  if (fatal_condition_ != 0 || fat1 != fat2 || fat1 != disk_fat1 || fat2 != disk_fat2) return 0;
  const int result = WriteVolumeState(true, message);
  if (result == 0) {
    fat1[1] = static_cast<std::uint16_t>(fat1[1] | kCleanShutdownBit);
    fat2[1] = fat1[1];
  }
  return result;
}

int MountedVolume::WriteFatCopy(int copy, const std::vector<std::uint16_t>& source, std::string& message) {
  std::uint8_t* scratch = SectorBufferSlot(3);
  constexpr std::size_t per_sector = kSectorSize / 2;
  std::vector<std::uint16_t>& on_disk = copy == 0 ? disk_fat1 : disk_fat2;
  const std::uint32_t base = partition_start + reserved_sectors + static_cast<std::uint32_t>(copy) * sectors_per_fat;
  for (std::uint32_t i = 0; i < sectors_per_fat; ++i) {
    const auto begin = source.begin() + static_cast<std::ptrdiff_t>(i * per_sector);
    const auto disk_begin = on_disk.begin() + static_cast<std::ptrdiff_t>(i * per_sector);
    if (std::equal(begin, begin + per_sector, disk_begin)) continue;
    for (std::size_t j = 0; j < per_sector; ++j) store_le16(scratch + 2 * j, *(begin + static_cast<std::ptrdiff_t>(j)));
    const int written = WriteHardDriveSector(base + i, scratch);
    if (written != 0) {
      message = Format(copy == 0 ? "ERROR: FAT1 Write Error: %ld" : "ERROR: FAT2 Write Error: %ld",
                       static_cast<long>(written));
      return copy == 0 ? UNABLE_TO_WRITE_FAT1 : UNABLE_TO_WRITE_FAT2;
    }
    std::copy(begin, begin + per_sector, disk_begin);
  }
  return 0;
}

bool MountedVolume::ChainsSound(const std::vector<std::uint16_t>& fat) const {
  const std::uint32_t limit = static_cast<std::uint32_t>(std::min<std::size_t>(ClusterLimit, fat.size()));
  auto used = [&](std::uint32_t c) { return fat[c] >= 0xFFF8 || (fat[c] >= 2 && fat[c] <= 0xFFEF); };
  std::vector<std::uint8_t> predecessors(limit, 0);
  std::uint32_t in_use = 0;
  for (std::uint32_t c = 2; c < limit; ++c) {
    const std::uint16_t v = fat[c];
    if (v == 0 || v == 0xFFF7) continue;
    if (!used(c)) return false;
    ++in_use;
    if (v >= 0xFFF8) continue;
    if (v < 2 || v >= limit || !used(v) || ++predecessors[v] > 1) return false;
  }
  // Walked from their heads, the chains must reach every used cluster:
  // one that is left lies on a loop.
  std::uint32_t reached = 0;
  for (std::uint32_t c = 2; c < limit; ++c) {
    if (!used(c) || predecessors[c] != 0) continue;
    for (std::uint32_t at = c;; at = fat[at]) {
      ++reached;
      if (fat[at] >= 0xFFF8) break;
    }
  }
  return reached == in_use;
}

int MountedVolume::SettleInterruptedChange() {
  std::string message;
  if (fat1 != fat2) {
    // Copy 1 is written first: it holds the change, unless the cut fell
    // among its own sectors; copy 2 then still holds the state before it.
    const bool from_first = ChainsSound(fat1);
    if (!from_first && !ChainsSound(fat2)) {
      out_.Print("\n[torbel] FAT Table 1 & 2 Compare Failed\n");
      return FAT_TABLE_COMPARE_FAILED;
    }
    const int target = from_first ? 1 : 0;
    if (from_first) fat2 = fat1;
    else fat1 = fat2;
    const int written = WriteFatCopy(target, from_first ? fat1 : fat2, message);
    if (written != 0) {
      out_.Print("\n[torbel] " + message + "\n");
      return written;
    }
    out_.Trace("MountPartition", from_first ? "Interrupted Change: FAT Table 2 Restored From FAT Table 1"
                                            : "Interrupted Change: FAT Table 1 Restored From FAT Table 2");
  } else {
    out_.Trace("MountPartition", "Interrupted Change: FAT Tables 1 & 2 Agree");
  }
  if (WriteVolumeState(true, message) != 0) {
    // Still dirty on the disk; the copies agree, so the mount goes on.
    out_.Trace("MountPartition", message);
    return 0;
  }
  fat1[1] = static_cast<std::uint16_t>(fat1[1] | kCleanShutdownBit);
  fat2[1] = fat1[1];
  return 0;
}

int MountedVolume::WriteHardDriveSector(std::uint32_t sector, const std::uint8_t* buffer) {
  if (fatal_condition_ != 0) return fatal_condition_;
  if (const int marked = MarkDirtyBeforeWrite(sector, 1); marked != 0) return marked;
  // Whatever the write does, the disk's copy is the one to read from now on.
  directory_sectors_.erase(sector);
  if (request.no_mbr_write && sector <= 2) {
    out_.Trace("WriteHardDriveSector",
               Format("Prevented Write To MBR Sector # %ld (/NOWRITEMBR)", static_cast<long>(sector)));
    return 0;
  }
  if (!VerifySectorBufferPointer(buffer)) return fatal_condition_;
  if (sector <= 2) {
    static constexpr const char* kNames[] = {"MBR", "Customer Backup MBR", "HVP Backup MBR"};
    out_.Print(Format("Writing To %s, Sector %d\n", kNames[sector], static_cast<int>(sector)));
  }
  if (PartitionEndSector != 0 && sector > 2 && sector > PartitionEndSector) {
    const std::string text =
        Format("ERROR - Sector %ld, Write Attempt Beyond End Of Partition.", static_cast<long>(sector));
    out_.Trace("WriteHardDriveSector", text);
    out_.Print(text + "\n");
    RaiseFatalCondition(WRITE_ATTEMPT_BEYOND_PARTITION_END);
    return fatal_condition_;
  }
  if (!drive_) return DISK_ERROR_WRITING_SECTOR;
  const SectorIoResult r = drive_->WriteSector(sector, buffer);
  if (r.status == SectorIoStatus::ok) return 0;
  if (r.status == SectorIoStatus::seek_failed) {
    const long system_error = r.system_error != 0 ? static_cast<long>(r.system_error) : static_cast<long>(DISK_ERROR_SEEKING_SECTOR);
    out_.Trace("WriteHardDriveSector",
               Format("Unable To Seek To Sector: %ld. Error: %ld/%ld", static_cast<long>(sector), system_error, 0L));
    return DISK_ERROR_SEEKING_SECTOR;
  }
  const long system_error = r.system_error != 0 ? static_cast<long>(r.system_error) : static_cast<long>(DISK_ERROR_WRITING_SECTOR);
  out_.Trace("WriteHardDriveSector", Format("Unable To Write Sector: %ld. Error: %ld/%ld", static_cast<long>(sector),
                                            system_error, static_cast<long>(DISK_ERROR_WRITING_SECTOR)));
  return DISK_ERROR_WRITING_SECTOR;
}

int MountedVolume::WriteHardDriveSectors(std::uint32_t first, std::uint32_t count, const std::uint8_t* buffer) {
  if (fatal_condition_ != 0) return fatal_condition_;
  if (const int marked = MarkDirtyBeforeWrite(first, count); marked != 0) return marked;
  if (!VerifySectorBufferPointer(buffer)) return fatal_condition_;
  // File data may land in a cluster a deleted directory held.
  if (!directory_sectors_.empty()) {
    std::erase_if(directory_sectors_, [first, count](const auto& kept) {
      return kept.first >= first && kept.first - first < count;
    });
  }
  const std::uint64_t last = static_cast<std::uint64_t>(first) + count - 1;
  // The boot records and the partition end keep their sector-by-sector
  // handling (announcements, /NOWRITEMBR, the exit at the right sector).
  if (count <= 1 || first <= 2 || !drive_ || (PartitionEndSector != 0 && last > PartitionEndSector)) {
    for (std::uint32_t i = 0; i < count; ++i) {
      const int written = WriteHardDriveSector(first + i, buffer + static_cast<std::size_t>(i) * kSectorSize);
      if (written != 0) return written;
    }
    return 0;
  }
  const SectorIoResult r = drive_->WriteSectors(first, count, buffer);
  if (r.status == SectorIoStatus::ok) return 0;
  const int code = r.status == SectorIoStatus::seek_failed ? DISK_ERROR_SEEKING_SECTOR : DISK_ERROR_WRITING_SECTOR;
  const long system_error = r.system_error != 0 ? static_cast<long>(r.system_error) : static_cast<long>(code);
  out_.Trace("WriteHardDriveSector", Format(code == DISK_ERROR_SEEKING_SECTOR ? "Unable To Seek To Sector: %ld. Error: %ld/%ld"
                                                                             : "Unable To Write Sector: %ld. Error: %ld/%ld",
                                            static_cast<long>(first), system_error, static_cast<long>(code)));
  return code;
}

namespace {

// A drive by the system's name with the host's own name beside it where that
// differs: "\\.\PHYSICALDRIVE1 (/dev/loop0)", "\\.\PHYSICALDRIVE0 "disk.img" (TORBEL_DISK)".
std::string DriveLabel(const DiskSystem& disks, int n) {
  const std::string physical = PhysicalDriveName(n);
  const std::string description = disks.DriveDescription(n);
  if (description.rfind(physical, 0) == 0) return description;
  return physical + (description.rfind('"', 0) == 0 ? " " : " (") + description +
         (description.rfind('"', 0) == 0 ? "" : ")");
}

}  // namespace

int MountedVolume::OpenHardDriveForReadWrite() {
  scanned_without_up_.clear();
  first_unopened_.clear();
  first_open_error_ = 0;
  for (int n = 0; n < kScannedDrives; ++n) {
    const std::string name = PhysicalDriveName(n);
    if (out_.Verbose()) out_.PrintConsoleOnly(Format("Trying Device: %s\n", DriveLabel(disks_, n).c_str()));
    std::uint32_t system_error = 0;
    std::unique_ptr<BlockDevice> device = disks_.OpenDrive(n, system_error);
    if (!device) {
      out_.Trace("_OpenHardDriveForReadWrite",
                 Format("Unable To Open Drive: %s, GetLastError: %ld", name.c_str(), static_cast<long>(system_error)));
      if (first_unopened_.empty()) {
        first_unopened_ = disks_.DriveDescription(n);
        first_open_error_ = system_error;
      }
      continue;
    }
    out_.Trace("_OpenHardDriveForReadWrite", Format("Drive Open: %s", name.c_str()));
    const std::uint32_t megabytes = disks_.DriveSizeMegabytes(n);
    if (out_.Verbose()) {
      out_.PrintConsoleOnly(Format("%s - Drive Size = %ld\n", name.c_str(), static_cast<long>(megabytes)));
    }
    drive_ = std::move(device);
    out_.Trace("OpenHardDriveForReadWrite", Format("Checking Disk (%s) For A UP", name.c_str()));
    std::uint8_t* mbr = SectorBufferSlot(0);
    const int read = ReadHardDriveSector(0, mbr);
    if (read == 0) out_.TraceHexDump(mbr, kSectorSize);
    if (read == 0 && PartitionEntry(mbr, 1)[PE_Type] == kUtilityPartitionType) {
      out_.Trace("OpenHardDriveForReadWrite", "The Drive DOES Contain A UP");
      drive_name = name;
      drive_number = n;
      if (disks_.NeedsUtilityPartitionLock()) {
        for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
          if (disks_.OpenLockDismountUtilityPartition(n, 1, out_) == 0) {
            utility_partition_locked_ = true;
            break;
          }
          disks_.SleepMilliseconds(1000);
        }
      }
      return 0;
    }
    out_.Trace("OpenHardDriveForReadWrite", "The Drive Does NOT Contain A UP");
    scanned_without_up_.push_back(disks_.DriveDescription(n) + (read == 0 ? "" : " (unreadable)"));
    drive_.reset();
  }
  return UNABLE_TO_OPEN_HARD_DRIVE;
}

std::string MountedVolume::ScanFailure() const {
  if (!scanned_without_up_.empty()) {
    std::string tried;
    for (const std::string& d : scanned_without_up_) tried += (tried.empty() ? "" : ", ") + d;
    return "[torbel] No disk has a partition of type DE in its first standard entry (tried " + tried + ")\n";
  }
  if (!first_unopened_.empty()) {
    return "[torbel] Cannot open " + first_unopened_ + ": " + SystemMessage(first_open_error_) + "\n";
  }
  return "[torbel] No disk to open\n";
}

std::string DiskSystem::DriveDescription(int n) const { return PhysicalDriveName(n); }

void MountedVolume::CloseHardDrive() {
  ForgetDirectorySectors();
  if (utility_partition_locked_) {
    disks_.CloseUtilityPartition(out_);
    utility_partition_locked_ = false;
  }
  drive_.reset();
}

int MountedVolume::LoadFatTables() {
  std::uint8_t* scratch = SectorBufferSlot(3);
  const std::uint32_t first_fat = partition_start + reserved_sectors;
  const std::size_t per_sector = kSectorSize / 2;
  int first_error = 0;
  for (int copy = 0; copy < 2; ++copy) {
    std::vector<std::uint16_t>& fat = copy == 0 ? fat1 : fat2;
    const std::uint32_t base = first_fat + static_cast<std::uint32_t>(copy) * sectors_per_fat;
    for (std::uint32_t i = 0; i < sectors_per_fat; ++i) {
      const int read = ReadHardDriveSector(base + i, scratch);
      if (read != 0) {
        // A FAT sector that cannot be read must never pass for one full of free clusters.
        if (first_error == 0) first_error = read;
        std::memset(scratch, copy == 0 ? 0xF7 : 0x00, kSectorSize);
      }
      for (std::size_t j = 0; j < per_sector; ++j) fat[i * per_sector + j] = load_le16(scratch + 2 * j);
    }
  }
  disk_fat1 = fat1;
  disk_fat2 = fat2;
  return first_error;
}

int MountedVolume::ChoosePartitionEntry(bool virtual_tag) const {
  const std::uint8_t* mbr = SectorBufferSlot(0);
  int chosen = -1;
  if (request.wanted_index >= 0) {
    if (request.wanted_index < kPartitionEntries && (request.wanted_index != 0 || virtual_tag)) {
      chosen = request.wanted_index;
    }
  } else {
    for (int k = 0; k < kPartitionEntries; ++k) {
      if (k == 0 && !virtual_tag) continue;
      if (PartitionEntry(mbr, k)[PE_Type] == request.wanted_type) {
        chosen = k;
        break;
      }
    }
  }
  if (chosen >= 0 && !EntryUsable(PartitionEntry(mbr, chosen))) chosen = -1;
  return chosen;
}

int MountedVolume::CheckBootSector() {
  const std::uint8_t* pbr = SectorBufferSlot(1);
  if (load_le16(pbr + BS_Signature) != kBootSignature) {
    out_.Print("\n[torbel] Partition Boot Sector Signature Not Valid\n");
    return PARTITION_SIGNATURE_BAD;
  }
  if (std::memcmp(pbr + BS_FilSysType, "FAT16   ", 8) != 0) {
    out_.Print("\n[torbel] Partition Boot Sector Does Not Identify Itself As FAT16\n");
    if (out_.Verbose()) out_.HexDump(pbr, kSectorSize, 0);
    return PARTITION_NOT_FAT16;
  }
  if (pbr[BS_JmpBoot] != 0xE9 && pbr[BS_JmpBoot] != 0xEB) {
    out_.Print(Format("\n[torbel] Partition Boot Sector Jump Not Valid: %X\n", pbr[BS_JmpBoot]));
    return PARTITION_JUMP_NOT_FOUND;
  }
  // The engine indexes its FAT arrays by cluster and divides by the cluster
  // size: a boot sector whose numbers do not hold together is refused here
  // rather than read out of bounds later.
  const std::uint16_t bps = load_le16(pbr + BPB_BytsPerSec);
  const std::uint8_t spc = pbr[BPB_SecPerClus];
  const std::uint16_t spf = load_le16(pbr + BPB_FATSz16);
  std::uint32_t total = load_le16(pbr + BPB_TotSec16);
  if (total == 0) total = load_le32(pbr + BPB_TotSec32);
  const std::uint64_t overhead = 2ull * spf + load_le16(pbr + BPB_RsvdSecCnt) + load_le16(pbr + BPB_RootEntCnt) / 16;
  bool sound = bps == kSectorSize && spc != 0 && spf != 0 && load_le16(pbr + BPB_RsvdSecCnt) != 0 &&
               overhead < total;
  if (sound) {
    const std::uint64_t limit = (total - overhead) / spc + 2;
    sound = limit >= 3 && limit <= 0xFFF0 && limit <= static_cast<std::uint64_t>(spf) * (kSectorSize / 2);
  }
  if (!sound) {
    out_.Print("\n[torbel] Partition Boot Sector Geometry Not Valid\n");
    return PARTITION_NOT_FAT16;
  }
  return 0;
}

void MountedVolume::ComputeGeometry() {
  const std::uint8_t* pbr = SectorBufferSlot(1);
  bytes_per_sector = load_le16(pbr + BPB_BytsPerSec);
  sectors_per_cluster = pbr[BPB_SecPerClus];
  reserved_sectors = load_le16(pbr + BPB_RsvdSecCnt);
  number_of_fats = pbr[BPB_NumFATs];
  root_entries = load_le16(pbr + BPB_RootEntCnt);
  sectors_per_fat = load_le16(pbr + BPB_FATSz16);
  total_sectors = load_le16(pbr + BPB_TotSec16);
  if (total_sectors == 0) total_sectors = load_le32(pbr + BPB_TotSec32);
  const std::uint32_t root_sectors = root_entries / 16u;
  const std::size_t fat_entries = static_cast<std::size_t>(sectors_per_fat) * bytes_per_sector / 2;
  fat1.assign(fat_entries, 0);
  fat2.assign(fat_entries, 0);
  // Only two FAT copies are kept; the count field decides where the root lies.
  ClusterLimit = (total_sectors - static_cast<std::uint32_t>(number_of_fats) * sectors_per_fat - reserved_sectors -
                  root_sectors) / sectors_per_cluster + 2;
  RootDirSector = static_cast<std::uint32_t>(number_of_fats) * sectors_per_fat + partition_start + reserved_sectors;
  FirstDataSector = RootDirSector + root_sectors;
  BytesPerCluster = static_cast<std::uint32_t>(sectors_per_cluster) * bytes_per_sector;
}

int MountedVolume::MountPartition(const MountRequest& asked) {
  ForgetDirectorySectors();
  dirty_marked_ = false;
  request = asked;
  partition_index = -1;
  PartitionEndSector = 0;
  mbr_valid = false;

  int result = OpenHardDriveForReadWrite();
  if (result != 0) {
    out_.Print("\n[torbel] Unable To Open Hard Drive Device\n");
    out_.Print(ScanFailure());
    return result;
  }
  if (request.interactive || request.show_mbr_only) {
    out_.Print(Format("Device:    %s\n", DriveLabel(disks_, drive_number).c_str()));
  }

  std::uint8_t* mbr = SectorBufferSlot(0);
  if (ReadHardDriveSector(0, mbr) != 0) {
    out_.Print("\n[torbel] Error Reading MBR Sector\n");
    CloseHardDrive();
    return UNABLE_TO_READ_MBR;
  }
  mbr_valid = true;
  if (out_.Verbose()) {
    out_.Print("\nMaster Boot Record\n");
    out_.HexDump(mbr, kSectorSize, 0);
  }
  const bool virtual_tag = std::memcmp(mbr + MBR_MakerTag, "OrvoVirtual", kMakerTagSize) == 0;
  if (out_.Verbose() || request.show_mbr_only) ShowMbr();
  if (request.show_mbr_only) {
    CloseHardDrive();
    return 0;
  }

  const int k = ChoosePartitionEntry(virtual_tag);
  if (k < 0) {
    if (request.wanted_index == 0) {
      out_.Print(Format("\n[torbel] Unable To Locate A Valid Partition To Mount\n  Looked For Partition %s: %X %s\n",
                        "Number", 0u, "(HVP)"));
    } else if (request.wanted_index < 0) {
      out_.Print(Format("\n[torbel] Unable To Locate A Valid Partition To Mount\n  Looked For Partition %s: %X %s\n",
                        "Type", static_cast<unsigned>(request.wanted_type), ""));
    } else {
      out_.Print(Format("\n[torbel] Unable To Locate A Valid Partition To Mount\n  Looked For Partition %s: %X %s\n",
                        "Number", static_cast<unsigned>(request.wanted_index), ""));
    }
    CloseHardDrive();
    return UNABLE_TO_LOCATE_PARTITION;
  }
  const std::uint8_t* entry = PartitionEntry(mbr, k);
  partition_start = load_le32(entry + PE_FirstSector);

  std::uint8_t* pbr = SectorBufferSlot(1);
  std::memset(pbr, 0, kSectorSize);
  if (ReadHardDriveSector(partition_start, pbr) != 0) {
    out_.Print("\n[torbel] Unable To Load Partition Boot Sector\n");
    CloseHardDrive();
    return BOOT_RECORD_LOAD_FAILED;
  }
  result = CheckBootSector();
  if (result != 0) {
    CloseHardDrive();
    return result;
  }
  ComputeGeometry();
  // A boot sector that claims more sectors than its partition entry holds
  // must not lead the shell into whatever follows the partition: clusters
  // past the entry's end are not used.
  const std::uint64_t entry_end = static_cast<std::uint64_t>(partition_start) + load_le32(entry + PE_SectorCount) - 1;
  if (static_cast<std::uint64_t>(FirstDataSector) + (ClusterLimit - 2ull) * sectors_per_cluster - 1 > entry_end) {
    if (entry_end < static_cast<std::uint64_t>(FirstDataSector) + sectors_per_cluster) {
      out_.Print("\n[torbel] Partition Boot Sector Geometry Not Valid\n");
      CloseHardDrive();
      return PARTITION_NOT_FAT16;
    }
    ClusterLimit = static_cast<std::uint32_t>((entry_end + 1 - FirstDataSector) / sectors_per_cluster + 2);
  }

  result = LoadFatTables();
  if (result != 0) {
    out_.Print("\n[torbel] Unable To Read The FAT Tables\n");
    CloseHardDrive();
    return result;
  }
  const bool dirty = (fat1[1] & kCleanShutdownBit) == 0 || (fat2[1] & kCleanShutdownBit) == 0;
  if (fat1 != fat2 && !dirty) {
    out_.Print("\n[torbel] FAT Table 1 & 2 Compare Failed\n");
    CloseHardDrive();
    return FAT_TABLE_COMPARE_FAILED;
  }
  if (dirty) {
    result = SettleInterruptedChange();
    if (result != 0) {
      CloseHardDrive();
      return result;
    }
  }
  if (out_.Verbose()) out_.Print("\n[torbel] FAT Table 1 & 2 Compare Succeeded\n");

  current_path = "\\";
  current_directory = kRootDirectory;
  partition_index = k;
  partition_type = entry[PE_Type];
  if (out_.Verbose()) {
    out_.Print(Format("\n[torbel] Partition: %d: Type: %X\n", k, static_cast<unsigned>(partition_type)));
  }
  PartitionEndSector = FirstDataSector + (ClusterLimit - 2) * sectors_per_cluster - 1;
  return 0;
}

}  // namespace partshell
