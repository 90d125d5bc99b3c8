// Composite MMC operations built from the single commands.
#include <cstdio>
#include <cstring>

#include "common/endian.h"
#include "zolp/mmc.h"
#include "zolp/report.h"
#include "zolp/system_errors.h"

namespace zolp {

namespace {

constexpr int kReadyTests = 81;
constexpr std::uint32_t kReadyPollMs = 500;
constexpr int kCloseAttempts = 21;
constexpr std::uint32_t kClosePauseMs = 1000;
constexpr std::uint32_t kFeatureHeaderLength = 8;

// READ DISC INFORMATION byte 2.
constexpr std::uint8_t kDiscStatusMask = 0x03;
constexpr std::uint8_t kDiscStatusEmpty = 0x00;
constexpr std::uint8_t kDiscErasable = 0x10;

// Write parameters mode page, offsets from the page's first byte.
constexpr std::size_t kModeHeaderLength = 8;
constexpr std::size_t kPageCode = 0;
constexpr std::size_t kWriteType = 2;
constexpr std::size_t kTrackMode = 3;
constexpr std::size_t kDataBlockType = 4;
constexpr std::size_t kLinkSizeToSessionFormat = 5;  // bytes 5-9
static_assert(kModeHeaderLength + 10 <= kWriteParametersLength);
constexpr std::uint8_t kKeyUnitAttention = 0x06;

bool GetConfiguration(const Services& s, DiskHandle& drive, std::uint16_t feature, void* buffer,
                      std::uint16_t allocation) {
  ScsiCommand c;
  c.cdb[0] = mmc_opcode::kGetConfiguration;
  c.cdb[1] = 0x02;  // the one feature named
  common::store_be16(c.cdb + 2, feature);
  common::store_be16(c.cdb + 7, allocation);
  c.cdbLength = 10;
  c.timeOutSeconds = 10;
  c.direction = ScsiRequest::kFromDevice;
  c.data = buffer;
  c.dataLength = allocation;
  return fScsiPassThrough(s, drive, c) == 0;
}

bool ReadDiscStatusByte(const Services& s, DiskHandle& drive, std::uint8_t& status) {
  std::uint8_t info[4] = {};
  if (!fReadDiscInfo(s, drive, info, sizeof info)) return false;
  status = info[2];
  return true;
}

}  // namespace

std::uint16_t fReadyTest(const Services& s, DiskHandle& drive) {
  std::uint8_t senseData[ScsiRequest::kSenseLength] = {};
  if (fTestUnitReady(s, drive, senseData)) return 0;
  const auto value =
      static_cast<std::uint16_t>((senseData[sense::kAsc] << 8) | senseData[sense::kAscq]);
  // A test that failed without saying why (the device control failed, the drive
  // was busy, the sense data is empty) is no sign of a ready drive.
  return value != 0 ? value : kReadyUnknown;
}

std::uint16_t fWaitReady(const Services& s, DiskHandle& drive) {
  std::uint16_t value = 0;
  for (int test = 1; test <= kReadyTests; ++test) {
    value = fReadyTest(s, drive);
    if (value != kReadyBecomingReady && value != kReadyMediumChanged) return value;
    if (test < kReadyTests) s.clock->Sleep(kReadyPollMs);
  }
  return value;
}

std::uint64_t fGetMediaSize(const Services& s, DiskHandle& drive, std::uint32_t* lastLba) {
  std::uint8_t data[8] = {};
  if (!fReadCapacity(s, drive, data)) return 0;
  const std::uint32_t last = common::load_be32(data);
  const std::uint32_t blockLength = common::load_be32(data + 4);
  if (lastLba) *lastLba = last;
  return static_cast<std::uint64_t>(blockLength) * (static_cast<std::uint64_t>(last) + 1);
}

bool fGetMMFeature(const Services& s, DiskHandle& drive, std::uint16_t feature, void* buffer,
                   std::uint32_t size) {
  if (buffer == nullptr || size <= 7) {
    s.ui->ShowMessage("Buffer too small in fGetMMFeature", "Error", MessageIcon::Warning);
    return false;
  }
  std::memset(buffer, 0, size);
  if (!GetConfiguration(s, drive, feature, buffer, kFeatureHeaderLength)) return false;
  const std::uint64_t wanted =
      static_cast<std::uint64_t>(common::load_be32(static_cast<std::uint8_t*>(buffer))) + 4;
  std::uint64_t allocation = wanted < size ? wanted : size;
  if (allocation > 0xFFFF) allocation = 0xFFFF;  // the CDB's field is 16 bits
  return GetConfiguration(s, drive, feature, buffer, static_cast<std::uint16_t>(allocation));
}

std::uint16_t fGetCurrentProfile(const Services& s, DiskHandle& drive) {
  std::uint8_t header[kFeatureHeaderLength] = {};
  std::uint16_t profile = kProfileCdRw;  // drives that can't say are treated as CD-RW
  if (fGetMMFeature(s, drive, 0, header, sizeof header)) profile = common::load_be16(header + 6);
  if (s.options.verbose) {
    char text[64];
    std::snprintf(text, sizeof text, "Current profile: 0x%04X", profile);
    s.ui->ShowMessage(text, "Verbose message", MessageIcon::Warning);
  }
  return profile;
}

// A disc whose state cannot be read is neither blank nor erasable: nothing is
// written over it or erased on a guess.
bool fIsDiscBlank(const Services& s, DiskHandle& drive) {
  std::uint8_t status = 0;
  if (!ReadDiscStatusByte(s, drive, status)) return false;
  return (status & kDiscStatusMask) == kDiscStatusEmpty;
}

bool fIsDiscErasable(const Services& s, DiskHandle& drive) {
  std::uint8_t status = 0;
  if (!ReadDiscStatusByte(s, drive, status)) return false;
  return (status & kDiscErasable) != 0;
}

bool fSetWriteParameters(const Services& s, DiskHandle& drive) {
  // Room for the longest page there can be; its own length byte then says how
  // much of it goes back.
  std::uint8_t data[kModeHeaderLength + 2 + 255] = {};
  // Current values: the defaults may not be what the drive accepts for the disc
  // in it, and fields it does not let change must go back as they are.
  if (!fModeSense10(s, drive, kModePageWriteParameters, data, sizeof data, ModeValues::Current))
    return false;
  const std::uint32_t returned = std::uint32_t{common::load_be16(data)} + 2;
  // The page follows the header and any block descriptors; what the drive says
  // of their lengths is checked before anything is read there.
  const std::uint32_t pageAt = kModeHeaderLength + common::load_be16(data + 6);
  const std::uint32_t length = pageAt + 2 <= sizeof data ? pageAt + 2 + data[pageAt + 1] : 0;
  if (length == 0 || length > sizeof data || length > returned || length < pageAt + 10 ||
      (data[pageAt + kPageCode] & 0x3F) != kModePageWriteParameters) {
    s.errors->SetLast(syserr::kInvalidParameter);  // not a write parameters page
    return false;
  }
  std::uint8_t* page = data + pageAt;
  common::store_be16(data, 0);  // mode data length is reserved in MODE SELECT
  page[kPageCode] &= 0x3F;
  page[kWriteType] = 0x01;      // track-at-once, no test write, no underrun protection
  page[kTrackMode] = 0x04;      // data track, single session, no fixed packets
  page[kDataBlockType] = 0x08;  // mode 1: 2048 bytes of user data
  std::memset(page + kLinkSizeToSessionFormat, 0, 5);  // CD-DA/CD-ROM session
  return fModeSelect10(s, drive, data, static_cast<std::uint16_t>(length));
}

bool fWaitWhileBusy(const Services& s, DiskHandle& drive, std::uint32_t limitMs) {
  const std::uint64_t start = s.clock->Milliseconds();
  for (;;) {
    std::uint8_t senseData[ScsiRequest::kSenseLength] = {};
    if (fTestUnitReady(s, drive, senseData)) return true;
    const std::uint8_t key = senseData[sense::kKeyByte] & 0x0F;
    const auto code = static_cast<std::uint16_t>((senseData[sense::kAsc] << 8) | senseData[sense::kAscq]);
    // Still at work (or just back, with a unit attention to tell): ask again.
    const bool busy = (key == sense::kKeyNotReady &&
                       (code == kReadyOperationInProgress || code == kReadyLongWriteInProgress ||
                        code == kReadyBecomingReady)) ||
                      key == kKeyUnitAttention;
    if (!busy) return false;
    if (s.clock->Milliseconds() - start >= limitMs) {
      s.errors->SetLast(syserr::kSemTimeout);
      return false;
    }
    s.clock->Sleep(kBusyPollMs);
  }
}

bool fCloseSessionWait(const Services& s, DiskHandle& drive) {
  for (int attempt = 0; attempt < kCloseAttempts; ++attempt) {
    s.clock->Sleep(kClosePauseMs);
    std::uint8_t senseData[ScsiRequest::kSenseLength] = {};
    if (fCloseSession(s, drive, senseData)) return fWaitWhileBusy(s, drive, kCloseTimeLimitMs);
    if (senseData[sense::kKeyByte] != sense::kKeyNotReady) return false;
  }
  return false;
}

}  // namespace zolp
