// Fixed-format sense data as the simulated devices return it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "common/endian.h"
#include "zolp/host.h"
#include "zolp/mmc.h"

namespace zolp::sim::detail {

inline void SetSense(ScsiRequest& request, std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) {
  std::memset(request.sense, 0, sizeof request.sense);
  request.sense[0] = 0x70;  // current error, fixed format
  request.sense[2] = key;
  request.sense[7] = 10;  // additional sense length
  request.sense[12] = asc;
  request.sense[13] = ascq;
}

// The pass-through driver refuses a request whose header is not what it expects.
inline bool HeaderIsValid(const ScsiRequest& r) {
  return r.length == ScsiRequest::kHeaderLength && r.senseInfoOffset == ScsiRequest::kSenseOffset &&
         r.senseInfoLength == ScsiRequest::kSenseLength &&
         (r.cdbLength == 6 || r.cdbLength == 10 || r.cdbLength == 12) && r.dataIn <= 2 &&
         (r.dataIn == ScsiRequest::kNoData ||
          (r.dataBuffer != nullptr && r.dataTransferLength > 0));
}

// What a disk behind the pass-through driver answers (a USB disk, a card
// reader slot): TEST UNIT READY and READ CAPACITY (10) from its medium,
// "medium not present" without one, and an invalid opcode for the rest.
inline bool AnswerDiskCommand(ScsiRequest& request, SystemErrors& errors, bool mediumPresent,
                              std::uint64_t capacity, std::uint32_t sectorSize) {
  if (!HeaderIsValid(request)) {
    errors.SetLast(87);  // ERROR_INVALID_PARAMETER
    return false;
  }
  request.scsiStatus = 0;
  if (!mediumPresent) {
    request.scsiStatus = 2;
    SetSense(request, 0x02, 0x3A, 0x00);
    return true;
  }
  switch (request.cdb[0]) {
    case mmc_opcode::kTestUnitReady:
      return true;
    case mmc_opcode::kReadCapacity10: {
      std::uint8_t data[8];
      // A disk with more blocks than 32 bits count answers 0xFFFFFFFF.
      common::store_be32(data, static_cast<std::uint32_t>(
                                   std::min<std::uint64_t>(capacity / sectorSize - 1, 0xFFFFFFFF)));
      common::store_be32(data + 4, sectorSize);
      std::memcpy(request.dataBuffer, data, std::min<std::uint32_t>(8, request.dataTransferLength));
      return true;
    }
    default:
      request.scsiStatus = 2;
      SetSense(request, 0x05, 0x20, 0x00);  // invalid command operation code
      return true;
  }
}

}  // namespace zolp::sim::detail
