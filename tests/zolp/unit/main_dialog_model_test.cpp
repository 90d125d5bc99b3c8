#include "model/main_dialog_model.h"

#include <gtest/gtest.h>

#include "resource.h"

namespace zolp {
namespace {

TEST(VersionLabel, KnownUnknownAndCut) {
  EXPECT_EQ(VersionLabelText(std::string("A05")), "Package Version A05");
  EXPECT_EQ(VersionLabelText(std::nullopt), "Package Version Unknown");
  std::string longest(kPackageVersionMax, 'x');
  EXPECT_EQ(VersionLabelText(longest).size(), 16 + kPackageVersionMax);
  EXPECT_EQ(VersionLabelText(std::string(200, 'y')).size(), kVersionLabelMax);
  EXPECT_EQ(CutTo(std::string(300, 'p'), kPackageNameMax).size(), 127u);
}

TEST(LinkLook, AvailableIsBlueUnderlinedElseGrey) {
  FontLook on = LinkLook(true);
  EXPECT_EQ(on.colour, Rgb(0, 0, 255));
  EXPECT_EQ(on.flags, kFontUnderline | kFontCentred);
  EXPECT_EQ(on.size, 15);
  FontLook off = LinkLook(false);
  EXPECT_EQ(off.colour, Rgb(128, 128, 128));
  EXPECT_EQ(off.flags, kFontCentred);
  EXPECT_EQ(VersionLabelLook().flags, kFontBold | kFontCentred);
  EXPECT_EQ(VersionLabelLook().size, 18);
}

TEST(SystemMenu, ItemsFollowWhatIsAvailable) {
  auto all = SystemMenuItems(true, true);
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[0].command, 48u);
  EXPECT_EQ(all[0].text, "&Release Information...");
  EXPECT_EQ(all[1].command, 32u);
  EXPECT_EQ(all[1].text, "&View Readme...");
  EXPECT_EQ(all[2].command, 16u);
  EXPECT_EQ(all[2].text, "&About ZOLP...");
  auto none = SystemMenuItems(false, false);
  ASSERT_EQ(none.size(), 1u);
  EXPECT_EQ(none[0].command, 16u);
}

TEST(SystemMenu, LowBitsIgnoredAndMissingItemsDoNothing) {
  EXPECT_EQ(SystemCommandAction(0x3F, true, true), MainCommand::Release);
  EXPECT_EQ(SystemCommandAction(0x21, true, true), MainCommand::Readme);
  EXPECT_EQ(SystemCommandAction(0x1A, false, false), MainCommand::About);
  EXPECT_EQ(SystemCommandAction(48, false, true), MainCommand::None);
  EXPECT_EQ(SystemCommandAction(32, true, false), MainCommand::None);
  EXPECT_EQ(SystemCommandAction(0xF060, true, true), MainCommand::None);  // SC_CLOSE
}

TEST(EnterKey, FocusedOptionOpensElseCloses) {
  EXPECT_EQ(EnterKeyAction(IDC_DISKETTE), MainCommand::Diskette);
  EXPECT_EQ(EnterKeyAction(IDC_USB), MainCommand::Usb);
  EXPECT_EQ(EnterKeyAction(IDC_IMAGE), MainCommand::Image);
  EXPECT_EQ(EnterKeyAction(IDC_FINISHED), MainCommand::Close);
  EXPECT_EQ(EnterKeyAction(IDC_README_LINK), MainCommand::Close);
  EXPECT_EQ(EnterKeyAction(0), MainCommand::Close);
}

TEST(Clicks, LinksLeadNowhereWhenUnavailable) {
  EXPECT_EQ(ClickAction(IDC_README_LINK, true, false), MainCommand::None);
  EXPECT_EQ(ClickAction(IDC_README_LINK, false, true), MainCommand::Readme);
  EXPECT_EQ(ClickAction(IDC_RELEASE_LINK, false, true), MainCommand::None);
  EXPECT_EQ(ClickAction(IDC_RELEASE_LINK, true, false), MainCommand::Release);
  EXPECT_EQ(ClickAction(IDC_LOGO, true, true), MainCommand::None);
  EXPECT_EQ(ClickAction(IDC_VERSION_LABEL, true, true), MainCommand::None);
  EXPECT_EQ(ClickAction(IDC_FINISHED, true, true), MainCommand::Close);
}

}  // namespace
}  // namespace zolp
