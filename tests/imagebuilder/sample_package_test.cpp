// The bundled sample package: every FAT section of its DD.CFG builds a
// clean volume that holds the package tree.
#include <gtest/gtest.h>
#include <unistd.h>

#include "test_support.h"

namespace {

namespace fs = vtest::fs;

class SamplePackage : public ::testing::Test {
 protected:
  void SetUp() override {
    const fs::path built = fs::path(BINARY_DIR) / "package";
    ASSERT_TRUE(fs::exists(built / "DD.CFG")) << "the sample package was not built (target sample_package)";
    fs::copy(built, package_, fs::copy_options::recursive);
    // The tree the images must hold: the package without its boot records.
    fs::copy(built, expected_.path(), fs::copy_options::recursive);
    fs::remove(expected_.path() / "MBR.BIN");
    fs::remove(expected_.path() / "BOOTSECT.BIN");
    // What the front end and the partition shell leave in the package folder
    // (tools, logs, batch files, temporary and earlier images) stays out of it.
    for (const char* leftover : {"vellix.exe", "torbel.exe", "ZOLP.exe", "torbel.log", "zolp.log",
                                 "AUTOLOAD.F16", "update.f16", "~DP1A2B.tmp", "OrvoDiag-fd.img",
                                 "OrvoDiag.iso"}) {
      vtest::WriteText(package_ / leftover, "left over by an earlier run\r\n");
    }
  }

  // Runs vellix in the package directory, as the front end does.
  int Build(const std::vector<std::string>& args) {
    char cwd[4096];
    EXPECT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    EXPECT_EQ(::chdir(package_.string().c_str()), 0);
    const vtest::RunResult r = vtest::Run(args);
    EXPECT_EQ(::chdir(cwd), 0);
    return r.code;
  }

  vtest::TempDir dir_;
  fs::path package_ = dir_.path() / "package";
  vtest::TempDir expected_;
  std::string image_ = dir_ / "media.img";
};

TEST_F(SamplePackage, DisketteImage) {
  ASSERT_EQ(Build({"dd.cfg", "DISKETTE", "-vA05", "-i" + image_}), 0);
  EXPECT_EQ(fs::file_size(image_), 1474560u);
  const auto root = vtest::RootEntries(vtest::ReadBytes(image_));
  ASSERT_FALSE(root.empty());
  EXPECT_EQ(root[0].name11, "ORVOBOOTSYS");
  EXPECT_EQ(root[0].cluster, 2);
  vtest::ExpectVolumeHolds(image_, expected_.path());
}

TEST_F(SamplePackage, HardDiskImage) {
  ASSERT_EQ(Build({"dd.cfg", "HDD", "-vA05", "-i" + image_}), 0);
  const auto bytes = vtest::ReadBytes(image_);
  EXPECT_EQ(bytes[0x1BE], 0x80);
  vtest::ExpectVolumeHolds(vtest::ExtractVolume(image_, 63 * 512, dir_), expected_.path());
}

TEST_F(SamplePackage, FlashImageForAGivenDrive) {
  ASSERT_EQ(Build({"dd.cfg", "FLASH", "-vA05", "-t1048576", "-i" + image_}), 0);
  const auto bytes = vtest::ReadBytes(image_);
  EXPECT_EQ(std::string(bytes.begin() + 0x1A3, bytes.begin() + 0x1AE), "OrvoProcess");
  EXPECT_EQ(vtest::Le32(bytes, 0x1BE + 8), 32u);
  vtest::ExpectVolumeHolds(vtest::ExtractVolume(image_, 32 * 512, dir_), expected_.path());
}

TEST_F(SamplePackage, DisketteSet) {
  ASSERT_EQ(Build({"dd.cfg", "Disk1", "-vDISK1", "-i" + image_}), 0);
  const fs::path video = expected_.path() / "DIAGS" / "Video Test Suite";
  vtest::TempDir second;
  fs::copy(video, second.path(), fs::copy_options::recursive);
  fs::remove_all(video);
  vtest::ExpectVolumeHolds(image_, expected_.path());
  ASSERT_EQ(Build({"dd.cfg", "Disk2", "-vDISK2", "-i" + image_}), 0);
  vtest::ExpectVolumeHolds(image_, second.path());
}

}  // namespace
