#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/endian.h"
#include "zolp/mmc.h"
#include "zolp/sim/file_disk.h"
#include "zolp/sim/simulated_devices.h"
#include "zolp/sim/simulated_mmc_drive.h"
#include "zolp_fixture.h"

namespace zolp {
namespace {

using sim::DiscStatus;
using sim::InjectedFailure;
using sim::Medium;

class MmcCompositeTest : public testing::ZolpTest {
 protected:
  MmcCompositeTest() : drive_(root_ / "disc.iso", host_) {}
  std::size_t Count(std::uint8_t opcode) const { return drive_.CommandsWithOpcode(opcode).size(); }
  sim::SimulatedMmcDrive drive_;
};

InjectedFailure Check(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq, int times = 1) {
  InjectedFailure f;
  f.kind = InjectedFailure::CheckCondition;
  f.senseKey = key;
  f.asc = asc;
  f.ascq = ascq;
  f.times = times;
  return f;
}

// --- waiting until ready ---

TEST_F(MmcCompositeTest, ReadyDriveAnswersZeroAtOnce) {
  EXPECT_EQ(fWaitReady(s_, drive_), 0);
  EXPECT_EQ(Count(0x00), 1u);
  EXPECT_TRUE(host_.Sleeps().empty());
}

TEST_F(MmcCompositeTest, DriveBecomingReadyIsPolledEveryHalfSecond) {
  drive_.medium = Medium::BecomingReady;
  drive_.becomingReadyTests = 5;
  drive_.mediumChanged = true;
  EXPECT_EQ(fWaitReady(s_, drive_), 0);
  EXPECT_EQ(Count(0x00), 7u);  // five "becoming ready", one "medium changed", then ready
  EXPECT_EQ(host_.Sleeps(), std::vector<std::uint32_t>(6, 500));
}

TEST_F(MmcCompositeTest, DriveThatNeverBecomesReadyGivesUpAfter81Tests) {
  drive_.medium = Medium::BecomingReady;
  drive_.becomingReadyTests = 1000;
  EXPECT_EQ(fWaitReady(s_, drive_), 0x0401);
  EXPECT_EQ(Count(0x00), 81u);
  EXPECT_EQ(host_.Sleeps().size(), 80u);
  EXPECT_EQ(host_.Milliseconds(), 40000u);
}

TEST_F(MmcCompositeTest, MissingMediumIsReportedAtOnce) {
  drive_.medium = Medium::None;
  EXPECT_EQ(fWaitReady(s_, drive_), 0x3A00);
  EXPECT_EQ(Count(0x00), 1u);
}

// A test that failed without sense data (the device control failed, the drive
// was busy) says nothing about the drive: it is never read as "ready".
TEST_F(MmcCompositeTest, FailedTestWithoutSenseReadsAsNotReady) {
  InjectedFailure dc;
  dc.kind = InjectedFailure::DeviceControl;
  drive_.Fail(0x00, dc);
  EXPECT_EQ(fReadyTest(s_, drive_), kReadyUnknown);
  drive_.Fail(0x00, dc);
  EXPECT_EQ(fWaitReady(s_, drive_), kReadyUnknown);
  InjectedFailure busy;
  busy.kind = InjectedFailure::Status;  // BUSY
  drive_.Fail(0x00, busy);
  EXPECT_EQ(fReadyTest(s_, drive_), kReadyUnknown);
  drive_.Fail(0x00, Check(0x02, 0x00, 0x00));
  EXPECT_EQ(fReadyTest(s_, drive_), kReadyUnknown);
  EXPECT_EQ(fReadyTest(s_, drive_), 0);  // the failures were one each
}

// --- sizes ---

TEST_F(MmcCompositeTest, MediaSizeIsBlockLengthTimesBlocks) {
  sim::FileDisk usb(root_ / "usb.bin", 2008ull * 1024 * 1024, host_);
  std::uint32_t last = 0;
  EXPECT_EQ(fGetMediaSize(s_, usb, &last), 2008ull * 1024 * 1024);
  EXPECT_EQ(last, 2008u * 2048 - 1);
  usb.sectorSize = 4096;  // the product needs 64 bits
  EXPECT_EQ(fGetMediaSize(s_, usb), 2008ull * 1024 * 1024);
  usb.mediumPresent = false;
  EXPECT_EQ(fGetMediaSize(s_, usb, &last), 0u);
}

TEST_F(MmcCompositeTest, MediaSizeAbove4GiBIsKept) {
  // 0x80000000 blocks of 4096 bytes: the product overflows 32 bits several times.
  class BigDisk final : public testing::RefusingDisk {
   public:
    bool ScsiPassThrough(ScsiRequest& r) override {
      common::store_be32(static_cast<std::uint8_t*>(r.dataBuffer), 0x7FFFFFFF);
      common::store_be32(static_cast<std::uint8_t*>(r.dataBuffer) + 4, 4096);
      return true;
    }
  } big;
  EXPECT_EQ(fGetMediaSize(s_, big), 0x80000000ull * 4096);
}

// --- features and profiles ---

TEST_F(MmcCompositeTest, GetConfigurationReadsTheHeaderThenTheWholeFeature) {
  std::uint8_t buffer[64];
  EXPECT_TRUE(fGetMMFeature(s_, drive_, 0x0000, buffer, sizeof buffer));
  const auto sent = drive_.CommandsWithOpcode(0x46);
  ASSERT_EQ(sent.size(), 2u);
  for (const auto& c : sent) {
    EXPECT_EQ(c.request.cdb[1], 0x02);
    EXPECT_EQ(c.request.cdb[2], 0x00);
    EXPECT_EQ(c.request.cdb[3], 0x00);
    EXPECT_EQ(c.request.timeOutSeconds, 10u);
  }
  EXPECT_EQ(common::load_be16(sent[0].request.cdb + 7), 8);
  // Header (8) + feature header (4) + three profiles (12): data length 20, asks for 24.
  EXPECT_EQ(common::load_be16(sent[1].request.cdb + 7), 24);
  EXPECT_EQ(common::load_be32(buffer), 20u);
  EXPECT_EQ(common::load_be16(buffer + 6), 0x0009);
  EXPECT_EQ(common::load_be16(buffer + 12), 0x0008);  // first profile descriptor
}

TEST_F(MmcCompositeTest, SecondReadIsLimitedToTheBuffer) {
  std::uint8_t buffer[16];
  EXPECT_TRUE(fGetMMFeature(s_, drive_, 0x0000, buffer, sizeof buffer));
  const auto sent = drive_.CommandsWithOpcode(0x46);
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(common::load_be16(sent[1].request.cdb + 7), 16);
  EXPECT_EQ(sent[1].request.dataTransferLength, 16u);
}

TEST_F(MmcCompositeTest, FeatureNumberGoesIntoTheCdb) {
  std::uint8_t buffer[32];
  EXPECT_TRUE(fGetMMFeature(s_, drive_, 0x002D, buffer, sizeof buffer));
  EXPECT_EQ(drive_.CommandsWithOpcode(0x46)[0].request.cdb[3], 0x2D);
}

TEST_F(MmcCompositeTest, FeatureBufferOfSevenBytesIsRefusedAlways) {
  std::uint8_t buffer[8];
  EXPECT_FALSE(fGetMMFeature(s_, drive_, 0, buffer, 7));
  EXPECT_EQ(Count(0x46), 0u);
  ASSERT_EQ(host_.Messages().size(), 1u);
  EXPECT_EQ(host_.Messages()[0].text, "Buffer too small in fGetMMFeature");
  EXPECT_EQ(host_.Messages()[0].title, "Error");
  EXPECT_TRUE(fGetMMFeature(s_, drive_, 0, buffer, 8));
}

TEST_F(MmcCompositeTest, CurrentProfileFromTheFeatureHeader) {
  drive_.currentProfile = sim::profile::kDvdRom;
  EXPECT_EQ(fGetCurrentProfile(s_, drive_), 0x0010);
  drive_.medium = Medium::None;
  EXPECT_EQ(fGetCurrentProfile(s_, drive_), 0x0000);
}

TEST_F(MmcCompositeTest, FailedGetConfigurationReadsAsCdRw) {
  drive_.currentProfile = sim::profile::kCdR;
  drive_.Fail(0x46, Check(0x05, 0x20, 0x00));
  EXPECT_EQ(fGetCurrentProfile(s_, drive_), 0x000A);
  InjectedFailure second = Check(0x05, 0x20, 0x00);
  second.after = 1;  // the second step failing counts too
  drive_.Fail(0x46, second);
  drive_.ClearCommands();
  EXPECT_EQ(fGetCurrentProfile(s_, drive_), 0x000A);
  EXPECT_EQ(Count(0x46), 2u);
  InjectedFailure dc;
  dc.kind = InjectedFailure::DeviceControl;
  drive_.Fail(0x46, dc);
  EXPECT_EQ(fGetCurrentProfile(s_, drive_), 0x000A);
}

TEST_F(MmcCompositeTest, VerboseModeShowsTheProfile) {
  SetVerbose();
  fGetCurrentProfile(s_, drive_);
  ASSERT_EQ(host_.Messages().size(), 1u);
  EXPECT_EQ(host_.Messages()[0].text, "Current profile: 0x0009");
  EXPECT_EQ(host_.Messages()[0].title, "Verbose message");
}

// --- disc state ---

TEST_F(MmcCompositeTest, BlankAndErasableFollowTheDisc) {
  struct Case {
    DiscStatus disc;
    bool erasable;
    bool blank;
  } cases[] = {{DiscStatus::Blank, false, true},
               {DiscStatus::Appendable, false, false},
               {DiscStatus::Complete, true, false},
               {DiscStatus::Blank, true, true}};
  for (const Case& c : cases) {
    drive_.disc = c.disc;
    drive_.erasable = c.erasable;
    EXPECT_EQ(fIsDiscBlank(s_, drive_), c.blank);
    EXPECT_EQ(fIsDiscErasable(s_, drive_), c.erasable);
  }
  const auto sent = drive_.CommandsWithOpcode(0x51);
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(sent[0].request.dataTransferLength, 4u);
  EXPECT_EQ(sent[0].request.cdb[8], 4);
}

// A disc whose state cannot be read is neither written over as blank nor
// erased as erasable, whatever it really holds.
TEST_F(MmcCompositeTest, FailedReadDiscInformationReadsAsNeitherBlankNorErasable) {
  InjectedFailure dc;
  dc.kind = InjectedFailure::DeviceControl;
  dc.times = -1;
  for (const InjectedFailure& failure : {Check(0x05, 0x24, 0x00, -1), dc}) {
    for (const bool erasable : {false, true}) {
      drive_.disc = DiscStatus::Blank;
      drive_.erasable = erasable;
      drive_.Fail(0x51, failure);
      EXPECT_FALSE(fIsDiscBlank(s_, drive_));
      EXPECT_FALSE(fIsDiscErasable(s_, drive_));
    }
  }
}

// --- write parameters ---

// The page goes back at the length the drive gives it, from its current
// values: drives with a longer page refuse a short one, and fields they do not
// let change must come back as they have them (the defaults differ there).
TEST_F(MmcCompositeTest, WriteParametersGoBackAtTheDrivesLengthFromItsCurrentValues) {
  for (const std::uint8_t pageLength : {0x32, 0x36, 0x38}) {
    SCOPED_TRACE(pageLength);
    drive_.writeParametersPageLength = pageLength;
    drive_.ClearCommands();
    EXPECT_TRUE(fSetWriteParameters(s_, drive_));
    const auto sense = drive_.CommandsWithOpcode(0x5A);
    ASSERT_EQ(sense.size(), 1u);
    EXPECT_EQ(sense[0].request.cdb[2], 0x05);  // current values

    const auto select = drive_.CommandsWithOpcode(0x55);
    ASSERT_EQ(select.size(), 1u);
    const std::vector<std::uint8_t>& sent = select[0].dataOut;
    ASSERT_EQ(sent.size(), 8u + 2 + pageLength);
    EXPECT_EQ(sent[0], 0x00);  // mode data length cleared
    EXPECT_EQ(sent[1], 0x00);
    // The drive's defaults were 85 len 42 25 0A 07 01 02 20 03.
    const std::vector<std::uint8_t> page(sent.begin() + 8, sent.begin() + 18);
    EXPECT_EQ(page, (std::vector<std::uint8_t>{0x05, pageLength, 0x01, 0x04, 0x08, 0, 0, 0, 0, 0}));
    EXPECT_EQ(sent[sent.size() - 1], 0x96);  // the drive's own setting, kept
    EXPECT_EQ(drive_.writeParametersPage().size(), 2u + pageLength);
  }
}

TEST_F(MmcCompositeTest, WriteParametersNeedBothCommands) {
  drive_.Fail(0x5A, Check(0x05, 0x24, 0x00));
  EXPECT_FALSE(fSetWriteParameters(s_, drive_));
  EXPECT_EQ(Count(0x55), 0u);
  drive_.Fail(0x55, Check(0x05, 0x26, 0x00));
  EXPECT_FALSE(fSetWriteParameters(s_, drive_));
}

// --- session close ---

TEST_F(MmcCompositeTest, SessionCloseWaitsOutANotReadyDrive) {
  drive_.disc = DiscStatus::Appendable;
  drive_.closeNotReadyAttempts = 3;
  EXPECT_TRUE(fCloseSessionWait(s_, drive_));
  EXPECT_EQ(Count(0x5B), 4u);
  EXPECT_EQ(host_.Sleeps(), std::vector<std::uint32_t>(4, 1000));
  EXPECT_EQ(drive_.disc, DiscStatus::Complete);
}

TEST_F(MmcCompositeTest, SessionCloseGivesUpAfter21Attempts) {
  drive_.disc = DiscStatus::Appendable;
  drive_.closeNotReadyAttempts = 1000;
  EXPECT_FALSE(fCloseSessionWait(s_, drive_));
  EXPECT_EQ(Count(0x5B), 21u);
  EXPECT_EQ(host_.Milliseconds(), 21000u);
}

TEST_F(MmcCompositeTest, SessionCloseStopsAtOtherErrors) {
  drive_.disc = DiscStatus::Appendable;
  drive_.Fail(0x5B, Check(0x03, 0x0C, 0x00));
  EXPECT_FALSE(fCloseSessionWait(s_, drive_));
  EXPECT_EQ(Count(0x5B), 1u);
  InjectedFailure dc;
  dc.kind = InjectedFailure::DeviceControl;
  drive_.Fail(0x5B, dc);
  EXPECT_FALSE(fCloseSessionWait(s_, drive_));
  EXPECT_EQ(Count(0x5B), 2u);
}

// A blank or a close that runs for minutes: sent with the immediate bit (the
// port driver would cut the command off after its time-out), then the drive is
// asked once a second until it is done, for 20 minutes at the most.
TEST_F(MmcCompositeTest, LongBlankAndCloseRunImmediateAndAreWaitedFor) {
  drive_.clock = &host_;
  struct Row {
    std::uint8_t opcode;
    std::uint32_t seconds;
    bool done;
  } rows[] = {{0xA1, 200, true}, {0x5B, 300, true}, {0xA1, 1500, false}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.seconds);
    drive_.ClearCommands();
    drive_.currentProfile = sim::profile::kCdRw;
    drive_.erasable = true;
    drive_.disc = DiscStatus::Appendable;
    drive_.blankSeconds = drive_.closeSeconds = row.seconds;
    const std::uint64_t start = host_.Milliseconds();
    EXPECT_EQ(row.opcode == 0xA1 ? fBlankMinimal(s_, drive_) : fCloseSessionWait(s_, drive_),
              row.done);
    ASSERT_EQ(Count(row.opcode), 1u);
    EXPECT_EQ(drive_.CommandsWithOpcode(row.opcode)[0].request.cdb[1] & (row.opcode == 0xA1 ? 0x10 : 0x01),
              row.opcode == 0xA1 ? 0x10 : 0x01);
    const std::uint64_t waited = host_.Milliseconds() - start;
    if (row.done) {
      EXPECT_GE(waited, row.seconds * 1000ull);
      EXPECT_LE(waited, row.seconds * 1000ull + 2000);
    } else {
      EXPECT_EQ(host_.Last(), 121u);  // ERROR_SEM_TIMEOUT
      EXPECT_GE(waited, 20 * 60 * 1000ull);
      EXPECT_LT(waited, 21 * 60 * 1000ull);
    }
    host_.Sleep(static_cast<std::uint32_t>(row.seconds * 1000));  // whatever still runs ends
  }
}

// A drive whose buffer is full answers "long write in progress": the same
// WRITE (10) goes again a moment later, for two minutes at the most.
TEST_F(MmcCompositeTest, LongWriteInProgressIsRetried) {
  std::vector<std::uint8_t> data(16384, 0x5C);
  drive_.longWriteEvery = 2;
  for (std::uint32_t lba = 0; lba < 32; lba += 8)
    EXPECT_TRUE(fWrite10(s_, drive_, lba, 16384, data.data())) << lba;
  EXPECT_EQ(Count(0x2A), 7u);  // the 2nd, 3rd and 4th sent twice
  EXPECT_EQ(drive_.writtenBlocks(), 32u);
  drive_.Fail(0x2A, Check(0x02, 0x04, 0x08, -1));  // full for good
  EXPECT_FALSE(fWrite10(s_, drive_, 32, 16384, data.data()));
  EXPECT_GE(host_.Milliseconds(), 120000u);
}

// Adapters refuse pass-through buffers that do not meet their alignment mask:
// the small buffers of the composite operations travel through page memory.
TEST_F(MmcCompositeTest, PassThroughBuffersMeetTheAdapterAlignmentMask) {
  drive_.alignmentMask = 0xFFF;
  std::uint32_t last = 0;
  EXPECT_EQ(fWaitReady(s_, drive_), 0);
  EXPECT_NE(fGetMediaSize(s_, drive_, &last), 0u);
  EXPECT_EQ(fGetCurrentProfile(s_, drive_), sim::profile::kCdR);
  EXPECT_TRUE(fIsDiscBlank(s_, drive_));
  EXPECT_TRUE(fSetWriteParameters(s_, drive_));
  std::uint8_t odd[2049];
  EXPECT_TRUE(fWrite10(s_, drive_, 0, 2048, odd + 1));
  for (const auto& c : drive_.commands())
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(c.request.dataBuffer) & 0xFFF, 0u) << int{c.request.cdb[0]};
  EXPECT_EQ(host_.OutstandingAllocations(), 0);
}

// --- writer enumeration ---

class CdWriterTest : public MmcCompositeTest {
 protected:
  CdWriterTest() : reader_(root_ / "reader.iso", host_), writer2_(root_ / "w2.iso", host_) {
    reader_.writesCdR = reader_.writesCdRw = false;
    writer2_.vendor = "HL-DT-ST";
    writer2_.product = "DVDRAM GH24NSD1 ";
    writer2_.writesCdRw = false;
    host_.drives['C'] = {DriveType::Fixed, nullptr};
    host_.drives['D'] = {DriveType::CdRom, &drive_};
    host_.drives['E'] = {DriveType::CdRom, &reader_};
    host_.drives['F'] = {DriveType::CdRom, nullptr};  // can't be opened
    host_.drives['G'] = {DriveType::Removable, &writer2_};
    host_.drives['H'] = {DriveType::CdRom, &writer2_};
  }
  static void Collect(void* context, const char* name) {
    static_cast<std::vector<std::string>*>(context)->push_back(name);
  }
  sim::SimulatedMmcDrive reader_, writer2_;
};

TEST_F(CdWriterTest, ListsEachWriterWithItsIdentification) {
  std::vector<std::string> names;
  EXPECT_EQ(fEnumCdWriters(s_, &names, Collect), 2);
  EXPECT_EQ(names,
            (std::vector<std::string>{"(D:) SIMUL CD-RW WRITER", "(H:) HL-DT-ST DVDRAM GH24NSD1"}));
  const auto sense = drive_.CommandsWithOpcode(0x5A);
  ASSERT_EQ(sense.size(), 1u);
  EXPECT_EQ(sense[0].request.cdb[2], 0xAA);
  EXPECT_EQ(sense[0].request.dataTransferLength, 12u);
}

TEST_F(CdWriterTest, WithoutACallbackItOnlyCounts) {
  EXPECT_EQ(fEnumCdWriters(s_, nullptr, nullptr), 2);
}

TEST_F(CdWriterTest, LongIdentificationIsCutToEightAndSixteen) {
  drive_.vendor = "VERYLONGVENDOR";
  drive_.product = "A PRODUCT NAME THAT GOES ON";
  std::vector<std::string> names;
  fEnumCdWriters(s_, &names, Collect);
  ASSERT_FALSE(names.empty());
  EXPECT_EQ(names[0], "(D:) VERYLONG A PRODUCT NAME T");
}

TEST_F(CdWriterTest, DriveThatFailsTheCapabilitiesPageIsNoWriter) {
  drive_.Fail(0x5A, Check(0x05, 0x24, 0x00));
  EXPECT_EQ(fEnumCdWriters(s_, nullptr, nullptr), 1);
}

// --- a whole burn through the layer, checked by isoinfo ---

TEST_F(MmcCompositeTest, BurnedImageIsTheIsoAndIsoinfoReadsIt) {
  const auto tree = root_ / "tree";
  testing::WriteFile(tree / "README.TXT", std::string(70000, 'r'));
  testing::WriteFile(tree / "DIAGS" / "TEST.EXE", std::string(5000, 'x'));
  const auto iso = root_ / "source.iso";
  const std::string make = "genisoimage -quiet -V DIAGCD -o " + testing::Quote(iso) + " " +
                           testing::Quote(tree) + " 2>/dev/null";
  ASSERT_EQ(std::system(make.c_str()), 0);
  const std::string image = testing::ReadFile(iso);
  ASSERT_EQ(image.size() % 2048, 0u);

  drive_.medium = Medium::BecomingReady;
  drive_.becomingReadyTests = 2;
  drive_.currentProfile = sim::profile::kCdRw;
  drive_.disc = DiscStatus::Complete;
  drive_.erasable = true;

  ASSERT_EQ(fWaitReady(s_, drive_), 0);
  EXPECT_EQ(fGetCurrentProfile(s_, drive_), 0x000A);
  ASSERT_FALSE(fIsDiscBlank(s_, drive_));
  ASSERT_TRUE(fIsDiscErasable(s_, drive_));
  ASSERT_TRUE(fBlankMinimal(s_, drive_));
  ASSERT_TRUE(fIsDiscBlank(s_, drive_));
  ASSERT_TRUE(fSetMaxSpeed(s_, drive_));
  ASSERT_TRUE(fSetWriteParameters(s_, drive_));
  ASSERT_TRUE(fSendOpc(s_, drive_));
  ASSERT_TRUE(fLockMedia(s_, drive_, true));
  constexpr std::uint32_t kPiece = 32 * 2048;
  for (std::uint32_t at = 0; at < image.size(); at += kPiece) {
    const std::uint32_t bytes =
        std::min<std::uint32_t>(kPiece, static_cast<std::uint32_t>(image.size()) - at);
    ASSERT_TRUE(fWrite10(s_, drive_, at / 2048, bytes, image.data() + at)) << at;
  }
  ASSERT_TRUE(fSyncCache(s_, drive_));
  ASSERT_TRUE(fCloseSessionWait(s_, drive_));
  ASSERT_TRUE(fLockMedia(s_, drive_, false));
  EXPECT_FALSE(drive_.mediaLocked());

  std::uint32_t last = 0;
  EXPECT_EQ(fGetMediaSize(s_, drive_, &last), image.size());
  EXPECT_EQ(last + 1, image.size() / 2048);

  const std::string compare =
      "cmp " + testing::Quote(iso) + " " + testing::Quote(drive_.imagePath()) + " >/dev/null";
  EXPECT_EQ(std::system(compare.c_str()), 0);
  const std::string inspect =
      "isoinfo -d -i " + testing::Quote(drive_.imagePath()) + " | grep -q 'Volume id: DIAGCD'";
  EXPECT_EQ(std::system(inspect.c_str()), 0);
  // Nothing more can be written on the closed disc.
  EXPECT_FALSE(fWrite10(s_, drive_, last + 1, 2048, image.data()));

  // READ (10) answers what the disc holds, and nothing past its last block.
  std::string read(image.size(), '\0');
  for (std::uint32_t block = 0; block <= last; block += 8) {
    const auto blocks = static_cast<std::uint16_t>(std::min<std::uint32_t>(8, last + 1 - block));
    ASSERT_TRUE(fRead10(s_, drive_, block, blocks, read.data() + block * 2048)) << block;
  }
  EXPECT_TRUE(read == image);
  EXPECT_FALSE(fRead10(s_, drive_, last, 2, read.data()));
  // Another disc holds nothing yet.
  sim::InsertDisc(drive_, sim::CdMedia::CdR);
  EXPECT_FALSE(fRead10(s_, drive_, 0, 1, read.data()));
  EXPECT_EQ(std::filesystem::file_size(drive_.imagePath()), 0u);
}

}  // namespace
}  // namespace zolp
