// Disk images for the partition shell's tests, made and checked by
// independent tools: sfdisk, mkfs.fat, mtools and fsck.fat.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "file_disk.h"
#include "partshell/engine_services.h"
#include "partshell/fat16_engine.h"
#include "partshell/host_services.h"
#include "partshell/mounted_volume.h"

namespace partshell::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::filesystem::path& path() const { return path_; }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
  int owner_pid_ = 0;  // a death test's child must not remove its parent's files
};

// Runs a shell command; returns its exit status and (optionally) its output.
int RunTool(const std::string& command, std::string* output = nullptr);

struct FatPartition {
  std::uint32_t start = 63;
  std::uint32_t sectors = 40000;
  std::string type = "de";
  int sectors_per_cluster = 4;
  int root_entries = 512;
  bool bootable = false;
  bool format = true;
};

// A disk image of `disk_mb` with the given partitions as entries 1.. in
// order, each formatted FAT16 in place.
std::string MakeDisk(const TempDir& dir, const std::string& name, const std::vector<FatPartition>& partitions,
                     std::uint32_t disk_mb = 24);
// The usual test disk: one type-DE partition at sector 63, entry 1.
std::string MakeUtilityDisk(const TempDir& dir, int sectors_per_cluster = 4, std::uint32_t sectors = 40000,
                            int root_entries = 512);

void PatchBytes(const std::string& image, std::uint64_t offset, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> ReadBytes(const std::string& image, std::uint64_t offset, std::size_t count);
void WriteFile(const std::string& path, const std::string& content);
std::string ReadFile(const std::string& path);
// Deterministic content of a given size.
std::string Pattern(std::size_t size, unsigned seed = 1);

// mtools on the volume at `start` of the image.
int Mtools(const std::string& image, std::uint32_t start, const std::string& command, std::string* output = nullptr);
// fsck.fat -n on a copy of the partition: its exit status (0 clean, 1 faults found,
// anything else: it could not check), or -1 when the copy failed. `report` gets its output.
int Fsck(const std::string& image, std::uint32_t start, std::uint32_t sectors, std::string* report = nullptr);
// True when fsck.fat -n finds the partition clean.
bool FsckClean(const std::string& image, std::uint32_t start, std::uint32_t sectors, std::string* report = nullptr);

class CapturingServices : public StdoutEngineServices {
 public:
  void Print(std::string_view text) override { printed += text; }
  void PrintConsoleOnly(std::string_view text) override { console_only += text; }
  void Trace(std::string_view origin, std::string_view text) override;
  void HexDump(const std::uint8_t*, std::size_t, std::uint32_t) override { ++hex_dumps; }
  common::DateTime Now() const override { return now; }

  std::string printed;
  std::string console_only;
  std::string traced;
  int hex_dumps = 0;
  common::DateTime now{2024, 5, 17, 13, 45, 30};
};

// A mounted utility partition on a disk image, its local side the host's files
// unless others are given.
struct MountedDisk {
  explicit MountedDisk(const std::string& image, MountRequest request = UpRequest(),
                       std::function<std::unique_ptr<BlockDevice>(int, std::unique_ptr<BlockDevice>)> wrap = {},
                       LocalFiles* local_files = nullptr);
  static MountRequest UpRequest() {
    MountRequest request;
    request.wanted_index = -1;
    request.wanted_type = 0xDE;
    return request;
  }

  CapturingServices out;
  std::unique_ptr<LocalFiles> host_files = CreateHostLocalFiles();
  FileDiskSystem disks;
  MountedVolume volume;
  Fat16Engine engine;
  int mount_result;
};

}  // namespace partshell::testing
