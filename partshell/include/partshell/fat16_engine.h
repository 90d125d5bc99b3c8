// The FAT16 volume engine: clusters and sectors, the two FAT copies, chains,
// directories, names and paths of SYS:, and whole-file copies in and out
// (the local side through the local-files port). Every operation that can
// fail returns an error code and, where the shell shows a text for it,
// writes that text into `message`.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/fat_layout.h"
#include "common/short_names.h"
#include "partshell/local_files.h"
#include "partshell/mounted_volume.h"

namespace partshell {

// The FAT on-disk field names, dates and short-name rules are the kit's common ones.
using namespace common;

enum class FatEntryClass : int {
  free_cluster = 1,   // 0x0000
  reserved = 2,       // 0x0001
  link = 3,           // 0x0002 - 0xFFEF
  reserved_high = 4,  // 0xFFF0 - 0xFFF6
  bad = 5,            // 0xFFF7
  end_of_chain = 6,   // 0xFFF8 - 0xFFFF
};
FatEntryClass ClassifyFatEntry(std::uint16_t value);

inline constexpr std::uint16_t kEndOfChain = 0xFFFF;

// An 8.3 name as stored: 8 + 3 upper-case characters, blank padded.
struct Name83 {
  std::string name = "        ";
  std::string ext = "   ";
  bool operator==(const Name83&) const = default;
};
Name83 SplitName83(std::string_view text);
// FindFile's split: at the first '.'.
Name83 SplitNameAtFirstDot(std::string_view text);
// Wildcard pattern expansion: '*' turns the rest of its part into '?'.
Name83 ExpandPattern(std::string_view pattern);
bool PatternMatches(const Name83& pattern, const std::uint8_t* entry);

// A 32-byte entry with the reserved bytes zero.
DirEntry MakeDirEntry(const Name83& name, std::uint8_t attributes, std::uint16_t date, std::uint16_t time,
                      std::uint16_t first_cluster, std::uint32_t size);

int CheckSysFileName(std::string_view name, bool allow_wildcards, std::string& message);
// The last component of `path` as a new name on SYS:: one that every FAT driver
// takes (a name before at most one '.', no control or reserved character), else
// "Invalid 8.3 Name: %s" and 733.
int CheckShortName(std::string_view path, std::string& message);
int CheckLocalFileName(std::string_view name, bool allow_wildcards, std::string& message);

class Fat16Engine;

// Yields the absolute sectors of the root directory or of a cluster chain,
// in order, then 0. A chain that starts or links outside the data clusters,
// reaches a cluster whose own entry is free, reserved or bad, or comes back to
// a cluster it has already passed ends there with error() == FAT_LINKAGE_ERROR.
class DirSectorIterator {
 public:
  DirSectorIterator(Fat16Engine& engine, std::uint16_t start);
  std::uint32_t first_sector() const { return first_sector_; }
  std::uint32_t NextSector();
  int error() const { return error_; }
  std::uint16_t current_cluster() const { return cluster_; }
  // "ERROR: Invalid FAT Linkage Detected: %d (%04X)" with the link that broke the chain.
  std::string LinkageMessage() const;

 private:
  // Moves to `cluster`; false (and the error set) when it is no place for the chain to go.
  bool Enter(std::uint32_t cluster);

  Fat16Engine& engine_;
  std::uint16_t start_;
  std::uint16_t cluster_ = 0;
  std::uint32_t cluster_sector_ = 0;
  std::uint32_t used_in_cluster_ = 0;
  std::uint32_t first_sector_ = 0;
  std::uint32_t bad_link_ = 0;
  std::vector<bool> visited_;  // by cluster number, once the chain leaves its first cluster
  bool end_ = false;
  int error_ = 0;
};

// The message of a broken cluster chain, with the link that broke it.
std::string LinkageMessage(std::uint32_t link);

// Where one directory entry lives: its sector and its number within it.
struct EntryPlace {
  std::uint32_t sector = 0;
  unsigned index = 0;
};

// The long-name slots a directory scan has just passed. An entry's own slots are
// the ones right before it that carry its short name's checksum; they go where it goes.
class LongNameRun {
 public:
  // Every entry the scan passes, in order, except the one it stops at.
  void Pass(const std::uint8_t* entry, std::uint32_t sector, unsigned index);
  std::vector<EntryPlace> SlotsOf(const std::uint8_t* entry) const;

 private:
  struct Slot {
    EntryPlace place;
    std::uint8_t checksum;
  };
  std::vector<Slot> run_;
};

// A directory entry found by name, and where it lives.
struct EntryLookup {
  bool found = false;
  int error = 0;  // a sector read or chain failure during the scan
  std::uint16_t first_cluster = 0;
  DirEntry entry{};
  std::uint32_t sector = 0;
  unsigned index = 0;  // entry number within the sector
  std::vector<EntryPlace> long_name;  // the entry's long-name slots
};

struct DirSearch {
  std::uint16_t directory = kRootDirectory;
  std::uint32_t sector = 0;
  unsigned index = 0;
  bool end = false;
  int last_error = 0;
  Name83 pattern;
  std::string path;
  std::unique_ptr<DirSectorIterator> walker;
};

class Fat16Engine {
 public:
  Fat16Engine(MountedVolume& volume, LocalFiles& local_files);

  MountedVolume& volume() { return v_; }
  LocalFiles& local_files() { return local_; }

  // 2 .. ClusterLimit. Any other cluster is the fatal condition 763: 0 then,
  // and no sector of it is read or written.
  std::uint32_t GetSectorOfCluster(std::uint32_t cluster, const char* origin = "GetSectorOfCluster");
  int LoadFatTables() { return v_.LoadFatTables(); }
  int CommitFatTables(std::string& message);
  std::uint16_t FindFreeCluster(std::uint32_t from) const;
  std::uint64_t FreeSpace() const;
  // Whether `bytes` fit in the free clusters; stops counting once they do.
  bool HasFreeSpace(std::uint64_t bytes) const;
  int FreeClusterChain(std::uint16_t first, std::string& message);
  void SetFatEntry(std::uint16_t cluster, std::uint16_t value);
  // FAT1's entry for a cluster; 0xFFF7 (bad) for a number outside the FAT.
  std::uint16_t FatEntry(std::uint32_t cluster) const;

  EntryLookup FindSubdirectory(std::uint16_t directory, std::string_view name);
  EntryLookup FindFile(std::uint16_t directory, std::string_view name);
  bool ResolveDirectoryPath(std::string_view path, std::uint16_t& directory, std::string& absolute_path);

  int AddDirectoryEntry(const DirEntry& entry, std::uint16_t directory, std::string& message);
  int ExtendDirectory(std::uint16_t directory, std::string& message);
  bool RenameEntry(std::uint16_t directory, std::string_view old_name, std::string_view new_name,
                   std::string& message);
  int DeleteFat16File(std::string_view path, std::string& message);
  int MakeDirectory(std::string_view path, std::string& message);
  int RemoveDirectory(std::string_view path, std::string& message);

  std::unique_ptr<DirSearch> FindFirstEntry(std::string_view pattern, DirEntry& entry, int& error);
  int FindNextEntry(DirSearch& search, DirEntry& entry, int& error);

  void StampDateTime(std::uint16_t& date, std::uint16_t& time) const;
  void ShowClusterChain(const std::uint8_t* entry);

  int CopyFileFromLocalHDToFAT16(const std::string& local_path, std::string_view partition_path,
                                 std::string& message, std::uint32_t& size);
  int CopyFileFromFAT16ToLocalHD(std::string_view partition_path, const std::string& local_path,
                                 std::string& message, std::uint32_t& size);

  // Splits "dir\\name" at the last '\\' or ':' (the name cut to 12 characters).
  static void SplitParentAndName(std::string_view path, std::string& parent, std::string& name);
  // Splits a path and finds the directory its name lives in: the current directory when
  // the path has no parent part. False when the parent part names no directory.
  bool LocateParent(std::string_view path, std::uint16_t& directory, std::string& parent, std::string& name);

 private:
  EntryLookup FindEntry(std::uint16_t directory, const Name83& name, std::uint8_t must_have,
                        std::uint8_t must_not_have);
  int WriteZeroCluster(std::uint16_t cluster, std::string& message);
  // Writes `size` bytes of an open local file into a new chain from
  // `first_cluster` on, then commits the FAT.
  int CopyLocalFileStartingAtCluster(LocalFile& file, std::uint64_t size, const std::string& local_path,
                                     std::string& message, std::uint16_t first_cluster);
  // Marks an entry's long-name slots deleted: those in other sectors are written at
  // once, those in `entry_sector` only in `entry_buffer`, which the caller writes
  // with its own change. 0 or the failed write's code.
  int DeleteLongNameSlots(const std::vector<EntryPlace>& slots, std::uint32_t entry_sector,
                          std::uint8_t* entry_buffer, std::string& message);

  MountedVolume& v_;
  LocalFiles& local_;
  bool adding_after_extend_ = false;
};

}  // namespace partshell
