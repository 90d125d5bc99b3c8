// The master boot record, the boot sector's parameter block and the loader
// sectors, checked byte for byte and with sfdisk.
#include <gtest/gtest.h>

#include <cstring>

#include "test_support.h"

namespace {

using vtest::Bpb;
using vtest::Package;

constexpr std::size_t kEntry = 0x1BE;

TEST(Mbr, PartitionEntryMatchesTheVolumeAndSfdiskReadsIt) {
  Package pkg;
  pkg.File("A.BIN", 200000);
  vtest::WriteBytes(pkg.mbr, [] {
    auto b = vtest::BootRecord();
    for (std::size_t i = 0x1AE; i < 0x1FE; ++i) b[i] = 0xEE;  // stale table: must be cleared
    b[0x10] = 0x77;                                            // boot code: must be kept
    return b;
  }());
  ASSERT_EQ(vtest::Run(pkg.Args({"-m", pkg.mbr, "-z"})).code, 0);
  const auto image = pkg.Image();
  const Bpb bpb = vtest::ReadBpb(image, 63 * 512);
  EXPECT_EQ(image[0x10], 0x77);
  EXPECT_EQ(image[kEntry + 0], 0x80);
  EXPECT_EQ(image[kEntry + 1], 1);
  EXPECT_EQ(image[kEntry + 2], 1);
  EXPECT_EQ(image[kEntry + 3], 0);
  EXPECT_EQ(image[kEntry + 4], 0x04);  // FAT16 below 65536 sectors
  EXPECT_EQ(vtest::Le32(image, kEntry + 8), 63u);
  EXPECT_EQ(vtest::Le32(image, kEntry + 12), bpb.totalSectors());
  const std::uint32_t last = bpb.totalSectors() + 63 - 1;
  const std::uint32_t perCylinder = bpb.heads * 63u;
  EXPECT_EQ(image[kEntry + 5], (last % perCylinder) / 63);
  EXPECT_EQ(image[kEntry + 6] & 0x3F, (last % perCylinder) % 63 + 1);
  EXPECT_EQ(image[kEntry + 7], (last / perCylinder) & 0xFF);
  for (std::size_t i = 0x1AE; i < kEntry; ++i) EXPECT_EQ(image[i], 0) << i;
  for (std::size_t i = kEntry + 16; i < 0x1FE; ++i) EXPECT_EQ(image[i], 0) << i;

  std::string dump;
  ASSERT_EQ(vtest::Shell("sfdisk -d " + vtest::Quote(pkg.image), &dump), 0);
  EXPECT_NE(dump.find("start=          63, size=" ), std::string::npos) << dump;
  EXPECT_NE(dump.find("type=4, bootable"), std::string::npos) << dump;
  std::string verify;
  EXPECT_EQ(vtest::Shell("sfdisk -V " + vtest::Quote(pkg.image), &verify), 0) << verify;
}

TEST(Mbr, PartitionTypeByClusterCountAndSize) {
  Package pkg;
  pkg.File("A.BIN", 1000);
  struct Case {
    std::vector<std::string> options;
    std::uint8_t type;
  } cases[] = {
      {{"-y", "12"}, 0x01},
      {{}, 0x04},
      {{"-t", "4000000"}, 0x06},
      {{"-X"}, 0x0E},
      {{"-a", "222"}, 0xDE},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.options;
    args.insert(args.end(), {"-m", pkg.mbr});
    ASSERT_EQ(vtest::Run(pkg.Args(args)).code, 0);
    EXPECT_EQ(pkg.Image()[kEntry + 4], c.type);
    pkg.ExpectHoldsTree();
  }
}

TEST(Mbr, LargeFlashVolume) {
  Package pkg;
  pkg.File("A.BIN", 1000);
  ASSERT_EQ(vtest::Run(pkg.Args({"-m", pkg.mbr, "-t", "4000000"})).code, 0);
  const auto image = pkg.Image();
  const Bpb bpb = vtest::ReadBpb(image, 32 * 512);
  EXPECT_EQ(bpb.sectorsPerCluster, 64);
  EXPECT_EQ(bpb.hidden, 32u);
  EXPECT_EQ(bpb.heads, 64);
  EXPECT_EQ(bpb.total16, 0);
  EXPECT_EQ(bpb.total32, 4000000u - 32);
  EXPECT_EQ(bpb.fsType, "FAT16   ");
  vtest::ExpectVolumeHolds(vtest::ExtractVolume(pkg.image, 32 * 512, pkg.dir), pkg.root);
}

TEST(Mbr, ProcessTagCopiesTheEntry) {
  Package pkg;
  pkg.File("A.BIN", 1000);
  ASSERT_EQ(vtest::Run(pkg.Args({"-m", pkg.mbr, "-D"})).code, 0);
  const auto image = pkg.Image();
  EXPECT_EQ(std::string(image.begin() + 0x1A3, image.begin() + 0x1AE), "OrvoProcess");
  EXPECT_TRUE(std::equal(image.begin() + 0x1AE, image.begin() + 0x1BE, image.begin() + kEntry));
  pkg.ExpectHoldsTree();
}

TEST(Mbr, RefusedFiles) {
  Package pkg;
  pkg.File("A.BIN", 10);
  vtest::WriteBytes(pkg.mbr, vtest::BootRecord(511));
  EXPECT_EQ(vtest::Run(pkg.Args({"-m", pkg.mbr})).code, 6);
  vtest::WriteBytes(pkg.mbr, vtest::BootRecord(1024));
  EXPECT_EQ(vtest::Run(pkg.Args({"-m", pkg.mbr})).code, 6);
  vtest::WriteBytes(pkg.mbr, vtest::BootRecord(512, false));
  EXPECT_EQ(vtest::Run(pkg.Args({"-m", pkg.mbr})).code, 7);
  EXPECT_EQ(vtest::Run(pkg.Args({"-m", pkg.dir / "none.bin"})).code, 4);
  vtest::WriteBytes(pkg.mbr, vtest::BootRecord());
  EXPECT_EQ(vtest::Run(pkg.Args({"-m", pkg.mbr, "-T1440"})).code, 75);
}

TEST(BootSector, ParameterBlockFields) {
  Package pkg;
  pkg.File("A.BIN", 1000);
  ASSERT_EQ(vtest::Run(pkg.Args({"-T1440", "-z", "-O", "ORVO", "-V", "305419896", "-v", "Diag a05"}))
                .code,
            0);
  const auto image = pkg.Image();
  const Bpb bpb = vtest::ReadBpb(image);
  EXPECT_EQ(image[0], 0xEB);  // the file's jump is kept
  EXPECT_EQ(bpb.oemName, "ORVO    ");
  EXPECT_EQ(bpb.bytesPerSector, 512);
  EXPECT_EQ(bpb.rootEntries, 224);
  EXPECT_EQ(bpb.total16, 2880);
  EXPECT_EQ(bpb.total32, 0u);
  EXPECT_EQ(bpb.secPerTrack, 18);
  EXPECT_EQ(bpb.bootSignature, 0x29);
  EXPECT_EQ(bpb.volumeId, 0x12345678u);
  EXPECT_EQ(bpb.label, "DIAG A05   ");
  EXPECT_EQ(image[510], 0x55);
  EXPECT_EQ(image[511], 0xAA);
  std::string info;
  vtest::Shell("minfo -i " + vtest::Quote(pkg.image) + " ::", &info);
  EXPECT_NE(info.find("serial number: 12345678"), std::string::npos) << info;
  EXPECT_NE(info.find("disk type=\"FAT12   \""), std::string::npos) << info;
  pkg.ExpectHoldsTree();
}

TEST(BootSector, EmptyOemNameKeepsTheFilesBytes) {
  Package pkg;
  auto bs = vtest::BootRecord();
  std::memcpy(&bs[3], "FROMFILE", 8);
  vtest::WriteBytes(pkg.bs, bs);
  ASSERT_EQ(vtest::Run(pkg.Args({"-T1440", "--OemName"})).code, 0);
  EXPECT_EQ(vtest::ReadBpb(pkg.Image()).oemName, "FROMFILE");
  pkg.ExpectHoldsTree();
}

TEST(BootSector, RefusedFiles) {
  Package pkg;
  pkg.File("A.BIN", 10);
  vtest::WriteBytes(pkg.bs, vtest::BootRecord(1024));
  EXPECT_EQ(vtest::Run(pkg.Args({"-T1440"})).code, 11);
  vtest::WriteBytes(pkg.bs, vtest::BootRecord(512, false));
  EXPECT_EQ(vtest::Run(pkg.Args({"-T1440"})).code, 12);
  // Refused before the image file is created.
  EXPECT_FALSE(vtest::fs::exists(pkg.image));
}

TEST(Loader, WrittenBetweenTheMbrAndTheVolume) {
  Package pkg;
  pkg.File("A.BIN", 1000);
  const std::string grub = pkg.dir / "stage.bin";
  auto bytes = vtest::Pattern(62 * 512 - 100, 9);
  vtest::WriteBytes(grub, bytes);
  ASSERT_EQ(vtest::Run(pkg.Args({"-m", pkg.mbr, "-g", grub, "-z"})).code, 0);
  const auto image = pkg.Image();
  bytes[508] = 61;  // sectors after the first
  bytes[512 + 25] = 0;
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), image.begin() + 512));
  for (std::size_t i = 512 + bytes.size(); i < 63 * 512; ++i) ASSERT_EQ(image[i], 0) << i;
  EXPECT_EQ(image[0x43], 0x20);
  EXPECT_EQ(image[0x49], 0x02);
  vtest::ExpectVolumeHolds(vtest::ExtractVolume(pkg.image, 63 * 512, pkg.dir), pkg.root);
}

TEST(Loader, RefusedWhenItReachesTheVolume) {
  Package pkg;
  pkg.File("A.BIN", 1000);
  const std::string grub = pkg.dir / "stage.bin";
  vtest::WriteBytes(grub, vtest::Pattern(63 * 512, 9));
  EXPECT_EQ(vtest::Run(pkg.Args({"-m", pkg.mbr, "-g", grub})).code, 83);
  EXPECT_EQ(vtest::Run(pkg.Args({"-m", pkg.mbr, "-g", pkg.dir / "none"})).code, 82);
  EXPECT_EQ(vtest::Run(pkg.Args({"-T1440", "-g", grub})).code, 83);  // no MBR: no room at all
}

}  // namespace
