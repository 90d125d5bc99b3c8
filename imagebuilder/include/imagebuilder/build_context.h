// The state of one build: settings, the computed layout, the host services
// and the first recorded error. Every step takes the context, does its work
// only while no error is recorded, and reports through ReportError.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "imagebuilder/file_data.h"
#include "imagebuilder/host.h"
#include "imagebuilder/settings.h"
#include "imagebuilder/tree_snapshot.h"

namespace imagebuilder {

struct Layout {
  std::uint32_t clusterCount = 0;
  std::uint16_t rootSectors = 0;
  std::uint32_t nextFreeCluster = 2;
  std::uint32_t firstDataSector = 0;   // hidden + reserved + FATs + root
  std::uint32_t partitionSectors = 0;  // boot sector through the last leftover sector
  std::uint32_t hiddenSectors = 0;
  std::uint8_t sectorsPerCluster = 0;
  std::uint64_t volumeOffset = 0;  // where the FAT volume starts in the image file
  std::uint8_t partitionType = 0;  // 0 until an MBR is written
  std::uint8_t bootMediaType = kBootMediaHardDisk;
  std::uint16_t fatSize = 0;  // sectors per FAT copy
  std::uint32_t dataSectors = 0;
  std::uint32_t leftoverSectors = 0;

  std::uint64_t imageFileSize = 0;  // the image file's length as the volume grows
  // The CD's EFI boot image behind the boot volume (0 bytes: none).
  std::uint64_t efiImageOffset = 0;
  std::uint64_t efiImageBytes = 0;

  // The first FAT as the chains are handed out; it is written to the image at
  // fatStart (bytes from the FAT volume's start) once, when the tree is
  // complete (at most 128 KiB for FAT16).
  std::uint64_t fatStart = 0;
  std::vector<std::uint8_t> fat;
};

class BuildContext {
 public:
  BuildContext(Settings& settings, const Host& host);

  // Records `code` unless one is recorded already; prints the formatted text
  // unless DebugLevel is "none". Returns the recorded code.
  int ReportError(int code, const char* format = nullptr, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 3, 4)))
#endif
      ;
  // ReportError with what the failure concerns, for the run's error line
  // ("cannot open the boot sector file "BOOT.BIN" (BsFileName): No such file
  // or directory"); kept only with the first recorded code.
  int Fail(int code, std::string subject);
  int code() const { return code_; }
  bool ok() const { return code_ == 0; }
  const std::string& subject() const { return subject_; }

  // One build time per run: BUILDSETTIME (hex seconds since 1970) or the clock.
  std::int64_t BuildTime();
  // Hands the run's build time to a second context of the same run.
  void ShareBuildTime(BuildContext& other) { other.buildTime_ = BuildTime(); }

  Settings& settings;
  HostTree& tree;
  ImageFile& image;
  Clock& clock;
  Console& console;
  // File data on its way into the image, written in large pieces.
  FileDataRun data{image};
  Layout layout;
  // The package tree under FileRoot, read once before the layout is computed.
  std::optional<DirectoryNode> snapshot;
  // The build rehearsed before the image file exists: every step runs against an
  // image that keeps nothing, and file data is measured but not read.
  bool rehearsal = false;

 private:
  int code_ = 0;
  std::string subject_;
  std::optional<std::int64_t> buildTime_;
};

// "cannot <verb> the <what> "<path>" (<key>): <reason>"; the key and the
// reason are left out when empty.
std::string FileSubject(const char* verb, const char* what, const std::string& path,
                        const char* key, const std::string& reason);

}  // namespace imagebuilder
