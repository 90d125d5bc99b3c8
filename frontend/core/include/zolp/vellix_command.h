// The vellix runs of the front end's options, in one place: the dialogs start
// them as one Windows command line, the command-line front end as an argument
// vector, and both read the package version for the volume label here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "zolp/host.h"

namespace zolp {

inline constexpr const char* kPackageFile = "DD.CFG";
// The configuration's name on the tools' command lines and in the section
// lookups ("dd.cfg"); the package directory finds it whatever its case.
inline constexpr const char* kConfigName = "dd.cfg";
inline constexpr const char* kVersionFile = "Version.txt";
inline constexpr const char* kReadmeFile = "readme.txt";
// The longest "OEM Ver" value kept.
inline constexpr std::size_t kPackageVersionLength = 39;
// vellix takes a volume label of 11 characters and a CD name of 32.
inline constexpr std::size_t kLabelLength = 11;
inline constexpr std::size_t kCdNameLength = 32;

// The "OEM Ver" value of Version.txt: the package version.
std::optional<std::string> ReadPackageVersion(const Services& services);
// The volume label the options hand to vellix: the package version, or "Unknown".
std::string VolumeLabel(const Services& services);

inline constexpr unsigned kMaxDiskettes = 9;  // Disk1 .. Disk9
// The number of sections "[Disk1]", "[Disk2]", ... in DD.CFG, counted while
// each is present; 0 without "[Disk1]".
unsigned CountDisketteSections(const Services& services);

// One vellix run: the configuration, a section and its switches.
struct VellixRun {
  std::string section;
  bool quoteSection = false;  // the diskette set's "Disk<n>"
  std::string label;          // -v, cut to kLabelLength
  std::optional<std::string> name;        // -N, cut to kCdNameLength
  std::optional<std::uint64_t> sectors;   // -t
  std::string image;          // -i

  // "vellix.exe dd.cfg FLASH -v"A05" -t3915776 -i"~DP1.tmp"", as the dialogs run it.
  std::string CommandLine() const;
  // The same run as arguments after the program's name.
  std::vector<std::string> Arguments() const;
};

// The hard disk (HDD) or diskette (DISKETTE) section's image.
VellixRun ImageRun(bool diskette, const std::string& label, const std::string& image);
// The CD section's ISO; the version names the volume and the CD alike.
VellixRun CdRun(const std::string& version, const std::string& image);
// Diskette number of the Disk1..Disk9 set.
VellixRun DisketteSetRun(unsigned number, const std::string& label, const std::string& image);
// The FLASH section's image for a drive of that many sectors.
VellixRun FlashRun(const std::string& label, std::uint64_t sectors, const std::string& image);

}  // namespace zolp
