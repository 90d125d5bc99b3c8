#include <string>
#include <vector>

#include "zolp/tool_runner.h"
#include "zolp_fixture.h"

namespace zolp {
namespace {

using testing::ReadFile;

constexpr WindowRef kDialog = 0x1234;

class ImageBuildTest : public testing::ZolpTest {
 protected:
  ImageBuildTest() { host_.AddResource("BIN", kVellixResource, {'M', 'Z', 'v'}); }
  BuildJob Job() const { return BuildJob{kDialog, command_.c_str()}; }
  std::string command_ = "vellix.exe dd.cfg FLASH -v\"DIAGS\" -t3913728 -i\"~DP12.tmp\"";
};

TEST_F(ImageBuildTest, RunsVellixWithTheJobsCommandLineAndPostsItsExitCode) {
  bool toolPresent = false;
  sim::ProcessOutcome o;
  o.whileRunning = [&](const LaunchRequest&) {
    toolPresent = std::filesystem::exists(Cwd("vellix.exe"));
  };
  host_.QueueOutcome(o);

  EXPECT_EQ(ImageBuildThread(s_, Job()), 0);
  ASSERT_EQ(host_.Launches().size(), 1u);
  const LaunchRequest r = host_.Launches()[0];
  EXPECT_EQ(r.application, ".\\vellix.exe");
  EXPECT_EQ(r.commandLine, command_);
  EXPECT_TRUE(r.environment.empty());  // so BUILDSETTIME never reaches the builder
  EXPECT_TRUE(r.noWindow);
  EXPECT_TRUE(toolPresent);
  EXPECT_FALSE(std::filesystem::exists(Cwd("vellix.exe")));

  const auto posts = host_.Posts();
  ASSERT_EQ(posts.size(), 1u);
  EXPECT_EQ(posts[0].owner, kDialog);
  EXPECT_EQ(posts[0].message, 0x502u);
  EXPECT_EQ(posts[0].wParam, 0);
  EXPECT_EQ(posts[0].lParam, 0);
  EXPECT_TRUE(host_.Messages().empty());
  EXPECT_EQ(host_.buildingWindowShown, 1);
  EXPECT_EQ(host_.buildingWindowClosed, 1);
  EXPECT_EQ(host_.frontCalls, 2);
}

TEST_F(ImageBuildTest, NonZeroExitCodeIsShownThenPosted) {
  host_.defaultOutcome.exitCode = 20;
  EXPECT_EQ(ImageBuildThread(s_, Job()), 20);
  ASSERT_EQ(host_.Messages().size(), 1u);
  EXPECT_EQ(host_.Messages()[0].text, "Image is too small to hold the files specified.");
  EXPECT_EQ(host_.Messages()[0].title, "Image Creation Error");
  EXPECT_EQ(host_.Messages()[0].icon, MessageIcon::Warning);
  ASSERT_EQ(host_.Posts().size(), 1u);
  EXPECT_EQ(host_.Posts()[0].wParam, 20);
}

TEST_F(ImageBuildTest, VellixThatCannotStartPostsMinusOne) {
  host_.defaultOutcome.starts = false;
  EXPECT_EQ(ImageBuildThread(s_, Job()), -1);
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Vellix failed to start."});
  ASSERT_EQ(host_.Posts().size(), 1u);
  EXPECT_EQ(host_.Posts()[0].wParam, -1);
  EXPECT_EQ(host_.buildingWindowShown, 0);
  EXPECT_FALSE(std::filesystem::exists(Cwd("vellix.exe")));
}

TEST_F(ImageBuildTest, FailedExtractionPostsTheSystemError) {
  host_.failResourceStep = ResourceStep::Lock;
  host_.resourceError = 1812;
  EXPECT_EQ(ImageBuildThread(s_, Job()), 1812);
  EXPECT_TRUE(host_.Launches().empty());
  ASSERT_EQ(host_.Messages().size(), 1u);
  EXPECT_EQ(host_.Messages()[0].text.rfind("Find vellix.exe failed with error 1812", 0), 0u);
  ASSERT_EQ(host_.Posts().size(), 1u);
  EXPECT_EQ(host_.Posts()[0].message, 0x502u);
  EXPECT_EQ(host_.Posts()[0].wParam, 1812);
}

TEST_F(ImageBuildTest, LostExitCodeIsNotABuiltImage) {
  sim::ProcessOutcome o;
  o.exitCodeFails = true;
  host_.QueueOutcome(o);
  EXPECT_EQ(ImageBuildThread(s_, Job()), -1);
  ASSERT_EQ(host_.Posts().size(), 1u);
  EXPECT_EQ(host_.Posts()[0].wParam, -1);
}

struct CodeText {
  int code;
  const char* text;
};

// The whole table, written out independently of the code that holds it.
const CodeText kExpected[] = {
    {-1, "Vellix failed to start."},
    {1, "Error allocating memory."},
    {2, "Error creating the image file."},
    {3, "Error opening the image file."},
    {4, "Error opening the MBR file."},
    {5, "Error reading the MBR file."},
    {6, "Invalid MBR file size."},
    {7, "Invalid MBR signature."},
    {8, "Error writing the MBR to the image."},
    {9, "Error opening the boot sector file."},
    {10, "Error reading the boot sector file."},
    {11, "Invalid boot sector size."},
    {12, "Invalid boot sector signature."},
    {13, "Error writing the boot sector to the image."},
    {14, "Seek error."},
    {15, "Cannot find the root directory specified or no files exist in the directory."},
    {16, "The size of the root directory specified is too small for the number of files."},
    {17, "Error restoring the working drive."},
    {18, "Error restoring the working directory."},
    {19, "The number of FAT sectors needed exceeds the amount specified."},
    {20, "Image is too small to hold the files specified."},
    {21, "Image too large for the FAT type selected."},
    {22, "Error changing directories."},
    {23, "No acceptable geometry for the image. Likely the image is too large."},
    {24, "Error reading the FAT."},
    {25, "Error writing the FAT."},
    {26, "Error writing the FAT mirror."},
    {27, "Error writing a directory entry."},
    {28, "Error opening a file to insert into the image."},
    {29, "The size of the file to insert does not match the file size in the directory."},
    {30, "Error reading a file to insert into the image."},
    {31, "Error writing a file to the image."},
    {32, "8.3 filename was too long."},
    {33, "An ordered file was not found in the root directory."},
    {34, "CHS total size does not match the image size specified."},
    {35, "Invalid name for a directory entry (cannot begin with a space)."},
    {38, "Error finding a file."},
    {39, "Error converting a file time to a DOS date/time."},
    {40, "Error converting the current time to a file time."},
    {41, "Error zeroing space for the file."},
    {42, "Error processing the command line parameters."},
    {43, "The volume type is FAT32 which is not supported."},
    {44, "fDetermineDirSize failed to get the file count."},
    {45, "FindNextFile failed."},
    {46, "The offset to copy into the image cannot be zero."},
    {47, "Error closing the master boot record file."},
    {48, "Error closing the boot sector file."},
    {49, "Error closing a file being inserted in the image."},
    {50, "Error closing the image file."},
    {51, "The filename is too long for 8.3 format."},
    {52, "Attempting to allocate more clusters than can be written to the FAT in one command."},
    {53, "Error retrieving the current directory on the root drive."},
    {54, "The path name was too long."},
    {55, "The length of the Root path is unknown."},
    {56, "Error retrieving the current working directory."},
    {57, "The combined filename and path exceeds the maximum length allowed."},
    {58, "Invalid disk type specified."},
    {59, "Help was displayed."},
    {60, "Write boot volume descriptor failed."},
    {61, "Write primary volume descriptor failed."},
    {62, "Write set terminator descriptor failed."},
    {63, "Write path table failed."},
    {64, "Write of the boot catalog failed."},
    {65, "Write of the ISO root directory failed."},
    {66, "Write of the ISO readme file failed."},
    {67, "Error retrieving status information for the ISO readme file."},
    {68, "The ISO readme name cannot be empty."},
    {69, "Error opening the ISO readme file."},
    {70, "The ISO readme file exceeds the maximum length allowed."},
    {71, "Error reading the ISO readme file."},
    {72, "Error retrieving status information for the image file."},
    {73, "The image size is not an integral of the CD-ROM sector size."},
    {74, "Invalid boot media type for an ISO image."},
    {75, "Attempting to write an MBR on a diskette image."},
    {76, "Invalid FAT type specified. Must be FAT12 or FAT16."},
    {77, "Invalid sectors per cluster value specified. Must be 2, 4, 8, 16, 32 or 64."},
    {78, "Calculated FAT size too small."},
    {79, "Total sectors must be specified to use the extended partition (LBA) option."},
};

TEST_F(ImageBuildTest, EveryExitCodeHasItsText) {
  for (const CodeText& row : kExpected) {
    host_.ClearRecords();
    ShowImageBuildError(s_, row.code);
    ASSERT_EQ(host_.Messages().size(), 1u) << row.code;
    EXPECT_EQ(host_.Messages()[0].text, row.text) << row.code;
    EXPECT_EQ(host_.Messages()[0].title, "Image Creation Error");
  }
}

TEST_F(ImageBuildTest, CodesWithoutTextGetTheUnknownErrorText) {
  for (int code : {36, 37, 80, 87, 255, -2}) {
    host_.ClearRecords();
    ShowImageBuildError(s_, code);
    ASSERT_EQ(host_.Messages().size(), 1u);
    EXPECT_EQ(host_.Messages()[0].text, "Unknown error creating the media image. (" +
                                            std::to_string(static_cast<unsigned>(code)) + ")");
  }
  host_.ClearRecords();
  ShowImageBuildError(s_, 0);
  EXPECT_TRUE(host_.Messages().empty());
}

TEST_F(ImageBuildTest, ExitCode87ShowsTheUnknownTextWithItsNumber) {
  host_.defaultOutcome.exitCode = 87;
  ImageBuildThread(s_, Job());
  EXPECT_EQ(MessageTexts(),
            std::vector<std::string>{"Unknown error creating the media image. (87)"});
}

}  // namespace
}  // namespace zolp
