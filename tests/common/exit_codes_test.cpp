// The one table of vellix's exit codes that vellix and the front end both
// read, and the text helpers.
#include <gtest/gtest.h>

#include <string>

#include "common/text.h"
#include "common/vellix_exit_codes.h"

namespace {

TEST(VellixExitCodes, OneRowPerCodeInOrderEachWithWhatBothSidesNeed) {
  int previous = -2;
  int raised = 0;
  for (const common::VellixExitCode& row : common::kVellixExitCodes) {
    EXPECT_LT(previous, row.code);
    previous = row.code;
    ASSERT_NE(row.text, nullptr);
    raised += row.name != nullptr ? 1 : 0;
    // The front end has a message for every code below 80 but 0; vellix names
    // every code it raises, and all codes from 80 on are vellix's own.
    EXPECT_EQ(row.text[0] != '\0', row.code != 0 && row.code < 80) << row.code;
    if (row.code >= 80 || row.code == 0) {
      EXPECT_NE(row.name, nullptr) << row.code;
    }
  }
  EXPECT_EQ(raised, 79);
  for (int frontEndOnly : {-1, 19, 20, 32, 54, 55, 57, 79}) {
    ASSERT_NE(common::FindVellixExitCode(frontEndOnly), nullptr);
    EXPECT_EQ(common::FindVellixExitCode(frontEndOnly)->name, nullptr) << frontEndOnly;
  }
  for (int unknown : {-2, 36, 37, 88, 255}) EXPECT_EQ(common::FindVellixExitCode(unknown), nullptr);
  EXPECT_STREQ(common::FindVellixExitCode(42)->text, "Error processing the command line parameters.");
}

TEST(Text, FormatsAnyLengthAndFoldsAsciiOnly) {
  const std::string long_text(5000, 'x');
  EXPECT_EQ(common::Format("%s|%d", long_text.c_str(), 42), long_text + "|42");
  EXPECT_EQ(common::Format("%s", ""), "");
  EXPECT_TRUE(common::EqualsIgnoreCase("Readme.TXT", "rEADME.txt"));
  EXPECT_FALSE(common::EqualsIgnoreCase("\xC3\xA9", "\xC3\x89"));  // é and É: bytes, not letters
  EXPECT_FALSE(common::EqualsIgnoreCase("ab", "abc"));
  EXPECT_TRUE(common::StartsWithIgnoreCase("more file.txt", "MORE"));
  EXPECT_EQ(common::UpperAscii("caf\xC3\xA9 [a-z]"), "CAF\xC3\xA9 [A-Z]");
  EXPECT_EQ(common::LowerAscii("README.TXT"), "readme.txt");
}

}  // namespace
