// Fixed-format sense data as the simulated devices return it.
#pragma once

#include <cstdint>
#include <cstring>

#include "zolp/host.h"

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

}  // namespace zolp::sim::detail
