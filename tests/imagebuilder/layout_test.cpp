// Volume sizing: the diskette presets, both sizing rules at their
// boundaries, geometry, and the exit codes of sizes that cannot be built.
#include <gtest/gtest.h>

#include "imagebuilder/build_context.h"
#include "imagebuilder/fat/fat_volume.h"
#include "imagebuilder/settings.h"
#include "test_support.h"

namespace {

using vtest::Bpb;
using vtest::Package;

// Parses and lays out without writing anything.
struct LayoutRun {
  int code = 0;
  imagebuilder::Settings settings;
  imagebuilder::Layout layout;
};

LayoutRun ComputeOnly(const std::vector<std::string>& args) {
  LayoutRun r;
  imagebuilder::SystemHost system = imagebuilder::MakeSystemHost();
  vtest::TestClock clock;
  vtest::CaptureConsole console;
  const imagebuilder::Host host{*system.tree, *system.image, clock, console};
  imagebuilder::BuildContext ctx(r.settings, host);
  imagebuilder::SettingsParser parser(r.settings, [&ctx](int c) { ctx.ReportError(c); });
  std::vector<const char*> argv{"vellix"};
  for (const auto& a : args) argv.push_back(a.c_str());
  if (!parser.parse(static_cast<int>(argv.size()), argv.data())) {
    r.code = ctx.ReportError(42);
    return r;
  }
  ctx.layout.bootMediaType = r.settings.bootMediaType;
  imagebuilder::ComputeLayout(ctx);
  r.code = ctx.code();
  r.layout = ctx.layout;
  return r;
}

// Builds, then checks the volume with fsck.fat and returns its boot sector.
Bpb BuildChecked(const Package& pkg, const std::vector<std::string>& more,
                 std::size_t offset = 0) {
  const vtest::RunResult r = vtest::Run(pkg.Args(more));
  EXPECT_EQ(r.code, 0) << r.output;
  const std::string volume = vtest::ExtractVolume(pkg.image, offset, pkg.dir);
  std::string report;
  EXPECT_TRUE(vtest::FsckClean(volume, &report)) << report;
  return vtest::ReadBpb(pkg.Image(), offset);
}

struct DisketteRow {
  int kb;
  std::uint32_t sectors, rootSectors, spc, fatSize, clusters;
  std::uint8_t media;
};

class DisketteLayout : public ::testing::TestWithParam<DisketteRow> {};

TEST_P(DisketteLayout, MatchesTheTableAndIsACleanVolume) {
  const DisketteRow row = GetParam();
  Package pkg;
  pkg.File("DIAG.EXE", 20000);
  pkg.File("SUB/DATA.BIN", 3000, 2);
  const Bpb bpb = BuildChecked(pkg, {"-T", std::to_string(row.kb), "-z"});
  EXPECT_EQ(bpb.totalSectors(), row.sectors);
  EXPECT_EQ(bpb.rootSectors(), row.rootSectors);
  EXPECT_EQ(bpb.sectorsPerCluster, row.spc);
  EXPECT_EQ(bpb.fatSize, row.fatSize);
  EXPECT_EQ(bpb.clusterCount(), row.clusters);
  // No leftover: the clusters end exactly at the last sector.
  EXPECT_EQ(bpb.firstDataSector() + row.clusters * row.spc, row.sectors);
  EXPECT_EQ(bpb.media, row.media);
  EXPECT_EQ(bpb.reserved, 1);
  EXPECT_EQ(bpb.numFats, 2);
  EXPECT_EQ(bpb.hidden, 0u);
  EXPECT_EQ(bpb.heads, 2);
  EXPECT_EQ(bpb.driveNumber, 0);
  EXPECT_EQ(bpb.fsType, "FAT12   ");
  EXPECT_EQ(pkg.Image().size(), row.sectors * 512u);
  vtest::ExpectVolumeHolds(pkg.image, pkg.root);
}

INSTANTIATE_TEST_SUITE_P(Presets, DisketteLayout,
                         ::testing::Values(DisketteRow{360, 720, 7, 2, 2, 354, 0xFD},
                                           DisketteRow{720, 1440, 7, 2, 3, 713, 0xF9},
                                           DisketteRow{1200, 2400, 14, 1, 7, 2371, 0xF9},
                                           DisketteRow{1440, 2880, 14, 1, 9, 2847, 0xF0},
                                           DisketteRow{2880, 5760, 15, 2, 9, 2863, 0xF0},
                                           DisketteRow{3840, 7680, 15, 2, 12, 3820, 0xF0}));

TEST(FixedSize, GeometryChosenFromTheSectorCount) {
  Package pkg;
  LayoutRun r = ComputeOnly(pkg.Args({"-t", "2000000"}));
  ASSERT_EQ(r.code, 0);
  EXPECT_EQ(r.settings.secPerTrack, 32);
  EXPECT_EQ(r.settings.heads, 64);
  EXPECT_EQ(r.settings.cylinders, 977);

  r = ComputeOnly(pkg.Args({"-t", "4000000"}));
  ASSERT_EQ(r.code, 0);
  EXPECT_EQ(r.settings.secPerTrack, 32);
  EXPECT_EQ(r.settings.heads, 64);
  EXPECT_EQ(r.settings.cylinders, 0);  // 1954 does not fit and is not stored
  EXPECT_EQ(r.layout.sectorsPerCluster, 64);

  r = ComputeOnly(pkg.Args({"-t", "2000001"}));  // not a multiple of 32
  ASSERT_EQ(r.code, 0);
  EXPECT_EQ(r.settings.secPerTrack, 63);
}

TEST(FixedSize, SizeLimitsAndGeometryConflicts) {
  Package pkg;
  EXPECT_EQ(ComputeOnly(pkg.Args({"-t", "4128769"})).code, 81);
  EXPECT_EQ(ComputeOnly(pkg.Args({"-t", "4128768"})).code, 0);
  EXPECT_EQ(ComputeOnly(pkg.Args({"-C", "10", "-H", "2", "-S", "9", "-t", "200"})).code, 34);
  EXPECT_EQ(ComputeOnly(pkg.Args({"-C", "10", "-H", "2", "-S", "9", "-t", "180", "-y", "12"})).code,
            0);
  EXPECT_EQ(ComputeOnly(pkg.Args({"-t", "8000"})).code, 80);  // FAT16 needs 4101 clusters
  EXPECT_EQ(ComputeOnly(pkg.Args({"-t", "100000", "-C", "1"})).code, 23);
  EXPECT_EQ(ComputeOnly(pkg.Args({"-t", "10", "-y", "12"})).code, 78);  // no room for a cluster
  EXPECT_EQ(ComputeOnly(pkg.Args({"-t", "10"})).code, 80);
}

TEST(FixedSize, NoImageFileWhenTheLayoutFails) {
  Package pkg;
  EXPECT_EQ(vtest::Run(pkg.Args({"-t", "8000"})).code, 80);
  EXPECT_FALSE(vtest::fs::exists(pkg.image));
}

// Every sector count in a window around a cluster-count threshold either
// builds a volume fsck.fat accepts, of the FAT type its cluster count
// implies, or is refused with the expected code.
void SweepFixedSizes(const std::vector<std::string>& options, std::uint32_t from,
                     std::uint32_t to, std::uint32_t step, int refusedCode) {
  Package pkg;
  pkg.File("A.BIN", 1500);
  int built = 0;
  int refused = 0;
  for (std::uint32_t n = from; n <= to; n += step) {
    std::vector<std::string> more = options;
    more.push_back("-t");
    more.push_back(std::to_string(n));
    const vtest::RunResult r = vtest::Run(pkg.Args(more));
    if (r.code != 0) {
      EXPECT_EQ(r.code, refusedCode) << "sectors " << n;
      ++refused;
      continue;
    }
    ++built;
    const Bpb bpb = vtest::ReadBpb(pkg.Image());
    const std::uint32_t clusters = bpb.clusterCount();
    EXPECT_EQ(bpb.fsType, clusters < 4085 ? "FAT12   " : "FAT16   ") << "sectors " << n;
    // The FAT holds an entry for every cluster number.
    const std::uint32_t bits = clusters < 4085 ? 12 : 16;
    EXPECT_LE(clusters + 2, bpb.fatSize * 512u * 8 / bits) << "sectors " << n;
    const std::string volume = vtest::ExtractVolume(pkg.image, 0, pkg.dir);
    std::string report;
    EXPECT_TRUE(vtest::FsckClean(volume, &report)) << "sectors " << n << "\n" << report;
  }
  EXPECT_GT(built, 0);
  EXPECT_GT(refused, 0);
}

TEST(FixedSizeSweep, Fat12UpperThresholdWithOneSectorClusters) {
  // 4085 clusters would make the volume FAT16 by its count.
  SweepFixedSizes({"-y", "12", "-c", "1"}, 4100, 4160, 1, 21);
}

TEST(FixedSizeSweep, Fat16LowerThreshold) {
  SweepFixedSizes({"-c", "1"}, 4150, 4190, 1, 80);
}

TEST(FixedSizeSweep, Fat16UpperThreshold) {
  SweepFixedSizes({"-c", "1"}, 66020, 66100, 2, 21);
}

TEST(FixedSizeSweep, FatSizeExactlyFilledByTheEstimate) {
  // 33 + k * 258 sectors: the first estimate leaves no FAT entry for the last two clusters.
  Package pkg;
  for (std::uint32_t k : {20u, 40u, 200u}) {
    const std::uint32_t n = 33 + k * 258;
    const Bpb bpb = BuildChecked(pkg, {"-c", "1", "-t", std::to_string(n)});
    EXPECT_LE(bpb.clusterCount() + 2, bpb.fatSize * 256u);
  }
}

TEST(FileSized, HardDiskImageBehindAnMbrEndsOnACylinder) {
  Package pkg;
  pkg.File("BIG.BIN", 3 * 1024 * 1024);
  pkg.File("DIR/SMALL.TXT", 10);
  const vtest::RunResult r = vtest::Run(pkg.Args({"-m", pkg.mbr, "-z"}));
  ASSERT_EQ(r.code, 0) << r.output;
  const auto image = pkg.Image();
  const Bpb bpb = vtest::ReadBpb(image, 63 * 512);
  EXPECT_EQ(bpb.secPerTrack, 63);
  EXPECT_EQ(bpb.hidden, 63u);
  EXPECT_EQ(bpb.heads, 16);
  EXPECT_EQ(bpb.driveNumber, 0x80);
  EXPECT_EQ((bpb.totalSectors() + 63) % (16 * 63), 0u);
  EXPECT_EQ(image.size(), (bpb.totalSectors() + 63) * 512u);
  EXPECT_EQ(bpb.fsType, "FAT16   ");
  EXPECT_GE(bpb.clusterCount(), 4101u);
  vtest::ExpectVolumeHolds(vtest::ExtractVolume(pkg.image, 63 * 512, pkg.dir), pkg.root);
}

TEST(FileSized, Fat12MovesToLargerClustersAsTheTreeGrows) {
  Package pkg;
  pkg.File("ONE.BIN", 5 * 1024 * 1024);  // 10240 sectors: too many clusters of 2 sectors
  const Bpb bpb = BuildChecked(pkg, {"-y", "12", "-z"});
  EXPECT_EQ(bpb.sectorsPerCluster, 4);
  EXPECT_LT(bpb.clusterCount(), 4069u);
  vtest::ExpectVolumeHolds(pkg.image, pkg.root);
}

TEST(FileSized, NoCylinderRoundingSizesExactly) {
  Package pkg;
  pkg.File("A.BIN", 100000);
  const LayoutRun r = ComputeOnly(pkg.Args({"-n", "-y", "12"}));
  ASSERT_EQ(r.code, 0);
  // 2 spare clusters plus the file's 98 clusters of 2 sectors.
  EXPECT_EQ(r.layout.clusterCount, 100u);
  EXPECT_EQ(r.settings.numSectors, 1 + 2 * r.layout.fatSize + 32 + 200u);
  BuildChecked(pkg, {"-n", "-y", "12", "-z"});
}

TEST(FileSized, TreesTooLargeForTheFatType) {
  Package pkg;
  // Sparse files: only their sizes matter, the layout refuses them before copying.
  vtest::WriteText(pkg.root / "HUGE.BIN", "");
  vtest::fs::resize_file(pkg.root / "HUGE.BIN", 140ull * 1024 * 1024);
  EXPECT_EQ(ComputeOnly(pkg.Args({"-y", "12"})).code, 21);
  // Fits 64-sector clusters of FAT16, but not in 4128768 sectors.
  vtest::fs::resize_file(pkg.root / "HUGE.BIN", 2030ull * 1024 * 1024);
  EXPECT_EQ(ComputeOnly(pkg.Args({})).code, 81);
}

TEST(FileSized, ExtendedPartitionLayout) {
  Package pkg;
  pkg.File("A.BIN", 70000);
  const vtest::RunResult r = vtest::Run(pkg.Args({"-m", pkg.mbr, "-X", "-z"}));
  ASSERT_EQ(r.code, 0);
  const auto image = pkg.Image();
  const Bpb bpb = vtest::ReadBpb(image, 63 * 512);
  EXPECT_EQ(bpb.heads, 255);
  EXPECT_EQ(bpb.secPerTrack, 63);
  EXPECT_EQ(image[0x1BE + 4], 0x0E);  // FAT16 LBA
  EXPECT_EQ(image[0x1BE + 5], 254);   // end head = heads - 1
  EXPECT_EQ(image[0x1BE + 6] & 0x3F, 63);
  vtest::ExpectVolumeHolds(vtest::ExtractVolume(pkg.image, 63 * 512, pkg.dir), pkg.root);
}

TEST(ImageSize, WithoutZeroDataTheFileEndsAtTheLastCluster) {
  Package pkg;
  pkg.File("A.BIN", 1000);
  ASSERT_EQ(vtest::Run(pkg.Args({"-T1440"})).code, 0);
  const Bpb bpb = vtest::ReadBpb(pkg.Image());
  // File A takes clusters 2 and 3 (1 sector each).
  EXPECT_EQ(pkg.Image().size(), (bpb.firstDataSector() + 2) * 512u);
  ASSERT_EQ(vtest::Run(pkg.Args({"-T1440", "-z"})).code, 0);
  EXPECT_EQ(pkg.Image().size(), 2880u * 512);
}

TEST(ImageSize, PartitionSizeLimitsTheVolume) {
  Package pkg;
  pkg.File("A.BIN", 5000);
  const vtest::RunResult r =
      vtest::Run(pkg.Args({"-m", pkg.mbr, "-t", "100000", "-p", "50000", "-z"}));
  ASSERT_EQ(r.code, 0);
  const auto image = pkg.Image();
  EXPECT_EQ(image.size(), 100000u * 512);
  const std::uint32_t start = vtest::Le32(image, 0x1BE + 8);
  EXPECT_EQ(start, 32u);  // 100000 is a multiple of 32: 32 sectors per track
  const Bpb bpb = vtest::ReadBpb(image, start * 512);
  EXPECT_LE(bpb.totalSectors(), 50000u - start);
  EXPECT_GT(bpb.totalSectors(), 50000u - start - 64);
  EXPECT_EQ(vtest::Le32(image, 0x1BE + 12), bpb.totalSectors());
  vtest::ExpectVolumeHolds(vtest::ExtractVolume(pkg.image, start * 512, pkg.dir), pkg.root);
}

TEST(FatCopies, OneThreeAndLargerSectors) {
  Package pkg;
  pkg.File("A.BIN", 300000);
  pkg.File("B/C.BIN", 7000, 3);
  Bpb bpb = BuildChecked(pkg, {"-F", "1", "-z"});
  EXPECT_EQ(bpb.numFats, 1);
  // fsck.fat knows no third FAT: the copies are compared here.
  ASSERT_EQ(vtest::Run(pkg.Args({"-F", "3", "-z"})).code, 0);
  bpb = vtest::ReadBpb(pkg.Image());
  EXPECT_EQ(bpb.numFats, 3);
  const auto image = pkg.Image();
  const std::size_t fat = bpb.reserved * 512u;
  const std::size_t len = bpb.fatSize * 512u;
  for (int copy = 1; copy < 3; ++copy) {
    EXPECT_TRUE(std::equal(image.begin() + fat, image.begin() + fat + len,
                           image.begin() + fat + copy * len));
  }
  for (const char* ss : {"1024", "2048", "4096"}) {
    vtest::WriteBytes(pkg.bs, vtest::BootRecord(std::stoul(ss)));
    bpb = BuildChecked(pkg, {"-s", ss, "-z", "-y", "12"});
    EXPECT_EQ(bpb.bytesPerSector, std::stoul(ss));
  }
}

TEST(FatTable, EntriesPackAndReadBackWithoutTouchingTheirNeighbours) {
  using imagebuilder::GetFatEntry;
  using imagebuilder::SetFatEntry;
  // The head of a FAT12 volume on a 1.44 MB diskette with one file of two clusters.
  std::vector<std::uint8_t> fat(imagebuilder::FatBytes(12, 4), 0);
  for (const auto& [n, v] : {std::pair{0u, 0xFFF0u}, {1u, 0xFFFFu}, {2u, 3u}, {3u, 0xFFFu}}) {
    SetFatEntry(fat, 12, n, static_cast<std::uint16_t>(v));
  }
  EXPECT_EQ(fat, (std::vector<std::uint8_t>{0xF0, 0xFF, 0xFF, 0x03, 0xF0, 0xFF}));
  for (std::uint8_t type : {12, 16}) {
    const std::uint16_t mask = type == 12 ? 0x0FFF : 0xFFFF;
    std::vector<std::uint8_t> table(imagebuilder::FatBytes(type, 9), 0);
    auto value = [](std::uint32_t n) { return static_cast<std::uint16_t>(0xA5C3 ^ (n * 0x1111)); };
    for (std::uint32_t n = 0; n < 9; ++n) SetFatEntry(table, type, n, value(n));
    SetFatEntry(table, type, 4, 0);
    for (std::uint32_t n = 0; n < 9; ++n) {
      EXPECT_EQ(GetFatEntry(table, type, n), n == 4 ? 0 : value(n) & mask) << int(type) << " entry " << n;
    }
  }
}

}  // namespace
