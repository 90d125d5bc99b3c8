#include "test_support.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>

#include "imagebuilder/calendar.h"
#include "imagebuilder/vellix.h"
#include "../common/tool_time_limit.h"

namespace vtest {

TempDir::TempDir() {
  static std::mt19937_64 rng{std::random_device{}()};
  for (;;) {
    path_ = fs::temp_directory_path() / ("vellix-test-" + std::to_string(rng()));
    if (fs::create_directory(path_)) break;
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

void WriteBytes(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void WriteText(const fs::path& path, const std::string& text) {
  WriteBytes(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}

std::vector<std::uint8_t> ReadBytes(const fs::path& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(f), {});
}

std::vector<std::uint8_t> Pattern(std::size_t size, std::uint32_t seed) {
  std::vector<std::uint8_t> b(size);
  std::uint32_t x = seed * 2654435761u + 1;
  for (auto& v : b) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    v = static_cast<std::uint8_t>(x);
  }
  return b;
}

std::vector<std::uint8_t> BootRecord(std::size_t size, bool signature) {
  std::vector<std::uint8_t> b(size, 0);
  if (size >= 3) {
    b[0] = 0xEB;
    b[1] = 0x3C;
    b[2] = 0x90;
  }
  if (signature && size >= 512) {
    b[510] = 0x55;
    b[511] = 0xAA;
  }
  return b;
}

bool TestClock::ToLocal(std::int64_t utc, imagebuilder::CalendarTime& local) {
  local = imagebuilder::UtcCalendar(utc);
  return true;
}

std::optional<std::string> TestClock::Environment(const char* name) {
  auto it = env.find(name);
  if (it == env.end()) return std::nullopt;
  return it->second;
}

RunResult Run(const std::vector<std::string>& args, const RunOptions& options) {
  imagebuilder::SystemHost system = imagebuilder::MakeSystemHost();
  TestClock defaultClock;
  CaptureConsole console;
  const imagebuilder::Host host{options.tree ? *options.tree : *system.tree,
                                options.image ? *options.image : *system.image,
                                options.clock ? *options.clock : defaultClock, console};
  std::vector<const char*> argv;
  argv.push_back("vellix");
  for (const std::string& a : args) argv.push_back(a.c_str());
  RunResult r;
  r.code = imagebuilder::RunVellix(static_cast<int>(argv.size()), argv.data(), host);
  r.output = console.text;
  r.errors = console.errors;
  return r;
}

int Shell(const std::string& command, std::string* output) {
  const std::string full = "MTOOLS_SKIP_CHECK=1 " + testtools::WithTimeLimit(command) + " 2>&1";
  std::FILE* p = ::popen(full.c_str(), "r");
  if (p == nullptr) return -1;
  std::string text;
  std::array<char, 4096> buf;
  std::size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) text.append(buf.data(), n);
  const int status = ::pclose(p);
  if (output) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

std::uint16_t Le16(const std::vector<std::uint8_t>& b, std::size_t at) {
  return static_cast<std::uint16_t>(b.at(at) | (b.at(at + 1) << 8));
}

std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return Le16(b, at) | (static_cast<std::uint32_t>(Le16(b, at + 2)) << 16);
}

Bpb ReadBpb(const std::vector<std::uint8_t>& image, std::size_t o) {
  Bpb p{};
  p.oemName.assign(image.begin() + static_cast<long>(o) + 3, image.begin() + static_cast<long>(o) + 11);
  p.bytesPerSector = Le16(image, o + 11);
  p.sectorsPerCluster = image.at(o + 13);
  p.reserved = Le16(image, o + 14);
  p.numFats = image.at(o + 16);
  p.rootEntries = Le16(image, o + 17);
  p.total16 = Le16(image, o + 19);
  p.media = image.at(o + 21);
  p.fatSize = Le16(image, o + 22);
  p.secPerTrack = Le16(image, o + 24);
  p.heads = Le16(image, o + 26);
  p.hidden = Le32(image, o + 28);
  p.total32 = Le32(image, o + 32);
  p.driveNumber = image.at(o + 36);
  p.bootSignature = image.at(o + 38);
  p.volumeId = Le32(image, o + 39);
  p.label.assign(image.begin() + static_cast<long>(o) + 43, image.begin() + static_cast<long>(o) + 54);
  p.fsType.assign(image.begin() + static_cast<long>(o) + 54, image.begin() + static_cast<long>(o) + 62);
  return p;
}

std::vector<RawEntry> RootEntries(const std::vector<std::uint8_t>& image, std::size_t offset) {
  const Bpb bpb = ReadBpb(image, offset);
  const std::size_t start = offset + (bpb.reserved + bpb.numFats * bpb.fatSize) * std::size_t{bpb.bytesPerSector};
  std::vector<RawEntry> out;
  for (std::size_t i = 0; i < bpb.rootEntries; ++i) {
    const std::size_t at = start + i * 32;
    if (at + 32 > image.size() || image[at] == 0) break;
    RawEntry e;
    e.name11.assign(image.begin() + static_cast<long>(at), image.begin() + static_cast<long>(at) + 11);
    e.attributes = image[at + 11];
    e.cluster = Le16(image, at + 26);
    e.size = Le32(image, at + 28);
    e.bytes.assign(image.begin() + static_cast<long>(at), image.begin() + static_cast<long>(at) + 32);
    out.push_back(std::move(e));
  }
  return out;
}

std::uint32_t FatEntry(const std::vector<std::uint8_t>& image, const Bpb& bpb, std::uint32_t n,
                       std::size_t offset) {
  const std::size_t fat = offset + bpb.reserved * std::size_t{bpb.bytesPerSector};
  if (bpb.clusterCount() < 4085) {
    const std::size_t at = fat + n * 3 / 2;
    const std::uint16_t v = Le16(image, at);
    return (n & 1) ? (v >> 4) : (v & 0x0FFF);
  }
  return Le16(image, fat + n * 2);
}

std::string ExtractVolume(const std::string& image, std::size_t offset, const TempDir& dir) {
  std::vector<std::uint8_t> head(4096, 0);
  {
    std::ifstream f(image, std::ios::binary);
    f.seekg(static_cast<std::streamoff>(offset));
    f.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
  }
  const Bpb bpb = ReadBpb(head, 0);
  const std::uint64_t length = std::uint64_t{bpb.totalSectors()} * bpb.bytesPerSector;
  const std::string path = dir / ("volume-" + std::to_string(offset) + ".img");
  // dd keeps it sparse; the volume is padded to its full length for the checkers.
  Shell("dd if=" + Quote(image) + " of=" + Quote(path) + " bs=512 skip=" +
        std::to_string(offset / 512) + " count=" + std::to_string(length / 512) +
        " conv=sparse status=none");
  fs::resize_file(path, length);
  return path;
}

bool FsckClean(const std::string& volume, std::string* report) {
  std::string out;
  const int rc = Shell("fsck.fat -n " + Quote(volume), &out);
  if (report) *report = out;
  return rc == 0 && out.find("Leaving filesystem unchanged") == std::string::npos &&
         out.find("Free cluster summary wrong") == std::string::npos;
}

bool McopyAll(const std::string& volume, const fs::path& target) {
  fs::create_directories(target);
  std::string out;
  // An empty volume has nothing to copy; mdir tells that apart from failure.
  std::string listing;
  Shell("mdir -/ -b -i " + Quote(volume) + " ::", &listing);
  if (listing.find("::/") == std::string::npos) return true;
  return Shell("mcopy -s -n -m -i " + Quote(volume) + " '::*' " + Quote(target.string()), &out) == 0;
}

std::map<std::string, std::vector<std::uint8_t>> TreeContents(const fs::path& root) {
  std::map<std::string, std::vector<std::uint8_t>> out;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    const std::string rel = fs::relative(e.path(), root).generic_string();
    if (e.is_directory()) {
      out[rel + "/"] = {};
    } else {
      out[rel] = ReadBytes(e.path());
    }
  }
  return out;
}

void ExpectVolumeHolds(const std::string& volume, const fs::path& expected) {
  std::string report;
  EXPECT_TRUE(FsckClean(volume, &report)) << report;
  TempDir copy;
  ASSERT_TRUE(McopyAll(volume, copy.path()));
  const auto want = TreeContents(expected);
  const auto got = TreeContents(copy.path());
  std::vector<std::string> wantNames, gotNames;
  for (const auto& [k, v] : want) wantNames.push_back(k);
  for (const auto& [k, v] : got) gotNames.push_back(k);
  ASSERT_EQ(wantNames, gotNames);
  for (const auto& [name, bytes] : want) {
    EXPECT_TRUE(got.at(name) == bytes) << "contents differ: " << name;
  }
}

Package::Package() {
  WriteBytes(bs, BootRecord());
  WriteBytes(mbr, BootRecord());
  fs::create_directories(root);
}

std::vector<std::string> Package::Args(std::vector<std::string> more) const {
  std::vector<std::string> args{"-b", bs, "-f", root.string(), "-i", image};
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

void Package::ExpectHoldsTree() const {
  std::vector<std::uint8_t> head(512, 0);
  {
    std::ifstream f(image, std::ios::binary);
    f.read(reinterpret_cast<char*>(head.data()), 512);
  }
  // A boot sector starts with a jump; an MBR here starts with the test's boot record
  // too, so the partition entry's active flag tells them apart.
  const std::size_t offset = head[0x1BE] == 0x80 ? std::size_t{Le32(head, 0x1BE + 8)} * 512 : 0;
  ExpectVolumeHolds(ExtractVolume(image, offset, dir), root);
}

void Package::File(const std::string& rel, std::size_t size, std::uint32_t seed) const {
  WriteBytes(root / rel, Pattern(size, seed));
}

}  // namespace vtest
