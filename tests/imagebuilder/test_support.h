// Shared helpers of the vellix tests: temporary package trees, in-process
// runs with a fixed clock, raw image reading and the independent checkers
// (fsck.fat, mtools, sfdisk) run as child processes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "imagebuilder/host.h"

namespace vtest {

namespace fs = std::filesystem;

// A directory under the system temporary directory, removed at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const fs::path& path() const { return path_; }
  std::string operator/(const std::string& rel) const { return (path_ / rel).string(); }

 private:
  fs::path path_;
};

void WriteBytes(const fs::path& path, const std::vector<std::uint8_t>& bytes);
void WriteText(const fs::path& path, const std::string& text);
std::vector<std::uint8_t> ReadBytes(const fs::path& path);
// Fixed pseudo-random content.
std::vector<std::uint8_t> Pattern(std::size_t size, std::uint32_t seed);
// A 512-byte boot record (0x55 0xAA at 510) or a file of another size.
std::vector<std::uint8_t> BootRecord(std::size_t size = 512, bool signature = true);

// Clock with a fixed "now" whose local time is UTC, and a settable environment.
class TestClock : public imagebuilder::Clock {
 public:
  std::int64_t now = 0x66000000;
  std::map<std::string, std::string> env{{"BUILDSETTIME", "66000000"}};
  std::int64_t NowUtc() override { return now; }
  bool ToLocal(std::int64_t utc, imagebuilder::CalendarTime& local) override;
  std::optional<std::string> Environment(const char* name) override;
};

class CaptureConsole : public imagebuilder::Console {
 public:
  std::string text;
  std::string errors;
  void Write(std::string_view t) override { text.append(t); }
  void WriteError(std::string_view t) override { errors.append(t); }
};

// One in-process run of the program on the real file system.
struct RunResult {
  int code = -1;
  std::string output;
  std::string errors;  // what went to standard error
};
struct RunOptions {
  // Replace the host's tree or image (fault injection); null = the real ones.
  imagebuilder::HostTree* tree = nullptr;
  imagebuilder::ImageFile* image = nullptr;
  TestClock* clock = nullptr;
};
RunResult Run(const std::vector<std::string>& args, const RunOptions& options = {});

// Runs a shell command; returns its exit status and its output (stdout + stderr).
int Shell(const std::string& command, std::string* output = nullptr);
std::string Quote(const std::string& s);

// Little-endian reads from an image.
std::uint16_t Le16(const std::vector<std::uint8_t>& b, std::size_t at);
std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at);

// The BIOS parameter block of the volume at `offset`, read independently.
struct Bpb {
  std::uint16_t bytesPerSector, reserved, rootEntries, total16, fatSize, secPerTrack, heads;
  std::uint8_t sectorsPerCluster, numFats, media, driveNumber, bootSignature;
  std::uint32_t hidden, total32, volumeId;
  std::string oemName, label, fsType;
  std::uint32_t totalSectors() const { return total16 != 0 ? total16 : total32; }
  std::uint32_t rootSectors() const { return (rootEntries * 32u + bytesPerSector - 1) / bytesPerSector; }
  std::uint32_t firstDataSector() const { return reserved + numFats * fatSize + rootSectors(); }
  std::uint32_t clusterCount() const {
    return (totalSectors() - firstDataSector()) / sectorsPerCluster;
  }
};
Bpb ReadBpb(const std::vector<std::uint8_t>& image, std::size_t offset = 0);

// One raw 32-byte entry of a directory region.
struct RawEntry {
  std::string name11;
  std::uint8_t attributes = 0;
  std::uint16_t cluster = 0;
  std::uint32_t size = 0;
  std::vector<std::uint8_t> bytes;
};
// The entries of the root region, up to the first free entry.
std::vector<RawEntry> RootEntries(const std::vector<std::uint8_t>& image, std::size_t offset = 0);
// FAT entry n of the first FAT.
std::uint32_t FatEntry(const std::vector<std::uint8_t>& image, const Bpb& bpb, std::uint32_t n,
                       std::size_t offset = 0);

// Copies the volume at `offset` (its BPB's sector count, padded to full
// length) to its own file for the tools that take no offset.
std::string ExtractVolume(const std::string& image, std::size_t offset, const TempDir& dir);

// fsck.fat -n on a volume file; true when clean. `report` receives its output.
bool FsckClean(const std::string& volume, std::string* report = nullptr);
// mcopy -s of the whole volume into `target`; true on success.
bool McopyAll(const std::string& volume, const fs::path& target);
// Files of a tree as relative path -> contents (directories as "dir/").
std::map<std::string, std::vector<std::uint8_t>> TreeContents(const fs::path& root);

// Builds the image, checks it with fsck.fat and reads it back with mcopy:
// the tree read back must equal `expected` (names and bytes).
void ExpectVolumeHolds(const std::string& volume, const fs::path& expected);

// A package in a temporary directory: boot records and an empty tree.
struct Package {
  TempDir dir;
  std::string bs = dir / "bs.bin";
  std::string mbr = dir / "mbr.bin";
  fs::path root = dir.path() / "tree";
  std::string image = dir / "out.img";
  Package();
  // Options every build needs: boot sector, tree and image.
  std::vector<std::string> Args(std::vector<std::string> more = {}) const;
  void File(const std::string& rel, std::size_t size, std::uint32_t seed = 1) const;
  std::vector<std::uint8_t> Image() const { return ReadBytes(image); }
  // fsck.fat and mcopy on the image's volume (behind the MBR when there is one):
  // clean, and holding exactly the tree.
  void ExpectHoldsTree() const;
};

}  // namespace vtest
