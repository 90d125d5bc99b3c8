// Whole-file copies between the local file system and SYS:.
#include <algorithm>
#include <cstring>
#include <memory>

#include "partshell/error_codes.h"
#include "partshell/fat16_engine.h"

namespace partshell {

namespace {

// A heap buffer of `bytes` whose start is 512-byte aligned.
class AlignedBuffer {
 public:
  explicit AlignedBuffer(std::size_t bytes) : storage_(new std::uint8_t[bytes + kSectorSize]) {
    const auto address = reinterpret_cast<std::uintptr_t>(storage_.get());
    data_ = storage_.get() + (kSectorSize - address % kSectorSize) % kSectorSize;
  }
  std::uint8_t* data() { return data_; }

 private:
  std::unique_ptr<std::uint8_t[]> storage_;
  std::uint8_t* data_;
};

}  // namespace

int Fat16Engine::CopyFileFromLocalHDToFAT16(const std::string& local_path, std::string_view partition_path,
                                            std::string& message, std::uint32_t& size) {
  const LocalStatus status = local_.Status(local_path);
  if (status.kind != LocalKind::file) {
    message = Format("Unable To Locate Source File: %s", local_path.c_str());
    return DISK_ERROR_LOCATING_FILE;
  }
  std::uint32_t open_error = 0;
  const std::unique_ptr<LocalFile> file = local_.Open(local_path, LocalOpenMode::read, open_error);
  if (!file) {
    message = Format("Unable To Open Source File: %s", local_path.c_str());
    return DISK_ERROR_OPENING_FILE;
  }
  const std::uint64_t file_size = status.size;
  size = static_cast<std::uint32_t>(file_size);
  if (!HasFreeSpace(file_size)) {
    const std::uint64_t free_space = FreeSpace();
    message = Format("Not Enough Disk Space To Write Target File: %s\n  FileSize: %ld, Free Space: %ld",
                     std::string(partition_path).c_str(), static_cast<long>(file_size), static_cast<long>(free_space));
    return DISK_ERROR_DISK_FULL;
  }

  std::string parent, name;
  std::uint16_t directory = 0;
  if (!LocateParent(partition_path, directory, parent, name)) {
    message = Format("Unable To Locate Target Directory: %s", parent.c_str());
    return DISK_ERROR_LOCATING_DIR;
  }
  if (name.empty()) {
    message = Format("Invalid Filename: %s", std::string(partition_path).c_str());
    return INVALID_FILENAME_PARAMETER;
  }
  if (const int bad = CheckShortName(partition_path, message); bad != 0) return bad;
  // A file entry beside a directory of the same name would make two entries
  // answer to one name.
  const EntryLookup as_directory = FindSubdirectory(directory, name);
  if (as_directory.found) {
    message = Format("A Directory By That Name Already Exists: %s", std::string(partition_path).c_str());
    return DIR_ALREADY_EXISTS;
  }
  const EntryLookup existing = FindFile(directory, name);
  if (existing.error != 0 || as_directory.error != 0) {
    message = Format("Unable To Locate Target Directory: %s", parent.c_str());
    return existing.error != 0 ? existing.error : as_directory.error;
  }
  std::uint16_t date = 0, time = 0;
  StampDateTime(date, time);
  const std::uint16_t first = size > 0 ? FindFreeCluster(2) : 0;
  DirEntry entry = MakeDirEntry(SplitName83(name), ATTR_ARCHIVE, date, time, first, size);
  // The new chain is complete on the disk (data, FAT copy 1, copy 2) before
  // any entry names it; a file it replaces stays whole until its entry is
  // switched to the new chain in one sector write, and its clusters are freed
  // only after that. A cut anywhere leaves the old file or the new one.
  if (size > 0) {
    const int copied = CopyLocalFileStartingAtCluster(*file, file_size, local_path, message, first);
    if (copied != 0) return copied;
  }
  // Without its entry the new chain belongs to nobody: it is freed again.
  auto drop_new_chain = [&](int code) {
    if (code != 0 && first != 0) {
      std::string ignored;
      FreeClusterChain(first, ignored);
    }
    return code;
  };
  if (!existing.found) return drop_new_chain(AddDirectoryEntry(entry, directory, message));

  std::uint8_t* buffer = SectorBufferSlot(4);
  std::uint8_t* e = buffer + existing.index * kDirEntrySize;
  if (v_.ReadDirectorySector(existing.sector, buffer) != 0 ||
      std::memcmp(e, existing.entry.data(), kDirEntrySize) != 0) {
    message = Format("Unable To Delete Existing Target File: %s", std::string(partition_path).c_str());
    return drop_new_chain(UNABLE_TO_WRITE_DIRECTORY);
  }
  // The stored short name (and so its long name) stays as it is.
  std::memcpy(entry.data() + DIR_Name, e + DIR_Name, 11);
  std::memcpy(e, entry.data(), kDirEntrySize);
  const int written = v_.WriteHardDriveSector(existing.sector, buffer);
  if (written != 0) {
    message = Format("Unable To Write Changed Sector Back To The Drive, Error: %ld", static_cast<long>(written));
    return drop_new_chain(UNABLE_TO_WRITE_DIRECTORY);
  }
  if (v_.out().Verbose()) {
    v_.out().Print(Format("[COPY] Existing Target File Deleted: %s\n", std::string(partition_path).c_str()));
  }
  if (existing.first_cluster == 0) return 0;
  const int freed = FreeClusterChain(existing.first_cluster, message);
  if (freed != 0) {
    message = Format("Unable To Delete Existing Target File: %s", std::string(partition_path).c_str());
  }
  return freed;
}

int Fat16Engine::CopyLocalFileStartingAtCluster(LocalFile& file, std::uint64_t size, const std::string& local_path,
                                                std::string& message, std::uint16_t first_cluster) {
  const std::uint32_t cluster_bytes = v_.BytesPerCluster;
  // Clusters that follow each other on the disk are gathered and written
  // in one transfer (at most kRunBytes).
  constexpr std::uint32_t kRunBytes = 64 * 1024;
  const std::uint32_t run_clusters = std::max<std::uint32_t>(1, kRunBytes / cluster_bytes);
  AlignedBuffer buffer(cluster_bytes * run_clusters);
  const std::uint64_t clusters = (size + cluster_bytes - 1) / cluster_bytes;
  const bool verbose = v_.out().Verbose();
  std::uint32_t cluster = first_cluster;
  std::uint32_t run_first_sector = 0;
  std::uint32_t run_sectors = 0;
  std::uint32_t run_length = 0;
  int failure = 0;
  for (std::uint64_t n = 0; n < clusters; ++n) {
    if (cluster < 2 || cluster >= v_.ClusterLimit) {
      // The free-space check counted clusters that the search cannot hand
      // out (a damaged FAT head): stop as for a full partition.
      message = Format("Not Enough Disk Space To Write Target File: %s\n  FileSize: %ld, Free Space: %ld",
                       local_path.c_str(), static_cast<long>(size), static_cast<long>(FreeSpace()));
      failure = DISK_ERROR_DISK_FULL;
      break;
    }
    const bool last = n + 1 == clusters;
    const std::size_t wanted = last ? static_cast<std::size_t>(size - n * cluster_bytes) : cluster_bytes;
    if (verbose) v_.out().PrintConsoleOnly(Format("Writing Cluster: %d... ", static_cast<int>(cluster)));
    std::uint8_t* slot = buffer.data() + static_cast<std::size_t>(run_length) * cluster_bytes;
    std::memset(slot, 0, cluster_bytes);
    // A file that has shrunk since it was measured reads short: the rest stays zero.
    if (!file.Read(slot, wanted).ok) {
      message = "Error Reading Source File";
      failure = DISK_ERROR_READING_FILE;
      break;
    }
    const std::uint32_t sector = GetSectorOfCluster(cluster, "CopyLocalFileStartingAtCluster");
    const std::uint32_t sectors = last ? static_cast<std::uint32_t>((wanted + kSectorSize - 1) / kSectorSize)
                                       : v_.sectors_per_cluster;
    if (verbose) {
      for (std::uint32_t i = 0; i < sectors; ++i) {
        v_.out().PrintConsoleOnly(Format(last ? " Sect: %d, " : " Sect: %d,", static_cast<int>(sector + i)));
      }
    }
    if (run_length == 0) run_first_sector = sector;
    run_sectors += sectors;
    ++run_length;
    const std::uint16_t next = last ? kEndOfChain : FindFreeCluster(cluster + 1);
    if (last || next != cluster + 1 || run_length == run_clusters) {
      if (v_.WriteHardDriveSectors(run_first_sector, run_sectors, buffer.data()) != 0) {
        message = "Error Writing Target File";
        failure = DISK_ERROR_WRITING_FILE;
        break;
      }
      run_length = 0;
      run_sectors = 0;
    }
    SetFatEntry(static_cast<std::uint16_t>(cluster), next);
    if (verbose && !last) v_.out().PrintConsoleOnly("\n");
    cluster = next;
  }
  if (failure != 0) {
    // Nothing of the partial chain has reached the disk's FAT: drop it.
    v_.fat1 = v_.disk_fat1;
    v_.fat2 = v_.disk_fat2;
    return failure;
  }
  return CommitFatTables(message);
}

int Fat16Engine::CopyFileFromFAT16ToLocalHD(std::string_view partition_path, const std::string& local_path,
                                            std::string& message, std::uint32_t& size) {
  std::string parent, name;
  std::uint16_t directory = 0;
  if (!LocateParent(partition_path, directory, parent, name)) {
    message = Format("Unable To Locate Source Directory: %s", parent.c_str());
    return DISK_ERROR_LOCATING_DIR;
  }
  const EntryLookup found = FindFile(directory, name);
  if (!found.found) {
    message = Format("Unable To Locate Source FAT16 File: %s", std::string(partition_path).c_str());
    return found.error != 0 ? found.error : DISK_ERROR_LOCATING_FILE;
  }
  size = EntrySize(found.entry.data());
  // A file with data needs a chain that starts in the volume; one that does not
  // gets no local file that could pass for a copy.
  if (found.first_cluster == 0 && size > 0) {
    message = LinkageMessage(0);
    return FAT_LINKAGE_ERROR;
  }
  std::unique_ptr<DirSectorIterator> walker;
  if (found.first_cluster != 0) {
    walker = std::make_unique<DirSectorIterator>(*this, found.first_cluster);
    if (walker->error() != 0 && size > 0) {
      message = walker->LinkageMessage();
      return FAT_LINKAGE_ERROR;
    }
  }
  std::uint32_t open_error = 0;
  std::unique_ptr<LocalFile> file = local_.Open(local_path, LocalOpenMode::write, open_error);
  if (!file) {
    message = Format("Unable To Create Local Target File: %s", local_path.c_str());
    return DISK_ERROR_CREATING_FILE;
  }
  if (!walker) return 0;
  // What cannot be read whole is not left behind as if it had been.
  auto give_up = [&](int code) {
    file.reset();
    local_.Remove(local_path);
    return code;
  };

  // Sectors that follow one another on the disk are read in one transfer of
  // up to 64 KiB; a transfer that fails is read again sector by sector, so
  // the sector that fails is the one reported, after the data before it.
  constexpr std::uint32_t kRunSectors = 128;
  alignas(512) static std::uint8_t run_buffer[kRunSectors * kSectorSize];
  std::uint8_t* buffer = SectorBufferSlot(5);
  const std::uint32_t positions = size / kSectorSize + 1;
  // Bytes of the file in sector `position` (1-based); 0 past its end.
  auto bytes_at = [&](std::uint32_t position) -> std::size_t {
    if (position > positions) return 0;
    return position == positions ? size % kSectorSize : kSectorSize;
  };
  auto write_error = [&](bool last, std::uint32_t sector, std::uint32_t error) {
    const int number = static_cast<int>(error);
    message = last ? Format("[_CopyFileFromFAT16ToLocalHD,2]File Write Error (errno=%d): %s", number,
                            local_path.c_str())
                   : Format("[_CopyFileFromFAT16ToLocalHD,1]File Write Error (errno=%d): %s, Sector: %ld", number,
                            local_path.c_str(), static_cast<long>(sector));
  };
  std::uint32_t sector = walker->first_sector();
  int result = 0;
  for (std::uint32_t position = 1; bytes_at(position) != 0;) {
    if (sector == 0) {
      // The chain breaks, loops or ends before the data does: the copy would be short
      // or hold clusters twice.
      message = walker->error() != 0 ? walker->LinkageMessage() : LinkageMessage(FatEntry(walker->current_cluster()));
      return give_up(FAT_LINKAGE_ERROR);
    }
    // The run: `count` sectors from `sector`; `next` is the sector after it.
    std::uint32_t count = 1;
    std::uint32_t next = 0;
    while (bytes_at(position + count) != 0) {
      next = walker->NextSector();
      if (count == kRunSectors || next != sector + count) break;
      ++count;
      next = 0;
    }
    const std::uint32_t end = position + count;
    if (count > 1 && v_.ReadHardDriveSectors(sector, count, run_buffer) == 0) {
      const bool last = bytes_at(end) == 0;
      const std::size_t bytes = static_cast<std::size_t>(count - 1) * kSectorSize + bytes_at(end - 1);
      if (const LocalIo io = file->Write(run_buffer, bytes); !io.ok) {
        write_error(last, sector + count - 1, io.system_error);
        result = DISK_ERROR_WRITING_FILE;
      }
    } else {
      for (std::uint32_t i = 0; i < count; ++i) {
        const int read = v_.ReadHardDriveSector(sector + i, buffer);
        if (read != 0) {
          message = Format("Unable To Read/Load Hard Drive Sector: %ld", static_cast<long>(sector + i));
          return give_up(read);
        }
        const std::size_t bytes = bytes_at(position + i);
        if (const LocalIo io = file->Write(buffer, bytes); !io.ok) {
          write_error(position + i == positions, sector + i, io.system_error);
          result = DISK_ERROR_WRITING_FILE;
        }
      }
    }
    position = end;
    sector = next;
  }
  if (const std::uint32_t closed = file->Close(); closed != 0 && result == 0) {
    message = Format("[_CopyFileFromFAT16ToLocalHD,2]File Write Error (errno=%d): %s", static_cast<int>(closed),
                     local_path.c_str());
    result = DISK_ERROR_WRITING_FILE;
  }
  return result;
}

}  // namespace partshell
