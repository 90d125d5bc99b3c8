// torbel's mount and FAT16 engine on a disk made from the input.
//
// The input's first 512 bytes are the MBR (sector 0); the rest is laid from the first
// sector that partition entry 1 names (sector 1 when that lies outside the disk): the
// boot sector, the FATs, the root directory and the first data clusters. The disk has
// 65,536 sectors (32 MiB); whatever the input does not cover reads as zeros. The target mounts the utility partition, walks every directory, reads every
// file, runs FREE, then copies a small file in, renames it and deletes it, in the root
// and in the first subdirectory it met.
//
// Faults it stops at: the disk is written outside the mounted partition's sectors, or
// at all before a mount succeeded; the engine meets a fatal condition (an invalid
// cluster, a write beyond the partition's end, an unaligned buffer); and whatever the
// sanitizers catch. The local side of the copies is held in memory.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "emulated_local_files.h"
#include "memory_disk.h"
#include "partshell/error_codes.h"
#include "partshell/fat16_engine.h"
#include "partshell/mounted_volume.h"
#include "partshell/engine_services.h"

namespace {

using namespace partshell;
using partshell::testing::EmulatedLocalFiles;
using partshell::testing::MemoryDisk;
using partshell::testing::MemoryDiskSystem;

constexpr std::uint32_t kDiskSectors = 65536;
// Bounds on one input's work, so that a volume of many large or cross-linked files
// is read in a bounded time rather than reported as a hang.
constexpr std::uint64_t kReadBudget = 4u << 20;
constexpr int kEntryBudget = 4096;
constexpr int kDepthMax = 8;

class QuietServices : public StdoutEngineServices {
 public:
  void Print(std::string_view) override {}
  void PrintConsoleOnly(std::string_view) override {}
  void HexDump(const std::uint8_t*, std::size_t, std::uint32_t) override {}
  common::DateTime Now() const override { return {2024, 5, 17, 13, 45, 30}; }
};

constexpr const char* kSmallFile = "small.txt";  // copied in
constexpr const char* kCopyOut = "out.bin";      // every file read goes here

struct Walk {
  Fat16Engine& engine;
  std::uint64_t bytes_read = 0;
  int entries = 0;
  std::string first_subdirectory;

  void Directory(const std::string& path, int depth) {
    DirEntry entry{};
    int error = 0;
    std::vector<std::string> subdirectories;
    std::unique_ptr<DirSearch> search = engine.FindFirstEntry(path + "*.*", entry, error);
    if (!search) return;
    do {
      if (++entries > kEntryBudget) return;
      const std::uint8_t* e = entry.data();
      if (IsLongNameSlot(e) || (e[DIR_Attr] & ATTR_VOLUME_ID) != 0 || e[DIR_Name] == '.') continue;
      const std::string name = EntryDisplayName(e);
      if ((e[DIR_Attr] & ATTR_DIRECTORY) != 0) {
        subdirectories.push_back(path + name + "\\");
      } else if (bytes_read < kReadBudget) {
        bytes_read += EntrySize(e);
        std::string message;
        std::uint32_t size = 0;
        engine.CopyFileFromFAT16ToLocalHD(path + name, kCopyOut, message, size);
      }
    } while (engine.FindNextEntry(*search, entry, error) == 0);
    for (const std::string& sub : subdirectories) {
      if (first_subdirectory.empty()) first_subdirectory = sub;
      if (depth < kDepthMax) Directory(sub, depth + 1);
    }
  }
};

void CopyRenameDelete(Fat16Engine& engine, const std::string& directory) {
  std::string message;
  std::uint32_t size = 0;
  if (engine.CopyFileFromLocalHDToFAT16(kSmallFile, directory + "FUZZIN.TXT", message, size) != 0) {
    return;
  }
  std::uint16_t number = 0;
  std::string absolute;
  const std::string parent = directory.size() > 1 ? directory.substr(0, directory.size() - 1) : "\\";
  if (!engine.ResolveDirectoryPath(parent, number, absolute)) return;
  if (engine.RenameEntry(number, "FUZZIN.TXT", "FUZZOUT.TXT", message)) {
    engine.DeleteFat16File(directory + "FUZZOUT.TXT", message);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < kSectorSize) return 0;
  MemoryDisk disk(kDiskSectors);
  std::vector<std::uint8_t> mbr(data, data + kSectorSize);
  std::uint32_t start = common::load_le32(PartitionEntry(mbr.data(), 1) + PE_FirstSector);
  if (start == 0 || start >= kDiskSectors) start = 1;
  disk.Place(0, std::move(mbr));
  disk.Place(start, std::vector<std::uint8_t>(data + kSectorSize, data + size));
  disk.on_forbidden_write = [](std::uint32_t sector) {
    std::fprintf(stderr, "torbel_volume: a write to sector %u, outside what the mount allows\n",
                 static_cast<unsigned>(sector));
    std::abort();
  };
  // The mount may settle an interrupted change (a volume marked dirty): the
  // sectors it writes are checked once the partition it chose is known.
  disk.AllowWrites(0, kDiskSectors - 1);

  MemoryDiskSystem disks(disk);
  QuietServices services;
  MountedVolume volume(disks, services);
  MountRequest request;
  request.wanted_index = -1;
  request.wanted_type = kUtilityPartitionType;
  const int mounted = volume.MountPartition(request);
  if (mounted != 0) {
    // A refused mount has written nothing.
    if (!disk.WrittenSectors().empty()) disk.on_forbidden_write(disk.WrittenSectors().front());
    return 0;
  }

  // From here on the mounted partition's sectors, and only those, may be written;
  // so may the mount have.
  const std::uint8_t* entry = PartitionEntry(volume.mbr(), volume.partition_index);
  const std::uint64_t first = common::load_le32(entry + PE_FirstSector);
  const std::uint64_t last = first + common::load_le32(entry + PE_SectorCount) - 1;
  for (const std::uint32_t sector : disk.WrittenSectors())
    if (sector < first || sector > last) disk.on_forbidden_write(sector);
  disk.AllowWrites(static_cast<std::uint32_t>(first), static_cast<std::uint32_t>(std::min<std::uint64_t>(last, 0xFFFFFFFFu)));

  EmulatedLocalFiles files;
  files.PutFile(kSmallFile, "a small file, copied in, renamed and deleted\r\n");
  Fat16Engine engine(volume, files);
  Walk walk{engine};
  walk.Directory("\\", 0);
  (void)engine.FreeSpace();
  CopyRenameDelete(engine, "\\");
  if (!walk.first_subdirectory.empty()) CopyRenameDelete(engine, walk.first_subdirectory);
  if (const int fatal = volume.FatalCondition(); fatal != 0) {
    std::fprintf(stderr, "torbel_volume: the engine met the fatal condition %d\n", fatal);
    std::abort();
  }
  volume.CloseHardDrive();
  return 0;
}
