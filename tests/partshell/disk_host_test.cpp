// The Linux host's disks: TORBEL_DISK stands as physical drive 0.
#include <gtest/gtest.h>

#include <cstdlib>

#include "disk_test_support.h"
#include "partshell/error_codes.h"
#include "partshell/host_disks.h"

namespace partshell::testing {
namespace {

class ScopedDiskVariable {
 public:
  explicit ScopedDiskVariable(const std::string& value) { ::setenv(kDiskOverrideVariable, value.c_str(), 1); }
  ~ScopedDiskVariable() { ::unsetenv(kDiskOverrideVariable); }
};

TEST(HostDisks, TorbelDiskReplacesTheHostsDrivesOnlyWhenNotEmpty) {
  int listed = 0;
  const auto physical = [&listed] {
    ++listed;
    return std::vector<std::string>{"/dev/sda", "/dev/sdb"};
  };
  ::unsetenv(kDiskOverrideVariable);
  HostDriveList drives = ChooseHostDrives(physical);
  EXPECT_EQ(drives.paths, (std::vector<std::string>{"/dev/sda", "/dev/sdb"}));
  EXPECT_FALSE(drives.named_by_variable);
  {
    ScopedDiskVariable empty("");
    EXPECT_EQ(ChooseHostDrives(physical).paths.size(), 2u);
  }
  EXPECT_EQ(listed, 2);
  ScopedDiskVariable named("/images/up.img");
  drives = ChooseHostDrives(physical);
  EXPECT_EQ(drives.paths, (std::vector<std::string>{"/images/up.img"}));
  EXPECT_TRUE(drives.named_by_variable);
  EXPECT_EQ(listed, 2) << "the host's drives are not even listed";
}

TEST(HostDisks, TorbelDiskIsDriveZeroAndTheOnlyDrive) {
  TempDir dir;
  const std::string image = MakeUtilityDisk(dir);
  ScopedDiskVariable variable(image);
  std::unique_ptr<DiskSystem> disks = CreateHostDiskSystem();
  std::uint32_t error = 0;
  EXPECT_NE(disks->OpenDrive(0, error), nullptr);
  for (int n = 1; n < 10; ++n) EXPECT_EQ(disks->OpenDrive(n, error), nullptr) << n;
  EXPECT_EQ(disks->DriveSizeMegabytes(0), 21u);

  CapturingServices out;
  MountedVolume volume(*disks, out);
  ASSERT_EQ(volume.MountPartition(MountedDisk::UpRequest()), 0) << out.printed;
  EXPECT_EQ(volume.drive_name, "\\\\.\\PHYSICALDRIVE0");
  const std::unique_ptr<LocalFiles> files = CreateHostLocalFiles();
  Fat16Engine engine(volume, *files);
  std::string message;
  ASSERT_EQ(engine.MakeDirectory("VIAHOST", message), 0) << message;
  volume.CloseHardDrive();
  std::string listing;
  ASSERT_EQ(Mtools(image, 63, "mdir -b ::", &listing), 0);
  EXPECT_NE(listing.find("VIAHOST"), std::string::npos) << listing;
}

TEST(HostDisks, MissingTorbelDiskFindsNoDrive) {
  TempDir dir;
  ScopedDiskVariable variable(dir / "absent.img");
  std::unique_ptr<DiskSystem> disks = CreateHostDiskSystem();
  CapturingServices out;
  MountedVolume volume(*disks, out);
  EXPECT_EQ(volume.MountPartition(MountedDisk::UpRequest()), UNABLE_TO_OPEN_HARD_DRIVE);
  EXPECT_NE(out.traced.find("[_OpenHardDriveForReadWrite] Unable To Open Drive: \\\\.\\PHYSICALDRIVE0, GetLastError: 2"),
            std::string::npos)
      << out.traced;
}

TEST(HostDisks, SystemMessagesOnLinuxComeFromTheCommonTable) {
  EXPECT_EQ(HostSystemMessage(5), "Access is denied.");
  EXPECT_EQ(HostSystemMessage(87), "The parameter is incorrect.");
  EXPECT_EQ(HostSystemMessage(99999), "");
}

}  // namespace
}  // namespace partshell::testing
