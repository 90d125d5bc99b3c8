// Sending one command through the platform's SCSI pass-through and reading the
// target's status.
#include <cstdio>
#include <cstring>

#include "zolp/mmc.h"
#include "zolp/report.h"
#include "zolp/system_errors.h"

namespace zolp {

namespace {

constexpr std::size_t kTargetErrorTextSize = 128;  // at most 127 characters

void ShowTargetError(const Services& services, const ScsiRequest& request) {
  char text[kTargetErrorTextSize];
  const char* lead = "Target error trying to execute a SCSI pass through command:";
  switch (request.scsiStatus) {
    case scsi_status::kCheckCondition:
      std::snprintf(text, sizeof text, "%s Cmd: 0x%02X, Check Condition (%02X-%02X%02X).", lead,
                    request.cdb[0], request.sense[sense::kKeyByte], request.sense[sense::kAsc],
                    request.sense[sense::kAscq]);
      break;
    case scsi_status::kBusy:
      std::snprintf(text, sizeof text, "%s Target is busy.", lead);
      break;
    case scsi_status::kReservationConflict:
      std::snprintf(text, sizeof text, "%s Reservation conflict.", lead);
      break;
    default:
      std::snprintf(text, sizeof text, "%s Unknown error (%d).", lead, request.scsiStatus);
      break;
  }
  services.ui->ShowMessage(text, "Error", MessageIcon::Warning);
}

// A data buffer the adapter cannot take where it lies: it refuses addresses
// that have a bit of its alignment mask set.
bool Misaligned(DiskHandle& drive, const void* data) {
  std::uint32_t mask = 0;
  if (data == nullptr || !drive.AdapterAlignmentMask(mask)) return false;
  return (reinterpret_cast<std::uintptr_t>(data) & mask) != 0;
}

// Page memory standing in for a misaligned buffer for one command.
class AlignedCopy {
 public:
  AlignedCopy(const Services& s, const ScsiCommand& c)
      : s_(s), c_(c), pages_(s.memory->AllocatePages(c.dataLength)) {
    if (pages_ && c.direction == ScsiRequest::kToDevice) std::memcpy(pages_, c.data, c.dataLength);
  }
  ~AlignedCopy() {
    if (pages_) s_.memory->FreePages(pages_);
  }
  AlignedCopy(const AlignedCopy&) = delete;
  AlignedCopy& operator=(const AlignedCopy&) = delete;
  void* get() const { return pages_; }
  void CopyBack() const {
    if (pages_ && c_.direction == ScsiRequest::kFromDevice) std::memcpy(c_.data, pages_, c_.dataLength);
  }

 private:
  const Services& s_;
  const ScsiCommand& c_;
  void* pages_;
};

std::int32_t Send(const Services& services, DiskHandle& drive, const ScsiCommand& command,
                  std::uint8_t* senseOut) {
  ScsiRequest request;
  request.length = ScsiRequest::kHeaderLength;
  request.senseInfoOffset = ScsiRequest::kSenseOffset;
  request.senseInfoLength = ScsiRequest::kSenseLength;
  request.cdbLength = command.cdbLength;
  request.dataIn = command.direction;
  request.dataTransferLength = command.dataLength;
  request.timeOutSeconds = command.timeOutSeconds;
  request.dataBuffer = command.data;
  std::memcpy(request.cdb, command.cdb, sizeof request.cdb);
  if (command.direction == ScsiRequest::kFromDevice && command.data != nullptr)
    std::memset(command.data, 0, command.dataLength);

  const bool sent = drive.ScsiPassThrough(request);
  if (senseOut) std::memcpy(senseOut, request.sense, ScsiRequest::kSenseLength);
  if (!sent) {
    const std::uint32_t error =
        ReportLastError(services, true, "DeviceIoControl", "SCSI pass-through command failed");
    if (senseOut) std::memset(senseOut, 0, ScsiRequest::kSenseLength);
    // A failed control with no error code must still read as a failure.
    return error != 0 ? static_cast<std::int32_t>(error) : kScsiOtherStatus;
  }

  std::int32_t result = 0;
  switch (request.scsiStatus) {
    case scsi_status::kGood:
      return 0;
    case scsi_status::kCheckCondition:
      result = kScsiCheckCondition;
      break;
    case scsi_status::kBusy:
      result = kScsiBusy;
      break;
    case scsi_status::kReservationConflict:
      result = kScsiReservationConflict;
      break;
    default:
      result = kScsiOtherStatus;
      break;
  }
  if (services.options.verbose) ShowTargetError(services, request);
  return result;
}

}  // namespace

std::int32_t fScsiPassThrough(const Services& services, DiskHandle& drive,
                              const ScsiCommand& command, std::uint8_t* senseOut) {
  if (command.dataLength == 0 || !Misaligned(drive, command.data))
    return Send(services, drive, command, senseOut);
  AlignedCopy aligned(services, command);
  if (!aligned.get()) {
    if (senseOut) std::memset(senseOut, 0, ScsiRequest::kSenseLength);
    ReportLastError(services, true, "Pass-through buffer memory allocation",
                    "SCSI pass-through command failed");
    return static_cast<std::int32_t>(syserr::kNotEnoughMemory);
  }
  ScsiCommand copy = command;
  copy.data = aligned.get();
  const std::int32_t result = Send(services, drive, copy, senseOut);
  aligned.CopyBack();
  return result;
}

}  // namespace zolp
