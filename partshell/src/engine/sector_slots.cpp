#include <cstring>

#include "partshell/mounted_volume.h"

namespace partshell {

namespace {
// Static storage is zero-filled before first use.
alignas(512) std::uint8_t g_slots[kSectorBufferSlots][kSectorSize];
}  // namespace

std::uint8_t* SectorBufferSlot(int n) {
  if (n < 0 || n >= kSectorBufferSlots) return nullptr;
  return g_slots[n];
}

}  // namespace partshell
