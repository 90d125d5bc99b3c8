#include "disk_test_support.h"

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <stdexcept>
#include "../common/tool_time_limit.h"

namespace partshell::testing {

TempDir::TempDir() {
  std::string templ = (std::filesystem::temp_directory_path() / "torbel-test-XXXXXX").string();
  if (::mkdtemp(templ.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = templ;
  owner_pid_ = ::getpid();
}

TempDir::~TempDir() {
  if (::getpid() != owner_pid_) return;
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

int RunTool(const std::string& command, std::string* output) {
  std::FILE* pipe = ::popen((testtools::WithTimeLimit(command) + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return -1;
  std::string text;
  std::array<char, 4096> chunk{};
  std::size_t got = 0;
  while ((got = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0) text.append(chunk.data(), got);
  const int status = ::pclose(pipe);
  if (output) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

namespace {

std::string BuildDisk(const std::string& image, const std::vector<FatPartition>& partitions, std::uint32_t disk_mb);

// sfdisk takes a quarter of a second per call: each distinct layout is made
// once per test run and copied from then on.
std::string CachedDisk(const std::vector<FatPartition>& partitions, std::uint32_t disk_mb) {
  static TempDir cache;
  static std::map<std::string, std::string> made;
  std::string key = std::to_string(disk_mb);
  for (const FatPartition& p : partitions) {
    key += "_" + std::to_string(p.start) + "_" + std::to_string(p.sectors) + "_" + p.type + "_" +
           std::to_string(p.sectors_per_cluster) + "_" + std::to_string(p.root_entries) + "_" +
           std::to_string(p.bootable) + std::to_string(p.format);
  }
  auto it = made.find(key);
  if (it != made.end()) return it->second;
  const std::string image = BuildDisk(cache / ("disk" + std::to_string(made.size()) + ".img"), partitions, disk_mb);
  made[key] = image;
  return image;
}

}  // namespace

std::string MakeDisk(const TempDir& dir, const std::string& name, const std::vector<FatPartition>& partitions,
                     std::uint32_t disk_mb) {
  const std::string image = dir / name;
  std::filesystem::copy_file(CachedDisk(partitions, disk_mb), image, std::filesystem::copy_options::overwrite_existing);
  return image;
}

namespace {

std::string BuildDisk(const std::string& image, const std::vector<FatPartition>& partitions, std::uint32_t disk_mb) {
  { std::ofstream create(image, std::ios::binary); }
  std::filesystem::resize_file(image, static_cast<std::uintmax_t>(disk_mb) * 1024 * 1024);
  std::string script = "label: dos\n";
  for (const FatPartition& p : partitions) {
    script += "start=" + std::to_string(p.start) + ", size=" + std::to_string(p.sectors) + ", type=" + p.type +
              (p.bootable ? ", bootable" : "") + "\n";
  }
  std::string output;
  if (RunTool("printf '" + script + "' | sfdisk -q '" + image + "'", &output) != 0) {
    throw std::runtime_error("sfdisk failed: " + output);
  }
  for (const FatPartition& p : partitions) {
    if (!p.format) continue;
    const std::string command = "mkfs.fat -a -F 16 -R 1 -s " + std::to_string(p.sectors_per_cluster) + " -r " +
                                std::to_string(p.root_entries) + " --offset " + std::to_string(p.start) + " -h " +
                                std::to_string(p.start) + " -n UTILITY '" + image + "' " +
                                std::to_string(p.sectors / 2);
    if (RunTool(command, &output) != 0) throw std::runtime_error("mkfs.fat failed: " + output);
    // mkfs.fat 4.2 sometimes counts one sector more than it was given; the
    // volume must end where its partition does.
    const std::uint64_t total_at = static_cast<std::uint64_t>(p.start) * 512 + 19;
    const std::vector<std::uint8_t> total = ReadBytes(image, total_at, 2);
    if (static_cast<std::uint32_t>(total[0] | (total[1] << 8)) > p.sectors && p.sectors < 65536) {
      PatchBytes(image, total_at, {static_cast<std::uint8_t>(p.sectors), static_cast<std::uint8_t>(p.sectors >> 8)});
    }
  }
  return image;
}

}  // namespace

std::string MakeUtilityDisk(const TempDir& dir, int sectors_per_cluster, std::uint32_t sectors, int root_entries) {
  FatPartition p;
  p.sectors = sectors;
  p.sectors_per_cluster = sectors_per_cluster;
  p.root_entries = root_entries;
  p.bootable = true;
  return MakeDisk(dir, "disk.img", {p}, sectors / 2048 + 2);
}

void PatchBytes(const std::string& image, std::uint64_t offset, const std::vector<std::uint8_t>& bytes) {
  std::fstream f(image, std::ios::in | std::ios::out | std::ios::binary);
  f.seekp(static_cast<std::streamoff>(offset));
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> ReadBytes(const std::string& image, std::uint64_t offset, std::size_t count) {
  std::ifstream f(image, std::ios::binary);
  f.seekg(static_cast<std::streamoff>(offset));
  std::vector<std::uint8_t> bytes(count);
  f.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count));
  return bytes;
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream f(path, std::ios::binary);
  f << content;
}

std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

std::string Pattern(std::size_t size, unsigned seed) {
  std::mt19937 gen(seed);
  std::string text(size, '\0');
  for (char& c : text) c = static_cast<char>(gen() & 0xFF);
  return text;
}

int Mtools(const std::string& image, std::uint32_t start, const std::string& command, std::string* output) {
  const std::string at = "'" + image + "@@" + std::to_string(static_cast<std::uint64_t>(start) * 512) + "'";
  const auto space = command.find(' ');
  const std::string full = "MTOOLS_SKIP_CHECK=1 " + command.substr(0, space) + " -i " + at +
                           (space == std::string::npos ? "" : command.substr(space));
  return RunTool(full, output);
}

int Fsck(const std::string& image, std::uint32_t start, std::uint32_t sectors, std::string* report) {
  const std::string part = image + ".part";
  std::string output;
  const int copied = RunTool("dd if='" + image + "' of='" + part + "' bs=512 skip=" + std::to_string(start) +
                                 " count=" + std::to_string(sectors) + " status=none",
                             &output);
  const int status = copied == 0 ? RunTool("fsck.fat -n '" + part + "'", &output) : -1;
  std::filesystem::remove(part);
  if (report) *report = output;
  return status;
}

bool FsckClean(const std::string& image, std::uint32_t start, std::uint32_t sectors, std::string* report) {
  return Fsck(image, start, sectors, report) == 0;
}

void CapturingServices::Trace(std::string_view origin, std::string_view text) {
  traced += origin.empty() ? std::string(text) + "\n" : "[" + std::string(origin) + "] " + std::string(text) + "\n";
}

MountedDisk::MountedDisk(const std::string& image, MountRequest request,
                         std::function<std::unique_ptr<BlockDevice>(int, std::unique_ptr<BlockDevice>)> wrap,
                         LocalFiles* local_files)
    : disks({image}), volume(disks, out), engine(volume, local_files != nullptr ? *local_files : *host_files) {
  disks.wrap = std::move(wrap);
  mount_result = volume.MountPartition(request);
}

}  // namespace partshell::testing
