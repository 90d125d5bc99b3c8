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
  root_ = std::make_unique<ConfigFileParam>("CfgFile", &s.cfgFile);
  root_->describe("the configuration file to read");
  parser_ = std::make_unique<Parser>(*root_);

  auto keep = [this](std::unique_ptr<Parameter> p, const char* what) -> Parameter& {
    p->describe(what);
    params_.push_back(std::move(p));
    parser_->add(*params_.back());
    return *params_.back();
  };
  auto str = [&](const char* name, char letter, std::uint32_t flags, std::size_t maxLen,
                 std::string* bound, const char* def, const char* what) -> StringParam& {
    return static_cast<StringParam&>(
        keep(std::make_unique<StringParam>(name, letter, flags, maxLen, bound, def), what));
  };
  auto boolean = [&](const char* name, char letter, bool* bound, const char* what) -> BoolParam& {
    return static_cast<BoolParam&>(
        keep(std::make_unique<BoolParam>(name, letter, 0, bound), what));
  };
  auto uchar = [&](const char* name, char letter, std::uint8_t lo, std::uint8_t hi,
                   std::uint8_t* bound, const char* what) -> UCharParam& {
    return static_cast<UCharParam&>(
        keep(std::make_unique<UCharParam>(name, letter, 0, lo, hi, bound), what));
  };
  auto ushort = [&](const char* name, char letter, std::uint16_t lo, std::uint16_t hi,
                    std::uint16_t* bound, const char* what) -> UShortParam& {
    return static_cast<UShortParam&>(
        keep(std::make_unique<UShortParam>(name, letter, 0, lo, hi, bound), what));
  };
  auto ulong = [&](const char* name, char letter, std::uint32_t lo, std::uint32_t hi,
                   std::uint32_t* bound, const char* what) -> ULongParam& {
    return static_cast<ULongParam&>(
        keep(std::make_unique<ULongParam>(name, letter, 0, lo, hi, bound), what));
  };
  constexpr std::uint32_t kAny = 0xFFFFFFFFu;

  str("Section", 2, Positional | SelectsSection, 0, &s.section, "",
      "the section whose keys apply");
  uchar("PartitionType", 'a', 1, 255, &s.partitionType, "MBR partition type; 0 = by the FAT type");
  str("BsFileName", 'b', Required, 260, &s.bsFileName, "",
      "boot sector file (one sector, 55 AA at 510)");
  UCharParam& sectPerCluster =
      uchar("SectPerCluster", 'c', 0, 255, &s.sectPerCluster, "sectors per cluster; 0 = by size");
  UShortParam& cylinders =
      ushort("Cylinders", 'C', 1, 1024, &s.cylinders, "cylinders of the geometry");
  keep(std::make_unique<ListParam>("DebugLevel", 'd', 0, kDebugLevelNames,
                                   static_cast<std::uint16_t>(kDebugError), &s.debugLevel),
       "console output; status and above: a summary");
  boolean("ProcessContainer", 'D', &s.processContainer, "process tag and entry copy in the MBR");
  str("FileRoot", 'f', Required, 260, &s.fileRoot, "", "folder whose tree becomes the volume");
  uchar("NumFATs", 'F', 1, 255, &s.numFATs, "FAT copies");
  str("Grub", 'g', 0, 260, &s.grub, "", "loader for the sectors after the MBR");
  UShortParam& heads = ushort("Heads", 'H', 1, 255, &s.heads, "heads of the geometry; 0 = by size");
  str("ImageName", 'i', 0, 260, &s.imageName, "image.img", "image file to write");
  boolean("ISO", 'I', &s.iso, "ISO 9660 CD image booting the volume");
  boolean("LongFN", 'L', &s.longFN, "write long file names");
  str("MbrFileName", 'm', 0, 260, &s.mbrFileName, "", "master boot record file; none = no MBR");
  UCharParam& mediaType =
      uchar("MediaType", 'M', 0, 255, &s.mediaType, "media descriptor: 240 or 248..255");
  boolean("NoCHSRounding", 'n', &s.noCHSRounding, "no rounding up to a whole cylinder");
  str("ISOVolumeID", 'N', 0, 33, &s.isoVolumeID, "", "volume identifier of the CD");
  StringParam& ordered = str("OrderedFile", 'o', Repeatable, 13, nullptr, nullptr,
                             "root file placed first (repeatable)");
  str("OemName", 'O', 0, 9, &s.oemName, "MSWIN4.1", "OEM name; empty keeps the boot file's");
  ulong("PartitionSize", 'p', 0, kAny, &s.partitionSize, "volume sectors if less than the image");
  str("Publisher", 'P', 0, 128, &s.publisher, nullptr, "CD publisher and boot catalog ID");
  UShortParam& rootDirEntries =
      ushort("RootDirEntries", 'r', 16, 65535, &s.rootDirEntries, "root directory entries");
  ushort("ReservedSectors", 'R', 1, 65535, &s.reservedSectors,
         "reserved sectors (the boot file's size)");
  ULongParam& sectorSize =
      ulong("SectorSize", 's', 1, 65535, &s.sectorSize, "bytes per sector: 512, 1024, 2048, 4096");
  UShortParam& secPerTrack =
      ushort("SecPerTrack", 'S', 1, 63, &s.secPerTrack, "sectors per track; 0 = by size");
  ulong("NumSectors", 't', 0, kAny, &s.numSectors, "image sectors; 0 = sized to the files");
  UShortParam& diskType =
      ushort("DiskType", 'T', 0, 65535, &s.diskType, "diskette preset in KB (360 .. 3840)");
  StringParam& label =
      str("VolumeLabel", 'v', 0, 12, &s.volumeLabel, "           ", "volume label");
  ulong("VolumeID", 'V', 0, kAny, &s.volumeID, "volume serial number; 0 = build time");
  StringParam& exclude = str("ExcludeFile", 'x', Repeatable, 260, nullptr, nullptr,
                             "path below FileRoot to leave out (repeatable)");
  BoolParam& extended =
      boolean("ExtendedPartition", 'X', &s.extendedPartition, "LBA geometry: 1023 x 255 x 63");
  UCharParam& fatType = uchar("FATType", 'y', 0, 255, &s.fatType, "FAT entry width: 12 or 16");
  str("ISOReadmeName", 'Y', 0, 260, &s.isoReadmeName, "", "the one visible file of the CD");
  boolean("ZeroData", 'z', &s.zeroData, "create the image at full size at once");

  // A preset stores its values; one the command line gave otherwise is a clash,
  // named with both keys.
  const auto preset = [this](Parameter& by, auto& target, auto value) {
    if (target.assign(value, by)) return true;
    parser_->clash(by, target, std::to_string(value));
    return false;
  };
  fatType.validate = [this](Parameter& p) {
    const auto v = static_cast<UCharParam&>(p).value();
    if (v == 12 || v == 16) return true;
    report_(kErrFatType);
    return false;
  };
  sectPerCluster.validate = [this](Parameter& p) {
    if (IsSectorsPerCluster(static_cast<UCharParam&>(p).value())) return true;
    report_(kErrSectPerCluster);
    return false;
  };
  sectorSize.validate = [](Parameter& p) {
    return IsSectorSize(static_cast<ULongParam&>(p).value());
  };
  diskType.validate = [this, preset, fat = &fatType, hd = &heads, cyl = &cylinders,
                       spt = &secPerTrack, root = &rootDirEntries, media = &mediaType,
                       spc = &sectPerCluster](Parameter& p) {
    const auto kb = static_cast<UShortParam&>(p).value();
    for (const DiskPreset& d : kDiskPresets) {
      if (d.kilobytes != kb) continue;
      // A key given on the command line with another value contradicts the
      // preset; it is refused rather than silently replaced.
      bool agrees = preset(p, *fat, std::uint8_t{12});
      agrees = preset(p, *hd, std::uint16_t{2}) && agrees;
      agrees = preset(p, *cyl, d.cylinders) && agrees;
      agrees = preset(p, *spt, d.secPerTrack) && agrees;
      agrees = preset(p, *root, d.rootDirEntries) && agrees;
      agrees = preset(p, *media, d.mediaType) && agrees;
      agrees = preset(p, *spc, d.sectPerCluster) && agrees;
      settings_.bootMediaType = d.bootMediaType;
      return agrees;
    }
    report_(kErrDiskType);
    return false;
  };
  extended.validate = [preset, cyl = &cylinders, hd = &heads, spt = &secPerTrack](Parameter& p) {
    if (!static_cast<BoolParam&>(p).value()) return true;
    bool agrees = preset(p, *cyl, std::uint16_t{1023});
    agrees = preset(p, *hd, std::uint16_t{255}) && agrees;
    return preset(p, *spt, std::uint16_t{63}) && agrees;
  };
  mediaType.validate = [](Parameter& p) {
    return IsMediaDescriptor(static_cast<UCharParam&>(p).value());
  };
  label.validate = [](Parameter& p) {
    return IsVolumeLabel(static_cast<StringParam&>(p).value());
  };
  ordered.validate = [this](Parameter& p) {
    const std::string& v = static_cast<StringParam&>(p).value();
    if (v.empty()) return false;
    settings_.orderedFiles.push_back(v);
    return true;
  };
  ordered.onDestroy = [this](Parameter&) { settings_.orderedFiles.clear(); };
  exclude.validate = [this](Parameter& p) {
    std::string v = static_cast<StringParam&>(p).value();
    if (v.empty()) return false;
    if (!v.empty() && v.back() == '\\') v.pop_back();
    if (!v.empty() && v.front() == '\\') v.erase(v.begin());
    settings_.excludeFiles.push_back(v);
    return true;
  };
  exclude.onDestroy = [this](Parameter&) { settings_.excludeFiles.clear(); };
}

SettingsParser::~SettingsParser() {
  // The name lists stay with the settings record: the build uses them after
  // the parameters are gone.
  for (auto& p : params_) p->onDestroy = nullptr;
}

std::string SettingsParser::UsageTable() const {
  std::string out = "Usage: vellix <configuration file> <section> [options]\n\n";
  char line[160];
  std::snprintf(line, sizeof line, "  %-18s %-7s %-9s %-13s %s\n", "Key", "Option", "Type",
                "Default", "Meaning");
  out += line;
  for (const Parameter* p : parser_->registry()) {
    char option[8];
    if (p->has(Positional)) {
      std::snprintf(option, sizeof option, "#%d", p->letter());
    } else {
      std::snprintf(option, sizeof option, "-%c", p->letter());
    }
    std::snprintf(line, sizeof line, "  %-18s %-7s %-9s %-13s %s\n", p->name().c_str(), option,
                  p->typeName(), p->defaultText().c_str(), p->description().c_str());
    out += line;
  }
  out +=
      "\n-xVALUE or -x VALUE sets the key of letter x, --Name=value the key of that name;\n"
      "switches ([bool]) take no value and can share one argument (-zL).\n"
      "Options override the configuration file; in the file, keys before any [section]\n"
      "and keys of the selected section apply, and the first occurrence of a key wins.\n"
      "vellix --version prints vellix's own version and the kit's.\n";
  return out;
}

}  // namespace imagebuilder
