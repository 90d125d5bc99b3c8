// The single SCSI and MMC commands: one CDB each, with its data direction and
// time-out.
#include <cstring>
#include <optional>

#include "common/endian.h"
#include "zolp/mmc.h"
#include "zolp/system_errors.h"

namespace zolp {

namespace {

ScsiCommand Command(std::uint8_t opcode, std::uint8_t cdbLength, std::uint32_t timeOutSeconds) {
  ScsiCommand c;
  c.cdb[0] = opcode;
  c.cdbLength = cdbLength;
  c.timeOutSeconds = timeOutSeconds;
  return c;
}

void WithData(ScsiCommand& c, std::uint8_t direction, void* data, std::uint32_t length) {
  c.direction = direction;
  c.data = data;
  c.dataLength = length;
}

bool Send(const Services& s, DiskHandle& drive, const ScsiCommand& c,
          std::uint8_t* sense = nullptr) {
  return fScsiPassThrough(s, drive, c, sense) == 0;
}

}  // namespace

bool fTestUnitReady(const Services& s, DiskHandle& drive, std::uint8_t* sense) {
  return Send(s, drive, Command(mmc_opcode::kTestUnitReady, 6, 10), sense);
}

bool fLockMedia(const Services& s, DiskHandle& drive, bool prevent) {
  ScsiCommand c = Command(mmc_opcode::kPreventAllowRemoval, 6, 480);
  c.cdb[4] = prevent ? 1 : 0;
  return Send(s, drive, c);
}

bool fReadCapacity(const Services& s, DiskHandle& drive, std::uint8_t (&data)[8]) {
  ScsiCommand c = Command(mmc_opcode::kReadCapacity10, 10, 2);
  WithData(c, ScsiRequest::kFromDevice, data, sizeof data);
  return Send(s, drive, c);
}

namespace {

// Page memory holding bytes that end inside a block, padded to its end.
class WholeBlocks {
 public:
  WholeBlocks(const Services& s, const void* bytes, std::uint32_t length, std::uint32_t padded)
      : s_(s), pages_(static_cast<std::uint8_t*>(s.memory->AllocatePages(padded))) {
    if (!pages_) return;
    std::memcpy(pages_, bytes, length);
    std::memset(pages_ + length, 0, padded - length);
  }
  ~WholeBlocks() {
    if (pages_) s_.memory->FreePages(pages_);
  }
  WholeBlocks(const WholeBlocks&) = delete;
  WholeBlocks& operator=(const WholeBlocks&) = delete;
  void* get() const { return pages_; }

 private:
  const Services& s_;
  std::uint8_t* pages_;
};

}  // namespace

bool fWrite10(const Services& s, DiskHandle& drive, std::uint32_t lba, std::uint32_t bytes,
              const void* buffer, std::uint8_t* sense) {
  ScsiCommand c = Command(mmc_opcode::kWrite10, 10, 60);
  common::store_be32(c.cdb + 2, lba);
  const std::uint64_t blocks = (static_cast<std::uint64_t>(bytes) + kCdBlockSize - 1) / kCdBlockSize;
  if (blocks > 0xFFFF) {
    // The CDB has 16 bits for the count: a cut count would write less than asked.
    if (sense) std::memset(sense, 0, ScsiRequest::kSenseLength);
    s.errors->SetLast(syserr::kInvalidParameter);
    return false;
  }
  common::store_be16(c.cdb + 7, static_cast<std::uint16_t>(blocks));
  // The drive takes whole blocks: a transfer short of them is an error there.
  const auto whole = static_cast<std::uint32_t>(blocks * kCdBlockSize);
  std::optional<WholeBlocks> padded;
  const void* data = buffer;
  if (whole != bytes) {
    padded.emplace(s, buffer, bytes, whole);
    if (!padded->get()) {
      if (sense) std::memset(sense, 0, ScsiRequest::kSenseLength);
      return false;  // the allocation set the error
    }
    data = padded->get();
  }
  WithData(c, ScsiRequest::kToDevice, const_cast<void*>(data), whole);

  // A drive whose buffer is full says so and takes the same command a moment later.
  std::uint8_t senseData[ScsiRequest::kSenseLength] = {};
  const std::uint64_t start = s.clock->Milliseconds();
  for (;;) {
    const bool written = Send(s, drive, c, senseData);
    if (sense) std::memcpy(sense, senseData, sizeof senseData);
    if (written) return true;
    const bool full = (senseData[sense::kKeyByte] & 0x0F) == sense::kKeyNotReady &&
                      ((senseData[sense::kAsc] << 8) | senseData[sense::kAscq]) ==
                          kReadyLongWriteInProgress;
    if (!full || s.clock->Milliseconds() - start >= kLongWriteTimeLimitMs) return false;
    s.clock->Sleep(kLongWriteRetryMs);
  }
}

bool fRead10(const Services& s, DiskHandle& drive, std::uint32_t lba, std::uint16_t blocks,
             void* buffer) {
  ScsiCommand c = Command(mmc_opcode::kRead10, 10, 60);
  common::store_be32(c.cdb + 2, lba);
  common::store_be16(c.cdb + 7, blocks);
  WithData(c, ScsiRequest::kFromDevice, buffer, std::uint32_t{blocks} * kCdBlockSize);
  return Send(s, drive, c);
}

bool fSyncCache(const Services& s, DiskHandle& drive) {
  return Send(s, drive, Command(mmc_opcode::kSynchronizeCache10, 10, 120));
}

bool fReadDiscInfo(const Services& s, DiskHandle& drive, void* buffer, std::uint16_t bytes) {
  ScsiCommand c = Command(mmc_opcode::kReadDiscInformation, 10, 2);
  common::store_be16(c.cdb + 7, bytes);
  WithData(c, ScsiRequest::kFromDevice, buffer, bytes);
  return Send(s, drive, c);
}

bool fSendOpc(const Services& s, DiskHandle& drive) {
  ScsiCommand c = Command(mmc_opcode::kSendOpcInformation, 10, 60);
  c.cdb[1] = 0x01;  // perform OPC
  return Send(s, drive, c);
}

bool fModeSelect10(const Services& s, DiskHandle& drive, void* buffer, std::uint16_t bytes) {
  ScsiCommand c = Command(mmc_opcode::kModeSelect10, 10, 10);
  c.cdb[1] = 0x10;  // page format
  common::store_be16(c.cdb + 7, bytes);
  WithData(c, ScsiRequest::kToDevice, buffer, bytes);
  return Send(s, drive, c);
}

bool fModeSense10(const Services& s, DiskHandle& drive, std::uint8_t page, void* buffer,
                  std::uint16_t bytes, ModeValues values) {
  ScsiCommand c = Command(mmc_opcode::kModeSense10, 10, 10);
  c.cdb[1] = 0x08;  // no block descriptors
  c.cdb[2] = static_cast<std::uint8_t>((page & 0x3F) | static_cast<std::uint8_t>(values));
  common::store_be16(c.cdb + 7, bytes);
  WithData(c, ScsiRequest::kFromDevice, buffer, bytes);
  return Send(s, drive, c);
}

bool fCloseSession(const Services& s, DiskHandle& drive, std::uint8_t* sense) {
  ScsiCommand c = Command(mmc_opcode::kCloseTrackSession, 10, 480);
  c.cdb[1] = 0x01;  // immediate: the drive closes after it has answered
  c.cdb[2] = 0x02;  // close session
  return Send(s, drive, c, sense);
}

bool fBlankMinimal(const Services& s, DiskHandle& drive) {
  ScsiCommand c = Command(mmc_opcode::kBlank, 12, 120);
  // Immediate: a slow CD-RW blanks for longer than any command may take.
  c.cdb[1] = 0x11;  // immediate, minimal blank
  return Send(s, drive, c) && fWaitWhileBusy(s, drive, kBlankTimeLimitMs);
}

bool fSetMaxSpeed(const Services& s, DiskHandle& drive) {
  ScsiCommand c = Command(mmc_opcode::kSetCdSpeed, 12, 30);
  common::store_be16(c.cdb + 2, 0xFFFF);  // read speed: fastest
  common::store_be16(c.cdb + 4, 0xFFFF);  // write speed: fastest
  return Send(s, drive, c);
}

}  // namespace zolp
