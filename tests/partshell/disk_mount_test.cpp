// Drive scan, partition choice, boot sector checks and the guarded sector I/O.
#include <gtest/gtest.h>

#include <algorithm>

#include "disk_test_support.h"
#include "partshell/error_codes.h"
#include "partshell/volume_partition.h"

namespace partshell::testing {
namespace {

bool HasVariable(const MountedVolume& volume, const std::string& assignment) {
  const std::vector<std::string> published = MountVariables(volume);
  return std::find(published.begin(), published.end(), assignment) != published.end();
}

// Entry 0 in front of the standard table, and the tag that allows it.
void AddVendorEntry(const std::string& image, std::uint8_t type, std::uint32_t start, std::uint32_t count, bool tag) {
  std::vector<std::uint8_t> entry(16, 0);
  entry[4] = type;
  for (int i = 0; i < 4; ++i) {
    entry[8 + i] = static_cast<std::uint8_t>(start >> (8 * i));
    entry[12 + i] = static_cast<std::uint8_t>(count >> (8 * i));
  }
  PatchBytes(image, 0x1AE, entry);
  if (tag) {
    const std::string text = "OrvoVirtual";
    PatchBytes(image, 0x1A3, std::vector<std::uint8_t>(text.begin(), text.end()));
  }
}

TEST(DiskScan, FindsTheDriveWhoseEntryOneIsAUtilityPartition) {
  TempDir dir;
  const std::string other = MakeDisk(dir, "other.img", {FatPartition{63, 4000, "83", 4, 512, false, false}}, 4);
  const std::string up = MakeUtilityDisk(dir);
  CapturingServices out;
  FileDiskSystem disks({other, "", up});
  MountedVolume volume(disks, out);
  ASSERT_EQ(volume.MountPartition(MountedDisk::UpRequest()), 0) << out.printed;
  EXPECT_EQ(volume.drive_name, "\\\\.\\PHYSICALDRIVE2");
  EXPECT_EQ(disks.opened, (std::vector<int>{0, 2}));
  EXPECT_NE(out.traced.find("[OpenHardDriveForReadWrite] The Drive Does NOT Contain A UP"), std::string::npos);
  EXPECT_NE(out.traced.find("[OpenHardDriveForReadWrite] The Drive DOES Contain A UP"), std::string::npos);
}

TEST(DiskScan, NeverTriesDriveTenAndAbove) {
  TempDir dir;
  const std::string up = MakeUtilityDisk(dir);
  std::vector<std::string> paths(11);
  paths[10] = up;
  CapturingServices out;
  FileDiskSystem disks(paths);
  MountedVolume volume(disks, out);
  EXPECT_EQ(volume.MountPartition(MountedDisk::UpRequest()), UNABLE_TO_OPEN_HARD_DRIVE);
  EXPECT_EQ(out.printed,
            "\n[torbel] Unable To Open Hard Drive Device\n"
            "[torbel] Cannot open \\\\.\\PHYSICALDRIVE0: The system cannot find the file specified.\n");
  EXPECT_TRUE(disks.opened.empty());
}

// Disks that open but hold no utility partition are named after the fixed message.
TEST(DiskScan, SaysWhichDisksHeldNoUtilityPartition) {
  TempDir dir;
  const std::string a = MakeDisk(dir, "a.img", {FatPartition{63, 4000, "83", 4, 512, false, false}}, 4);
  const std::string b = MakeDisk(dir, "b.img", {FatPartition{63, 4000, "06", 4, 512, false, false}}, 4);
  CapturingServices out;
  FileDiskSystem disks({a, "", b});
  MountedVolume volume(disks, out);
  EXPECT_EQ(volume.MountPartition(MountedDisk::UpRequest()), UNABLE_TO_OPEN_HARD_DRIVE);
  EXPECT_EQ(out.printed,
            "\n[torbel] Unable To Open Hard Drive Device\n"
            "[torbel] No disk has a partition of type DE in its first standard entry "
            "(tried \\\\.\\PHYSICALDRIVE0, \\\\.\\PHYSICALDRIVE2)\n");
}

TEST(DiskScan, AnnouncesTheDeviceOnlyWhenInteractive) {
  TempDir dir;
  const std::string up = MakeUtilityDisk(dir);
  MountRequest options = MountedDisk::UpRequest();
  options.interactive = true;
  MountedDisk disk(up, options);
  ASSERT_EQ(disk.mount_result, 0);
  EXPECT_EQ(disk.out.printed, "Device:    \\\\.\\PHYSICALDRIVE0\n");
  MountedDisk quiet(up);
  EXPECT_EQ(quiet.out.printed, "");
}

TEST(PartitionChoice, UtilityPartitionMountsWithGeometryAndPublishedVariables) {
  TempDir dir;
  const std::string up = MakeUtilityDisk(dir, 4, 40000, 512);
  MountedDisk disk(up);
  ASSERT_EQ(disk.mount_result, 0) << disk.out.printed;
  const MountedVolume& v = disk.volume;
  EXPECT_EQ(v.partition_index, 1);
  EXPECT_EQ(v.partition_type, 0xDE);
  // Independent figures from minfo.
  std::string info;
  ASSERT_EQ(Mtools(up, 63, "minfo ::", &info), 0);
  EXPECT_NE(info.find("sectors per fat: " + std::to_string(v.sectors_per_fat)), std::string::npos) << info;
  EXPECT_EQ(v.RootDirSector, 63u + 1u + 2u * v.sectors_per_fat);
  EXPECT_EQ(v.FirstDataSector, v.RootDirSector + 32u);
  EXPECT_EQ(v.ClusterLimit, (40000u - 1u - 2u * v.sectors_per_fat - 32u) / 4u + 2u);
  EXPECT_EQ(v.BytesPerCluster, 2048u);
  EXPECT_EQ(v.PartitionEndSector, v.FirstDataSector + (v.ClusterLimit - 2) * 4 - 1);
  EXPECT_LE(v.PartitionEndSector, 63u + 40000u - 1u);
  EXPECT_TRUE(HasVariable(disk.volume, "MOUNTED_PARTITION=1"));
  EXPECT_TRUE(HasVariable(disk.volume, "MOUNTED_PARTITION_TYPE=222"));
  EXPECT_TRUE(HasVariable(disk.volume, "ACTIVE_PARTITION=1"));
  EXPECT_TRUE(HasVariable(disk.volume, "$?=0"));
  EXPECT_TRUE(HasVariable(disk.volume, "ERRORLEVEL=0"));
}

TEST(PartitionChoice, DefaultWantsTheVendorEntryAndNeedsTheTag) {
  TempDir dir;
  const std::string up = MakeUtilityDisk(dir);
  AddVendorEntry(up, 0xDF, 63, 40000, false);
  MountedDisk disk(up, MountRequest{});
  EXPECT_EQ(disk.mount_result, UNABLE_TO_LOCATE_PARTITION);
  EXPECT_EQ(disk.out.printed,
            "\n[torbel] Unable To Locate A Valid Partition To Mount\n  Looked For Partition Number: 0 (HVP)\n");
  EXPECT_FALSE(disk.volume.IsMounted());

  AddVendorEntry(up, 0xDF, 63, 40000, true);
  MountedDisk tagged(up, MountRequest{});
  EXPECT_EQ(tagged.mount_result, 0) << tagged.out.printed;
  EXPECT_EQ(tagged.volume.partition_index, 0);
  EXPECT_EQ(tagged.volume.partition_type, 0xDF);
}

TEST(PartitionChoice, TypeSearchSkipsUntaggedEntryZeroAndTakesTheFirstMatch) {
  TempDir dir;
  FatPartition a{63, 8000, "83", 4, 512, false, false};
  FatPartition b{8063, 20000, "df", 4, 512, false, true};
  FatPartition c{28063, 20000, "df", 4, 512, false, true};
  const std::string image = MakeDisk(dir, "d.img", {a, b, c}, 26);
  PatchBytes(image, 0x1C2, {0xDE});  // entry 1 marks the drive as holding a UP
  AddVendorEntry(image, 0xDF, 28063, 20000, false);
  MountRequest options;
  options.wanted_index = -1;
  options.wanted_type = 0xDF;
  MountedDisk disk(image, options);
  ASSERT_EQ(disk.mount_result, 0) << disk.out.printed;
  EXPECT_EQ(disk.volume.partition_index, 2);
  EXPECT_EQ(disk.volume.partition_start, 8063u);

  options.wanted_type = 0x0C;
  MountedDisk none(image, options);
  EXPECT_EQ(none.mount_result, UNABLE_TO_LOCATE_PARTITION);
  EXPECT_EQ(none.out.printed, "\n[torbel] Unable To Locate A Valid Partition To Mount\n  Looked For Partition Type: C \n");

  MountRequest by_index;
  by_index.wanted_index = 4;
  MountedDisk empty(image, by_index);
  EXPECT_EQ(empty.mount_result, UNABLE_TO_LOCATE_PARTITION);
  EXPECT_EQ(empty.out.printed, "\n[torbel] Unable To Locate A Valid Partition To Mount\n  Looked For Partition Number: 4 \n");
}

struct BootSectorCase {
  const char* name;
  std::vector<std::pair<std::uint32_t, std::vector<std::uint8_t>>> patches;  // offsets within the PBR
  int code;
  const char* message;
};

class BootSectorChecks : public ::testing::TestWithParam<BootSectorCase> {};

TEST_P(BootSectorChecks, RefuseWithTheirCode) {
  TempDir dir;
  const std::string up = MakeUtilityDisk(dir);
  for (const auto& [offset, bytes] : GetParam().patches) PatchBytes(up, 63ull * 512 + offset, bytes);
  MountedDisk disk(up);
  EXPECT_EQ(disk.mount_result, GetParam().code);
  EXPECT_EQ(disk.out.printed, GetParam().message);
  EXPECT_FALSE(disk.volume.IsMounted());
}

INSTANTIATE_TEST_SUITE_P(
    Mount, BootSectorChecks,
    ::testing::Values(
        BootSectorCase{"signature", {{510, {0x55, 0xAB}}}, PARTITION_SIGNATURE_BAD,
                       "\n[torbel] Partition Boot Sector Signature Not Valid\n"},
        BootSectorCase{"signature_before_jump", {{510, {0, 0}}, {0, {0x90}}}, PARTITION_SIGNATURE_BAD,
                       "\n[torbel] Partition Boot Sector Signature Not Valid\n"},
        BootSectorCase{"fat16_then_not_blanks", {{59, {'X', ' ', ' '}}}, PARTITION_NOT_FAT16,
                       "\n[torbel] Partition Boot Sector Does Not Identify Itself As FAT16\n"},
        BootSectorCase{"jump", {{0, {0x90}}}, PARTITION_JUMP_NOT_FOUND,
                       "\n[torbel] Partition Boot Sector Jump Not Valid: 90\n"},
        BootSectorCase{"zero_cluster_size", {{13, {0}}}, PARTITION_NOT_FAT16,
                       "\n[torbel] Partition Boot Sector Geometry Not Valid\n"},
        BootSectorCase{"fat_too_small_for_clusters", {{22, {2, 0}}}, PARTITION_NOT_FAT16,
                       "\n[torbel] Partition Boot Sector Geometry Not Valid\n"},
        BootSectorCase{"sector_size", {{11, {0, 4}}}, PARTITION_NOT_FAT16,
                       "\n[torbel] Partition Boot Sector Geometry Not Valid\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Mount, FatCopiesThatDifferAreRefused) {
  TempDir dir;
  const std::string up = MakeUtilityDisk(dir);
  MountedDisk probe(up);
  ASSERT_EQ(probe.mount_result, 0);
  const std::uint64_t fat2 = (63ull + 1 + probe.volume.sectors_per_fat) * 512;
  PatchBytes(up, fat2 + 10, {0x34, 0x12});
  MountedDisk disk(up);
  EXPECT_EQ(disk.mount_result, FAT_TABLE_COMPARE_FAILED);
  EXPECT_EQ(disk.out.printed, "\n[torbel] FAT Table 1 & 2 Compare Failed\n");
}

TEST(Mount, UnreadableSectorsGiveTheirCodes) {
  TempDir dir;
  const std::string up = MakeUtilityDisk(dir);
  auto failing = [](std::set<std::uint32_t> sectors, unsigned good) {
    return [sectors, good](int, std::unique_ptr<BlockDevice> inner) -> std::unique_ptr<BlockDevice> {
      auto device = std::make_unique<FaultInjectingDevice>(std::move(inner));
      device->failing_reads = sectors;
      device->good_reads_before_failing = good;
      return device;
    };
  };
  MountedDisk mbr(up, MountedDisk::UpRequest(), failing({0}, 1));
  EXPECT_EQ(mbr.mount_result, UNABLE_TO_READ_MBR);
  EXPECT_EQ(mbr.out.printed, "\n[torbel] Error Reading MBR Sector\n");
  EXPECT_NE(mbr.out.traced.find("[ReadHardDriveSector] Unable To Read Sector: 0. Error: 5/739"), std::string::npos);

  MountedDisk pbr(up, MountedDisk::UpRequest(), failing({63}, 0));
  EXPECT_EQ(pbr.mount_result, BOOT_RECORD_LOAD_FAILED);
  EXPECT_EQ(pbr.out.printed, "\n[torbel] Unable To Load Partition Boot Sector\n");

  // A FAT sector that cannot be read fails the mount by itself.
  MountedDisk fat(up, MountedDisk::UpRequest(), failing({64}, 0));
  EXPECT_EQ(fat.mount_result, DISK_ERROR_READING_SECTOR);
  EXPECT_FALSE(fat.volume.IsMounted());
}

TEST(Mount, ActivePartitionIsTheLastActiveOfEntriesZeroToThree) {
  TempDir dir;
  const std::string up = MakeUtilityDisk(dir);
  PatchBytes(up, 0x1BE, {0x00});  // entry 1 not active
  PatchBytes(up, 0x1EE, {0x80});  // only entry 4
  MountedDisk disk(up);
  ASSERT_EQ(disk.mount_result, 0);
  EXPECT_TRUE(HasVariable(disk.volume, "ACTIVE_PARTITION=NONE"));
}

TEST(SectorIo, NoWriteMbrReportsSuccessAndChangesNothing) {
  TempDir dir;
  const std::string up = MakeUtilityDisk(dir);
  MountRequest options = MountedDisk::UpRequest();
  options.no_mbr_write = true;
  MountedDisk disk(up, options);
  ASSERT_EQ(disk.mount_result, 0);
  alignas(512) std::uint8_t ones[512];
  std::fill(std::begin(ones), std::end(ones), 0x11);
  const auto before = ReadBytes(up, 0, 3 * 512);
  for (std::uint32_t s = 0; s <= 2; ++s) EXPECT_EQ(disk.volume.WriteHardDriveSector(s, ones), 0);
  EXPECT_EQ(ReadBytes(up, 0, 3 * 512), before);
  EXPECT_NE(disk.out.traced.find("Prevented Write To MBR Sector # 2 (/NOWRITEMBR)"), std::string::npos);
  EXPECT_EQ(disk.volume.WriteHardDriveSector(3, ones), 0);
  EXPECT_EQ(ReadBytes(up, 3 * 512, 1)[0], 0x11);
}

TEST(SectorIo, WritesToTheFirstSectorsAreAnnounced) {
  TempDir dir;
  const std::string up = MakeUtilityDisk(dir);
  MountedDisk disk(up);
  ASSERT_EQ(disk.mount_result, 0);
  alignas(512) std::uint8_t sector[512];
  ASSERT_EQ(disk.volume.ReadHardDriveSector(1, sector), 0);
  ASSERT_EQ(disk.volume.WriteHardDriveSector(1, sector), 0);
  EXPECT_EQ(disk.out.printed, "Writing To Customer Backup MBR, Sector 1\n");
}

TEST(SectorIo, ReadBeyondTheDiskGivesSeekBeyondEof) {
  TempDir dir;
  const std::string up = MakeUtilityDisk(dir);
  MountedDisk disk(up);
  ASSERT_EQ(disk.mount_result, 0);
  alignas(512) std::uint8_t sector[512];
  EXPECT_EQ(disk.volume.ReadHardDriveSector(10'000'000, sector), DISK_ERROR_SEEK_BEYOND_EOF);
}

// The guards of the sector I/O: each condition comes with its message and its fixed
// exit code, and from then on no transfer reaches the disk, whatever it asks, until
// the shell ends the process with the code.
TEST(SectorIo, FatalConditionsStopEveryLaterTransfer) {
  struct Row {
    const char* what;
    int (*transfer)(MountedVolume&, std::uint8_t* aligned);
    int code;
    const char* printed;
    const char* traced;
  };
  const Row rows[] = {
      {"one past the partition end",
       [](MountedVolume& v, std::uint8_t* s) { return v.WriteHardDriveSector(v.PartitionEndSector + 1, s); }, 762,
       "Write Attempt Beyond End Of Partition.\n", "[WriteHardDriveSector] ERROR - Sector "},
      {"a run past the partition end",
       [](MountedVolume& v, std::uint8_t* s) { return v.WriteHardDriveSectors(v.PartitionEndSector + 1, 2, s); }, 762,
       "Write Attempt Beyond End Of Partition.\n", "Write Attempt Beyond End Of Partition."},
      {"an unaligned read", [](MountedVolume& v, std::uint8_t* s) { return v.ReadHardDriveSector(5, s + 1); }, 254, "",
       "[VerifySectorBufferPointer] Unaligned Sector Pointer Passed To Read or Write: "},
      {"an unaligned write", [](MountedVolume& v, std::uint8_t* s) { return v.WriteHardDriveSector(100, s + 1); },
       254, "", "Unaligned Sector Pointer"},
  };
  TempDir dir;
  const std::string base = MakeUtilityDisk(dir);
  for (const Row& row : rows) {
    const std::string up = dir / "guarded.img";
    std::filesystem::copy_file(base, up, std::filesystem::copy_options::overwrite_existing);
    MountedDisk disk(up);
    ASSERT_EQ(disk.mount_result, 0);
    alignas(512) std::uint8_t sector[1024];
    std::fill(std::begin(sector), std::end(sector), 0xA5);
    const std::uint32_t end = disk.volume.PartitionEndSector;
    EXPECT_EQ(row.transfer(disk.volume, sector), row.code) << row.what;
    EXPECT_EQ(disk.volume.FatalCondition(), row.code) << row.what;
    EXPECT_NE(disk.out.printed.find(row.printed), std::string::npos) << row.what << ": " << disk.out.printed;
    EXPECT_NE(disk.out.traced.find(row.traced), std::string::npos) << row.what << ": " << disk.out.traced;
    EXPECT_EQ(disk.volume.WriteHardDriveSector(end, sector), row.code) << row.what;
    EXPECT_EQ(disk.volume.ReadHardDriveSector(0, sector), row.code) << row.what;
    EXPECT_EQ(ReadBytes(up, 512ull * end, 512), std::vector<std::uint8_t>(512, 0)) << row.what;
  }
  // The last sector of the partition itself is written.
  MountedDisk disk(base);
  alignas(512) std::uint8_t sector[512] = {1};
  EXPECT_EQ(disk.volume.WriteHardDriveSector(disk.volume.PartitionEndSector, sector), 0);
  EXPECT_EQ(disk.volume.FatalCondition(), 0);
}

TEST(BootRecordDisplay, MbrTableShowsEveryEntryAndZeroesEmptyOnes) {
  TempDir dir;
  const std::string up = MakeUtilityDisk(dir);
  PatchBytes(up, 0x1AE, {0x00, 0x01, 0x02, 0x03, 0x00});  // CHS bytes without a type
  MountRequest options = MountedDisk::UpRequest();
  options.show_mbr_only = true;
  MountedDisk disk(up, options);
  EXPECT_EQ(disk.mount_result, 0);
  EXPECT_FALSE(disk.volume.IsMounted());
  std::string sfdisk;
  ASSERT_EQ(RunTool("sfdisk -d '" + up + "'", &sfdisk), 0);
  const std::string& text = disk.out.printed;
  EXPECT_EQ(text.substr(0, 7 + 30), "Device:    \\\\.\\PHYSICALDRIVE0\n\n\nMBR\n\n");
  EXPECT_NE(text.find("     Status     Start-C/H/S     End-C/H/S      Type    SecOffset      SecNums\n" +
                      std::string(78, '-') + "\n"),
            std::string::npos);
  EXPECT_NE(text.find(Format("0        00    %12s  %12s      00   %10ld   %10ld\n", "0/0/0", "0/0/0", 0L, 0L)),
            std::string::npos);
  // Entry 1 as sfdisk made it: start 63, 40000 sectors, active.
  EXPECT_NE(sfdisk.find("start=          63, size=       40000, type=de, bootable"), std::string::npos) << sfdisk;
  EXPECT_NE(text.find("1        80 "), std::string::npos);
  EXPECT_NE(text.find("      DE           63        40000\n"), std::string::npos) << text;
  EXPECT_EQ(text.substr(text.size() - 2), "\n\n");
}

TEST(BootRecordDisplay, MissingSignatureIsReported) {
  TempDir dir;
  const std::string up = MakeUtilityDisk(dir);
  MountedDisk disk(up);
  ASSERT_EQ(disk.mount_result, 0);
  SectorBufferSlot(0)[510] = 0;
  disk.out.printed.clear();
  disk.volume.ShowMbr();
  EXPECT_EQ(disk.out.printed, "Bad MBR Buffer, Missing AA55 ID Byte\n");
}

TEST(BootRecordDisplay, BootSectorFields) {
  TempDir dir;
  const std::string up = MakeUtilityDisk(dir);
  MountedDisk disk(up);
  ASSERT_EQ(disk.mount_result, 0);
  disk.volume.ShowBootSector();
  const std::string& text = disk.out.printed;
  EXPECT_NE(text.find("   bytesPerSector: 0200           volumeLabel: UTILITY    \n"), std::string::npos) << text;
  EXPECT_NE(text.find("   sectPerCluster: 04             fileSysType: FAT16   \n"), std::string::npos);
  EXPECT_NE(text.find("  reservedSectors: 0001                numFAT: 02\n"), std::string::npos);
  EXPECT_NE(text.find("numRootDirEntries: 0200 "), std::string::npos);
  EXPECT_NE(text.find(" numHiddenSectors: 0000003F "), std::string::npos);
  EXPECT_NE(text.find("        signature: 00000029 "), std::string::npos);
}

}  // namespace
}  // namespace partshell::testing
