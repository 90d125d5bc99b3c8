// "Install to a USB Flash Drive" driven as a user would, with simulated USB
// disks and the real vellix.
#include "flow/usb_flow.h"

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <regex>

#include "common/endian.h"
#include "flow_harness.h"
#include "resource.h"
#include "zolp/image_copy.h"
#include "zolp/report.h"

namespace zolp::testing {
namespace {

using UsbDialog = Dialog<UsbFlow>;

constexpr std::uint64_t kDiskBytes = 16ull << 20;  // a small stick keeps the tests quick
constexpr std::uint64_t kFlashSectors = kDiskBytes / 512;
constexpr char kOldData = '\xE5';  // what a used stick holds before
constexpr std::uint64_t kTail = 1 << 20;  // cleared at a stick's end
constexpr std::uint64_t kVolumeBlocks = 4128768;

std::string ReadRange(const std::filesystem::path& p, std::uint64_t at, std::uint64_t length) {
  std::ifstream in(p, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(at));
  std::string bytes(length, '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(length));
  return bytes;
}

class UsbFlowTest : public FlowTest {
 protected:
  UsbFlowTest() {
    UsePackage();
    host_.messageTexts[23] = "Data error (cyclic redundancy check).";
  }

  std::filesystem::path Disk(unsigned number) const {
    return root_ / Format("usb%u.img", number);
  }
  std::string UsbLine(unsigned number, std::uint64_t bytes, const std::string& more = "") const {
    return Format("usb %u \"%s\" %llu %s\n", number, Disk(number).c_str(),
                  static_cast<unsigned long long>(bytes), more.c_str());
  }
  sim::DeviceLine Device(const std::string& line) const {
    std::vector<sim::DeviceLine> lines;
    std::string error;
    EXPECT_TRUE(sim::ParseDeviceDescription(line, lines, error)) << error;
    return lines.at(0);
  }
  static std::vector<std::string> Entries(const RecordingView& view) {
    std::vector<std::string> entries;
    for (const auto& [text, number] : view.controls[IDC_USB_DRIVES].items)
      entries.push_back(text + "=" + std::to_string(number));
    return entries;
  }
  // A stick that held other data: the whole drive full of it.
  void FillWithOldData(unsigned number) {
    WriteFile(Disk(number), std::string(devices_->PhysicalDrive(number)->capacity(), kOldData));
  }
  // Writes the drive of a single used stick.
  void InstallOnAUsedDrive() {
    UseDevices(UsbLine(1, kDiskBytes, "letter=E"));
    FillWithOldData(1);
    ASSERT_EQ(Install(0), std::vector<std::string>{"Successfully created the USB flash drive."});
  }
  // Chooses the entry at a position and clicks OK; answers the boxes shown.
  std::vector<std::string> Install(int position) {
    UsbDialog d(host_, pump_, s_);
    EXPECT_FALSE(d.view.ended.has_value());
    d.view.SelectListItem(IDC_USB_DRIVES, position);
    d.Click(kIdOk);
    EXPECT_TRUE(d.view.ended.has_value());
    EXPECT_FALSE(d.view.progressOpen);
    EXPECT_EQ(TemporaryImagesLeft(), 0);
    EXPECT_FALSE(std::filesystem::exists(Cwd("vellix.exe")));
    EXPECT_EQ(pump_.lost, 0);
    return MessageTexts();
  }
  // The image vellix builds by hand for a drive of so many sectors.
  std::filesystem::path ImageFor(std::uint64_t sectors) const {
    const auto image = root_ / Format("byhand-%llu.img", static_cast<unsigned long long>(sectors));
    EXPECT_EQ(VellixByHand("FLASH", "A05", image,
                           Format("-t%llu", static_cast<unsigned long long>(sectors))),
              0);
    return image;
  }
  // The disk holds the image at its start, zeros in its last MiB and, between
  // them, what it held before.
  void ExpectImageOnDisk(unsigned number, const std::filesystem::path& image) const {
    const std::string disk = ReadFile(Disk(number)), bytes = ReadFile(image);
    ASSERT_EQ(disk.size(), kDiskBytes);
    ASSERT_LT(bytes.size(), disk.size() - kTail);
    EXPECT_TRUE(disk.compare(0, bytes.size(), bytes) == 0);
    EXPECT_EQ(disk.find_first_not_of(kOldData, bytes.size()), kDiskBytes - kTail);
    EXPECT_EQ(disk.find_first_not_of('\0', kDiskBytes - kTail), std::string::npos);
  }
  // What a command prints, on its standard output.
  std::string Output(const std::string& command) const {
    EXPECT_EQ(std::system((command + " > " + Quote(root_ / "out.txt") + " 2>/dev/null").c_str()), 0);
    return ReadFile(root_ / "out.txt");
  }
  // A sparse stick of many blocks, first given a GPT label, with old data in
  // 4 KiB marks between where the image and the last MiB go.
  std::vector<std::uint64_t> SparseStickWithGpt(std::uint64_t blocks) {
    std::ofstream(Disk(1), std::ios::binary).close();
    std::filesystem::resize_file(Disk(1), blocks * 512);
    Output("echo 'label: gpt' | sfdisk -q " + Quote(Disk(1)));
    const std::uint64_t end = blocks * 512 - kTail;
    std::vector<std::uint64_t> marks{4 << 20, end / 2 / 4096 * 4096, (end / 4096 - 1) * 4096};
    std::fstream out(Disk(1), std::ios::binary | std::ios::in | std::ios::out);
    for (std::uint64_t at : marks) out.seekp(static_cast<std::streamoff>(at)) << std::string(4096, kOldData);
    return marks;
  }
  // vellix's 2 GB image from sector 0 (its volume checks clean), zeros over the
  // last MiB, the marks untouched and nothing else written (the file holds no
  // more data blocks than those); no GPT is found any more.
  void ExpectFlashStick(std::uint64_t blocks, const std::vector<std::uint64_t>& marks) {
    const std::string image = ReadFile(ImageFor(std::min(blocks, kVolumeBlocks)));
    const std::uint64_t bytes = blocks * 512, tail = std::max(bytes - kTail, std::uint64_t{image.size()});
    EXPECT_EQ(ReadRange(Disk(1), 0, image.size()), image);
    EXPECT_EQ(ReadRange(Disk(1), tail, bytes - tail), std::string(bytes - tail, '\0'));
    for (std::uint64_t at : marks) EXPECT_EQ(ReadRange(Disk(1), at, 4096), std::string(4096, kOldData));
    struct stat st {};
    ASSERT_EQ(::stat(Disk(1).c_str(), &st), 0);
    EXPECT_LE(static_cast<std::uint64_t>(st.st_blocks) * 512, image.size() + kTail + 8 * 4096);
    EXPECT_EQ(Output("wipefs -n " + Quote(Disk(1))).find("gpt"), std::string::npos);
    EXPECT_EQ(Output("blkid -p -o value -s PTTYPE " + Quote(Disk(1))), "dos\n");
    EXPECT_NE(Output("gdisk -l " + Quote(Disk(1)) + " </dev/null").find("GPT: not present"),
              std::string::npos);
    const auto* mbr = reinterpret_cast<const std::uint8_t*>(image.data());
    const std::uint64_t start = common::load_le32(mbr + 0x1C6) * 512ull;
    WriteFile(root_ / "volume.img", ReadRange(Disk(1), start, image.size() - start));
    std::filesystem::resize_file(root_ / "volume.img", common::load_le32(mbr + 0x1CA) * 512ull);
    EXPECT_TRUE(FsckPasses(root_ / "volume.img"));
  }
};

TEST_F(UsbFlowTest, UsbDisksAnMbrCanAddressAreListedWithTheirVolumeAndMake) {
  UseDevices(UsbLine(1, 1999872) +                                   // 2 MB
             UsbLine(2, 20000000000) +                               // 20 GB
             UsbLine(3, 8000000000, "letter=E vendor=ACME product=\"Stick 8G\" revision=1.00") +
             UsbLine(4, 3000320, "vendor=\"TINY    \" product=\"Disk  \"") +  // just above 3 MB
             UsbLine(5, 2999808) +                                   // just below
             UsbLine(6, 16999999488, "product=Big") +                // just below 17 GB
             UsbLine(7, 17000000000) +                               // 17 GB
             "cardslot 8 SD/MMC\ncardslot 9 Multi Card Reader\n" +   // no card in either
             UsbLine(10, kDiskBytes, "product=SD/MMC") +                 // slots are never sized
             UsbLine(11, kDiskBytes, "product=\"  MS/MS-Pro  \"") +
             UsbLine(12, kDiskBytes) +                                   // no identification
             UsbLine(13, 0xFFFFFFFFull * 512) +  // last block address 0xFFFFFFFE
             UsbLine(14, 1ull << 41) +           // 0xFFFFFFFF: 2 TiB or more
             "floppy A \"" + (root_ / "a.img").string() + "\"\n");
  UsbDialog d(host_, pump_, s_);
  EXPECT_EQ(Entries(d.view),
            (std::vector<std::string>{"20000MB -=2", "(E:) [FAT:] 8000MB - ACME Stick 8G 1.00=3",
                                      "3MB - TINY Disk=4", "17000MB - Big=6", "17000MB -=7",
                                      "17MB -=12", "2199023MB -=13"}));
  EXPECT_EQ(d.view.SelectedListItem(IDC_USB_DRIVES), 0);
  EXPECT_TRUE(d.view.controls[kIdOk].enabled);
  EXPECT_EQ(d.view.Text(IDC_USB_WARNING),
            "WARNING - Select the destination carefully.\nAll data on the selected drive will be "
            "erased. ");
  ASSERT_TRUE(d.view.controls[IDC_USB_WARNING].look.has_value());
  EXPECT_EQ(d.view.controls[IDC_USB_WARNING].look->colour, Rgb(255, 0, 0));
  EXPECT_EQ(d.view.controls[IDC_USB_WARNING].look->size, 13);
  EXPECT_EQ(d.view.controls[IDC_USB_WARNING].look->flags, kFontBold | kFontCentred);
  EXPECT_TRUE(host_.Messages().empty());
  EXPECT_FALSE(d.view.ended.has_value());
  d.Click(kIdCancel);
  EXPECT_TRUE(d.view.Ended(DialogResult::Cancel));
}

TEST_F(UsbFlowTest, WithoutAUsbDiskTheOptionSaysSoAndCloses) {
  UseDevices("cardslot 1 SD/MMC\nfloppy A \"" + (root_ / "a.img").string() + "\"\n");
  UsbDialog d(host_, pump_, s_);
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{
                                "No suitable USB flash drives were found. You must connect a "
                                "supported USB flash drive to one of your USB ports before you can "
                                "continue with this option."});
  EXPECT_EQ(host_.Messages()[0].title, "Warning");
  EXPECT_EQ(host_.Messages()[0].icon, MessageIcon::Information);
  EXPECT_TRUE(d.view.Ended(DialogResult::Cancel));
  EXPECT_FALSE(d.view.controls[kIdOk].enabled);
}

// The FLASH image is sized to the drive up to 4,128,768 blocks; a larger
// stick gets that 2 GB image at its start and the rest stays unallocated.
// Sticks that held a GPT lose it. Only a last block address of 0xFFFFFFFF
// (2 TiB or more) is refused at OK, should such a drive reach the list.
TEST_F(UsbFlowTest, SticksOfEverySizeGetA2GBVolumeAtMostAndLoseTheirGpt) {
  const std::uint64_t rows[] = {kVolumeBlocks, kVolumeBlocks + 1, 8000000000 / 512,
                                64000000000 / 512, 256000000000 / 512, 0xFFFFFFFF};
  for (std::uint64_t blocks : rows) {
    SCOPED_TRACE(blocks);
    host_.ClearRecords();
    std::filesystem::remove(Disk(1));
    UseDevices(UsbLine(1, blocks * 512, "letter=F"));
    const auto marks = SparseStickWithGpt(blocks);
    const auto number = [](std::uint64_t n) { return static_cast<unsigned long long>(n); };
    UsbDialog d(host_, pump_, s_);
    EXPECT_EQ(Entries(d.view), std::vector<std::string>{Format(
                                   "(F:) [FAT:] %lluMB -=1", number((blocks * 512 + 500000) / 1000000))});
    d.Click(kIdOk);
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Successfully created the USB flash drive."});
    const std::string line = launcher_.Requests().at(launcher_.Requests().size() - 1).commandLine;
    EXPECT_EQ(line.rfind(Format("vellix.exe dd.cfg FLASH -v\"A05\" -t%llu -i\".\\~DP",
                                number(std::min(blocks, kVolumeBlocks))), 0), 0u) << line;
    ExpectFlashStick(blocks, marks);
  }
  // A drive listed small and then reporting 2 TiB at OK.
  host_.ClearRecords();
  std::filesystem::remove(Disk(1));
  UseDevices(UsbLine(1, kDiskBytes, "letter=F"));
  UsbDialog d(host_, pump_, s_);
  devices_->Unplug('F');
  devices_->Plug(Device(UsbLine(1, 1ull << 41, "letter=F")));
  d.Click(kIdOk);
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{"The selected flash drive is too large to format "
                                                     "with this utility.\nOnly drives up to 2 TB in "
                                                     "size are supported."});
  EXPECT_EQ(host_.Messages()[0].icon, MessageIcon::Warning);
  EXPECT_FALSE(std::filesystem::exists(Disk(1)));
  EXPECT_EQ(launcher_.Requests().size(), std::size(rows));
}

// Any volume of the drive counts, the second partition as much as the first.
TEST_F(UsbFlowTest, TheDriveTheProgramRunsFromIsRefused) {
  options_.programDrive = 'F';
  UseDevices(UsbLine(1, kDiskBytes, "volumes=E,F") + UsbLine(2, kDiskBytes, "letter=G"));
  EXPECT_EQ(Install(0), std::vector<std::string>{"Cannot format the media you are executing from."});
  EXPECT_EQ(host_.Messages()[0].title, "Error");
  EXPECT_EQ(devices_->PhysicalDrive(1)->WriteCalls(), 0);
  EXPECT_TRUE(launcher_.Requests().empty());
  host_.ClearRecords();
  EXPECT_EQ(Install(1), std::vector<std::string>{"Successfully created the USB flash drive."});
}

// The whole road, for sticks of one and of two volumes, with and without
// letters, and for one without a volume (listed from its size on): the system
// refuses writes into a mounted volume that is neither locked nor dismounted,
// so every volume of the drive is; the disk is flushed before the success box
// and its properties read again (a disk's request, on the disk). The drive
// holds the image vellix builds for its size, its partition checks clean, and
// nothing past the image was touched.
TEST_F(UsbFlowTest, WritesReachTheDriveWithEveryVolumeLockedAndAreFlushedBeforeSuccess) {
  const auto image = ImageFor(kFlashSectors);
  struct Row {
    const char* options;
    const char* entry;
  } rows[] = {
      {"letter=E vendor=ACME product=\"Flash 16\" revision=1.0",
       "(E:) [FAT:] 17MB - ACME Flash 16 1.0=1"},
      {"vendor=ACME product=Flash", "17MB - ACME Flash=1"},
      {"volumes=- vendor=ACME product=Flash", "17MB - ACME Flash=1"},
      {"volumes=E,-", "(E:) [FAT:] 17MB -=1"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.options);
    host_.ClearRecords();
    UseDevices(UsbLine(1, kDiskBytes, row.options));
    FillWithOldData(1);
    sim::SimulatedDrive& drive = *devices_->PhysicalDrive(1);
    bool allLockedAtTheEnd = false;
    std::uint64_t unflushed = 1;
    UsbDialog d(host_, pump_, s_);
    EXPECT_EQ(Entries(d.view), std::vector<std::string>{row.entry});
    d.view.onAsk = [&](const AskedBox&) {
      allLockedAtTheEnd = true;
      for (std::size_t i = 0; i < drive.volumes.size(); ++i)
        allLockedAtTheEnd &= drive.Volume(i).locked && drive.Volume(i).dismounted;
      unflushed = drive.UnflushedBytes();
      return Reply::Ok;
    };
    d.Click(kIdOk);
    EXPECT_TRUE(d.view.Ended(DialogResult::Ok));
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Successfully created the USB flash drive."});
    EXPECT_EQ(host_.Messages()[0].title, "Success!");
    EXPECT_EQ(host_.Messages()[0].icon, MessageIcon::Information);
    EXPECT_TRUE(allLockedAtTheEnd);  // locked until the drive is done
    EXPECT_EQ(unflushed, 0u);
    EXPECT_FALSE(drive.Locked());
    EXPECT_EQ(drive.LayoutUpdates(), 1);
    EXPECT_FALSE(d.view.dialogShown);
    EXPECT_EQ(d.view.progressIcon, IDI_USB);
    EXPECT_EQ(d.view.progressTitles,
              (std::vector<std::string>{"Copy Progress", "Copy Progress - Verifying"}));
    ASSERT_FALSE(d.view.percents.empty());
    EXPECT_EQ(d.view.percents.front(), 0);
    EXPECT_EQ(TemporaryImagesLeft(), 0);

    const std::vector<LaunchRequest> runs = launcher_.Requests();
    ASSERT_FALSE(runs.empty());
    EXPECT_EQ(runs.back().commandLine.rfind("vellix.exe dd.cfg FLASH -v\"A05\" -t32768 -i\".\\~DP", 0),
              0u)
        << runs.back().commandLine;
    EXPECT_TRUE(runs.back().environment.empty());
    ExpectImageOnDisk(1, image);
    EXPECT_TRUE(FsckPasses(FirstPartition(Disk(1))));
  }
}

// A stick just plugged in is looked at by the shell and virus scanners: a lock
// refused while another program has a volume open is tried again for ten
// seconds; a volume that stays in use stops the write, with the drive named,
// before anything is written.
TEST_F(UsbFlowTest, ALockRefusedWhileAVolumeIsInUseIsRetriedThenNamesTheDrive) {
  const std::string inUse =
      " is in use by another program. Close every program and window that uses it, then try again.";
  struct Row {
    const char* options;
    std::string message;
    long retries;  // half-second pauses before the locks were had or given up
  } rows[] = {
      {"letter=E inuse=3", "Successfully created the USB flash drive.", 3},
      {"volumes=E,- inuse=19", "Successfully created the USB flash drive.", 2 * 19},
      {"letter=E inuse=always", "Drive E:" + inUse, 19},
      {"volumes=- inuse=always", "A volume of disk 1" + inUse, 19},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.options);
    host_.ClearRecords();
    UseDevices(UsbLine(1, kDiskBytes, row.options));
    EXPECT_EQ(Install(0), std::vector<std::string>{row.message});
    const bool written = row.message == "Successfully created the USB flash drive.";
    EXPECT_EQ(devices_->PhysicalDrive(1)->WriteCalls() > 0, written);
    EXPECT_FALSE(devices_->PhysicalDrive(1)->Locked());
    const std::vector<std::uint32_t> sleeps = host_.Sleeps();
    EXPECT_EQ(std::count(sleeps.begin(), sleeps.end(), 500u), row.retries);
  }
}

TEST_F(UsbFlowTest, TheWrittenDriveBootsAsUsbStorageAndAsAnIdeDisk) {
  InstallOnAUsedDrive();
  EXPECT_TRUE(Boots("usb", Disk(1), "A05"));
  EXPECT_TRUE(Boots("hd", Disk(1), "A05"));
}

// A 64 GB stick: as USB storage and as an IDE disk, with the geometry the BIOS
// gives a disk of that size and with the image's, and under Bochs's BIOS.
TEST_F(UsbFlowTest, TheWritten64GBStickBootsAsUsbStorageAndAsAnIdeDisk) {
  UseDevices(UsbLine(1, 64000000000, "letter=E"));
  SparseStickWithGpt(64000000000 / 512);
  ASSERT_EQ(Install(0), std::vector<std::string>{"Successfully created the USB flash drive."});
  for (const char* kind : {"usb", "disk", "hd", "bochs-hd"}) EXPECT_TRUE(Boots(kind, Disk(1), "A05")) << kind;
}

// The same drive starts on UEFI PCs (OVMF: a case of its own, label uefi).
TEST_F(UsbFlowTest, TheWrittenDriveStartsUnderUefi) {
  InstallOnAUsedDrive();
  EXPECT_TRUE(Boots("uefi-usb", Disk(1), "A05"));
}

// Two drives of one make and size, without volumes: two entries that read
// differently, and each writes its own drive.
TEST_F(UsbFlowTest, TwoIdenticalDrivesAreToldApartAndEachWritesItsOwnDisk) {
  const std::string make = "vendor=ACME product=Flash revision=1.0";
  UseDevices(UsbLine(3, kDiskBytes, make) + UsbLine(5, kDiskBytes, make));
  FillWithOldData(3);
  FillWithOldData(5);
  {
    UsbDialog d(host_, pump_, s_);
    EXPECT_EQ(Entries(d.view), (std::vector<std::string>{"17MB - ACME Flash 1.0 (Disk 3)=3",
                                                         "17MB - ACME Flash 1.0 (Disk 5)=5"}));
  }
  const auto image = ImageFor(kFlashSectors);
  EXPECT_EQ(Install(1), std::vector<std::string>{"Successfully created the USB flash drive."});
  ExpectImageOnDisk(5, image);
  EXPECT_EQ(ReadFile(Disk(3)), std::string(kDiskBytes, kOldData));
  host_.ClearRecords();
  EXPECT_EQ(Install(0), std::vector<std::string>{"Successfully created the USB flash drive."});
  ExpectImageOnDisk(3, image);
}

// The chosen drive stays chosen while others come and go; when it goes itself,
// the position is kept.
TEST_F(UsbFlowTest, ADeviceChangeRebuildsTheListAfter250MsAndKeepsTheChosenDrive) {
  UseDevices(UsbLine(2, kDiskBytes, "letter=E") + UsbLine(3, kDiskBytes, "letter=F"));
  UsbDialog d(host_, pump_, s_);
  d.view.SelectListItem(IDC_USB_DRIVES, 1);
  devices_->Plug(Device(UsbLine(1, 2 * kDiskBytes, "letter=D")));  // listed before F
  d.flow.OnDeviceChange(kDeviceArrival);
  EXPECT_EQ(host_.Sleeps(), std::vector<std::uint32_t>{250});
  EXPECT_EQ(Entries(d.view), (std::vector<std::string>{"(D:) [FAT:] 34MB -=1", "(E:) [FAT:] 17MB -=2",
                                                       "(F:) [FAT:] 17MB -=3"}));
  EXPECT_EQ(d.view.SelectedListItem(IDC_USB_DRIVES), 2);  // still F

  devices_->Unplug('D');
  d.flow.OnDeviceChange(0x0007);  // another event: the list stays
  EXPECT_EQ(d.view.ListCount(IDC_USB_DRIVES), 3);
  d.flow.OnDeviceChange(kDeviceRemoveComplete);
  EXPECT_EQ(d.view.SelectedListItem(IDC_USB_DRIVES), 1);  // F again
  devices_->Plug(Device(UsbLine(4, 2 * kDiskBytes, "letter=G")));
  devices_->Unplug('F');
  d.flow.OnDeviceChange(kDeviceRemoveComplete);
  EXPECT_EQ(Entries(d.view),
            (std::vector<std::string>{"(E:) [FAT:] 17MB -=2", "(G:) [FAT:] 34MB -=4"}));
  EXPECT_EQ(d.view.SelectedListItem(IDC_USB_DRIVES), 1);  // F went: its position is kept
  devices_->Unplug('G');
  d.flow.OnDeviceChange(kDeviceRemoveComplete);
  EXPECT_EQ(d.view.SelectedListItem(IDC_USB_DRIVES), 0);  // past the end: the first
  devices_->Unplug('E');
  d.flow.OnDeviceChange(kDeviceRemoveComplete);
  EXPECT_EQ(d.view.ListCount(IDC_USB_DRIVES), 0);
  EXPECT_FALSE(d.view.controls[kIdOk].enabled);
  EXPECT_FALSE(d.view.ended.has_value());  // the warning is for the start only
}

// What goes wrong after OK: the user sees why, the drive is let go, the
// temporary image deleted, and the dialog closes.
TEST_F(UsbFlowTest, FailuresAreShownAndReleaseTheDrive) {
  const std::uintmax_t imageBytes = std::filesystem::file_size(ImageFor(kFlashSectors));
  const int tailWrite = static_cast<int>((imageBytes + kCopyPieceSize - 1) / kCopyPieceSize) + 1;
  // A vellix that makes an image larger than the drive.
  const auto oversized = root_ / "oversized-vellix";
  WriteFile(oversized,
            "#!/bin/sh\nfor a; do case $a in -i*) f=${a#-i};; esac; done\n"
            "exec /usr/bin/truncate -s 17000000 \"${f#.\\\\}\"\n");
  std::filesystem::permissions(oversized, std::filesystem::perms::owner_all);
  struct Row {
    const char* name;
    std::function<void()> prepare;
    std::string message;
    int writes;
  } rows[] = {
      {"a write fails midway", [&] { devices_->PhysicalDrive(1)->failWriteCall = 3; },
       "Copy failed. A write to the device failed with error 1117: The request could not be "
       "performed because of an I/O device error.",
       3},
      {"the tail's first write fails", [&] { devices_->PhysicalDrive(1)->failWriteCall = tailWrite; },
       "Copy failed. A write to the device failed with error 1117: The request could not be "
       "performed because of an I/O device error.",
       tailWrite},
      {"the build fails", [&] { WriteFile(Cwd("DD.CFG"), "[FLASH]\nFileRoot=NOSUCHDIR\n"); },
       "Error processing the command line parameters.", 0},
      {"no temporary image name", [&] { files_.failTemporaryNames = true; },
       "Create temporary filename failed with error 5: Access is denied.", 0},
      // the last row: vellix stays replaced
      {"the image is larger than the drive", [&] { launcher_.AddTool("vellix.exe", oversized); },
       "Copy failed. The image size is greater than the device capacity.", 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    host_.ClearRecords();
    files_.failTemporaryNames = false;
    UseDevices(UsbLine(1, kDiskBytes, "letter=E"));
    row.prepare();
    EXPECT_EQ(Install(0), std::vector<std::string>{row.message});
    EXPECT_FALSE(devices_->PhysicalDrive(1)->Locked());
    EXPECT_EQ(devices_->PhysicalDrive(1)->WriteCalls(), row.writes);
  }
}

// Unless "noverify" was given, a drive that silently loses a write, in the
// image or in the cleared tail, is caught, and the progress window says that
// it verifies.
TEST_F(UsbFlowTest, VerificationByDefaultCatchesADriveThatDropsAWrite) {
  const auto image = ImageFor(kFlashSectors);
  const std::uint32_t piece = CopyPieceSize(std::filesystem::file_size(image));
  const int imageWrites = static_cast<int>((std::filesystem::file_size(image) + piece - 1) / piece);
  struct Row {
    bool verify;
    int drop;
    std::uint64_t sector;  // where the lost write shows; 0: nothing shows
  } rows[] = {{true, 0, 0},
              {true, 2, piece / 512},
              {true, imageWrites + 1, (kDiskBytes - kTail) / 512},
              {false, 2, 0}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.drop);
    options_.verify = row.verify;
    Wire();
    host_.ClearRecords();
    UseDevices(UsbLine(1, kDiskBytes, "letter=E"));
    FillWithOldData(1);
    devices_->PhysicalDrive(1)->dropWriteCall = row.drop;
    host_.clockStepMs = 100;  // time passes between the reports
    UsbDialog d(host_, pump_, s_);
    d.Click(kIdOk);
    EXPECT_EQ(d.view.progressTitles.size(), row.verify ? 2u : 1u);
    // The write, then the read back, each from 0 % without an estimate; the
    // estimate comes within each.
    const std::vector<int>& percents = d.view.percents;
    ASSERT_EQ(d.view.progressTexts.size(), percents.size());
    int restarts = 0, estimates = 0;
    for (std::size_t i = 0; i < percents.size(); ++i) {
      const std::string& text = d.view.progressTexts[i];
      const bool restart = i == 0 || percents[i] < percents[i - 1];
      restarts += restart && text == Format("%d%%", percents[i]);
      estimates += std::regex_match(text, std::regex(std::to_string(percents[i]) +
                                                     "% - [0-9]+\\.[0-9] MB/s - about [0-9]+ (s|min) left"));
    }
    EXPECT_EQ(restarts, row.verify ? 2 : 1);
    EXPECT_GT(estimates, restarts);
    if (row.sector == 0) {
      EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Successfully created the USB flash drive."});
      if (row.drop == 0) ExpectImageOnDisk(1, image);
    } else {
      EXPECT_EQ(MessageTexts(), std::vector<std::string>{Format(
                                    "Copy failed. Verification of the device: sector %llu differs "
                                    "from the image.",
                                    static_cast<unsigned long long>(row.sector))});
      EXPECT_EQ(host_.Messages()[0].title, "Error");
    }
    EXPECT_TRUE(d.view.ended.has_value());
    EXPECT_EQ(TemporaryImagesLeft(), 0);
  }
}

TEST_F(UsbFlowTest, VerboseModeShowsTheCommandLineFirst) {
  SetVerbose();
  UseDevices(UsbLine(1, kDiskBytes));
  const std::vector<std::string> shown = Install(0);
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].rfind("vellix.exe dd.cfg FLASH -v\"A05\" -t32768 -i\".\\~DP", 0), 0u);
  EXPECT_EQ(host_.Messages()[0].title, "Verbose");
  EXPECT_EQ(shown[1], "Successfully created the USB flash drive.");
}

}  // namespace
}  // namespace zolp::testing
