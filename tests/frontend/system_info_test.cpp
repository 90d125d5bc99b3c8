#include "zolp/system_info.h"

#include <vector>

#include "common/endian.h"
#include "zolp/sim/file_disk.h"
#include "zolp_fixture.h"

namespace zolp {
namespace {

namespace sd = storage_descriptor;
using SystemInfoTest = testing::ZolpTest;

TEST_F(SystemInfoTest, AdministratorMembershipComesFromTheHost) {
  host_.administrator = true;
  EXPECT_TRUE(IsUserAdmin(s_));
  host_.administrator = false;
  EXPECT_FALSE(IsUserAdmin(s_));
}

TEST_F(SystemInfoTest, StorageDescriptorOfAUsbDisk) {
  sim::FileDisk disk(root_ / "usb.bin", 1 << 20, host_);
  disk.descriptor =
      sim::BuildStorageDescriptor(0, true, sd::kBusTypeUsb, "Kingston", "DataTraveler 2.0", "PMAP");
  std::vector<std::uint8_t> buffer(sd::kQueryBufferSize, 0xCC);
  ASSERT_TRUE(QueryStorageDevice(disk, buffer.data(), sd::kQueryBufferSize));
  EXPECT_EQ(common::load_le32(buffer.data() + sd::kBusType), 7u);
  EXPECT_EQ(buffer[sd::kDeviceType], 0);
  EXPECT_EQ(buffer[sd::kRemovableMedia], 1);
  EXPECT_EQ(DescriptorString(buffer.data(), buffer.size(), sd::kVendorIdOffset), "Kingston");
  EXPECT_EQ(DescriptorString(buffer.data(), buffer.size(), sd::kProductIdOffset),
            "DataTraveler 2.0");
  EXPECT_EQ(DescriptorString(buffer.data(), buffer.size(), sd::kProductRevisionOffset), "PMAP");
  EXPECT_EQ(DescriptorString(buffer.data(), buffer.size(), sd::kSerialNumberOffset), "");

  disk.descriptor.clear();
  EXPECT_FALSE(QueryStorageDevice(disk, buffer.data(), sd::kQueryBufferSize));
}

TEST_F(SystemInfoTest, DescriptorStringsNeverLeaveTheBuffer) {
  std::vector<std::uint8_t> d(64, 'A');  // no terminator anywhere
  common::store_le32(d.data() + sd::kVendorIdOffset, 60);
  common::store_le32(d.data() + sd::kProductIdOffset, 64);  // just past the end
  common::store_le32(d.data() + sd::kProductRevisionOffset, 0xFFFFFFF0);
  EXPECT_EQ(DescriptorString(d.data(), d.size(), sd::kVendorIdOffset), "AAAA");
  EXPECT_EQ(DescriptorString(d.data(), d.size(), sd::kProductIdOffset), "");
  EXPECT_EQ(DescriptorString(d.data(), d.size(), sd::kProductRevisionOffset), "");
  EXPECT_EQ(DescriptorString(d.data(), 14, sd::kVendorIdOffset), "");  // field itself cut off
  EXPECT_EQ(DescriptorString(nullptr, 0, sd::kVendorIdOffset), "");
}

}  // namespace
}  // namespace zolp
