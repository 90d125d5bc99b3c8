// A disk handle that refuses everything; a test or a fuzz target overrides
// what its disk does.
#pragma once

#include <cstdint>
#include <vector>

#include "zolp/host.h"

namespace zolp::sim {

class RefusingDisk : public DiskHandle {
 public:
  bool Read(void*, std::uint32_t, std::uint32_t&) override { return false; }
  bool Write(const void*, std::uint32_t, std::uint32_t&) override { return false; }
  bool Seek(std::uint64_t) override { return false; }
  bool ScsiPassThrough(ScsiRequest&) override { return false; }
  bool QueryStorageProperty(void*, std::uint32_t) override { return false; }
  bool DeviceNumber(std::uint32_t&, std::uint32_t&) override { return false; }
  bool LockVolume() override { return false; }
  bool UnlockVolume() override { return false; }
  bool DismountVolume() override { return false; }
  bool UpdateProperties() override { return false; }
  bool MediaTypes(std::vector<std::uint32_t>&) override { return false; }
};

}  // namespace zolp::sim
