// The SCSI MMC command layer: single commands with their CDBs and time-outs,
// and the composite operations the USB and CD flows need. Stateless; every
// function takes an open drive handle.
#pragma once

#include <cstddef>
#include <cstdint>

#include "zolp/host.h"

namespace zolp {

namespace scsi_status {
inline constexpr std::uint8_t kGood = 0x00;
inline constexpr std::uint8_t kCheckCondition = 0x02;
inline constexpr std::uint8_t kBusy = 0x08;
inline constexpr std::uint8_t kReservationConflict = 0x18;
}  // namespace scsi_status

// fScsiPassThrough results other than 0 and a system error code.
inline constexpr std::int32_t kScsiCheckCondition = -1;
inline constexpr std::int32_t kScsiBusy = -2;
inline constexpr std::int32_t kScsiReservationConflict = -3;
inline constexpr std::int32_t kScsiOtherStatus = -4;

namespace mmc_opcode {
inline constexpr std::uint8_t kTestUnitReady = 0x00;
inline constexpr std::uint8_t kPreventAllowRemoval = 0x1E;
inline constexpr std::uint8_t kReadCapacity10 = 0x25;
inline constexpr std::uint8_t kRead10 = 0x28;
inline constexpr std::uint8_t kWrite10 = 0x2A;
inline constexpr std::uint8_t kSynchronizeCache10 = 0x35;
inline constexpr std::uint8_t kGetConfiguration = 0x46;
inline constexpr std::uint8_t kReadDiscInformation = 0x51;
inline constexpr std::uint8_t kSendOpcInformation = 0x54;
inline constexpr std::uint8_t kModeSelect10 = 0x55;
inline constexpr std::uint8_t kModeSense10 = 0x5A;
inline constexpr std::uint8_t kCloseTrackSession = 0x5B;
inline constexpr std::uint8_t kBlank = 0xA1;
inline constexpr std::uint8_t kSetCdSpeed = 0xBB;
}  // namespace mmc_opcode

// Fixed-format sense data fields.
namespace sense {
inline constexpr std::size_t kKeyByte = 2;  // sense key in bits 0-3
inline constexpr std::size_t kAsc = 12;
inline constexpr std::size_t kAscq = 13;
inline constexpr std::uint8_t kKeyNotReady = 0x02;
}  // namespace sense

inline constexpr std::uint16_t kReadyBecomingReady = 0x0401;
// fReadyTest's answer when the test failed and the drive said nothing why.
inline constexpr std::uint16_t kReadyUnknown = 0xFFFF;
inline constexpr std::uint16_t kReadyMediumChanged = 0x2800;
inline constexpr std::uint16_t kMediumNotPresentAsc = 0x3A;
inline constexpr std::uint16_t kProfileCdRw = 0x000A;
inline constexpr std::uint16_t kProfileCdR = 0x0009;
inline constexpr std::uint8_t kModePageWriteParameters = 0x05;
inline constexpr std::uint8_t kModePageCapabilities = 0x2A;
// The write parameters page as older drives have it (header and 52 page bytes);
// the page goes back at the length the drive reports, which may be longer.
inline constexpr std::uint32_t kWriteParametersLength = 60;
inline constexpr std::uint32_t kCdBlockSize = 2048;

// MODE SENSE page control: which values of a page the drive reports.
enum class ModeValues : std::uint8_t { Current = 0x00, Changeable = 0x40, Default = 0x80, Saved = 0xC0 };

// A drive still at work on an earlier command answers NOT READY with these
// additional sense codes: 04/07 operation in progress (an immediate BLANK or
// CLOSE), 04/08 long write in progress (its buffer is full).
inline constexpr std::uint16_t kReadyOperationInProgress = 0x0407;
inline constexpr std::uint16_t kReadyLongWriteInProgress = 0x0408;
// BLANK and CLOSE TRACK/SESSION return at once (immediate bit) and the drive
// is polled with TEST UNIT READY, once a second, for at most this long.
inline constexpr std::uint32_t kBlankTimeLimitMs = 20 * 60 * 1000;
inline constexpr std::uint32_t kCloseTimeLimitMs = 20 * 60 * 1000;
inline constexpr std::uint32_t kBusyPollMs = 1000;
// A WRITE (10) refused with "long write in progress" is sent again after a
// pause, for at most this long.
inline constexpr std::uint32_t kLongWriteRetryMs = 100;
inline constexpr std::uint32_t kLongWriteTimeLimitMs = 120 * 1000;

// One command as the single-command functions hand it to fScsiPassThrough.
struct ScsiCommand {
  std::uint8_t cdb[16] = {};
  std::uint8_t cdbLength = 10;
  std::uint8_t direction = ScsiRequest::kNoData;
  void* data = nullptr;
  std::uint32_t dataLength = 0;
  std::uint32_t timeOutSeconds = 0;
};

// Sends one command. 0 when the device control succeeded with status GOOD; the
// system error code when the device control failed; -1 CHECK CONDITION, -2
// BUSY, -3 RESERVATION CONFLICT, -4 any other status. senseOut (optional)
// receives the 32 sense bytes (zero when the device control failed). A data
// buffer that does not meet the adapter's alignment mask travels through an
// aligned copy (page memory).
std::int32_t fScsiPassThrough(const Services& services, DiskHandle& drive,
                              const ScsiCommand& command, std::uint8_t* senseOut = nullptr);

// Single commands: true when fScsiPassThrough answered 0. sense (optional)
// receives the command's sense bytes (32).
bool fTestUnitReady(const Services& s, DiskHandle& drive, std::uint8_t* sense = nullptr);
bool fLockMedia(const Services& s, DiskHandle& drive, bool prevent);
bool fReadCapacity(const Services& s, DiskHandle& drive, std::uint8_t (&data)[8]);
// Whole blocks: bytes that end inside a block go out with the rest of the
// block zero. Sent again while the drive answers "long write in progress".
// Refused (false, nothing sent) when the bytes take more than the 65535 blocks
// one WRITE (10) can name.
bool fWrite10(const Services& s, DiskHandle& drive, std::uint32_t lba, std::uint32_t bytes,
              const void* buffer, std::uint8_t* sense = nullptr);
bool fSyncCache(const Services& s, DiskHandle& drive);
// READ (10) of whole 2048-byte blocks into the buffer (blocks × 2048 bytes).
bool fRead10(const Services& s, DiskHandle& drive, std::uint32_t lba, std::uint16_t blocks,
             void* buffer);
bool fReadDiscInfo(const Services& s, DiskHandle& drive, void* buffer, std::uint16_t bytes);
bool fSendOpc(const Services& s, DiskHandle& drive);
bool fModeSelect10(const Services& s, DiskHandle& drive, void* buffer, std::uint16_t bytes);
bool fModeSense10(const Services& s, DiskHandle& drive, std::uint8_t page, void* buffer,
                  std::uint16_t bytes, ModeValues values = ModeValues::Default);
// CLOSE TRACK/SESSION (close session) with the immediate bit: one attempt, the
// drive still closing when it returns.
bool fCloseSession(const Services& s, DiskHandle& drive, std::uint8_t* sense = nullptr);
// A minimal BLANK with the immediate bit, then the drive polled until it has
// finished (kBlankTimeLimitMs at most).
bool fBlankMinimal(const Services& s, DiskHandle& drive);
bool fSetMaxSpeed(const Services& s, DiskHandle& drive);

// Composite operations.
// One TEST UNIT READY: 0 when it succeeded, else the additional sense code and
// qualifier (kReadyUnknown when the failure came without them).
std::uint16_t fReadyTest(const Services& s, DiskHandle& drive);
std::uint16_t fWaitReady(const Services& s, DiskHandle& drive);
// TEST UNIT READY once a second while the drive reports an operation in
// progress: true when it is ready, false when it fails otherwise or is still
// busy after limitMs (ERROR_SEM_TIMEOUT).
bool fWaitWhileBusy(const Services& s, DiskHandle& drive, std::uint32_t limitMs);
std::uint64_t fGetMediaSize(const Services& s, DiskHandle& drive, std::uint32_t* lastLba = nullptr);
bool fGetMMFeature(const Services& s, DiskHandle& drive, std::uint16_t feature, void* buffer,
                   std::uint32_t size);
std::uint16_t fGetCurrentProfile(const Services& s, DiskHandle& drive);
// False also when READ DISC INFORMATION fails.
bool fIsDiscBlank(const Services& s, DiskHandle& drive);
bool fIsDiscErasable(const Services& s, DiskHandle& drive);
// The write parameters page from the drive's current values, at the length the
// drive reports, changed for one track-at-once data track and sent back.
bool fSetWriteParameters(const Services& s, DiskHandle& drive);
// CLOSE SESSION until the drive takes it, then polled until it has closed
// (kCloseTimeLimitMs at most).
bool fCloseSessionWait(const Services& s, DiskHandle& drive);

using CdWriterCallback = void (*)(void* context, const char* name);
// Counts the CD writers among the drive letters; calls back with "(X:) vendor
// product" for each when a callback is given.
int fEnumCdWriters(const Services& s, void* context, CdWriterCallback callback);

}  // namespace zolp
