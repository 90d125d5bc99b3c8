// Making and removing subdirectories.
#include <cstring>

#include "partshell/error_codes.h"
#include "partshell/fat16_engine.h"

namespace partshell {

namespace {

void FillEntry(std::uint8_t* e, const Name83& name, std::uint8_t attributes, std::uint16_t date, std::uint16_t time,
               std::uint16_t first_cluster, std::uint32_t size) {
  std::memset(e, 0, kDirEntrySize);
  std::memcpy(e + DIR_Name, name.name.data(), 8);
  std::memcpy(e + DIR_Ext, name.ext.data(), 3);
  e[DIR_Attr] = attributes;
  common::store_le16(e + DIR_WrtTime, time);
  common::store_le16(e + DIR_WrtDate, date);
  common::store_le16(e + DIR_FstClusLO, first_cluster);
  common::store_le32(e + DIR_FileSize, size);
}

}  // namespace

DirEntry MakeDirEntry(const Name83& name, std::uint8_t attributes, std::uint16_t date, std::uint16_t time,
                      std::uint16_t first_cluster, std::uint32_t size) {
  DirEntry entry{};
  FillEntry(entry.data(), name, attributes, date, time, first_cluster, size);
  return entry;
}

int Fat16Engine::MakeDirectory(std::string_view path, std::string& message) {
  const std::string text(path);
  if (text.find_first_of("*?") != std::string::npos) {
    message = Format("Invalid Filename: %s", text.c_str());
    return INVALID_FILENAME_PARAMETER;
  }
  int result = CheckSysFileName(text, false, message);
  if (result != 0) return result;

  std::string parent, name;
  SplitParentAndName(text, parent, name);
  if (parent.empty()) parent = v_.current_path;
  parent = UpperAscii(parent);
  name = UpperAscii(name);
  if (name == "RECYCLED" || name == ".." || name == ".") {
    message = "Unable To Create Special Directory: . or ..";
    return BAD_FILENAME_DRIVE_REFERENCE;
  }
  if (name.empty() || name.front() == '.') {
    message = Format("Invalid Filename: %s", text.c_str());
    return INVALID_FILENAME_PARAMETER;
  }
  result = CheckShortName(text, message);
  if (result != 0) return result;
  std::uint16_t parent_directory = 0;
  std::string absolute;
  if (!ResolveDirectoryPath(parent, parent_directory, absolute)) {
    message = Format("Unable To Locate Parent Directory: %s", parent.c_str());
    return DISK_ERROR_LOCATING_PARENT_DIR;
  }
  const EntryLookup as_directory = FindSubdirectory(parent_directory, name);
  if (as_directory.found) {
    message = Format("The Specified Directory Already Exists: %s", text.c_str());
    return DIR_ALREADY_EXISTS;
  }
  const EntryLookup as_file = FindFile(parent_directory, name);
  if (as_file.found) {
    message = Format("A File By That Name Already Exists: %s", text.c_str());
    return FILE_ALREADY_EXISTS;
  }
  if (as_directory.error != 0 || as_file.error != 0) {
    message = Format("Unable To Read Directory Of: %s", parent.c_str());
    return as_directory.error != 0 ? as_directory.error : as_file.error;
  }

  const std::uint16_t cluster = FindFreeCluster(2);
  if (cluster == 0) {
    message = "Unable To Allocate A New Directory Cluster";
    return UNABLE_TO_ALLOCATE_CLUSTER;
  }
  std::uint16_t date = 0, time = 0;
  StampDateTime(date, time);
  const DirEntry entry = MakeDirEntry(SplitName83(name), ATTR_DIRECTORY, date, time, cluster, 0);

  // The new directory's sectors are on the disk before the FAT claims the
  // cluster, and the FAT before the parent's entry names it.
  std::uint8_t* first = SectorBufferSlot(8);
  std::memset(first, 0, kSectorSize);
  Name83 dot;
  dot.name = ".       ";
  Name83 dotdot;
  dotdot.name = "..      ";
  FillEntry(first, dot, ATTR_DIRECTORY, date, time, cluster, 0);
  FillEntry(first + kDirEntrySize, dotdot, ATTR_DIRECTORY, date, time,
            parent_directory == kRootDirectory ? 0 : parent_directory, 0);
  const std::uint32_t sector = GetSectorOfCluster(cluster);
  result = v_.WriteHardDriveSector(sector, first);
  if (result != 0) {
    message = "Unable To Write Initial Sub-Directory[0]";
    return result;
  }
  std::memset(first, 0, kSectorSize);
  for (std::uint32_t i = 1; i < v_.sectors_per_cluster; ++i) {
    result = v_.WriteHardDriveSector(sector + i, first);
    if (result != 0) {
      message = Format("Unable To Write Initial Sub-Directory[%ld]", static_cast<long>(i));
      return result;
    }
  }
  SetFatEntry(cluster, kEndOfChain);
  result = CommitFatTables(message);
  if (result != 0) return result;
  result = AddDirectoryEntry(entry, parent_directory, message);
  if (result != 0) {
    // No entry names the cluster: give it back.
    std::string ignored;
    SetFatEntry(cluster, 0);
    CommitFatTables(ignored);
  }
  return result;
}

int Fat16Engine::RemoveDirectory(std::string_view path, std::string& message) {
  const std::string text(path);
  std::string parent, name;
  SplitParentAndName(text, parent, name);
  if (parent.empty()) parent = v_.current_path;
  parent = UpperAscii(parent);
  name = UpperAscii(name);
  std::uint16_t parent_directory = 0;
  std::string absolute;
  if (!ResolveDirectoryPath(parent, parent_directory, absolute)) {
    message = Format("Unable To Locate Parent Directory: %s", parent.c_str());
    return DISK_ERROR_LOCATING_PARENT_DIR;
  }
  const EntryLookup found = FindSubdirectory(parent_directory, name);
  if (!found.found) {
    message = Format("Unable To Locate Sub-directory: %s", text.c_str());
    return found.error != 0 ? found.error : DISK_ERROR_LOCATING_DIR;
  }
  if (std::memcmp(found.entry.data() + DIR_Name, "RECYCLED", 8) == 0) {
    message = "Unable To Remove Special Directory: RECYCLED";
    return BAD_FILENAME_DRIVE_REFERENCE;
  }
  if (std::memcmp(found.entry.data() + DIR_Name, ".       ", 8) == 0 ||
      std::memcmp(found.entry.data() + DIR_Name, "..      ", 8) == 0) {
    message = "Unable To Remove Special Directory: . or ..";
    return BAD_FILENAME_DRIVE_REFERENCE;
  }
  if (found.first_cluster < 2) {
    message = LinkageMessage(found.first_cluster);
    return FAT_LINKAGE_ERROR;
  }

  std::uint8_t* buffer = SectorBufferSlot(2);
  unsigned live = 0;
  DirSectorIterator walker(*this, found.first_cluster);
  bool at_end = false;
  for (std::uint32_t sector = walker.first_sector(); sector != 0 && !at_end; sector = walker.NextSector()) {
    const int read = v_.ReadDirectorySector(sector, buffer);
    if (read != 0) {
      message = Format("Unable To Read/Load Hard Drive Sector: %ld", static_cast<long>(sector));
      return read;
    }
    for (unsigned i = 0; i < kEntriesPerSector; ++i) {
      const std::uint8_t first_byte = buffer[i * kDirEntrySize];
      if (first_byte == kEntryEnd) {
        at_end = true;
        break;
      }
      if (first_byte != kEntryDeleted) ++live;
    }
  }
  if (walker.error() != 0) {
    message = walker.LinkageMessage();
    return walker.error();
  }
  if (live > 2) {
    message = Format("Directory Not Empty: %s", text.c_str());
    return DIRECTORY_NOT_EMPTY;
  }

  // The entry goes first, then its clusters: a failure in between leaves
  // lost clusters, never an entry that names clusters a new file may take.
  std::uint8_t* entry_sector = SectorBufferSlot(4);
  int result = v_.ReadDirectorySector(found.sector, entry_sector);
  std::uint8_t* e = entry_sector + found.index * kDirEntrySize;
  if (result != 0 || std::memcmp(e, found.entry.data(), kDirEntrySize) != 0) {
    message = Format("Unable To Read/Load Hard Drive Sector: %ld", static_cast<long>(found.sector));
    return UNABLE_TO_REMOVE_DIR_NAME_ENTRY;
  }
  if (DeleteLongNameSlots(found.long_name, found.sector, entry_sector, message) != 0) {
    return UNABLE_TO_REMOVE_DIR_NAME_ENTRY;
  }
  e[DIR_Name] = kEntryDeleted;
  result = v_.WriteHardDriveSector(found.sector, entry_sector);
  if (result != 0) {
    message = Format("Unable To Write Changed Sector Back To The Drive, Error: %ld", static_cast<long>(result));
    return UNABLE_TO_REMOVE_DIR_NAME_ENTRY;
  }
  return FreeClusterChain(found.first_cluster, message);
}

}  // namespace partshell
