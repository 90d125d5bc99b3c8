// vellix from its command line and DD.CFG through the layout to a finished
// image, with the package tree, the clock and the image in memory.
//
// Input: the command-line arguments, one per line, then a NUL byte, then the
// contents of "dd.cfg" (without a NUL the whole input is dd.cfg, read for
// section S, which an empty "[S]" at its end makes sure the file has). An
// argument line "BUILDSETTIME=<value>" sets that variable instead.
//
// Beyond crashes, hangs and leaks, the target fails when the exit code is not
// one of the documented ones, when a refused build leaves an image, or when a
// build that succeeded wrote a volume that fsck.fat would reject on sight (a
// BPB that contradicts itself, a media byte that is no media descriptor, a root
// directory that ends inside a sector, a label FAT forbids, a FAT too small for
// its clusters).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "imagebuilder/error_codes.h"
#include "imagebuilder/vellix.h"
#include "memory_host.h"

namespace {

std::uint32_t Le16(const std::vector<std::uint8_t>& b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at] | (b[at + 1] << 8));
}
std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return Le16(b, at) | (Le16(b, at + 2) << 16);
}

void Require(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "vellix_config: %s\n", what);
    __builtin_trap();
  }
}

bool IsSectorSize(std::uint32_t v) { return v == 512 || v == 1024 || v == 2048 || v == 4096; }

// Where the FAT volume starts: behind the El Torito catalog's boot image, and
// behind the master boot record's first partition when there is one.
std::uint64_t FindVolume(const vfuzz::MemoryImage& image) {
  std::uint64_t base = 0;
  const std::vector<std::uint8_t> pvd = image.Bytes(0x8000, 8);
  if (std::memcmp(pvd.data() + 1, "CD001", 5) == 0) {
    const std::vector<std::uint8_t> catalog = image.Bytes(0xC000, 64);
    Require(catalog[32] == 0x88, "the boot catalog has no bootable entry");
    base = static_cast<std::uint64_t>(Le32(catalog, 40)) * 2048;
  }
  const std::vector<std::uint8_t> head = image.Bytes(base, 512);
  if (head[0] == 0xEB && IsSectorSize(Le16(head, 11))) return base;
  Require(head[510] == 0x55 && head[511] == 0xAA, "no boot sector and no signed MBR");
  const std::uint64_t first = Le32(head, 0x1BE + 8);
  for (const std::uint32_t ss : {512u, 1024u, 2048u, 4096u}) {
    const std::vector<std::uint8_t> bs = image.Bytes(base + first * ss, 16);
    if (bs[0] == 0xEB && Le16(bs, 11) == ss) return base + first * ss;
  }
  // No partition behind it: a volume whose boot code does not start with a jump (a boot
  // file the package chose; fsck.fat takes such a volume as it is).
  if (IsSectorSize(Le16(head, 11))) return base;
  Require(false, "the partition entry leads to no boot sector");
  return 0;
}

void CheckVolume(const vfuzz::MemoryImage& image) {
  const std::uint64_t at = FindVolume(image);
  const std::vector<std::uint8_t> b = image.Bytes(at, 512);
  const std::uint32_t ss = Le16(b, 11), spc = b[13], reserved = Le16(b, 14), fats = b[16];
  const std::uint32_t rootEntries = Le16(b, 17), media = b[21], fatSize = Le16(b, 22);
  const std::uint32_t total = Le16(b, 19) != 0 ? Le16(b, 19) : Le32(b, 32);
  Require(b[510] == 0x55 && b[511] == 0xAA, "boot sector without signature");
  Require(IsSectorSize(ss), "sector size");
  Require(spc != 0 && (spc & (spc - 1)) == 0 && spc <= 64, "sectors per cluster");
  Require(reserved >= 1 && fats >= 1 && fatSize >= 1, "reserved sectors, FATs or FAT size of 0");
  Require(rootEntries != 0 && rootEntries * 32 % ss == 0, "root directory ends inside a sector");
  Require(media == 0xF0 || media >= 0xF8, "media byte is no media descriptor");
  const std::vector<std::uint8_t> fat = image.Bytes(at + static_cast<std::uint64_t>(reserved) * ss, 2);
  Require(fat[0] == media && fat[1] == 0xFF, "FAT entry 0 does not repeat the media byte");
  const std::uint64_t firstData =
      reserved + static_cast<std::uint64_t>(fats) * fatSize + rootEntries * 32 / ss;
  Require(total > firstData, "no data area");
  const std::uint64_t clusters = (total - firstData) / spc;
  Require(clusters >= 1, "no cluster");
  const bool fat12 = clusters < 4085;
  Require(clusters < 65525, "too many clusters for FAT16");
  Require(std::memcmp(b.data() + 54, fat12 ? "FAT12   " : "FAT16   ", 8) == 0,
          "file system type does not match the cluster count");
  Require(static_cast<std::uint64_t>(fatSize) * ss * 8 / (fat12 ? 12 : 16) >= clusters + 2,
          "FAT too small for its clusters");
  const std::string label(b.begin() + 43, b.begin() + 54);
  Require(label[0] != ' ', "label begins with a blank");
  for (const char c : label) {
    const auto u = static_cast<unsigned char>(c);
    Require(u >= 0x20 && u < 0x7F && std::strchr("\"*+,./:;<=>?[\\]|", c) == nullptr,
            "label holds a character FAT forbids");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 64 * 1024) return 0;
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::size_t nul = input.find('\0');
  std::vector<std::string> args;
  vfuzz::FixedClock clock;
  std::string config = input;
  if (nul == std::string::npos) {
    args = {"dd.cfg", "S"};
    config += "\n[S]\n";
  } else {
    config = input.substr(nul + 1);
    std::size_t start = 0;
    while (start <= nul && args.size() < 64) {
      std::size_t end = input.find('\n', start);
      if (end == std::string::npos || end > nul) end = nul;
      std::string line = input.substr(start, end - start);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.rfind("BUILDSETTIME=", 0) == 0) {
        clock.buildTime = line.substr(13);
      } else if (!line.empty()) {
        args.push_back(line);
      }
      start = end + 1;
    }
  }

  vfuzz::MemoryTree tree(config);
  vfuzz::MemoryImage image;
  vfuzz::SilentConsole console;
  const imagebuilder::Host host{tree, image, clock, console};
  std::vector<const char*> argv{"vellix"};
  for (const std::string& a : args) argv.push_back(a.c_str());
  const int code = imagebuilder::RunVellix(static_cast<int>(argv.size()), argv.data(), host);

  // VELLIX_FUZZ_SHOW=1 prints each input's exit code, for looking over a corpus.
  static const bool show = std::getenv("VELLIX_FUZZ_SHOW") != nullptr;
  if (show) std::fprintf(stderr, "exit code %d\n", code);
  Require(code == 0 || imagebuilder::FindError(code) != nullptr, "an exit code nobody documents");
  if (code != 0) {
    Require(!image.exists(), "a refused build left an image");
  } else {
    Require(image.exists(), "a build that succeeded left no image");
    CheckVolume(image);
  }
  return 0;
}
