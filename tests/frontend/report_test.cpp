#include "zolp/report.h"

#include <cstring>

#include "zolp_fixture.h"

namespace zolp {
namespace {

using testing::ZolpTest;
using ReportTest = ZolpTest;

TEST_F(ReportTest, SafeFormatWritesWholeTextAndCountsIt) {
  char buffer[16];
  EXPECT_EQ(SafeFormat(s_, false, "a.cpp", 1, buffer, sizeof buffer, "%s-%d", "ab", 12), 5);
  EXPECT_STREQ(buffer, "ab-12");
  EXPECT_TRUE(host_.Messages().empty());
}

TEST_F(ReportTest, SafeFormatTruncatesAndTerminatesQuietlyWithoutFatalOrVerbose) {
  char buffer[8];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(SafeFormat(s_, false, "a.cpp", 1, buffer, sizeof buffer, "%s", "0123456789"), -1);
  EXPECT_STREQ(buffer, "0123456");
  EXPECT_TRUE(host_.Messages().empty());
  EXPECT_TRUE(host_.endProgramCalls.empty());
}

TEST_F(ReportTest, SafeFormatExactFitIsNotTruncation) {
  char buffer[4];
  EXPECT_EQ(SafeFormat(s_, true, "a.cpp", 1, buffer, sizeof buffer, "abc"), 3);
  EXPECT_TRUE(host_.endProgramCalls.empty());
}

TEST_F(ReportTest, SafeFormatOverrunInVerboseModeShowsTheCaller) {
  SetVerbose();
  char buffer[4];
  EXPECT_EQ(SafeFormat(s_, false, "USBDlg.cpp", 321, buffer, sizeof buffer, "%s", "too long"), -1);
  ASSERT_EQ(host_.Messages().size(), 1u);
  EXPECT_EQ(host_.Messages()[0].text, "Fatal program error at File: USBDlg.cpp, Line: 321!");
  EXPECT_EQ(host_.Messages()[0].title, "Buffer Overrun");
  EXPECT_EQ(host_.Messages()[0].icon, MessageIcon::Warning);
  EXPECT_TRUE(host_.endProgramCalls.empty());
}

TEST_F(ReportTest, FatalOverrunEndsTheProgramWithStatusOne) {
  char buffer[4];
  ZOLP_SAFE_FORMAT(s_, true, buffer, sizeof buffer, "%d", 123456);
  ASSERT_EQ(host_.Messages().size(), 1u);
  EXPECT_NE(host_.Messages()[0].text.find("report_test.cpp"), std::string::npos);
  EXPECT_EQ(host_.endProgramCalls, std::vector<int>{1});
}

TEST_F(ReportTest, FormatSystemErrorWithAndWithoutSystemText) {
  EXPECT_EQ(FormatSystemError(s_, 5, "Opening x"),
            "Opening x failed with error 5: Access is denied.");
  EXPECT_EQ(FormatSystemError(s_, 4242, "Opening x"), "Opening x failed with error 4242.");
  char small[12];
  FormatSystemError(s_, 5, "Opening x", small, sizeof small);
  EXPECT_STREQ(small, "Opening x f");
}

TEST_F(ReportTest, ReportLastErrorIsSilentForErrorZero) {
  host_.SetLast(0);
  EXPECT_EQ(ReportLastError(s_, false, "Step", "Title"), 0u);
  EXPECT_TRUE(host_.Messages().empty());
}

TEST_F(ReportTest, VerboseOnlyReportsNeedVerboseMode) {
  host_.SetLast(2);
  EXPECT_EQ(ReportLastError(s_, true, "Step", "Title"), 2u);
  EXPECT_TRUE(host_.Messages().empty());

  SetVerbose();
  EXPECT_EQ(ReportLastError(s_, true, "Step", "Title"), 2u);
  ASSERT_EQ(host_.Messages().size(), 1u);
  EXPECT_EQ(host_.Messages()[0].text,
            "Step failed with error 2: The system cannot find the file specified.");
  EXPECT_EQ(host_.Messages()[0].title, "Title");
}

TEST_F(ReportTest, OrdinaryReportsShowAndKeepTheLastError) {
  host_.SetLast(87);
  EXPECT_EQ(ReportLastError(s_, false, "Step", "Title"), 87u);
  EXPECT_EQ(host_.Messages().size(), 1u);
  EXPECT_EQ(host_.Last(), 87u);
}

}  // namespace
}  // namespace zolp
