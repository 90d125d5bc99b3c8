// A handle that forwards to a device the test (or the catalog) owns, so a
// drive keeps its state across opens.
#pragma once

#include "zolp/host.h"

namespace zolp::sim::detail {

class DiskProxy final : public DiskHandle {
 public:
  explicit DiskProxy(DiskHandle& target) : t_(target) {}
  bool Read(void* b, std::uint32_t n, std::uint32_t& got) override { return t_.Read(b, n, got); }
  bool Write(const void* b, std::uint32_t n, std::uint32_t& w) override {
    return t_.Write(b, n, w);
  }
  bool Seek(std::uint64_t offset) override { return t_.Seek(offset); }
  bool ScsiPassThrough(ScsiRequest& r) override { return t_.ScsiPassThrough(r); }
  bool QueryStorageProperty(void* b, std::uint32_t n) override {
    return t_.QueryStorageProperty(b, n);
  }
  bool DeviceNumber(std::uint32_t& type, std::uint32_t& number) override {
    return t_.DeviceNumber(type, number);
  }
  bool LockVolume() override { return t_.LockVolume(); }
  bool UnlockVolume() override { return t_.UnlockVolume(); }
  bool DismountVolume() override { return t_.DismountVolume(); }
  bool UpdateProperties() override { return t_.UpdateProperties(); }
  bool MediaTypes(std::vector<std::uint32_t>& types) override { return t_.MediaTypes(types); }
  bool VolumeDiskExtents(std::vector<DiskExtent>& extents) override {
    return t_.VolumeDiskExtents(extents);
  }
  bool Flush() override { return t_.Flush(); }
  bool AdapterAlignmentMask(std::uint32_t& mask) override { return t_.AdapterAlignmentMask(mask); }
  bool ExclusiveAccess(bool lock) override { return t_.ExclusiveAccess(lock); }

 private:
  DiskHandle& t_;
};

}  // namespace zolp::sim::detail
