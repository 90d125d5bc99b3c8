#include "zolp/usb_sticks.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

namespace zolp::linux_host {

namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t kSysfsSectorBytes = 512;  // block/<name>/size counts these
const char* const kKernelSysfs = "/sys";

std::string ReadLine(const fs::path& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  while (!line.empty() && (line.back() == ' ' || line.back() == '\n' || line.back() == '\t'))
    line.pop_back();
  const std::size_t first = line.find_first_not_of(' ');
  return first == std::string::npos ? std::string() : line.substr(first);
}

std::optional<DevNumbers> ParseDev(const std::string& text) {
  unsigned major = 0, minor = 0;
  char tail = 0;
  if (std::sscanf(text.c_str(), "%u:%u%c", &major, &minor, &tail) != 2) return std::nullopt;
  return DevNumbers{major, minor};
}

// A path component "usb<digits>": the root hub of a USB bus.
bool RunsThroughUsb(const fs::path& path) {
  static const std::regex bus("usb[0-9]+");
  for (const fs::path& part : path)
    if (std::regex_match(part.string(), bus)) return true;
  return false;
}

// The serial of the nearest USB device above the disk (the directory with
// idVendor and serial).
std::string UsbSerial(fs::path path) {
  for (; path.has_relative_path(); path = path.parent_path()) {
    if (fs::exists(path / "idVendor") && fs::exists(path / "serial"))
      return ReadLine(path / "serial");
  }
  return {};
}

// The whole disk of a device and, for device-mapper and md devices, the
// disks under it, by the kernel's /sys/dev/block.
void AddWholeDisks(const DevNumbers& dev, std::set<DevNumbers>& disks, int depth = 0) {
  if (depth > 8 || dev.first == 0) return;  // major 0: no block device (tmpfs, overlay)
  std::error_code ec;
  const fs::path entry = fs::canonical(
      fs::path(kKernelSysfs) / "dev/block" /
          (std::to_string(dev.first) + ":" + std::to_string(dev.second)), ec);
  if (ec) {
    disks.insert(dev);
    return;
  }
  std::optional<DevNumbers> whole = dev;
  if (fs::exists(entry / "partition")) whole = ParseDev(ReadLine(entry.parent_path() / "dev"));
  if (whole) disks.insert(*whole);
  const fs::path slaves = (fs::exists(entry / "partition") ? entry.parent_path() : entry) / "slaves";
  for (const auto& slave : fs::directory_iterator(slaves, ec))
    if (auto under = ParseDev(ReadLine(slave.path() / "dev"))) AddWholeDisks(*under, disks, depth + 1);
}

void AddDiskOf(const std::string& path, std::set<DevNumbers>& disks) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) AddWholeDisks({major(st.st_dev), minor(st.st_dev)}, disks);
}

}  // namespace

bool SameStick(const Stick& a, const Stick& b) {
  return a.serial == b.serial && a.bytes == b.bytes && a.vendor == b.vendor &&
         a.model == b.model && a.dev == b.dev;
}

std::string SysfsRoot() {
  const char* root = std::getenv("ZOLP_SYSFS_ROOT");
  return root && *root ? root : kKernelSysfs;
}

std::optional<Stick> ReadStick(const std::string& root, const std::string& name,
                               std::string& why) {
  const fs::path entry = fs::path(root) / "block" / name;
  std::error_code ec;
  const fs::path resolved = fs::canonical(entry, ec);
  if (ec || name.empty() || name.find('/') != std::string::npos) {
    why = "no such block device";
    return std::nullopt;
  }
  if (ReadLine(entry / "removable") != "1") {
    why = "not removable";
    return std::nullopt;
  }
  Stick stick;
  stick.name = name;
  stick.bytes = std::strtoull(ReadLine(entry / "size").c_str(), nullptr, 10) * kSysfsSectorBytes;
  if (stick.bytes == 0) {
    why = "no medium";
    return std::nullopt;
  }
  if (!RunsThroughUsb(resolved)) {
    why = "not on USB";
    return std::nullopt;
  }
  const std::optional<DevNumbers> dev = ParseDev(ReadLine(entry / "dev"));
  stick.node = "/dev/" + name;
  struct stat st {};
  if (!dev || ::stat(stick.node.c_str(), &st) != 0 || !S_ISBLK(st.st_mode) ||
      major(st.st_rdev) != dev->first || minor(st.st_rdev) != dev->second) {
    why = stick.node + " is not the block device " + ReadLine(entry / "dev");
    return std::nullopt;
  }
  stick.dev = *dev;
  stick.vendor = ReadLine(entry / "device/vendor");
  stick.model = ReadLine(entry / "device/model");
  stick.rev = ReadLine(entry / "device/rev");
  stick.serial = UsbSerial(resolved);
  return stick;
}

std::vector<Stick> FindSticks(const std::string& root,
                              std::vector<std::pair<std::string, std::string>>* skipped) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(fs::path(root) / "block", ec))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  std::vector<Stick> sticks;
  for (const std::string& name : names) {
    std::string why;
    if (auto stick = ReadStick(root, name, why)) {
      sticks.push_back(std::move(*stick));
    } else if (skipped) {
      skipped->emplace_back(name, why);
    }
  }
  return sticks;
}

std::set<DevNumbers> DisksInUse(const std::string& packageDir) {
  std::set<DevNumbers> disks;
  // mountinfo: "36 35 98:0 /mnt1 /mnt2 rw,noatime master:1 - ext3 /dev/root rw": the third field.
  std::ifstream mounts("/proc/self/mountinfo");
  for (std::string line; std::getline(mounts, line);) {
    std::istringstream fields(line);
    std::string id, parent, dev;
    fields >> id >> parent >> dev;
    if (auto numbers = ParseDev(dev)) AddWholeDisks(*numbers, disks);
    // The source of a block-device mount, when it names a node.
    const std::size_t dash = line.find(" - ");
    if (dash != std::string::npos) {
      std::istringstream tail(line.substr(dash + 3));
      std::string type, source;
      tail >> type >> source;
      struct stat st {};
      if (source.rfind("/dev/", 0) == 0 && ::stat(source.c_str(), &st) == 0 && S_ISBLK(st.st_mode))
        AddWholeDisks({major(st.st_rdev), minor(st.st_rdev)}, disks);
    }
  }
  AddDiskOf("/", disks);
  AddDiskOf(packageDir, disks);
  return disks;
}

std::string Refusal(const Stick& stick, const std::set<DevNumbers>& inUse) {
  if (inUse.count(stick.dev))
    return "in use: it holds a mounted file system, the system or the package";
  return {};
}

}  // namespace zolp::linux_host
