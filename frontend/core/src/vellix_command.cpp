#include "zolp/vellix_command.h"

#include "zolp/package_config.h"
#include "zolp/report.h"

namespace zolp {

std::optional<std::string> ReadPackageVersion(const Services& services) {
  char value[kPackageVersionLength + 1] = {};
  if (!FindPackageValue(services, kVersionFile, "OEM Ver", true, value, sizeof value))
    return std::nullopt;
  return std::string(value);
}

std::string VolumeLabel(const Services& services) {
  return ReadPackageVersion(services).value_or("Unknown");
}

unsigned CountDisketteSections(const Services& services) {
  unsigned count = 0;
  while (count < kMaxDiskettes &&
         FindPackageValue(services, kPackageFile, Format("[Disk%u]", count + 1), false, nullptr, 0))
    ++count;
  return count;
}

std::string VellixRun::CommandLine() const {
  // No fixed-size buffer: a long path must never reach vellix cut short.
  std::string line = std::string("vellix.exe ") + kConfigName + " ";
  line += quoteSection ? "\"" + section + "\"" : section;
  line += " -v\"" + label.substr(0, kLabelLength) + "\"";
  if (name) line += " -N\"" + name->substr(0, kCdNameLength) + "\"";
  if (sectors) line += Format(" -t%llu", static_cast<unsigned long long>(*sectors));
  line += " -i\"" + image + "\"";
  return line;
}

std::vector<std::string> VellixRun::Arguments() const {
  std::vector<std::string> arguments{kConfigName, section, "-v" + label.substr(0, kLabelLength)};
  if (name) arguments.push_back("-N" + name->substr(0, kCdNameLength));
  if (sectors) arguments.push_back("-t" + std::to_string(*sectors));
  arguments.push_back("-i" + image);
  return arguments;
}

VellixRun ImageRun(bool diskette, const std::string& label, const std::string& image) {
  return {diskette ? "DISKETTE" : "HDD", false, label, std::nullopt, std::nullopt, image};
}

VellixRun CdRun(const std::string& version, const std::string& image) {
  return {"CD", false, version, version, std::nullopt, image};
}

VellixRun DisketteSetRun(unsigned number, const std::string& label, const std::string& image) {
  return {"Disk" + std::to_string(number), true, label, std::nullopt, std::nullopt, image};
}

VellixRun FlashRun(const std::string& label, std::uint64_t sectors, const std::string& image) {
  return {"FLASH", false, label, std::nullopt, sectors, image};
}

}  // namespace zolp
