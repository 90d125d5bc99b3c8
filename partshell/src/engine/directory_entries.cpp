// Adding, extending, renaming and deleting directory entries.
#include <cstring>

#include "common/dos_time.h"
#include "partshell/error_codes.h"
#include "partshell/fat16_engine.h"

namespace partshell {

inline constexpr std::uint64_t kDirectoryEntriesMax = 65536;

void LongNameRun::Pass(const std::uint8_t* entry, std::uint32_t sector, unsigned index) {
  if (!IsLongNameSlot(entry)) {
    run_.clear();
    return;
  }
  // A long name has at most kLongNameMaxSlots slots; a longer run holds slots of no entry.
  if (run_.size() == kLongNameMaxSlots) run_.erase(run_.begin());
  run_.push_back({{sector, index}, entry[LDIR_Chksum]});
}

std::vector<EntryPlace> LongNameRun::SlotsOf(const std::uint8_t* entry) const {
  const std::uint8_t checksum = ShortNameChecksum(entry);
  std::size_t first = run_.size();
  while (first > 0 && run_[first - 1].checksum == checksum) --first;
  std::vector<EntryPlace> slots;
  for (std::size_t i = first; i < run_.size(); ++i) slots.push_back(run_[i].place);
  return slots;
}

int Fat16Engine::DeleteLongNameSlots(const std::vector<EntryPlace>& slots, std::uint32_t entry_sector,
                                     std::uint8_t* entry_buffer, std::string& message) {
  alignas(512) static std::uint8_t other[kSectorSize];
  for (std::size_t i = 0; i < slots.size();) {
    const std::uint32_t sector = slots[i].sector;
    std::size_t end = i;
    while (end < slots.size() && slots[end].sector == sector) ++end;
    std::uint8_t* buffer = sector == entry_sector ? entry_buffer : other;
    if (buffer == other) {
      const int read = v_.ReadDirectorySector(sector, other);
      if (read != 0) {
        message = Format("Unable To Read/Load Hard Drive Sector: %ld", static_cast<long>(sector));
        return read;
      }
    }
    for (; i < end; ++i) buffer[slots[i].index * kDirEntrySize + DIR_Name] = kEntryDeleted;
    if (buffer == other) {
      const int written = v_.WriteHardDriveSector(sector, other);
      if (written != 0) {
        message = Format("Unable To Write Changed Sector Back To The Drive, Error: %ld", static_cast<long>(written));
        return UNABLE_TO_WRITE_DIRECTORY;
      }
    }
  }
  return 0;
}

int Fat16Engine::WriteZeroCluster(std::uint16_t cluster, std::string& message) {
  alignas(512) static std::uint8_t zeros[kSectorSize];
  const std::uint32_t first = GetSectorOfCluster(cluster);
  for (std::uint32_t i = 0; i < v_.sectors_per_cluster; ++i) {
    const int written = v_.WriteHardDriveSector(first + i, zeros);
    if (written != 0) {
      message = Format("Unable To Write Initial Sub-Directory[%ld]", static_cast<long>(i));
      return written;
    }
  }
  return 0;
}

int Fat16Engine::AddDirectoryEntry(const DirEntry& entry, std::uint16_t directory, std::string& message) {
  std::uint8_t* buffer = SectorBufferSlot(7);
  DirSectorIterator walker(*this, directory);
  for (std::uint32_t sector = walker.first_sector(); sector != 0; sector = walker.NextSector()) {
    const int read = v_.ReadDirectorySector(sector, buffer);
    if (read != 0) {
      // Writing back a buffer that was never read would overwrite the
      // sector with another directory's entries.
      message = Format("Unable To Read/Load Hard Drive Sector: %ld", static_cast<long>(sector));
      return read;
    }
    for (unsigned i = 0; i < kEntriesPerSector; ++i) {
      std::uint8_t* e = buffer + i * kDirEntrySize;
      if (e[DIR_Name] != kEntryEnd && e[DIR_Name] != kEntryDeleted) continue;
      std::memcpy(e, entry.data(), kDirEntrySize);
      const int written = v_.WriteHardDriveSector(sector, buffer);
      if (written != 0) {
        message = Format("Unable To Write Changed Sector Back To The Drive, Error: %ld", static_cast<long>(written));
        return UNABLE_TO_WRITE_DIRECTORY;
      }
      return 0;
    }
  }
  if (walker.error() != 0) {
    message = walker.LinkageMessage();
    return walker.error();
  }
  if (directory == kRootDirectory) {
    message = "Root Directory Is Full";
    return ROOT_DIR_NO_FREE_DIR_ENTRIES;
  }
  if (adding_after_extend_) {
    message = "Recursion Error, Unable To Allocate DIR Cluster";
    return ILLEGAL_RECURSION_ADDING_DIR_CLUSTER;
  }
  const int extended = ExtendDirectory(directory, message);
  if (extended != 0) return extended;
  adding_after_extend_ = true;
  const int result = AddDirectoryEntry(entry, directory, message);
  adding_after_extend_ = false;
  return result;
}

int Fat16Engine::ExtendDirectory(std::uint16_t directory, std::string& message) {
  std::uint32_t last = directory;
  std::uint32_t steps = 0;
  for (;; ++steps) {
    if (last < 2 || last >= v_.ClusterLimit || steps > v_.ClusterLimit) {
      message = Format("Invalid FAT Entry Detected, FAT #1: %d", static_cast<int>(last));
      return FAT_LINKAGE_ERROR;
    }
    const std::uint16_t value = FatEntry(last);
    const FatEntryClass kind = ClassifyFatEntry(value);
    if (kind == FatEntryClass::end_of_chain) break;
    if (kind != FatEntryClass::link) {
      message = Format("Invalid FAT Entry Detected, FAT #1: %d", static_cast<int>(value));
      return FAT_LINKAGE_ERROR;
    }
    last = value;
  }
  // A FAT directory holds at most 65,536 entries.
  if ((steps + 2ull) * v_.BytesPerCluster / kDirEntrySize > kDirectoryEntriesMax) {
    message = "Directory Is Full: 65536 Entries";
    return ROOT_DIR_NO_FREE_DIR_ENTRIES;
  }
  const std::uint16_t added = FindFreeCluster(last);
  if (added == 0) {
    message = "Unable To Allocate A New Directory Cluster";
    return UNABLE_TO_ALLOCATE_CLUSTER;
  }
  // The new cluster is cleared before it is linked in, so the directory
  // never reaches a cluster of stale data.
  const int cleared = WriteZeroCluster(added, message);
  if (cleared != 0) return cleared;
  SetFatEntry(added, kEndOfChain);
  SetFatEntry(static_cast<std::uint16_t>(last), added);
  return CommitFatTables(message);
}

bool Fat16Engine::RenameEntry(std::uint16_t directory, std::string_view old_name, std::string_view new_name,
                              std::string& message) {
  const Name83 from = SplitName83(old_name);
  const Name83 to = SplitName83(new_name);
  std::uint8_t* buffer = SectorBufferSlot(4);
  DirSectorIterator walker(*this, directory);
  if (walker.first_sector() == 0) {
    message = "Unable To Find/Locate First Sector For Directory";
    return false;
  }
  LongNameRun long_name;
  for (std::uint32_t sector = walker.first_sector(); sector != 0; sector = walker.NextSector()) {
    if (v_.ReadDirectorySector(sector, buffer) != 0) {
      message = Format("Unable To Read/Load Hard Drive Sector: %ld", static_cast<long>(sector));
      return false;
    }
    for (unsigned i = 0; i < kEntriesPerSector; ++i) {
      std::uint8_t* e = buffer + i * kDirEntrySize;
      if (e[DIR_Name] == kEntryEnd) {
        message = Format("Unable To Locate Source File: %s", std::string(old_name).c_str());
        return false;
      }
      if (std::memcmp(e + DIR_Name, from.name.data(), 8) != 0 || std::memcmp(e + DIR_Ext, from.ext.data(), 3) != 0 ||
          IsLongNameSlot(e)) {
        long_name.Pass(e, sector, i);
        continue;
      }
      // The long name no longer matches the new short name: it goes.
      if (DeleteLongNameSlots(long_name.SlotsOf(e), sector, buffer, message) != 0) return false;
      if (v_.out().Verbose()) {
        v_.out().Print("Before Changes.........................\n");
        v_.out().HexDump(buffer, kSectorSize, 0);
      }
      std::memcpy(e + DIR_Name, to.name.data(), 8);
      std::memcpy(e + DIR_Ext, to.ext.data(), 3);
      if (v_.out().Verbose()) {
        v_.out().Print("After Changes..........................\n");
        v_.out().HexDump(buffer, kSectorSize, 0);
      }
      const int written = v_.WriteHardDriveSector(sector, buffer);
      if (written != 0) {
        message = Format("Unable To Write Changed Sector Back To The Drive, Error: %ld", static_cast<long>(written));
        return false;
      }
      return true;
    }
  }
  return false;
}

int Fat16Engine::DeleteFat16File(std::string_view path, std::string& message) {
  std::string parent, name;
  std::uint16_t directory = 0;
  if (!LocateParent(path, directory, parent, name)) {
    message = Format("Directory/Path Not Found: %s", parent.c_str());
    return DIR_PATH_NOT_FOUND;
  }
  const EntryLookup found = FindFile(directory, name);
  if (found.error != 0) {
    message = Format("Unable To Read Directory Of: %s", std::string(path).c_str());
    return found.error;
  }
  if (!found.found) {
    message = Format("File Not Found: %s", std::string(path).c_str());
    return FILE_NOT_FOUND;
  }
  // The entry's sector is still in the buffer of the search by name.
  std::uint8_t* buffer = SectorBufferSlot(4);
  const int slots = DeleteLongNameSlots(found.long_name, found.sector, buffer, message);
  if (slots != 0) return slots;
  buffer[found.index * kDirEntrySize + DIR_Name] = kEntryDeleted;
  const int written = v_.WriteHardDriveSector(found.sector, buffer);
  if (written != 0) {
    message = Format("Unable To Write Changed Sector Back To The Drive, Error: %ld", static_cast<long>(written));
    return UNABLE_TO_WRITE_DIRECTORY;
  }
  return FreeClusterChain(found.first_cluster, message);
}

void Fat16Engine::StampDateTime(std::uint16_t& date, std::uint16_t& time) const {
  // A clock outside what FAT can store stamps the nearest time it can.
  EncodeDosDateTimeClamped(v_.out().Now(), date, time);
}

}  // namespace partshell
