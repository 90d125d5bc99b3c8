// The bundled sample package's CD section, built the way the front end asks
// for it: a hard-disk-emulation CD whose boot volume holds the package and
// whose only visible file is the package's readme.
#include <gtest/gtest.h>
#include <unistd.h>

#include "iso_test_support.h"
#include "test_support.h"

namespace {

namespace fs = vtest::fs;

TEST(IsoSamplePackage, CdSectionBuildsABootableCd) {
  const fs::path built = fs::path(BINARY_DIR) / "package";
  ASSERT_TRUE(fs::exists(built / "DD.CFG")) << "the sample package was not built (target sample_package)";
  vtest::TempDir dir;
  const fs::path package = dir.path() / "package";
  fs::copy(built, package, fs::copy_options::recursive);
  vtest::TempDir expected;
  fs::copy(built, expected.path(), fs::copy_options::recursive);
  fs::remove(expected.path() / "MBR.BIN");
  fs::remove(expected.path() / "BOOTSECT.BIN");
  const std::string image = dir / "cd.iso";

  char cwd[4096];
  ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(::chdir(package.string().c_str()), 0);
  const vtest::RunResult run = vtest::Run({"dd.cfg", "CD", "-vA05", "-NORVO_A05", "-i" + image});
  ASSERT_EQ(::chdir(cwd), 0);
  ASSERT_EQ(run.code, 0);

  std::string info;
  ASSERT_EQ(vtest::Shell("isoinfo -d -i " + vtest::Quote(image), &info), 0);
  // The volume id given on the command line beats the section's.
  EXPECT_EQ(isotest::ValueAfter(info, "Volume id:"), "ORVO_A05");
  EXPECT_EQ(isotest::ValueAfter(info, "Publisher id:"), "Orvo Systems");
  EXPECT_EQ(isotest::ValueAfter(info, "Boot media"), "4 (Hard Disk Emulation)");

  const std::string bootoff = isotest::ValueAfter(info, "Bootoff");
  const std::uint64_t bootSector = std::stoull(bootoff.substr(0, bootoff.find(' ')), nullptr, 16);
  const std::uint64_t volume = bootSector * 2048;
  const std::vector<std::uint8_t> mbr = isotest::ReadRange(image, volume, 512);
  ASSERT_EQ(mbr.size(), 512u);
  EXPECT_EQ(isotest::ValueAfter(info, "Sys type"), std::to_string(mbr[0x1C2]));

  std::string readme;
  ASSERT_EQ(vtest::Shell("isoinfo -i " + vtest::Quote(image) + " -x '/README.TXT;1'", &readme), 0);
  const std::vector<std::uint8_t> original = vtest::ReadBytes(package / "readme.txt");
  EXPECT_EQ(readme, std::string(original.begin(), original.end()));

  const std::uint64_t hidden = vtest::Le32(mbr, 0x1C6);
  const std::string fat = vtest::ExtractVolume(image, volume + hidden * 512, dir);
  const auto root = vtest::RootEntries(vtest::ReadBytes(fat));
  ASSERT_FALSE(root.empty());
  EXPECT_EQ(root[0].name11, "ORVOBOOTSYS");
  vtest::ExpectVolumeHolds(fat, expected.path());
}

}  // namespace
