// Sending one command through the platform's SCSI pass-through and reading the
// target's status.
#include <cstdio>
#include <cstring>

#include "zolp/mmc.h"
#include "zolp/report.h"

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

}  // namespace

std::int32_t fScsiPassThrough(const Services& services, DiskHandle& drive,
                              const ScsiCommand& command, std::uint8_t* senseOut) {
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

}  // namespace zolp
