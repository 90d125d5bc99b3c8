// The builder's settings: one field per key, bound to the parameter that
// parses it, plus the registration of those parameters and their presets.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "imagebuilder/cmdline.h"

namespace imagebuilder {

enum DebugLevel : int { kDebugNone = 0, kDebugError, kDebugStatus, kDebugDebug, kDebugVerbose,
                        kDebugExtra };

inline constexpr std::uint32_t kMaxNumSectors = 4128768;  // 0x3F0000
inline constexpr std::uint8_t kBootMediaHardDisk = 4;
inline constexpr std::uint8_t kBootMediaNone = 0xFF;

struct Settings {
  std::string cfgFile;
  std::string section;
  std::uint8_t partitionType = 0;
  std::string bsFileName;
  std::uint8_t sectPerCluster = 0;
  std::uint16_t cylinders = 0;
  int debugLevel = kDebugError;
  bool processContainer = false;
  std::string fileRoot;
  std::uint8_t numFATs = 2;
  std::string grub;
  std::uint16_t heads = 0;
  std::string imageName = "image.img";
  bool iso = false;
  bool longFN = false;
  std::string mbrFileName;
  std::uint8_t mediaType = 0xF8;
  bool noCHSRounding = false;
  std::string isoVolumeID;
  std::vector<std::string> orderedFiles;  // in the order given
  std::string oemName = "MSWIN4.1";
  std::uint32_t partitionSize = 0;
  std::string publisher;
  std::uint16_t rootDirEntries = 512;
  std::uint16_t reservedSectors = 1;
  std::uint32_t sectorSize = 512;
  std::uint16_t secPerTrack = 0;
  std::uint32_t numSectors = 0;
  std::uint16_t diskType = 0;
  std::string volumeLabel = "           ";
  std::uint32_t volumeID = 0;
  std::vector<std::string> excludeFiles;  // leading and trailing '\' removed
  bool extendedPartition = false;
  std::uint8_t fatType = 16;
  std::string isoReadmeName;
  bool zeroData = false;

  // Not a key: El Torito media type chosen by the DiskType preset.
  std::uint8_t bootMediaType = kBootMediaHardDisk;
};

// Owns the parameter objects of one run, bound to a Settings record.
class SettingsParser {
 public:
  // `report` records an error code (first one wins) as the run's result.
  SettingsParser(Settings& settings, std::function<void(int)> report);
  ~SettingsParser();

  cmdline::ConfigFileParam& root() { return *root_; }
  cmdline::Parser& parser() { return *parser_; }
  bool parse(int argc, const char* const* argv) { return parser_->parse(argc, argv); }
  bool helpRequested() const { return parser_->helpRequested(); }
  // Why parsing failed, naming the option or key.
  const std::string& failure() const { return parser_->failure(); }
  // One line per key: name, letter, type label, default and what it does.
  std::string UsageTable() const;

 private:
  Settings& settings_;
  std::function<void(int)> report_;
  std::unique_ptr<cmdline::ConfigFileParam> root_;
  std::unique_ptr<cmdline::Parser> parser_;
  std::vector<std::unique_ptr<cmdline::Parameter>> params_;
};

}  // namespace imagebuilder
