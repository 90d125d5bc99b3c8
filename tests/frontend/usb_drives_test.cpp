// Which USB disks are offered and what OK builds for them.
#include "zolp/usb_drives.h"

#include <gtest/gtest.h>

namespace zolp {
namespace {

TEST(UsbDriveRules, ListedAboveThreeMillionBytesWhileAnMbrCanAddressThem) {
  EXPECT_FALSE(UsbDriveListed(3000000, 5858));
  EXPECT_TRUE(UsbDriveListed(3000001, 5859));
  EXPECT_FALSE(UsbDriveListed(0, 0));  // a card slot or a failed size query
  EXPECT_TRUE(UsbDriveListed(0xFFFFFFFFull * 512, 0xFFFFFFFE));
  EXPECT_FALSE(UsbDriveListed(1ull << 41, 0xFFFFFFFF));
}

TEST(UsbDriveRules, TheVolumeFillsTheStickUpTo2GBAndOnly2TiBIsRefused) {
  const struct {
    std::uint32_t lastSector, blocks;
    bool refused;
  } rows[] = {{32767, 32768, false},          {4128767, 4128768, false},
              {4128768, 4128768, false},      {0xFFFFFFFE, 4128768, false},
              {0xFFFFFFFF, 0, true}};
  for (const auto& row : rows) {
    const UsbImagePlan plan = PlanUsbImage(row.lastSector);
    EXPECT_EQ(plan.blocks, row.blocks) << row.lastSector;
    EXPECT_EQ(plan.refusal != nullptr, row.refused) << row.lastSector;
  }
  EXPECT_STREQ(PlanUsbImage(0xFFFFFFFF).refusal,
               "The selected flash drive is too large to format with this utility.\n"
               "Only drives up to 2 TB in size are supported.");
  EXPECT_EQ(UsbImageCommandLine("A05 Diagnostics", 4128768, ".\\~DP1.tmp"),
            "vellix.exe dd.cfg FLASH -v\"A05 Diagnos\" -t4128768 -i\".\\~DP1.tmp\"");
}

}  // namespace
}  // namespace zolp
