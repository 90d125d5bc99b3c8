// A CD writer behind SCSI pass-through, answering the MMC commands of the
// front end from a small state: medium, profile, disc status, busy. What
// WRITE (10) sends is kept as an image file (2048-byte blocks from LBA 0), and
// READ (10) answers from it.
//
// It keeps the rules real writers and Windows keep: WRITE (10) carries exactly
// its blocks' bytes; pass-through buffers meet the adapter's alignment mask; a
// BLANK or CLOSE that takes longer than the command's time-out is cut off by
// the port driver unless sent with the immediate bit, and the drive answers
// "operation in progress" until it is done; a full buffer answers "long write
// in progress"; the write parameters page goes back at the drive's length and
// with its fields that cannot change as they are; another program that has the
// writer open is kept out only by exclusive access, which a handle holds until
// it lets go or closes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "zolp/host.h"

namespace zolp::sim {

enum class Medium { None, BecomingReady, Ready };
enum class DiscStatus : std::uint8_t { Blank = 0, Appendable = 1, Complete = 2 };

namespace profile {
inline constexpr std::uint16_t kNone = 0x0000;
inline constexpr std::uint16_t kCdRom = 0x0008;
inline constexpr std::uint16_t kCdR = 0x0009;
inline constexpr std::uint16_t kCdRw = 0x000A;
inline constexpr std::uint16_t kDvdRom = 0x0010;
}  // namespace profile

// A failure the drive is told to give for one opcode.
struct InjectedFailure {
  enum Kind { DeviceControl, CheckCondition, Status } kind = CheckCondition;
  std::uint32_t systemError = 1117;                       // DeviceControl
  std::uint8_t senseKey = 0x05, asc = 0x24, ascq = 0x00;  // CheckCondition
  std::uint8_t status = 0x08;  // Status (BUSY, RESERVATION CONFLICT, ...)
  int times = 1;               // -1: always
  int after = 0;               // commands of this opcode that pass first
};

struct RecordedCommand {
  ScsiRequest request;                // as sent (data pointer not to be followed)
  std::vector<std::uint8_t> dataOut;  // bytes sent to the drive
};

class SimulatedMmcDrive final : public DiskHandle {
 public:
  SimulatedMmcDrive(std::filesystem::path imagePath, SystemErrors& errors);

  // Drive state.
  Medium medium = Medium::Ready;
  int becomingReadyTests = 0;  // TEST UNIT READYs answering 04/01 before ready
  bool mediumChanged = false;  // one unit attention 28/00 pending
  std::uint16_t currentProfile = profile::kCdR;
  DiscStatus disc = DiscStatus::Blank;
  bool erasable = false;
  bool busy = false;
  bool writesCdR = true, writesCdRw = true;
  int closeNotReadyAttempts = 0;          // CLOSE SESSIONs answering "not ready, long write"
  std::uint32_t capacityBlocks = 359847;  // an 80-minute disc
  std::string vendor = "SIMUL", product = "CD-RW WRITER", revision = "1.00";
  // A faulty writer: this block of a WRITE (10) is silently not recorded (the
  // command still answers GOOD), so the disc reads back zeros there.
  std::optional<std::uint32_t> dropBlock;
  std::uint32_t writeDelayMs = 0;  // every WRITE (10) takes this long
  std::uint32_t alignmentMask = 0;  // the adapter's, for pass-through data buffers
  int longWriteEvery = 0;           // every n-th WRITE (10) finds the buffer full (02/04/08)
  // How long a BLANK and a CLOSE SESSION take, by `clock` (none: at once).
  std::uint32_t blankSeconds = 0, closeSeconds = 0;
  Clock* clock = nullptr;
  std::uint8_t writeParametersPageLength = 0x36;  // page 05h's length byte
  // Another program has the writer open and polls it between our commands
  // (the system's burning service): in the middle of a track that ruins it.
  bool anotherProgramPolls = false;
  // Another program holds the writer for itself (exclusive access).
  bool heldElsewhere = false;

  // A handle of its own, as each CreateFile gives (exclusive access is a
  // handle's; closing it lets go).
  std::unique_ptr<DiskHandle> OpenHandle();
  // Which handle holds exclusive access (this drive itself when used directly).
  const void* exclusiveHolder() const { return exclusive_; }
  int pollsRefused() const { return pollsRefused_; }

  // Another disc goes in (or the drive is emptied): what the old one held is
  // gone, and the next TEST UNIT READY reports the medium change.
  void ChangeDisc(Medium newMedium, std::uint16_t profile, DiscStatus status, bool isErasable);

  void Fail(std::uint8_t opcode, InjectedFailure failure);
  const std::vector<RecordedCommand>& commands() const { return commands_; }
  std::vector<RecordedCommand> CommandsWithOpcode(std::uint8_t opcode) const;
  void ClearCommands() { commands_.clear(); }
  // The write parameters page last accepted by MODE SELECT (10), from its first byte.
  const std::vector<std::uint8_t>& writeParametersPage() const { return writeParameters_; }
  std::uint32_t writtenBlocks() const { return writtenBlocks_; }
  bool mediaLocked() const { return mediaLocked_; }
  const std::filesystem::path& imagePath() const { return imagePath_; }

  bool Read(void* buffer, std::uint32_t size, std::uint32_t& got) override;
  bool Write(const void* buffer, std::uint32_t size, std::uint32_t& written) override;
  bool Seek(std::uint64_t offset) override;
  bool ScsiPassThrough(ScsiRequest& request) override;
  bool QueryStorageProperty(void* buffer, std::uint32_t size) override;
  bool DeviceNumber(std::uint32_t& deviceType, std::uint32_t& number) override;
  bool LockVolume() override;
  bool UnlockVolume() override;
  bool DismountVolume() override;
  bool UpdateProperties() override;
  bool MediaTypes(std::vector<std::uint32_t>& types) override;
  bool AdapterAlignmentMask(std::uint32_t& mask) override;
  bool ExclusiveAccess(bool lock) override;

 private:
  class Handle;
  struct Reply;
  bool PassThroughFrom(const void* handle, ScsiRequest& request);
  bool ExclusiveFor(const void* handle, bool lock);
  void Closed(const void* handle);
  bool Busy();
  void BusyFor(std::uint32_t seconds);
  std::vector<std::uint8_t> WriteParametersPage(std::uint8_t pageControl) const;
  Reply Execute(ScsiRequest& request);
  Reply RequireMedium() const;
  Reply TestUnitReady();
  Reply ReadCapacity(ScsiRequest& request);
  Reply Write10(ScsiRequest& request);
  Reply Read10(ScsiRequest& request);
  void EmptyImage();
  Reply GetConfiguration(ScsiRequest& request);
  Reply ReadDiscInformation(ScsiRequest& request);
  Reply ModeSense(ScsiRequest& request);
  Reply ModeSelect(ScsiRequest& request);
  Reply LongCommand(const ScsiRequest& request, bool immediate, std::uint32_t seconds);
  Reply CloseSession(const ScsiRequest& request);
  Reply Blank(const ScsiRequest& request);

  std::filesystem::path imagePath_;
  SystemErrors& errors_;
  std::map<std::uint8_t, InjectedFailure> failures_;
  std::vector<RecordedCommand> commands_;
  std::vector<std::uint8_t> writeParameters_;
  std::vector<std::uint8_t> currentPage_;  // the write parameters page's current values
  std::uint32_t writtenBlocks_ = 0;
  bool mediaLocked_ = false;
  const void* exclusive_ = nullptr;
  int pollsRefused_ = 0;
  bool sequenceBroken_ = false;  // the other program came between two writes
  int writeAttempts_ = 0;
  std::uint64_t busyUntilMs_ = 0;
  bool busy_ = false;
};

}  // namespace zolp::sim
