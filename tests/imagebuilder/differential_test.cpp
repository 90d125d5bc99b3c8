// vellix against the independent tools on seeded random packages: random trees
// (long and short names, mixed case, names that need aliases, empty and large
// files, empty directories, depth up to 8, excluded and ordered files) and
// random keys within their bounds, given on the command line or in DD.CFG.
// Every image built must pass fsck.fat -n and read back with mtools to the
// same names and bytes, with its ordered files first and the keys in its boot
// sector; every build refused must give a code the layout can give and leave
// no image (an earlier one survives untouched).
//
// VELLIX_DIFF_CASES sets the number of cases (240 by default, spread over the
// shards), VELLIX_DIFF_SEED the first seed; a failure names its seed, and
// VELLIX_DIFF_ONLY=<seed> runs that one case alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>

#include "test_support.h"

namespace {

namespace fs = vtest::fs;
using Contents = std::map<std::string, std::vector<std::uint8_t>>;

constexpr int kShards = 8;

unsigned long EnvNumber(const char* name, unsigned long fallback) {
  const char* v = std::getenv(name);
  return v != nullptr && *v != '\0' ? std::strtoul(v, nullptr, 10) : fallback;
}

class Random {
 public:
  explicit Random(std::uint32_t seed) : engine_(seed) {}
  int Between(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(engine_); }
  bool Chance(int percent) { return Between(1, 100) <= percent; }
  template <typename T>
  const T& Pick(const std::vector<T>& from) {
    return from[static_cast<std::size_t>(Between(0, static_cast<int>(from.size()) - 1))];
  }

 private:
  std::mt19937 engine_;
};

bool IsShortName(const std::string& name) {
  const std::size_t dot = name.find('.');
  const std::string base = name.substr(0, dot);
  const std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
  if (base.empty() || base.size() > 8 || ext.size() > 3) return false;
  if (dot != std::string::npos && ext.empty()) return false;
  for (const char c : base + ext) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && std::string("!#$%&'()-@^_`{}~").find(c) == std::string::npos) {
      return false;
    }
  }
  return true;
}

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// One generated package: its files and directories (relative paths with '/'),
// what is excluded, what is ordered.
struct Tree {
  std::map<std::string, std::vector<std::uint8_t>> files;
  std::set<std::string> directories;
  std::set<std::string> excluded;        // paths left out, directories with all they hold
  std::vector<std::string> excludeKeys;  // ExcludeFile values
  std::vector<std::string> ordered;      // root files, in order
};

class Generator {
 public:
  Generator(Random& r, std::uint64_t byteBudget) : r_(r), budget_(byteBudget) {}

  Tree Make() {
    Tree t;
    Fill(t, "", 0);
    // Ordered files: root files with 8.3 names, given in any letter case.
    const int ordered = r_.Chance(50) ? r_.Between(1, 3) : 0;
    for (int i = 0; i < ordered; ++i) {
      const std::string name = "ORD" + std::to_string(i) + (r_.Chance(50) ? ".SYS" : ".bin");
      t.files[name] = Bytes(r_.Chance(20) ? 0 : static_cast<std::size_t>(r_.Between(1, 9000)));
      t.ordered.push_back(r_.Chance(50) ? name : Upper(name));
    }
    return t;
  }

 private:
  std::string Name(const std::set<std::string>& taken) {
    static const std::vector<std::string> words{"diag", "Setup", "README", "a", "Memory Test",
                                                "VIDEO", "x", "Long File Name", "bios", "Tool"};
    static const std::vector<std::string> exts{"", ".txt", ".EXE", ".Dat", ".ini", ".c",
                                               ".html", ".tar.gz", ".a.b.c", ".JPEG"};
    std::string name;
    for (int attempt = 0; attempt < 100; ++attempt) {
      switch (r_.Between(0, 6)) {
        case 0:  // a plain 8.3 name in upper case
          name = Upper(r_.Pick(words).substr(0, 5)) + std::to_string(r_.Between(0, 999));
          name.erase(std::remove(name.begin(), name.end(), ' '), name.end());
          name += Upper(r_.Pick(exts).substr(0, 4));
          break;
        case 1:  // mixed case
          name = r_.Pick(words) + std::to_string(r_.Between(0, 99)) + r_.Pick(exts);
          break;
        case 2:  // needs an alias: blanks, extra dots, characters 8.3 has no room for
          name = r_.Pick(words) + " " + r_.Pick(words) + r_.Pick(std::vector<std::string>{"+1", ";2", "[3]", ",4"}) +
                 r_.Pick(exts);
          break;
        case 3:  // long
          name = std::string(static_cast<std::size_t>(r_.Between(9, 90)), 'n');
          for (char& c : name) c = "abcdefghijKLMNOP0123 _-"[r_.Between(0, 22)];
          if (name.front() == ' ') name.front() = 'L';
          if (name.back() == ' ') name.back() = 'E';
          name += r_.Pick(exts);
          break;
        case 4:  // a leading dot
          name = "." + r_.Pick(words) + std::to_string(r_.Between(0, 9));
          break;
        default:  // short, lower case
          name = "f" + std::to_string(r_.Between(0, 9999)) + r_.Pick(exts).substr(0, 4);
          break;
      }
      if (name.size() > 100) name.resize(100);
      while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
      if (!name.empty() && !taken.count(Upper(name))) return name;
    }
    return "z" + std::to_string(taken.size());
  }

  std::vector<std::uint8_t> Bytes(std::size_t size) {
    size = static_cast<std::size_t>(std::min<std::uint64_t>(size, budget_));
    budget_ -= size;
    return vtest::Pattern(size, static_cast<std::uint32_t>(r_.Between(1, 1 << 30)));
  }

  std::size_t FileSize() {
    const int kind = r_.Between(1, 100);
    if (kind <= 15) return 0;
    if (kind <= 70) return static_cast<std::size_t>(r_.Between(1, 4096));
    if (kind <= 95) return static_cast<std::size_t>(r_.Between(4097, 150000));
    return static_cast<std::size_t>(r_.Between(1, 3) * 1024 * 1024 + r_.Between(0, 5000));
  }

  void Fill(Tree& t, const std::string& dir, int depth) {
    std::set<std::string> taken;
    const int files = r_.Between(0, depth == 0 ? 12 : 6);
    const int dirs = depth >= 8 ? 0 : r_.Between(0, depth < 2 ? 3 : 2);
    const std::string windowsDir = Windows(dir);
    bool excludesFiles = false;
    for (int i = 0; i < files; ++i) {
      std::string name = Name(taken);
      const bool excluded = r_.Chance(8) && windowsDir.size() < 200;
      if (excluded) {
        name = "skip" + std::to_string(i) + ".xcl";
        excludesFiles = true;
      }
      taken.insert(Upper(name));
      t.files[dir + name] = Bytes(FileSize());
      if (excluded) t.excluded.insert(dir + name);
    }
    if (excludesFiles) t.excludeKeys.push_back(windowsDir + "*.XCL");
    for (int i = 0; i < dirs; ++i) {
      const std::string name = Name(taken);
      taken.insert(Upper(name));
      const std::string path = dir + name + "/";
      t.directories.insert(path);
      if (r_.Chance(6) && (windowsDir + name).size() < 200) {
        t.excluded.insert(path);
        t.excludeKeys.push_back(windowsDir + name);
      }
      if (!r_.Chance(15)) Fill(t, path, depth + 1);  // else it stays empty
    }
  }

  static std::string Windows(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
  }

  Random& r_;
  std::uint64_t budget_;
};

bool Excluded(const Tree& t, const std::string& path) {
  for (const std::string& e : t.excluded) {
    if (path == e || (e.back() == '/' && path.rfind(e, 0) == 0)) return true;
  }
  return false;
}

// What mtools must read back: every path not excluded; without long names,
// each component that is no 8.3 name stands for "some alias" ("?").
Contents Expected(const Tree& t, bool longNames) {
  Contents out;
  auto shown = [&](const std::string& path) {
    if (longNames) return path;
    std::string result;
    std::string part;
    for (const char c : path) {
      if (c == '/') {
        result += (IsShortName(part) ? Upper(part) : "?") + "/";
        part.clear();
      } else {
        part += c;
      }
    }
    if (!part.empty()) result += IsShortName(part) ? Upper(part) : "?";
    return result;
  };
  for (const auto& [path, bytes] : t.files) {
    if (!Excluded(t, path)) out.emplace(shown(path) + (out.count(shown(path)) ? "#" + path : ""), bytes);
  }
  for (const std::string& d : t.directories) {
    if (!Excluded(t, d)) out.emplace(shown(d) + (out.count(shown(d)) ? "#" + d : ""), std::vector<std::uint8_t>{});
  }
  return out;
}

// The tree read back, in the same form: without long names, alias components
// ("NAME~N") become "?".
Contents ReadBack(const Contents& got, bool longNames) {
  if (longNames) return got;
  Contents out;
  for (const auto& [path, bytes] : got) {
    std::string result;
    std::string part;
    for (const char c : path + "\x01") {
      if (c == '/' || c == '\x01') {
        result += part.find('~') != std::string::npos ? "?" : part;
        if (c == '/') result += "/";
        part.clear();
      } else {
        part += c;
      }
    }
    out.emplace(result + (out.count(result) ? "#" + path : ""), bytes);
  }
  return out;
}

// Compares as multisets per shown path: aliases of one directory are
// interchangeable, their contents are not.
std::string Differences(const Contents& want, const Contents& got) {
  // Contents are held as strings: GCC 12 warns falsely on comparing byte vectors in a set.
  std::map<std::string, std::multiset<std::string>> a, b;
  auto key = [](const std::string& k) { return k.substr(0, k.find('#')); };
  for (const auto& [k, v] : want) a[key(k)].insert(std::string(v.begin(), v.end()));
  for (const auto& [k, v] : got) b[key(k)].insert(std::string(v.begin(), v.end()));
  std::ostringstream out;
  for (const auto& [k, v] : a) {
    if (!b.count(k)) {
      out << "missing: " << k << "\n";
    } else if (b[k] != v) {
      out << "differs: " << k << "\n";
    }
  }
  for (const auto& [k, v] : b) {
    if (!a.count(k)) out << "unexpected: " << k << "\n";
  }
  return out.str();
}

std::string RandomLabel(Random& r) {
  if (r.Chance(20)) return "";
  const std::string chars = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 -_!#$%&'()@^`{}~";
  std::string label(1, 'A' + static_cast<char>(r.Between(0, 25)));
  const int n = r.Between(0, 10);
  for (int i = 0; i < n; ++i) label += chars[static_cast<std::size_t>(r.Between(0, static_cast<int>(chars.size()) - 1))];
  return label;
}

// The settings of one case, each key given on the command line or in DD.CFG.
struct Build {
  std::vector<std::pair<std::string, std::string>> keys;  // name, value ("" for a switch)
  bool longNames = false, iso = false, mbr = false;
  int sectorSize = 512;
  int media = 0xF8, fats = 2, rootEntries = 512;
  std::uint32_t volumeId = 0;
  std::string label, oem = "MSWIN4.1";
  std::set<int> refusals;  // the codes a refusal may give
};

Build RandomBuild(Random& r, const Tree& tree, std::uint64_t treeBytes) {
  Build b;
  auto key = [&](const std::string& name, const std::string& value) { b.keys.emplace_back(name, value); };
  b.refusals = {16, 21, 78};  // a tree larger than the root, the FAT type or the volume
  const int kind = r.Between(1, 100);
  if (kind <= 25) {  // a diskette preset
    const int kb = r.Pick(std::vector<int>{360, 720, 1200, 1440, 2880, 3840});
    key("DiskType", std::to_string(kb));
    b.media = kb == 360 ? 0xFD : kb <= 1200 ? 0xF9 : 0xF0;
    b.rootEntries = kb <= 720 ? 112 : kb <= 1440 ? 224 : 240;
    if (r.Chance(20) && (kb == 1200 || kb == 1440 || kb == 2880)) {
      b.iso = true;
      key("ISO", "1");
    }
  } else {
    if (r.Chance(25)) {
      b.sectorSize = r.Pick(std::vector<int>{1024, 2048, 4096});
      key("SectorSize", std::to_string(b.sectorSize));
    }
    const bool fat12 = r.Chance(30);
    if (fat12) key("FATType", "12");
    if (kind <= 55) {  // a given size, at most 200 MB
      const std::uint64_t minimum = treeBytes / static_cast<std::uint64_t>(b.sectorSize) + 200;
      const int most = std::min(fat12 ? 30000 : 400000, 200 * 1024 * 1024 / b.sectorSize);
      const int sectors = r.Between(static_cast<int>(std::min<std::uint64_t>(minimum + (fat12 ? 0 : 9000), most)), most);
      key("NumSectors", std::to_string(sectors));
      b.refusals.insert(80);  // FAT16 of fewer than 4101 clusters
      if (r.Chance(10)) {
        key("ExtendedPartition", "");
      }
    } else if (r.Chance(30)) {
      key("NoCHSRounding", "1");
    }
    if (r.Chance(35)) {
      b.mbr = true;
      key("MbrFileName", "MBR");
      if (r.Chance(15)) {
        b.iso = true;
        key("ISO", "");
      }
    }
    if (r.Chance(30)) {
      const int spc = 1 << r.Between(0, 6);
      key("SectPerCluster", std::to_string(spc));
      b.refusals.insert(80);
    }
    if (r.Chance(40)) {
      b.media = r.Pick(std::vector<int>{0xF0, 0xF8, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF});
      key("MediaType", std::to_string(b.media));
    }
    if (r.Chance(40)) {
      b.rootEntries = r.Between(16, 1200);
      key("RootDirEntries", std::to_string(b.rootEntries));
      const int perSector = b.sectorSize / 32;
      b.rootEntries = (b.rootEntries + perSector - 1) / perSector * perSector;
    }
  }
  if (r.Chance(30)) {
    b.fats = r.Between(1, 2);  // fsck.fat checks no more than two
    key("NumFATs", std::to_string(b.fats));
  }
  b.longNames = r.Chance(70);
  if (b.longNames) key("LongFN", r.Chance(50) ? "" : "1");
  if (r.Chance(50)) key("ZeroData", "1");
  b.label = RandomLabel(r);
  if (!b.label.empty()) key("VolumeLabel", b.label);
  if (r.Chance(40)) {
    b.oem = "O" + std::to_string(r.Between(0, 999999));
    key("OemName", b.oem);
  }
  if (r.Chance(50)) {
    b.volumeId = static_cast<std::uint32_t>(r.Between(1, 0x7FFFFFFF));
    key("VolumeID", std::to_string(b.volumeId));
  }
  for (const std::string& e : tree.excludeKeys) key("ExcludeFile", e);
  for (const std::string& o : tree.ordered) key("OrderedFile", o);
  return b;
}

void WriteTree(const Tree& t, const fs::path& root) {
  fs::create_directories(root);
  for (const std::string& d : t.directories) fs::create_directories(root / d);
  for (const auto& [path, bytes] : t.files) vtest::WriteBytes(root / path, bytes);
}

std::vector<std::uint8_t> ReadPrefix(const std::string& path, std::uint64_t offset, std::size_t n) {
  std::vector<std::uint8_t> b(n, 0);
  std::ifstream f(path, std::ios::binary);
  f.seekg(static_cast<std::streamoff>(offset));
  f.read(reinterpret_cast<char*>(b.data()), static_cast<std::streamsize>(n));
  return b;
}

struct Tally {
  int built = 0, refused = 0;
};

void RunCase(std::uint32_t seed, Tally& tally) {
  SCOPED_TRACE("differential case seed " + std::to_string(seed) +
               " (rerun alone with VELLIX_DIFF_ONLY=" + std::to_string(seed) + ")");
  Random r(seed);
  vtest::TempDir dir;
  const fs::path package = dir.path() / "package";
  const std::uint64_t budget =
      static_cast<std::uint64_t>(r.Chance(85) ? r.Between(10, 900) : r.Between(900, 4000)) * 1024;
  Generator gen(r, budget);
  const Tree tree = gen.Make();
  WriteTree(tree, package / "ROOT");
  std::uint64_t treeBytes = 0;
  for (const auto& [p, bytes] : tree.files) treeBytes += bytes.size();
  Build b = RandomBuild(r, tree, treeBytes);
  vtest::WriteBytes(package / "BS", vtest::BootRecord(static_cast<std::size_t>(b.sectorSize)));
  vtest::WriteBytes(package / "MBR", vtest::BootRecord(static_cast<std::size_t>(b.sectorSize)));
  if (b.iso) b.refusals.insert(74);

  // Each key on the command line or in DD.CFG (before any section or in the
  // one selected); the boot sector and the tree always in the file.
  std::string cfg = "# generated\nBsFileName=BS\nFileRoot=ROOT\n";
  std::string section = "[CASE]\n";
  std::vector<std::string> args{"dd.cfg", "case", "-i" + (dir.path() / "out.img").string()};
  // OrderedFile values take effect in reading order: the command line, then the file.
  std::vector<std::string> orderedBy[3];
  for (const auto& [name, value] : b.keys) {
    // A value holding '#' or ';' can only be given on the command line: in the file
    // they start a comment.
    const bool plain = value.find_first_of("#;") == std::string::npos;
    const int where = plain ? r.Between(0, 2) : 0;
    if (name == "OrderedFile") orderedBy[where].push_back(value);
    if (where == 0) {
      args.push_back("--" + name + (value.empty() ? "" : "=" + value));
    } else {
      (where == 1 ? cfg : section) += name + (value.empty() ? "" : (r.Chance(50) ? "=" : " : ") + value) + "\n";
    }
  }
  cfg += "[OTHER]\nNumFATs=7\nVolumeLabel=WRONG\n" + section;
  std::vector<std::string> ordered;
  for (const auto& part : orderedBy) ordered.insert(ordered.end(), part.begin(), part.end());
  vtest::WriteText(package / "dd.cfg", cfg);

  const std::string image = (dir.path() / "out.img").string();
  const bool earlier = r.Chance(30);
  const std::vector<std::uint8_t> old = vtest::Pattern(5000, seed);
  if (earlier) vtest::WriteBytes(image, old);

  const fs::path cwd = fs::current_path();
  fs::current_path(package);
  const vtest::RunResult run = vtest::Run(args);
  fs::current_path(cwd);

  if (run.code != 0) {
    ++tally.refused;
    EXPECT_TRUE(b.refusals.count(run.code)) << "refused with " << run.code << "\n" << cfg;
    if (earlier) {
      EXPECT_TRUE(vtest::ReadBytes(image) == old) << "the earlier image was touched";
    } else {
      EXPECT_FALSE(fs::exists(image)) << "a refused build left an image";
    }
    return;
  }
  ++tally.built;

  // Where the volume is: behind the boot catalog's image, behind the MBR's partition.
  std::uint64_t offset = 0;
  if (b.iso) {
    const auto catalog = ReadPrefix(image, 0xC000, 64);
    offset = static_cast<std::uint64_t>(vtest::Le32(catalog, 40)) * 2048;
  }
  if (b.mbr) {
    const auto mbr = ReadPrefix(image, offset, 512);
    offset += static_cast<std::uint64_t>(vtest::Le32(mbr, 0x1BE + 8)) * static_cast<std::uint64_t>(b.sectorSize);
  }
  const std::string volume = vtest::ExtractVolume(image, offset, dir);
  std::string report;
  EXPECT_TRUE(vtest::FsckClean(volume, &report)) << report << cfg;

  const vtest::Bpb bpb = vtest::ReadBpb(ReadPrefix(volume, 0, 512));
  EXPECT_EQ(bpb.bytesPerSector, b.sectorSize);
  EXPECT_EQ(bpb.media, b.media);
  EXPECT_EQ(bpb.numFats, b.fats);
  EXPECT_EQ(bpb.rootEntries, b.rootEntries);
  if (b.volumeId != 0) {
    EXPECT_EQ(bpb.volumeId, b.volumeId);
  }
  std::string oem = b.oem;
  oem.resize(8, ' ');
  EXPECT_EQ(bpb.oemName, oem);
  std::string label = b.label.empty() ? "NO NAME" : Upper(b.label);
  label.resize(11, ' ');
  EXPECT_EQ(bpb.label, label);

  // The ordered files open the root, in their order, in clusters from 2 on.
  const std::size_t rootEnd =
      (bpb.reserved + std::size_t{bpb.numFats} * bpb.fatSize + bpb.rootSectors()) * std::size_t{bpb.bytesPerSector};
  std::vector<vtest::RawEntry> root = vtest::RootEntries(ReadPrefix(volume, 0, rootEnd));
  root.erase(std::remove_if(root.begin(), root.end(), [](const vtest::RawEntry& e) { return e.attributes == 0x0F; }),
             root.end());
  std::uint32_t nextCluster = 2;
  ASSERT_GE(root.size(), ordered.size());
  for (std::size_t i = 0; i < ordered.size(); ++i) {
    std::string name11 = Upper(ordered[i]);
    const std::size_t dot = name11.find('.');
    name11 = name11.substr(0, dot) + std::string(8 - dot, ' ') + name11.substr(dot + 1);
    name11.resize(11, ' ');
    EXPECT_EQ(root[i].name11, name11);
    if (root[i].size != 0) {
      EXPECT_EQ(root[i].cluster, nextCluster) << name11;
      const std::uint32_t clusterBytes = std::uint32_t{bpb.sectorsPerCluster} * bpb.bytesPerSector;
      nextCluster += (root[i].size + clusterBytes - 1) / clusterBytes;
    }
  }

  vtest::TempDir copy;
  ASSERT_TRUE(vtest::McopyAll(volume, copy.path()));
  const std::string differences =
      Differences(Expected(tree, b.longNames), ReadBack(vtest::TreeContents(copy.path()), b.longNames));
  EXPECT_EQ(differences, "") << cfg;
}

class Differential : public ::testing::TestWithParam<int> {};

TEST_P(Differential, ImagesReadBackWithMtoolsAndPassFsck) {
  const unsigned long cases = EnvNumber("VELLIX_DIFF_CASES", 240);
  const unsigned long first = EnvNumber("VELLIX_DIFF_SEED", 19000);
  const unsigned long only = EnvNumber("VELLIX_DIFF_ONLY", 0);
  Tally tally;
  for (unsigned long i = static_cast<unsigned long>(GetParam()); i < cases; i += kShards) {
    const std::uint32_t seed = static_cast<std::uint32_t>(first + i);
    if (only != 0 && seed != only) continue;
    RunCase(seed, tally);
  }
  std::printf("differential shard %d: %d built, %d refused\n", GetParam(), tally.built, tally.refused);
  // A generator whose cases are all refused would test nothing.
  if (only == 0 && cases >= 4 * kShards) {
    EXPECT_GT(tally.built, 2 * tally.refused / 3);
  }
}

INSTANTIATE_TEST_SUITE_P(Shards, Differential, ::testing::Range(0, kShards));

}  // namespace
