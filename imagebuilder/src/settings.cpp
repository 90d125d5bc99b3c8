#include "imagebuilder/settings.h"

#include <cstdio>
#include <cstring>

#include "imagebuilder/error_codes.h"

namespace imagebuilder {
namespace {

using namespace cmdline;

constexpr const char* kDebugLevelNames[] = {"none",    "error",   "status", "debug",
                                            "verbose", "extra",   nullptr};

// Diskette presets by size in KB.
struct DiskPreset {
  std::uint16_t kilobytes;
  std::uint16_t cylinders;
  std::uint16_t secPerTrack;
  std::uint16_t rootDirEntries;
  std::uint8_t mediaType;
  std::uint8_t sectPerCluster;
  std::uint8_t bootMediaType;  // El Torito emulation; none for sizes it lacks
};

constexpr DiskPreset kDiskPresets[] = {
    {360, 40, 9, 112, 0xFD, 2, kBootMediaNone},
    {720, 80, 9, 112, 0xF9, 2, kBootMediaNone},
    {1200, 80, 15, 224, 0xF9, 1, 1},
    {1440, 80, 18, 224, 0xF0, 1, 2},
    {2880, 80, 36, 240, 0xF0, 2, 3},
    {3840, 80, 48, 240, 0xF0, 2, kBootMediaNone},
};

bool IsSectorsPerCluster(unsigned v) {
  return v == 1 || v == 2 || v == 4 || v == 8 || v == 16 || v == 32 || v == 64;
}

// Sector sizes a FAT volume can have.
bool IsSectorSize(unsigned v) { return v == 512 || v == 1024 || v == 2048 || v == 4096; }

// The media descriptors FAT defines (file systems refuse a volume with any other).
bool IsMediaDescriptor(unsigned v) { return v == 0xF0 || v >= 0xF8; }

// A label is blank (no label), or printable ASCII that does not begin with a
// blank and holds none of the characters FAT forbids in names. Other bytes would
// be read in the volume's code page, which nobody can know here.
bool IsVolumeLabel(const std::string& label) {
  if (label.find_first_not_of(' ') == std::string::npos) return true;
  if (label.front() == ' ') return false;
  for (const char c : label) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u > 0x7E || std::strchr("\"*+,./:;<=>?[\\]|", c) != nullptr) return false;
  }
  return true;
}

}  // namespace

SettingsParser::SettingsParser(Settings& s, std::function<void(int)> report)
    : settings_(s), report_(std::move(report)) {
  root_ = std::make_unique<initParam>("CfgFile", &s.cfgFile);
  root_->add(*root_);

  auto keep = [this](std::unique_ptr<parameter> p) -> parameter& {
    params_.push_back(std::move(p));
    root_->add(*params_.back());
    return *params_.back();
  };
  auto str = [&](const char* name, char letter, std::uint32_t flags, std::size_t maxLen,
                 std::string* bound, const char* def) -> stringParam& {
    return static_cast<stringParam&>(
        keep(std::make_unique<stringParam>(name, letter, flags, maxLen, bound, def)));
  };
  auto boolean = [&](const char* name, char letter, bool* bound) -> boolParam& {
    return static_cast<boolParam&>(keep(std::make_unique<boolParam>(name, letter, 0, bound)));
  };
  auto uchar = [&](const char* name, char letter, std::uint8_t lo, std::uint8_t hi,
                   std::uint8_t* bound) -> ucharParam& {
    return static_cast<ucharParam&>(
        keep(std::make_unique<ucharParam>(name, letter, 0, lo, hi, bound)));
  };
  auto ushort = [&](const char* name, char letter, std::uint16_t lo, std::uint16_t hi,
                    std::uint16_t* bound) -> ushortParam& {
    return static_cast<ushortParam&>(
        keep(std::make_unique<ushortParam>(name, letter, 0, lo, hi, bound)));
  };
  auto ulong = [&](const char* name, char letter, std::uint32_t lo, std::uint32_t hi,
                   std::uint32_t* bound) -> ulongParam& {
    return static_cast<ulongParam&>(
        keep(std::make_unique<ulongParam>(name, letter, 0, lo, hi, bound)));
  };
  constexpr std::uint32_t kAny = 0xFFFFFFFFu;

  stringParam& section = str("Section", 2, Positional | SelectsSection, 0, &s.section, "");
  (void)section;
  uchar("PartitionType", 'a', 1, 255, &s.partitionType);
  str("BsFileName", 'b', Required, 260, &s.bsFileName, "");
  ucharParam& sectPerCluster = uchar("SectPerCluster", 'c', 0, 255, &s.sectPerCluster);
  ushortParam& cylinders = ushort("Cylinders", 'C', 1, 1024, &s.cylinders);
  keep(std::make_unique<listParam>("DebugLevel", 'd', 0, kDebugLevelNames,
                                   static_cast<std::uint16_t>(kDebugError), &s.debugLevel));
  boolean("ProcessContainer", 'D', &s.processContainer);
  str("FileRoot", 'f', Required, 260, &s.fileRoot, "");
  uchar("NumFATs", 'F', 1, 255, &s.numFATs);
  str("Grub", 'g', 0, 260, &s.grub, "");
  ushortParam& heads = ushort("Heads", 'H', 1, 255, &s.heads);
  str("ImageName", 'i', 0, 260, &s.imageName, "image.img");
  boolean("ISO", 'I', &s.iso);
  boolean("LongFN", 'L', &s.longFN);
  str("MbrFileName", 'm', 0, 260, &s.mbrFileName, "");
  ucharParam& mediaType = uchar("MediaType", 'M', 0, 255, &s.mediaType);
  boolean("NoCHSRounding", 'n', &s.noCHSRounding);
  str("ISOVolumeID", 'N', 0, 33, &s.isoVolumeID, "");
  stringParam& ordered = str("OrderedFile", 'o', Repeatable, 13, nullptr, nullptr);
  str("OemName", 'O', 0, 9, &s.oemName, "MSWIN4.1");
  ulong("PartitionSize", 'p', 0, kAny, &s.partitionSize);
  str("Publisher", 'P', 0, 128, &s.publisher, nullptr);
  ushortParam& rootDirEntries = ushort("RootDirEntries", 'r', 16, 65535, &s.rootDirEntries);
  ushort("ReservedSectors", 'R', 1, 65535, &s.reservedSectors);
  ulongParam& sectorSize = ulong("SectorSize", 's', 1, 65535, &s.sectorSize);
  ushortParam& secPerTrack = ushort("SecPerTrack", 'S', 1, 63, &s.secPerTrack);
  ulong("NumSectors", 't', 0, kAny, &s.numSectors);
  ushortParam& diskType = ushort("DiskType", 'T', 0, 65535, &s.diskType);
  stringParam& label = str("VolumeLabel", 'v', 0, 12, &s.volumeLabel, "           ");
  ulong("VolumeID", 'V', 0, kAny, &s.volumeID);
  stringParam& exclude = str("ExcludeFile", 'x', Repeatable, 260, nullptr, nullptr);
  boolParam& extended = boolean("ExtendedPartition", 'X', &s.extendedPartition);
  ucharParam& fatType = uchar("FATType", 'y', 0, 255, &s.fatType);
  str("ISOReadmeName", 'Y', 0, 260, &s.isoReadmeName, "");
  boolean("ZeroData", 'z', &s.zeroData);

  fatType.validate = [this](parameter& p) {
    const auto v = static_cast<ucharParam&>(p).value();
    if (v == 12 || v == 16) return true;
    report_(kErrFatType);
    return false;
  };
  sectPerCluster.validate = [this](parameter& p) {
    if (IsSectorsPerCluster(static_cast<ucharParam&>(p).value())) return true;
    report_(kErrSectPerCluster);
    return false;
  };
  sectorSize.validate = [](parameter& p) {
    return IsSectorSize(static_cast<ulongParam&>(p).value());
  };
  diskType.validate = [this, fat = &fatType, hd = &heads, cyl = &cylinders, spt = &secPerTrack,
                       root = &rootDirEntries, media = &mediaType,
                       spc = &sectPerCluster](parameter& p) {
    const auto kb = static_cast<ushortParam&>(p).value();
    for (const DiskPreset& d : kDiskPresets) {
      if (d.kilobytes != kb) continue;
      // A key given on the command line with another value contradicts the
      // preset; it is refused rather than silently replaced.
      bool agrees = fat->assign(12);
      agrees = hd->assign(2) && agrees;
      agrees = cyl->assign(d.cylinders) && agrees;
      agrees = spt->assign(d.secPerTrack) && agrees;
      agrees = root->assign(d.rootDirEntries) && agrees;
      agrees = media->assign(d.mediaType) && agrees;
      agrees = spc->assign(d.sectPerCluster) && agrees;
      settings_.bootMediaType = d.bootMediaType;
      return agrees;
    }
    report_(kErrDiskType);
    return false;
  };
  extended.validate = [cyl = &cylinders, hd = &heads, spt = &secPerTrack](parameter& p) {
    if (!static_cast<boolParam&>(p).value()) return true;
    bool agrees = cyl->assign(1023);
    agrees = hd->assign(255) && agrees;
    return spt->assign(63) && agrees;
  };
  mediaType.validate = [](parameter& p) {
    return IsMediaDescriptor(static_cast<ucharParam&>(p).value());
  };
  label.validate = [](parameter& p) {
    return IsVolumeLabel(static_cast<stringParam&>(p).value());
  };
  ordered.validate = [this](parameter& p) {
    const std::string& v = static_cast<stringParam&>(p).value();
    if (v.empty()) return false;
    settings_.orderedFiles.push_back(v);
    return true;
  };
  ordered.onDestroy = [this](parameter&) { settings_.orderedFiles.clear(); };
  exclude.validate = [this](parameter& p) {
    std::string v = static_cast<stringParam&>(p).value();
    if (v.empty()) return false;
    if (!v.empty() && v.back() == '\\') v.pop_back();
    if (!v.empty() && v.front() == '\\') v.erase(v.begin());
    settings_.excludeFiles.push_back(v);
    return true;
  };
  exclude.onDestroy = [this](parameter&) { settings_.excludeFiles.clear(); };
}

SettingsParser::~SettingsParser() {
  // The name lists stay with the settings record: the build uses them after
  // the parameters are gone.
  for (auto& p : params_) p->onDestroy = nullptr;
}

std::string SettingsParser::UsageTable() const {
  std::string out = "Usage: vellix <configuration file> <section> [options]\n\n";
  char line[160];
  std::snprintf(line, sizeof line, "  %-18s %-7s %-9s %s\n", "Key", "Option", "Type", "Default");
  out += line;
  for (const parameter* p : root_->registry()) {
    char option[8];
    if (p->has(Positional)) {
      std::snprintf(option, sizeof option, "#%d", p->letter());
    } else {
      std::snprintf(option, sizeof option, "-%c", p->letter());
    }
    std::snprintf(line, sizeof line, "  %-18s %-7s %-9s %s\n", p->name().c_str(), option,
                  p->typeName(), p->defaultText().c_str());
    out += line;
  }
  out +=
      "\nOptions override the configuration file; in the file, keys before any [section]\n"
      "and keys of the selected section apply, and the first occurrence of a key wins.\n";
  return out;
}

}  // namespace imagebuilder
