#include <array>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "zolp/mmc.h"
#include "zolp/sim/simulated_mmc_drive.h"
#include "zolp_fixture.h"

namespace zolp {
namespace {

using Cdb = std::array<std::uint8_t, 16>;

class MmcCommandTest : public testing::ZolpTest {
 protected:
  MmcCommandTest() : drive_(root_ / "disc.iso", host_) {}
  ScsiRequest Only() {
    EXPECT_EQ(drive_.commands().size(), 1u);
    return drive_.commands().empty() ? ScsiRequest{} : drive_.commands().back().request;
  }
  static Cdb CdbOf(const ScsiRequest& r) {
    Cdb c;
    std::memcpy(c.data(), r.cdb, 16);
    return c;
  }
  sim::SimulatedMmcDrive drive_;
  std::uint8_t buffer_[64] = {};
};

struct CommandCase {
  const char* name;
  std::function<bool(const Services&, DiskHandle&, std::uint8_t*)> send;
  Cdb cdb;
  std::uint8_t cdbLength;
  std::uint8_t direction;
  std::uint32_t transferLength;
  std::uint32_t timeOut;
};

TEST_F(MmcCommandTest, EveryCommandSendsItsCdbDirectionLengthAndTimeOut) {
  drive_.disc = sim::DiscStatus::Appendable;
  drive_.currentProfile = sim::profile::kCdRw;
  drive_.erasable = true;
  std::uint8_t data[3000] = {};
  const CommandCase cases[] = {
      {"TEST UNIT READY",
       [](auto& s, auto& d, auto*) { return fTestUnitReady(s, d); },
       {0x00},
       6,
       2,
       0,
       10},
      {"PREVENT REMOVAL",
       [](auto& s, auto& d, auto*) { return fLockMedia(s, d, true); },
       {0x1E, 0, 0, 0, 1},
       6,
       2,
       0,
       480},
      {"ALLOW REMOVAL",
       [](auto& s, auto& d, auto*) { return fLockMedia(s, d, false); },
       {0x1E},
       6,
       2,
       0,
       480},
      {"READ CAPACITY",
       [](auto& s, auto& d, auto*) {
         std::uint8_t c[8];
         return fReadCapacity(s, d, c);
       },
       {0x25},
       10,
       1,
       8,
       2},
      {"WRITE (10)",
       [&](auto& s, auto& d, auto*) { return fWrite10(s, d, 0x00012345, 3000, data); },
       {0x2A, 0, 0x00, 0x01, 0x23, 0x45, 0, 0x00, 0x02},
       10,
       0,
       4096,  // whole blocks
       60},
      {"READ (10)",  // what the write above left on the disc
       [&](auto& s, auto& d, auto*) { return fRead10(s, d, 0x00012346, 1, data); },
       {0x28, 0, 0x00, 0x01, 0x23, 0x46, 0, 0x00, 0x01},
       10,
       1,
       2048,
       60},
      {"SYNCHRONIZE CACHE",
       [](auto& s, auto& d, auto*) { return fSyncCache(s, d); },
       {0x35},
       10,
       2,
       0,
       120},
      {"READ DISC INFORMATION",
       [](auto& s, auto& d, auto* b) { return fReadDiscInfo(s, d, b, 34); },
       {0x51, 0, 0, 0, 0, 0, 0, 0x00, 34},
       10,
       1,
       34,
       2},
      {"SEND OPC",
       [](auto& s, auto& d, auto*) { return fSendOpc(s, d); },
       {0x54, 0x01},
       10,
       2,
       0,
       60},
      {"MODE SENSE (10)",
       [](auto& s, auto& d, auto* b) { return fModeSense10(s, d, 0x05, b, 60); },
       {0x5A, 0x08, 0x85, 0, 0, 0, 0, 0x00, 60},
       10,
       1,
       60,
       10},
      {"CLOSE SESSION",
       [](auto& s, auto& d, auto*) { return fCloseSession(s, d); },
       {0x5B, 0x01, 0x02},  // immediate
       10,
       2,
       0,
       480},
      {"BLANK",
       [](auto& s, auto& d, auto*) { return fBlankMinimal(s, d); },
       {0xA1, 0x11},  // immediate, minimal
       12,
       2,
       0,
       120},
      {"SET CD SPEED",
       [](auto& s, auto& d, auto*) { return fSetMaxSpeed(s, d); },
       {0xBB, 0, 0xFF, 0xFF, 0xFF, 0xFF},
       12,
       2,
       0,
       30},
  };
  for (const CommandCase& c : cases) {
    drive_.ClearCommands();
    EXPECT_TRUE(c.send(s_, drive_, buffer_)) << c.name;
    // One command; BLANK then waits for the drive with a ready test.
    const bool waits = c.cdb[0] == 0xA1;
    ASSERT_EQ(drive_.commands().size(), waits ? 2u : 1u) << c.name;
    if (waits) {
      EXPECT_EQ(drive_.commands().back().request.cdb[0], 0x00);
    }
    const ScsiRequest r = drive_.commands().front().request;
    EXPECT_EQ(CdbOf(r), c.cdb) << c.name;
    EXPECT_EQ(r.cdbLength, c.cdbLength) << c.name;
    EXPECT_EQ(r.dataIn, c.direction) << c.name;
    EXPECT_EQ(r.dataTransferLength, c.transferLength) << c.name;
    EXPECT_EQ(r.timeOutSeconds, c.timeOut) << c.name;
    EXPECT_EQ(r.length, 44) << c.name;
    EXPECT_EQ(r.senseInfoOffset, 48u) << c.name;
    EXPECT_EQ(r.senseInfoLength, 32) << c.name;
    EXPECT_EQ(r.pathId + r.targetId + r.lun, 0) << c.name;
  }
}

TEST_F(MmcCommandTest, ModeSelectSendsPageFormatAndTheBytes) {
  drive_.writeParametersPageLength = 0x32;
  std::uint8_t page[60] = {};
  ASSERT_TRUE(fModeSense10(s_, drive_, 0x05, page, sizeof page, ModeValues::Current));
  page[0] = page[1] = 0;
  page[8] &= 0x3F;
  drive_.ClearCommands();
  EXPECT_TRUE(fModeSelect10(s_, drive_, page, sizeof page));
  const auto& sent = drive_.commands().back();
  EXPECT_EQ(CdbOf(sent.request), (Cdb{0x55, 0x10, 0, 0, 0, 0, 0, 0x00, 60}));
  EXPECT_EQ(sent.request.dataIn, 0);
  EXPECT_EQ(sent.request.timeOutSeconds, 10u);
  EXPECT_EQ(sent.dataOut, std::vector<std::uint8_t>(page, page + 60));
}

// The drive takes whole blocks: bytes that end inside one go out with the
// rest of the block zero, and the transfer is the blocks' length.
TEST_F(MmcCommandTest, WriteTenSendsWholeBlocks) {
  std::vector<std::uint8_t> data(4096, 0xAB);
  const std::pair<std::uint32_t, std::uint16_t> cases[] = {
      {1, 1}, {2048, 1}, {2049, 2}, {3000, 2}, {4096, 2}};
  for (const auto& [bytes, blocks] : cases) {
    drive_.ClearCommands();
    EXPECT_TRUE(fWrite10(s_, drive_, 0, bytes, data.data()));
    const ScsiRequest r = Only();
    EXPECT_EQ((r.cdb[7] << 8) | r.cdb[8], blocks) << bytes;
    std::vector<std::uint8_t> sent(blocks * 2048u, 0);
    std::fill(sent.begin(), sent.begin() + bytes, 0xAB);
    EXPECT_EQ(drive_.commands().back().dataOut, sent) << bytes;
  }
  EXPECT_EQ(host_.OutstandingAllocations(), 0);
}

// Counts past 16 bits (or past 32 bits of bytes once rounded up) cannot be said
// in one WRITE (10): such writes are refused unsent, never cut short.
TEST_F(MmcCommandTest, WriteOfMoreBlocksThanTheCdbHoldsIsRefused) {
  class CdbRecorder final : public testing::RefusingDisk {
   public:
    std::vector<Cdb> sent;
    bool ScsiPassThrough(ScsiRequest& r) override {
      sent.push_back(CdbOf(r));
      r.scsiStatus = 0;
      return true;
    }
  } recorder;
  const std::uint8_t byte = 0;
  const std::pair<std::uint32_t, int> cases[] = {
      {65535u * 2048, 65535}, {65535u * 2048 + 1, -1}, {65536u * 2048, -1},
      {0x80000000u, -1},      {0xFFFFF801u, -1},       {0xFFFFFFFFu, -1}};
  for (const auto& [bytes, blocks] : cases) {
    recorder.sent.clear();
    std::uint8_t sense[32];
    std::memset(sense, 0xEE, sizeof sense);
    EXPECT_EQ(fWrite10(s_, recorder, 0, bytes, &byte, sense), blocks >= 0) << bytes;
    if (blocks < 0) {
      EXPECT_TRUE(recorder.sent.empty()) << bytes;
      EXPECT_EQ(sense[12], 0) << "no stale sense data";
    } else {
      ASSERT_EQ(recorder.sent.size(), 1u);
      EXPECT_EQ((recorder.sent[0][7] << 8) | recorder.sent[0][8], blocks);
    }
  }
}

TEST_F(MmcCommandTest, DataFromTheDeviceStartsFromAZeroedBuffer) {
  std::memset(buffer_, 0xEE, sizeof buffer_);
  drive_.Fail(mmc_opcode::kReadDiscInformation, {sim::InjectedFailure::CheckCondition});
  EXPECT_FALSE(fReadDiscInfo(s_, drive_, buffer_, 34));
  for (int i = 0; i < 34; ++i) EXPECT_EQ(buffer_[i], 0) << i;
  EXPECT_EQ(buffer_[34], 0xEE);  // nothing beyond the transfer is touched
}

TEST_F(MmcCommandTest, StatusMapping) {
  ScsiCommand tur;
  tur.cdbLength = 6;
  tur.timeOutSeconds = 10;
  EXPECT_EQ(fScsiPassThrough(s_, drive_, tur), 0);

  sim::InjectedFailure f;
  f.kind = sim::InjectedFailure::CheckCondition;
  drive_.Fail(0x00, f);
  EXPECT_EQ(fScsiPassThrough(s_, drive_, tur), -1);

  f.kind = sim::InjectedFailure::Status;
  for (auto [status, expected] : {std::pair{0x08, -2}, {0x18, -3}, {0x28, -4}, {0x40, -4}}) {
    f.status = static_cast<std::uint8_t>(status);
    drive_.Fail(0x00, f);
    EXPECT_EQ(fScsiPassThrough(s_, drive_, tur), expected) << status;
  }

  f.kind = sim::InjectedFailure::DeviceControl;
  f.systemError = 50;
  drive_.Fail(0x00, f);
  std::uint8_t sense[32];
  std::memset(sense, 0xFF, sizeof sense);
  EXPECT_EQ(fScsiPassThrough(s_, drive_, tur, sense), 50);
  EXPECT_EQ(sense[12], 0);
  EXPECT_EQ(sense[13], 0);
  EXPECT_TRUE(host_.Messages().empty());  // all of these are verbose-mode messages
}

TEST_F(MmcCommandTest, BusyDriveAnswersBusy) {
  drive_.busy = true;
  EXPECT_FALSE(fTestUnitReady(s_, drive_));
  ScsiCommand tur;
  tur.cdbLength = 6;
  EXPECT_EQ(fScsiPassThrough(s_, drive_, tur), kScsiBusy);
}

TEST_F(MmcCommandTest, VerboseModeShowsEachTargetError) {
  SetVerbose();
  drive_.medium = sim::Medium::None;
  EXPECT_FALSE(fSyncCache(s_, drive_));
  sim::InjectedFailure f;
  f.kind = sim::InjectedFailure::Status;
  f.status = 0x08;
  drive_.Fail(0x35, f);
  fSyncCache(s_, drive_);
  f.status = 0x18;
  drive_.Fail(0x35, f);
  fSyncCache(s_, drive_);
  f.status = 0x22;
  drive_.Fail(0x35, f);
  fSyncCache(s_, drive_);
  f.kind = sim::InjectedFailure::DeviceControl;
  f.systemError = 5;
  drive_.Fail(0x35, f);
  fSyncCache(s_, drive_);

  const auto messages = host_.Messages();
  ASSERT_EQ(messages.size(), 5u);
  EXPECT_EQ(messages[0].text,
            "Target error trying to execute a SCSI pass through command: Cmd: 0x35, Check "
            "Condition (02-3A00).");
  EXPECT_EQ(messages[0].title, "Error");
  EXPECT_EQ(messages[0].icon, MessageIcon::Warning);
  EXPECT_EQ(messages[1].text,
            "Target error trying to execute a SCSI pass through command: Target is busy.");
  EXPECT_EQ(messages[2].text,
            "Target error trying to execute a SCSI pass through command: Reservation conflict.");
  EXPECT_EQ(messages[3].text,
            "Target error trying to execute a SCSI pass through command: Unknown error (34).");
  EXPECT_EQ(messages[4].text, "DeviceIoControl failed with error 5: Access is denied.");
  EXPECT_EQ(messages[4].title, "SCSI pass-through command failed");
  for (const auto& m : messages) EXPECT_LE(m.text.size(), 127u);
}

}  // namespace
}  // namespace zolp
