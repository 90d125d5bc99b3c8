// The bundled sample package: every FAT section of its DD.CFG builds a
// clean volume that holds the package tree.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <regex>

#include "test_support.h"

namespace {

namespace fs = vtest::fs;

// The first group of `pattern` in `text`; "" when it does not match.
std::string Find(const std::string& text, const std::string& pattern) {
  std::smatch m;
  return std::regex_search(text, m, std::regex(pattern)) ? m[1].str() : std::string();
}

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
  vtest::RunResult RunInPackage(const std::vector<std::string>& args) {
    char cwd[4096];
    EXPECT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    EXPECT_EQ(::chdir(package_.string().c_str()), 0);
    const vtest::RunResult r = vtest::Run(args);
    EXPECT_EQ(::chdir(cwd), 0);
    return r;
  }
  int Build(const std::vector<std::string>& args) { return RunInPackage(args).code; }

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

// At DebugLevel status the build says what it made, and its figures are the ones
// fsck.fat, mtools and isoinfo read from the image; at the default level only
// the banner is printed.
TEST_F(SamplePackage, SummaryAtDebugLevelStatusAgreesWithTheCheckers) {
  int files = 0, directories = 0;
  for (const auto& [name, bytes] : vtest::TreeContents(expected_.path())) {
    ++(name.back() == '/' ? directories : files);
  }
  for (const std::string section : {"DISKETTE", "HDD", "CD"}) {
    SCOPED_TRACE(section);
    const vtest::RunResult r =
        RunInPackage({"dd.cfg", section, "-vA05", "-dstatus", "-i" + image_});
    ASSERT_EQ(r.code, 0) << r.errors;
    std::string iso, fsck, mdir;
    std::vector<std::string> lines;
    std::size_t volume = 0;
    if (section == "CD") {
      vtest::Shell("isoinfo -d -i " + vtest::Quote(image_), &iso);
      EXPECT_NE(iso.find("Boot media 4 (Hard Disk Emulation)"), std::string::npos);
      const std::string boot = Find(iso, "Bootoff [0-9A-F]+ (\\d+)");
      lines = {"ISO 9660 image of " + Find(iso, "Volume size is: (\\d+)") + " sectors of 2048",
               "entry: hard disk emulation, boot image at sector " + boot + ","};
      volume = std::stoul(boot) * 2048;
    }
    if (section != "DISKETTE") volume += 512u * vtest::Le32(vtest::ReadBytes(image_), volume + 0x1C6);
    const std::string fat = vtest::ExtractVolume(image_, volume, dir_);
    vtest::Shell("fsck.fat -n -v " + vtest::Quote(fat), &fsck);
    vtest::Shell("mdir -i " + vtest::Quote(fat) + " ::", &mdir);
    std::string freeBytes = Find(mdir, "([0-9 ]+) bytes free");
    freeBytes.erase(std::remove(freeBytes.begin(), freeBytes.end(), ' '), freeBytes.end());
    // fsck.fat counts the directories and the volume label among the files.
    EXPECT_EQ(Find(fsck, ": (\\d+) files, "), std::to_string(files + directories + 1));
    lines.push_back("\n" + Find(fsck, " files, \\d+/(\\d+) clusters") + " clusters of " +
                    Find(fsck, "(\\d+) bytes per cluster") + " bytes");
    lines.push_back("placed " + std::to_string(files) + " files (");
    lines.push_back(" and " + std::to_string(directories) + " directories in " +
                    Find(fsck, " files, (\\d+)/") + " clusters\n");
    lines.push_back(" bytes used, " + freeBytes + " bytes free\n");
    for (const std::string& line : lines) {
      EXPECT_NE(r.output.find(line), std::string::npos) << line << r.output << iso << fsck << mdir;
    }
  }
  const vtest::RunResult quiet = RunInPackage({"dd.cfg", "HDD", "-vA05", "-i" + image_});
  EXPECT_EQ(quiet.output, "\nVellix 3.2.5 (Lite)\n\n");
}

}  // namespace
