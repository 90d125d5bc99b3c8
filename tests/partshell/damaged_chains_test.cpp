// Damaged cluster chains, one kind of damage per case, in a full directory and in
// a file: every command that follows the chain ends with 724 at the damage, lists
// nothing twice, writes nothing, and leaves no local file that could pass for a copy.
#include <map>
#include <sstream>

#include "commands_fixture.h"
#include "partshell/error_codes.h"

namespace partshell::testing {
namespace {

constexpr std::uint32_t kSectors = 8000;
constexpr int kFilesInD = 46;  // with "." and "..", three full clusters of 16 entries: no end mark

enum class Damage {
  back_to_first,   // the last cluster links back to the first
  to_itself,       // a cluster links to itself
  to_free,         // a link to a free cluster
  past_the_volume, // a link above the last cluster
  to_reserved,     // a link of 1
  to_bad,          // 0xFFF7
  reserved_high,   // 0xFFF0
  ends_early,      // the end mark before the file's size is reached
  first_zero,      // the entry's first cluster is 0
  first_one,       // ... 1
  first_past,      // ... above the last cluster
};

struct Case {
  const char* name;
  bool directory;  // D's chain, else F.BIN's
  Damage damage;
  int at;  // the cluster of the chain (from 0) whose link is damaged
};

class DamagedChains : public Commands, public ::testing::WithParamInterface<Case> {
 protected:
  void SetUp() override {
    Commands::SetUp();
    image_ = BaseImage(disks_dir_);
    sectors_ = kSectors;
    Mount();
    const EntryLookup d = engine().FindSubdirectory(kRootDirectory, "D");
    const EntryLookup f = engine().FindFile(kRootDirectory, "F.BIN");
    ASSERT_TRUE(d.found && f.found);
    const EntryLookup& target = GetParam().directory ? d : f;
    for (std::uint16_t c = target.first_cluster; c < 0xFFF8; c = engine().FatEntry(c)) chain_.push_back(c);
    entry_at_ = target.sector * 512ull + target.index * 32;
    spf_ = disk_->volume.sectors_per_fat;
    limit_ = disk_->volume.ClusterLimit;
    d_cluster_ = d.first_cluster;
    disk_.reset();
    ApplyDamage();
    Mount();
    before_ = ReadFile(image_);
  }
  Fat16Engine& engine() { return disk_->engine; }

  // mkfs.fat and mtools once per run; each case works on a copy.
  static std::string BaseImage(const TempDir& dir) {
    static TempDir base_dir;
    static std::string base;
    if (base.empty()) {
      base = MakeUtilityDisk(base_dir, 1, kSectors);
      std::string files;
      for (int i = 0; i < kFilesInD; ++i) {
        WriteFile(base_dir / ("F" + std::to_string(i)), "x");
        files += " '" + (base_dir / ("F" + std::to_string(i))) + "'";
      }
      EXPECT_EQ(Mtools(base, 63, "mmd ::D"), 0);
      EXPECT_EQ(Mtools(base, 63, "mcopy" + files + " ::D/"), 0);
      WriteFile(base_dir / "F.BIN", Pattern(3000));  // six clusters of 512 bytes
      EXPECT_EQ(Mtools(base, 63, "mcopy '" + (base_dir / "F.BIN") + "' ::F.BIN"), 0);
    }
    const std::string copy = dir / "damaged.img";
    std::filesystem::copy_file(base, copy, std::filesystem::copy_options::overwrite_existing);
    return copy;
  }

  void SetLink(std::uint16_t cluster, std::uint16_t value) {
    const std::vector<std::uint8_t> bytes = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8)};
    PatchBytes(image_, 64 * 512ull + 2 * cluster, bytes);
    PatchBytes(image_, (64ull + spf_) * 512 + 2 * cluster, bytes);
  }
  void SetFirstCluster(std::uint16_t value) {
    PatchBytes(image_, entry_at_ + DIR_FstClusLO, {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8)});
  }
  void ApplyDamage() {
    const Case& c = GetParam();
    const std::uint16_t at = chain_.at(static_cast<std::size_t>(c.at));
    switch (c.damage) {
      case Damage::back_to_first: SetLink(at, chain_.front()); break;
      case Damage::to_itself: SetLink(at, at); break;
      case Damage::to_free: SetLink(at, static_cast<std::uint16_t>(limit_ - 1)); break;
      case Damage::past_the_volume: SetLink(at, static_cast<std::uint16_t>(limit_ + 5)); break;
      case Damage::to_reserved: SetLink(at, 1); break;
      case Damage::to_bad: SetLink(at, 0xFFF7); break;
      case Damage::reserved_high: SetLink(at, 0xFFF0); break;
      case Damage::ends_early: SetLink(at, 0xFFFF); break;
      case Damage::first_zero: SetFirstCluster(0); break;
      case Damage::first_one: SetFirstCluster(1); break;
      case Damage::first_past: SetFirstCluster(static_cast<std::uint16_t>(limit_ + 5)); break;
    }
  }
  void ExpectNothingWritten() { EXPECT_TRUE(ReadFile(image_) == before_) << "a command wrote to the damaged volume"; }

  std::vector<std::uint16_t> chain_;
  std::uint64_t entry_at_ = 0;
  std::uint16_t spf_ = 0;
  std::uint32_t limit_ = 0;
  std::uint16_t d_cluster_ = 0;
  std::string before_;
};

TEST_P(DamagedChains, EveryCommandEndsWith724) {
  if (GetParam().directory) {
    const std::string listing = Run("DIR \\D");
    EXPECT_EQ(Level(), FAT_LINKAGE_ERROR) << listing;
    EXPECT_NE(listing.find("ERROR: Invalid FAT Linkage Detected: "), std::string::npos) << listing;
    // Entry lines carry the name from column 41 on.
    std::map<std::string, int> shown;
    std::istringstream lines(listing);
    for (std::string line; std::getline(lines, line);) {
      if (line.size() <= 41 || line[2] != '.') continue;
      std::string name = line.substr(41);
      name.erase(name.find_last_not_of(' ') + 1);
      ++shown[name];
    }
    EXPECT_FALSE(shown.empty()) << listing;
    for (const auto& [name, times] : shown) EXPECT_EQ(times, 1) << name << " listed " << times << " times";

    std::filesystem::create_directory(Local("out"));
    EXPECT_EQ((Run("COPYSYS2HD \\D\\*.* out"), Level()), FAT_LINKAGE_ERROR);
    EXPECT_TRUE(std::filesystem::is_empty(Local("out"))) << "nothing is copied from a listing cut short";
    EXPECT_EQ((Run("DEL \\D\\*.* -y"), Level()), FAT_LINKAGE_ERROR);
    EXPECT_EQ((Run("MD \\D\\NEW"), Level()), FAT_LINKAGE_ERROR);
    EXPECT_EQ((Run("RD \\D"), Level()), FAT_LINKAGE_ERROR);
    // Names in front of the damage are still found by name.
    const std::string one = Run("TYPE \\D\\F0");
    EXPECT_EQ(Level(), 0) << one;
    ExpectNothingWritten();
    // These change entries as they meet them, the ones in front of the damage included.
    EXPECT_EQ((Run("TOUCH \\D\\*.*"), Level()), FAT_LINKAGE_ERROR);
    EXPECT_EQ((Run("ATTRIB \\D\\*.* +r"), Level()), FAT_LINKAGE_ERROR);
  } else {
    EXPECT_EQ((Run("COPYSYS2HD F.BIN out.bin"), Level()), FAT_LINKAGE_ERROR) << console_.output;
    EXPECT_NE(console_.output.find("[COPYSYS2HD] ERROR: Invalid FAT Linkage Detected: "), std::string::npos)
        << console_.output;
    EXPECT_FALSE(std::filesystem::exists(Local("out.bin")));
    EXPECT_EQ((Run("TYPE F.BIN -b"), Level()), FAT_LINKAGE_ERROR) << console_.output;
    EXPECT_EQ((Run("COPYSYS2SYS F.BIN G.BIN"), Level()), FAT_LINKAGE_ERROR);
    EXPECT_EQ(engine().FindFile(kRootDirectory, "G.BIN").found, false);
    ExpectNothingWritten();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Torbel, DamagedChains,
    ::testing::Values(Case{"DirLoopsBackToItsStart", true, Damage::back_to_first, 2},
                      Case{"DirLastClusterLoopsOnItself", true, Damage::to_itself, 2},
                      Case{"DirMiddleClusterLoopsOnItself", true, Damage::to_itself, 1},
                      Case{"DirLinksToAFreeCluster", true, Damage::to_free, 0},
                      Case{"DirLinksPastTheVolume", true, Damage::past_the_volume, 0},
                      Case{"DirLinksToReservedOne", true, Damage::to_reserved, 1},
                      Case{"DirLinksToABadCluster", true, Damage::to_bad, 1},
                      Case{"DirLinksToReservedHigh", true, Damage::reserved_high, 1},
                      Case{"FileLoopsBackWithinItsSize", false, Damage::back_to_first, 2},
                      Case{"FileClusterLoopsOnItselfWithinItsSize", false, Damage::to_itself, 4},
                      Case{"FileLinksToAFreeCluster", false, Damage::to_free, 1},
                      Case{"FileLinksPastTheVolume", false, Damage::past_the_volume, 1},
                      Case{"FileLinksToReservedOne", false, Damage::to_reserved, 0},
                      Case{"FileLinksToABadCluster", false, Damage::to_bad, 3},
                      Case{"FileChainEndsBeforeItsSize", false, Damage::ends_early, 2},
                      Case{"FileStartsAtClusterZeroWithData", false, Damage::first_zero, 0},
                      Case{"FileStartsAtClusterOne", false, Damage::first_one, 0},
                      Case{"FileStartsPastTheVolume", false, Damage::first_past, 0}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace partshell::testing
