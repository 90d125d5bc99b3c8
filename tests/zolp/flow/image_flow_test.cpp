// "Create a Bootable Image" driven as a user would, with the real vellix.
#include "flow/image_flow.h"

#include <fstream>

#include "flow_harness.h"
#include "resource.h"

namespace zolp::testing {
namespace {

using ImageDialog = Dialog<ImageFlow>;

class ImageFlowTest : public FlowTest {
 protected:
  // Makes the image of one type through the dialog, accepting what it offers.
  std::string MakeImage(bool diskette) {
    ImageDialog d(host_, pump_, s_);
    if (diskette) d.Click(IDC_IMAGE_DISKETTE);
    const std::string path = d.view.Text(IDC_IMAGE_PATH);
    d.Click(kIdOk);
    EXPECT_TRUE(d.view.Ended(DialogResult::Ok));
    EXPECT_FALSE(d.view.dialogShown);
    return path;
  }
};

TEST(DefaultImagePath, KeepsFullPathsAndPlacesTheRestInTheCurrentDirectory) {
  struct Row {
    const char *name, *directory, *expected;
  } rows[] = {
      {"C:\\images\\x.img", "C:\\PKG", "C:\\images\\x.img"},
      {"\\images\\x.img", "C:\\PKG", "\\images\\x.img"},
      {"x.img", "C:\\PKG", "C:\\PKG\\x.img"},
      {"sub\\x.img", "C:\\PKG\\", "C:\\PKG\\sub\\x.img"},
      {"", "C:\\PKG", "C:\\PKG\\diags.img"},
      {"", "C:\\", "C:\\diags.img"},
      {"C:\\images\\", "C:\\PKG", "C:\\PKG\\diags.img"},  // no file name
  };
  for (const Row& row : rows)
    EXPECT_EQ(DefaultImagePath(row.name, row.directory), row.expected) << row.name;
}

// The path field follows the section of the checked type, on each click.
TEST_F(ImageFlowTest, DefaultPathFollowsTheImageNameOfTheCheckedType) {
  struct Row {
    const char* hddLine;  // "" for a section without ImageName
    const char* hddPath;
    bool disketteSection;
  } rows[] = {
      {"ImageName=C:\\images\\x.img", "C:\\images\\x.img", true},
      {"ImageName=\\images\\x.img", "\\images\\x.img", true},
      {"ImageName = x.img", "C:\\PACKAGE\\x.img", true},
      {"", "C:\\PACKAGE\\diags.img", false},
  };
  for (const Row& row : rows) {
    WriteFile(Cwd("DD.CFG"), std::string("[HDD]\r\n") + row.hddLine + "\r\n" +
                                 (row.disketteSection ? "[DISKETTE]\r\nImageName=fd.img\r\n" : ""));
    ImageDialog d(host_, pump_, s_);
    EXPECT_TRUE(d.view.IsChecked(IDC_IMAGE_HDD));
    EXPECT_EQ(d.view.Text(IDC_IMAGE_PATH), row.hddPath);
    EXPECT_EQ(d.view.controls[IDC_IMAGE_DISKETTE].enabled, row.disketteSection);
    if (row.disketteSection) {
      d.Click(IDC_IMAGE_DISKETTE);
      EXPECT_EQ(d.view.Text(IDC_IMAGE_PATH), "C:\\PACKAGE\\fd.img");
      EXPECT_FALSE(d.view.IsChecked(IDC_IMAGE_HDD));
      d.Click(IDC_IMAGE_HDD);
      EXPECT_EQ(d.view.Text(IDC_IMAGE_PATH), row.hddPath);
    }
    d.Click(kIdCancel);
    EXPECT_TRUE(d.view.Ended(DialogResult::Cancel));
  }
  EXPECT_TRUE(host_.Messages().empty());
  EXPECT_TRUE(launcher_.Requests().empty());
}

TEST_F(ImageFlowTest, HardDriveAndDisketteImagesEqualWhatVellixBuildsByHand) {
  UsePackage();
  const std::string hdd = MakeImage(false);
  const std::string diskette = MakeImage(true);
  EXPECT_EQ(hdd, "C:\\PACKAGE\\OrvoDiag-hdd.img");
  EXPECT_EQ(diskette, "C:\\PACKAGE\\OrvoDiag-fd.img");

  // The command lines and the empty environment the front end gives vellix.
  const std::vector<LaunchRequest> runs = launcher_.Requests();
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].application, ".\\vellix.exe");
  EXPECT_EQ(runs[0].commandLine, "vellix.exe dd.cfg HDD -v\"A05\" -i\"C:\\PACKAGE\\OrvoDiag-hdd.img\"");
  EXPECT_EQ(runs[1].commandLine,
            "vellix.exe dd.cfg DISKETTE -v\"A05\" -i\"C:\\PACKAGE\\OrvoDiag-fd.img\"");
  EXPECT_TRUE(runs[0].environment.empty());
  EXPECT_EQ(MessageTexts(), (std::vector<std::string>{"The image file was successfully created.",
                                                      "The image file was successfully created."}));
  EXPECT_EQ(host_.Messages()[0].title, "Success!");
  EXPECT_FALSE(std::filesystem::exists(Cwd("vellix.exe")));

  ASSERT_EQ(VellixByHand("HDD", "A05", root_ / "hdd.img"), 0);
  ASSERT_EQ(VellixByHand("DISKETTE", "A05", root_ / "fd.img"), 0);
  EXPECT_TRUE(SameBytes(Host(hdd), root_ / "hdd.img"));
  EXPECT_TRUE(SameBytes(Host(diskette), root_ / "fd.img"));
  EXPECT_EQ(std::filesystem::file_size(Host(diskette)), 1474560u);
  EXPECT_TRUE(FsckPasses(Host(diskette)));
  EXPECT_TRUE(FsckPasses(FirstPartition(Host(hdd))));
}

TEST_F(ImageFlowTest, MadeImagesBoot) {
  UsePackage();
  EXPECT_TRUE(Boots("hd", Host(MakeImage(false)), "A05"));
  EXPECT_TRUE(Boots("floppy", Host(MakeImage(true)), "A05"));
}

TEST_F(ImageFlowTest, AnExistingFileIsReplacedOnlyWhenTheUserSaysYes) {
  UsePackage();
  const std::string old = "an image the technician keeps";
  WriteFile(Cwd("OrvoDiag-hdd.img"), old);
  for (Reply reply : {Reply::No, Reply::Yes}) {
    ImageDialog d(host_, pump_, s_);
    d.view.onAsk = [&](const AskedBox& box) {
      if (box.title != "File Exists") return Reply::Ok;
      EXPECT_EQ(box.text,
                "The file C:\\PACKAGE\\OrvoDiag-hdd.img already exists. Do you want to replace it?");
      EXPECT_EQ(box.icon, MessageIcon::Question);
      EXPECT_EQ(box.buttons, Buttons::YesNo);
      return reply;
    };
    d.Click(kIdOk);
    if (reply == Reply::No) {
      EXPECT_TRUE(d.view.Ended(DialogResult::Cancel));
      EXPECT_TRUE(launcher_.Requests().empty());
      EXPECT_EQ(ReadFile(Cwd("OrvoDiag-hdd.img")), old);
    } else {
      EXPECT_TRUE(d.view.Ended(DialogResult::Ok));
      EXPECT_EQ(launcher_.Requests().size(), 1u);
      EXPECT_GT(std::filesystem::file_size(Cwd("OrvoDiag-hdd.img")), 1000000u);
    }
  }
}

// What goes wrong gets the builder's own text, and no image stays behind;
// what was there and is not an image is never deleted.
TEST_F(ImageFlowTest, FailedBuildsSayWhyAndLeaveNoImage) {
  UsePackage();
  struct Row {
    const char* name;
    std::function<void()> prepare;
    const char* path;
    const char* message;
  } rows[] = {
      {"the section does not fit the medium",  // 2 MB do not fit a diskette
       [&] { WriteFile(Cwd("BIG.DAT"), std::string(2000000, 'x')); }, "C:\\PACKAGE\\fd.img",
       "Image too large for the FAT type selected."},
      {"the image's folder does not exist", [] {}, "C:\\NOSUCH\\fd.img",
       "Error opening the image file."},
      {"the path is a folder", [] {}, "C:\\PACKAGE\\DIAGS", "Error opening the image file."},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    host_.ClearRecords();
    std::filesystem::remove(Cwd("BIG.DAT"));
    row.prepare();
    ImageDialog d(host_, pump_, s_);
    d.Click(IDC_IMAGE_DISKETTE);
    d.view.SetText(IDC_IMAGE_PATH, row.path);
    d.view.onAsk = [](const AskedBox&) { return Reply::Yes; };  // replace: yes
    d.Click(kIdOk);
    EXPECT_TRUE(d.view.Ended(DialogResult::Cancel));
    ASSERT_FALSE(host_.Messages().empty());
    EXPECT_EQ(host_.Messages().back().text, row.message);
    EXPECT_EQ(host_.Messages().back().title, "Image Creation Error");
    EXPECT_FALSE(std::filesystem::is_regular_file(Host(row.path)));
    EXPECT_FALSE(std::filesystem::exists(Cwd("vellix.exe")));
  }
  EXPECT_TRUE(std::filesystem::exists(Cwd("DIAGS/DIAGMAIN.EXE")));
}

TEST_F(ImageFlowTest, TheBrowseButtonOffersTheCurrentDirectoryAndFileName) {
  UsePackage();
  ImageDialog d(host_, pump_, s_);
  d.view.savePath = "D:\\images\\chosen.img";
  d.Click(IDC_IMAGE_BROWSE);
  ASSERT_EQ(d.view.saveRequests.size(), 1u);
  const SaveFileRequest& r = d.view.saveRequests[0];
  EXPECT_EQ(r.title, "Select Location for the Image File");
  EXPECT_EQ(r.filter, "Image Files (*.img)|*.img|All Files|*.*||");
  EXPECT_EQ(r.directory, "C:\\PACKAGE");
  EXPECT_EQ(r.fileName, "OrvoDiag-hdd.img");
  EXPECT_EQ(d.view.Text(IDC_IMAGE_PATH), "D:\\images\\chosen.img");
  d.view.savePath.reset();  // cancelled: the path stays
  d.Click(IDC_IMAGE_BROWSE);
  EXPECT_EQ(d.view.Text(IDC_IMAGE_PATH), "D:\\images\\chosen.img");
  EXPECT_FALSE(d.view.ended.has_value());
}

// The worker reports to the dialog's window: the dialog may not go before it.
TEST_F(ImageFlowTest, TheDialogStaysWhileTheBuildRuns) {
  UsePackage();
  ImageDialog d(host_, pump_, s_);
  ExpectTheDialogToOutliveItsWorker(d, pump_, [](const ImageFlow& f) { return f.Building(); });
  EXPECT_EQ(launcher_.Requests().size(), 1u);
}

TEST_F(ImageFlowTest, AWorkerThatCannotStartIsReported) {
  UsePackage();
  host_.failWorkerStarts = 1;
  ImageDialog d(host_, pump_, s_);
  d.Click(kIdOk);
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Start vellix failed with error 8."});
  EXPECT_EQ(host_.Messages()[0].title, "Error");
  EXPECT_TRUE(d.view.Ended(DialogResult::Cancel));
  EXPECT_TRUE(launcher_.Requests().empty());
}

}  // namespace
}  // namespace zolp::testing
