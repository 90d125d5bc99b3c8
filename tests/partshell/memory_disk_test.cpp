// The memory disk the fuzz targets run on: the utility disk it formats is one
// that sfdisk, fsck.fat and mtools accept, torbel mounts and writes it, and its
// guard catches every write outside the sectors it allows.
#include <gtest/gtest.h>

#include "disk_test_support.h"
#include "memory_disk.h"
#include "partshell/error_codes.h"

namespace partshell::testing {
namespace {

TEST(MemoryDisk, FormattedUtilityDiskPassesTheIndependentTools) {
  TempDir dir;
  const UtilityDiskLayout layout;
  const std::vector<std::uint8_t> bytes = FormatUtilityDisk(layout);
  const std::string image = dir / "formatted.img";
  WriteFile(image, std::string(bytes.begin(), bytes.end()));
  std::string out;
  ASSERT_EQ(RunTool("sfdisk -d '" + image + "'", &out), 0) << out;
  EXPECT_NE(out.find("start=          63, size=        8000, type=de, bootable"), std::string::npos) << out;
  EXPECT_TRUE(FsckClean(image, layout.partition_start, layout.partition_sectors, &out)) << out;
  ASSERT_EQ(Mtools(image, layout.partition_start, "mdir ::", &out), 0) << out;
  EXPECT_NE(out.find("Volume in drive : is UTILITY"), std::string::npos) << out;

  // torbel on the same bytes in memory: a directory made there reads back with mtools.
  MemoryDisk disk(layout.disk_sectors);
  disk.Place(0, bytes);
  disk.AllowWrites(layout.partition_start, layout.partition_start + layout.partition_sectors - 1);
  MemoryDiskSystem disks(disk);
  CapturingServices services;
  MountedVolume volume(disks, services);
  ASSERT_EQ(volume.MountPartition(MountedDisk::UpRequest()), 0) << services.printed;
  const std::unique_ptr<LocalFiles> files = CreateHostLocalFiles();
  Fat16Engine engine(volume, *files);
  std::string message;
  ASSERT_EQ(engine.MakeDirectory("MADE", message), 0) << message;
  volume.CloseHardDrive();
  const std::vector<std::uint8_t> after = disk.Image(layout.disk_sectors);
  WriteFile(image, std::string(after.begin(), after.end()));
  EXPECT_TRUE(FsckClean(image, layout.partition_start, layout.partition_sectors, &out)) << out;
  ASSERT_EQ(Mtools(image, layout.partition_start, "mdir -b ::", &out), 0) << out;
  EXPECT_NE(out.find("MADE"), std::string::npos) << out;
  disk.Reset();
  EXPECT_TRUE(disk.Image(layout.disk_sectors) == bytes) << "Reset goes back to the placed image";
}

TEST(MemoryDisk, GuardCatchesEveryWriteOutsideTheAllowedSectors) {
  MemoryDisk disk(100);
  disk.Place(10, std::vector<std::uint8_t>(700, 0xAB));
  std::vector<std::uint32_t> caught;
  disk.on_forbidden_write = [&caught](std::uint32_t sector) { caught.push_back(sector); };
  alignas(512) std::uint8_t sector[kSectorSize] = {1};
  EXPECT_EQ(disk.Write(20, sector).status, SectorIoStatus::write_failed) << "no write before one is allowed";
  disk.AllowWrites(20, 30);
  for (std::uint32_t s : {19u, 20u, 30u, 31u, 0u}) disk.Write(s, sector);
  disk.AllowNoWrites();
  disk.Write(25, sector);
  EXPECT_EQ(caught, (std::vector<std::uint32_t>{20, 19, 31, 0, 25}));
  EXPECT_EQ(disk.writes, 2u);
  // Placed bytes, zeros around them, and nothing past the end.
  EXPECT_EQ(disk.Read(11, sector).status, SectorIoStatus::ok);
  EXPECT_EQ(sector[187], 0xAB);
  EXPECT_EQ(sector[188], 0x00);
  EXPECT_EQ(disk.Read(100, sector).status, SectorIoStatus::read_no_data);
}

}  // namespace
}  // namespace partshell::testing
