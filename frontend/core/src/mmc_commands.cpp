// The single SCSI and MMC commands: one CDB each, with its data direction and
// time-out.
#include <cstring>

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
  WithData(c, ScsiRequest::kToDevice, const_cast<void*>(buffer), bytes);
  return Send(s, drive, c, sense);
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
                  std::uint16_t bytes) {
  ScsiCommand c = Command(mmc_opcode::kModeSense10, 10, 10);
  c.cdb[1] = 0x08;                                    // no block descriptors
  c.cdb[2] = static_cast<std::uint8_t>(page | 0x80);  // default values
  common::store_be16(c.cdb + 7, bytes);
  WithData(c, ScsiRequest::kFromDevice, buffer, bytes);
  return Send(s, drive, c);
}

bool fCloseSession(const Services& s, DiskHandle& drive, std::uint8_t* sense) {
  ScsiCommand c = Command(mmc_opcode::kCloseTrackSession, 10, 480);
  c.cdb[2] = 0x02;  // close session
  return Send(s, drive, c, sense);
}

bool fBlankMinimal(const Services& s, DiskHandle& drive) {
  ScsiCommand c = Command(mmc_opcode::kBlank, 12, 120);
  c.cdb[1] = 0x01;  // minimal blank, not immediate
  return Send(s, drive, c);
}

bool fSetMaxSpeed(const Services& s, DiskHandle& drive) {
  ScsiCommand c = Command(mmc_opcode::kSetCdSpeed, 12, 30);
  common::store_be16(c.cdb + 2, 0xFFFF);  // read speed: fastest
  common::store_be16(c.cdb + 4, 0xFFFF);  // write speed: fastest
  return Send(s, drive, c);
}

}  // namespace zolp
