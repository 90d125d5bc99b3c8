#include "common/endian.h"
#include "zolp/sim/file_disk.h"
#include "zolp/system_info.h"

namespace zolp::sim {

std::vector<std::uint8_t> BuildStorageDescriptor(std::uint8_t deviceType, bool removable,
                                                 std::uint32_t busType, const std::string& vendor,
                                                 const std::string& product,
                                                 const std::string& revision) {
  namespace sd = storage_descriptor;
  std::vector<std::uint8_t> d(sd::kHeaderSize, 0);
  auto addString = [&d](std::size_t field, const std::string& text) {
    if (text.empty()) return;
    common::store_le32(d.data() + field, static_cast<std::uint32_t>(d.size()));
    d.insert(d.end(), text.begin(), text.end());
    d.push_back(0);
  };
  d[sd::kDeviceType] = deviceType;
  d[sd::kRemovableMedia] = removable ? 1 : 0;
  common::store_le32(d.data() + sd::kBusType, busType);
  addString(sd::kVendorIdOffset, vendor);
  addString(sd::kProductIdOffset, product);
  addString(sd::kProductRevisionOffset, revision);
  common::store_le32(d.data() + sd::kVersion, static_cast<std::uint32_t>(d.size()));
  common::store_le32(d.data() + sd::kSize, static_cast<std::uint32_t>(d.size()));
  return d;
}

}  // namespace zolp::sim
