// "Create Bootable Diskette Set" driven as a user would: the drive choice,
// then one dialog per diskette, with simulated diskette drives and the real
// vellix.
#include "flow/diskette_flow.h"

#include <algorithm>

#include "flow_harness.h"
#include "resource.h"
#include "zolp/report.h"

namespace zolp::testing {
namespace {

using DriveDialog = Dialog<DisketteDriveFlow>;
using DisketteDialog = Dialog<DisketteFlow>;

class DisketteFlowTest : public FlowTest {
 protected:
  DisketteFlowTest() { UseDevices(FloppyLine('A')); }

  std::string FloppyLine(char letter) const {
    return Format("floppy %c \"%s\"\n", letter, Diskette(letter).c_str());
  }
  std::filesystem::path Diskette(char letter = 'A') const {
    return root_ / (std::string(1, letter) + "-diskette.img");
  }
  void InsertBlankDiskette() { WriteFile(Diskette(), ""); }
  sim::DeviceLine Floppy(char letter) const {
    std::vector<sim::DeviceLine> lines;
    std::string error;
    EXPECT_TRUE(sim::ParseDeviceDescription(FloppyLine(letter), lines, error)) << error;
    return lines.at(0);
  }
  // The sample package with a third diskette: the tools.
  void UseThreeDisketteSet() {
    UsePackage();
    std::string config = ReadFile(Cwd("DD.CFG"));
    config.insert(config.find("# Utility partition update"),
                  "[Disk3]\nFileRoot=TOOLS\nDiskType=1440\nZeroData=1\n\n");
    WriteFile(Cwd("DD.CFG"), config);
  }
  // Runs one diskette's dialog: the user inserts what `insert` puts in and
  // clicks OK; answers how the dialog ended.
  DialogResult MakeDiskette(unsigned current, unsigned total,
                            const std::function<void(DisketteDialog&)>& user) {
    DisketteDialog d(host_, pump_, s_, current, total, 'A');
    user(d);
    EXPECT_FALSE(d.view.progressOpen);
    EXPECT_EQ(TemporaryImagesLeft(), 0);
    EXPECT_FALSE(devices_->DriveAt('A')->Locked());
    return d.view.ended.value_or(DialogResult::Cancel);
  }
  std::vector<std::string> DriveNames(const RecordingView& view) const {
    std::vector<std::string> names;
    for (const auto& [name, data] : view.controls[IDC_DISKETTE_DRIVES].items)
      names.push_back(name + "=" + static_cast<char>(data));
    return names;
  }
};

TEST_F(DisketteFlowTest, OnlyDrivesThatTakeHighDensityDiskettesAreListed) {
  UseDevices(FloppyLine('A') + FloppyLine('B') + "usb 1 \"" + (root_ / "usb.img").string() +
             "\" 65536000 letter=E\ncdwriter D \"" + (root_ / "cd.iso").string() +
             "\" cd-r\ncardslot 2 SD/MMC\n");
  DriveDialog d(host_, pump_, s_);
  EXPECT_EQ(DriveNames(d.view),
            (std::vector<std::string>{"Floppy Disk Drive (A:)=A", "Floppy Disk Drive (B:)=B"}));
  EXPECT_EQ(d.view.SelectedListItem(IDC_DISKETTE_DRIVES), 0);
  EXPECT_TRUE(d.view.controls[kIdOk].enabled);

  // A device change rebuilds the list and keeps the chosen entry where it can.
  d.view.SelectListItem(IDC_DISKETTE_DRIVES, 1);
  devices_->Plug(Floppy('C'));
  d.flow.OnDeviceChange(kDeviceArrival);
  EXPECT_EQ(d.view.ListCount(IDC_DISKETTE_DRIVES), 3);
  EXPECT_EQ(d.view.SelectedListItem(IDC_DISKETTE_DRIVES), 1);
  devices_->Unplug('C');
  devices_->Unplug('B');
  d.flow.OnDeviceChange(0x0007);  // another change: the list stays as it is
  EXPECT_EQ(d.view.ListCount(IDC_DISKETTE_DRIVES), 3);
  d.flow.OnDeviceChange(kDeviceRemoveComplete);
  EXPECT_EQ(DriveNames(d.view), std::vector<std::string>{"Floppy Disk Drive (A:)=A"});
  EXPECT_EQ(d.view.SelectedListItem(IDC_DISKETTE_DRIVES), 0);
  devices_->Unplug('A');
  d.flow.OnDeviceChange(kDeviceRemoveComplete);
  EXPECT_FALSE(d.view.controls[kIdOk].enabled);
  EXPECT_FALSE(d.view.ended.has_value());
}

TEST_F(DisketteFlowTest, WithoutADisketteDriveTheOptionSaysSoAndCloses) {
  UseDevices("usb 1 \"" + (root_ / "usb.img").string() + "\" 65536000 letter=E\n");
  DriveDialog d(host_, pump_, s_);
  ASSERT_EQ(host_.Messages().size(), 1u);
  EXPECT_EQ(host_.Messages()[0].text,
            "No diskette drives were found. You must connect a drive before you can continue "
            "with this option.");
  EXPECT_EQ(host_.Messages()[0].title, "Warning");
  EXPECT_EQ(host_.Messages()[0].icon, MessageIcon::Information);
  EXPECT_TRUE(d.view.Ended(DialogResult::Cancel));
}

TEST_F(DisketteFlowTest, TheSectionsAreCountedFromDisk1AndWithoutItTheDialogStays) {
  struct Row {
    const char* config;
    unsigned count;
  } rows[] = {
      {"[Disk2]\n[Disk3]\n", 0},
      {"[Disk1]\n[Disk2]\n[Disk4]\n", 2},
      {"[Disk1]\n[disk2]\n[DISK3]\n", 3},
      {"[Disk1]\n[Disk2]\n[Disk3]\n[Disk4]\n[Disk5]\n[Disk6]\n[Disk7]\n[Disk8]\n[Disk9]\n[Disk10]\n",
       9},
  };
  for (const Row& row : rows) {
    WriteFile(Cwd("DD.CFG"), row.config);
    EXPECT_EQ(CountDisketteSections(s_), row.count) << row.config;
  }

  WriteFile(Cwd("DD.CFG"), "[Disk2]\n");
  DriveDialog d(host_, pump_, s_);
  d.Click(kIdOk);
  ASSERT_EQ(host_.Messages().size(), 1u);
  EXPECT_EQ(host_.Messages()[0].text,
            "There is a problem with the dd.cfg file. You may need to download the package again.");
  EXPECT_EQ(host_.Messages()[0].title, "Serious Error");
  EXPECT_EQ(host_.Messages()[0].icon, MessageIcon::Error);
  EXPECT_FALSE(d.view.ended.has_value());
}

// Three sections: three diskette dialogs, each diskette the image of its
// section byte for byte, the success box only after the third.
TEST_F(DisketteFlowTest, ThreeSectionsMakeThreeDiskettesAsVellixBuildsThem) {
  UseThreeDisketteSet();
  DriveDialog drives(host_, pump_, s_);
  drives.Click(kIdOk);
  ASSERT_TRUE(drives.view.Ended(DialogResult::Ok));
  ASSERT_EQ(drives.flow.Chosen().total, 3u);
  ASSERT_EQ(drives.flow.Chosen().letter, 'A');

  std::vector<std::size_t> boxesAfter;
  const bool made = RunDisketteSet(drives.flow.Chosen(), [&](unsigned current) {
    return MakeDiskette(current, 3, [&](DisketteDialog& d) {
      EXPECT_EQ(d.view.Text(IDC_DISKX_TITLE), Format("Ready to create diskette %u of 3 ...", current));
      EXPECT_EQ(d.view.Text(IDC_DISKX_TEXT),
                "Please insert a blank 1.44 MB diskette in the selected diskette drive (A:), and "
                "then click OK to continue.");
      EXPECT_EQ(d.view.Text(IDC_DISKX_WARNING), "WARNING - All data on the diskette will be erased!");
      ASSERT_TRUE(d.view.controls[IDC_DISKX_WARNING].look.has_value());
      EXPECT_EQ(d.view.controls[IDC_DISKX_WARNING].look->colour, Rgb(255, 0, 0));
      EXPECT_EQ(d.view.controls[IDC_DISKX_WARNING].look->size, 13);
      EXPECT_EQ(d.view.controls[IDC_DISKX_WARNING].look->flags, kFontBold | kFontCentred);
      InsertBlankDiskette();
      d.Click(kIdOk);
      EXPECT_TRUE(d.view.Ended(DialogResult::Ok));
      EXPECT_FALSE(d.view.dialogShown);  // hidden behind the progress window
      EXPECT_EQ(d.view.progressTitles,
                (std::vector<std::string>{Format("Copy Progress - Diskette %u of 3", current),
                                          Format("Copy Progress - Diskette %u of 3 - Verifying",
                                                 current)}));
      EXPECT_EQ(d.view.progressIcon, IDI_DISKETTE);
      EXPECT_EQ(d.view.percents.size(), 90u);  // 1.44 MB in 32 KiB pieces, written and read back
      EXPECT_EQ(d.view.percents.front(), 0);
      EXPECT_EQ(d.view.percents.back(), 97);
      boxesAfter.push_back(host_.Messages().size());
      std::filesystem::rename(Diskette(), root_ / Format("disk%u.img", current));
    });
  });
  EXPECT_TRUE(made);
  EXPECT_EQ(boxesAfter, (std::vector<std::size_t>{0, 0, 1}));
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{"The diskette set was successfully created."});
  EXPECT_EQ(host_.Messages()[0].title, "Success!");

  const std::vector<LaunchRequest> runs = launcher_.Requests();
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_EQ(runs[1].commandLine.rfind("vellix.exe dd.cfg \"Disk2\" -v\"A05\" -i\".\\~DP", 0), 0u)
      << runs[1].commandLine;
  for (unsigned n = 1; n <= 3; ++n) {
    SCOPED_TRACE(n);
    const auto byHand = root_ / Format("section%u.img", n);
    ASSERT_EQ(VellixByHand(Format("Disk%u", n), "A05", byHand), 0);
    const auto diskette = root_ / Format("disk%u.img", n);
    EXPECT_EQ(std::filesystem::file_size(diskette), kDisketteCapacity);
    EXPECT_TRUE(SameBytes(diskette, byHand));
    EXPECT_TRUE(FsckPasses(diskette));
  }
  EXPECT_EQ(pump_.lost, 0);
}

TEST_F(DisketteFlowTest, DisketteOneBoots) {
  UsePackage();
  EXPECT_EQ(MakeDiskette(1, 2, [&](DisketteDialog& d) {
              InsertBlankDiskette();
              d.Click(kIdOk);
            }),
            DialogResult::Ok);
  EXPECT_TRUE(Boots("floppy", Diskette(), "A05"));
}

// An empty drive fails before any data: the user is asked for a diskette.
// Cancel ends the set quietly; OK after inserting one goes on.
TEST_F(DisketteFlowTest, AnEmptyDriveAsksForADiskette) {
  UsePackage();
  for (Reply reply : {Reply::Cancel, Reply::Ok}) {
    SCOPED_TRACE(reply == Reply::Ok ? "inserted" : "cancelled");
    host_.ClearRecords();
    std::filesystem::remove(Diskette());
    int prompts = 0;
    const bool made = RunDisketteSet({2, 'A'}, [&](unsigned current) {
      return MakeDiskette(current, 2, [&](DisketteDialog& d) {
        d.view.onAsk = [&](const AskedBox& box) {
          if (box.title != "Media not present") return Reply::Ok;
          ++prompts;
          EXPECT_EQ(box.text, "Please insert media in the drive then press OK to continue.");
          EXPECT_EQ(box.icon, MessageIcon::Warning);
          EXPECT_EQ(box.buttons, Buttons::OkCancel);
          EXPECT_FALSE(d.view.progressOpen);
          if (reply == Reply::Ok) InsertBlankDiskette();
          return reply;
        };
        if (current == 2) InsertBlankDiskette();
        d.Click(kIdOk);
      });
    });
    EXPECT_EQ(prompts, 1);
    if (reply == Reply::Cancel) {
      EXPECT_FALSE(made);
      EXPECT_EQ(MessageTexts(), std::vector<std::string>{
                                    "Please insert media in the drive then press OK to continue."});
      EXPECT_FALSE(std::filesystem::exists(Diskette()));
      EXPECT_EQ(launcher_.Requests().size(), 1u);
    } else {
      EXPECT_TRUE(made);
      EXPECT_EQ(host_.Messages().back().text, "The diskette set was successfully created.");
      ASSERT_EQ(VellixByHand("Disk2", "A05", root_ / "disk2.img"), 0);
      EXPECT_TRUE(SameBytes(Diskette(), root_ / "disk2.img"));
    }
  }
}

// A failed write midway: the system's text, the dialog again, and OK
// rebuilds and rewrites the whole diskette.
TEST_F(DisketteFlowTest, AWriteErrorIsShownAndOkRewritesTheDiskette) {
  UsePackage();
  InsertBlankDiskette();
  devices_->DriveAt('A')->failWriteCall = 20;
  EXPECT_EQ(MakeDiskette(1, 2, [&](DisketteDialog& d) {
              d.Click(kIdOk);
              EXPECT_EQ(MessageTexts(),
                        std::vector<std::string>{
                            "Copy failed. A write to the device failed with error 1117: The request "
                            "could not be performed because of an I/O device error."});
              EXPECT_EQ(host_.Messages()[0].title, "Error");
              EXPECT_EQ(host_.Messages()[0].icon, MessageIcon::Warning);
              EXPECT_FALSE(d.view.ended.has_value());
              EXPECT_TRUE(d.view.dialogShown);
              EXPECT_TRUE(d.view.controls[kIdOk].enabled);
              EXPECT_TRUE(d.view.controls[kIdCancel].enabled);
              EXPECT_EQ(TemporaryImagesLeft(), 0);
              d.Click(kIdOk);
            }),
            DialogResult::Ok);
  EXPECT_EQ(launcher_.Requests().size(), 2u);
  ASSERT_EQ(VellixByHand("Disk1", "A05", root_ / "disk1.img"), 0);
  EXPECT_TRUE(SameBytes(Diskette(), root_ / "disk1.img"));
}

// A formatted diskette is a mounted volume: it is opened sharing writing (the
// only way a volume takes a lock), locked, the lock retried while another
// program has it open, and dismounted, or its file system writes back what it
// had read of it. A diskette that stays in use is named and left alone.
TEST_F(DisketteFlowTest, AFormattedDisketteIsOpenedSharedLockedAfterRetriesAndDismounted) {
  UsePackage();
  const std::string old(kDisketteCapacity, '\xE5');
  for (const char* inUse : {"inuse=2", "inuse=always"}) {
    SCOPED_TRACE(inUse);
    host_.ClearRecords();
    UseDevices(Format("floppy A \"%s\" %s\n", Diskette().c_str(), inUse));
    WriteFile(Diskette(), old);
    const bool always = std::string(inUse) == "inuse=always";
    EXPECT_EQ(MakeDiskette(1, 1, [&](DisketteDialog& d) { d.Click(kIdOk); }),
              always ? DialogResult::Cancel : DialogResult::Ok);
    const std::vector<std::uint32_t> sleeps = host_.Sleeps();
    EXPECT_EQ(std::count(sleeps.begin(), sleeps.end(), 500u), always ? 19 : 2);
    if (always) {
      EXPECT_EQ(MessageTexts(), std::vector<std::string>{
                                    "Drive A: is in use by another program. Close every program "
                                    "and window that uses it, then try again."});
      EXPECT_EQ(ReadFile(Diskette()), old);
    } else {
      EXPECT_EQ(MessageTexts(), std::vector<std::string>{"The diskette set was successfully created."});
      ASSERT_EQ(VellixByHand("Disk1", "A05", root_ / "disk1.img"), 0);
      EXPECT_TRUE(SameBytes(Diskette(), root_ / "disk1.img"));
    }
  }
}

TEST_F(DisketteFlowTest, AWriteProtectedDisketteIsLeftAsItWas) {
  UsePackage();
  const std::string kept(5000, 'k');
  WriteFile(Diskette(), kept);
  std::filesystem::permissions(Diskette(), std::filesystem::perms::owner_read |
                                               std::filesystem::perms::group_read);
  EXPECT_EQ(MakeDiskette(1, 1, [&](DisketteDialog& d) {
              d.Click(kIdOk);
              EXPECT_EQ(MessageTexts(),
                        std::vector<std::string>{"Copy failed. A write to the device failed with "
                                                 "error 19: The media is write protected."});
              d.Click(kIdCancel);
            }),
            DialogResult::Cancel);
  EXPECT_EQ(ReadFile(Diskette()), kept);
}

TEST_F(DisketteFlowTest, AFailedBuildEndsTheDiskettesDialog) {
  UsePackage();
  InsertBlankDiskette();
  WriteFile(Cwd("DD.CFG"), "[Disk1]\nFileRoot=NOSUCHDIR\nDiskType=1440\n");
  EXPECT_EQ(MakeDiskette(1, 1, [&](DisketteDialog& d) { d.Click(kIdOk); }), DialogResult::Cancel);
  EXPECT_EQ(MessageTexts(),
            std::vector<std::string>{"Error processing the command line parameters."});
  EXPECT_EQ(devices_->DriveAt('A')->WriteCalls(), 0);
}

}  // namespace
}  // namespace zolp::testing
