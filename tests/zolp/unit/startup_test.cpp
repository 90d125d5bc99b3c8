#include "model/startup.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace zolp {
namespace {

TEST(CommandWords, SlashAndHyphenWordsSetTheirFlags) {
  CommandWords words = ParseCommandWords(" /VERBOSE -uptest");
  EXPECT_TRUE(words.verbose);
  EXPECT_TRUE(words.upTest);
  EXPECT_FALSE(words.upDebug);
  EXPECT_FALSE(words.debug);
}

TEST(CommandWords, NearMissesAndEmptyLinesSetNothing) {
  for (const char* tail : {" verbosex", "", " --", " xdebug upte st", " verbose_", " verifying",
                           " noverif", " noverifying"}) {
    CommandWords words = ParseCommandWords(tail);
    EXPECT_FALSE(words.verbose || words.upTest || words.upDebug || words.debug || words.verify ||
                 words.noVerify)
        << tail;
  }
}

TEST(CommandWords, WordsSplitAtEverySeparator) {
  CommandWords words = ParseCommandWords("updebug\tDEBUG\n-Verbose/uptest -VERIFY /NoVerify");
  EXPECT_TRUE(words.verbose && words.upTest && words.upDebug && words.debug && words.verify &&
              words.noVerify);
}

TEST(CommandWords, TailSkipsQuotedAndBareProgramNames) {
  EXPECT_EQ(CommandTail("\"C:\\My Kit\\ZOLP.exe\" /verbose"), " /verbose");
  EXPECT_EQ(CommandTail("ZOLP.exe -uptest"), " -uptest");
  EXPECT_EQ(CommandTail("ZOLP.exe"), "");
  // A program name holding "verbose" is not a command word.
  EXPECT_FALSE(ParseCommandWords(CommandTail("\"C:\\verbose\\ZOLP.exe\"")).verbose);
}

int TemplateFor(std::set<std::string> lines) {
  return ChooseMainTemplate([&](std::string_view key) { return lines.count(std::string(key)) > 0; });
}

TEST(MainTemplate, MarkersWinInTheirOrder) {
  EXPECT_EQ(TemplateFor({}), 102);
  EXPECT_EQ(TemplateFor({"[Disk1]"}), 101);
  EXPECT_EQ(TemplateFor({"[VORTALIS]"}), 103);
  EXPECT_EQ(TemplateFor({"[TIRANDOL]"}), 104);
  EXPECT_EQ(TemplateFor({"[TIRANDOL]", "[Disk1]"}), 104);
  EXPECT_EQ(TemplateFor({"[VORTALIS]", "[Disk1]"}), 103);
  EXPECT_EQ(TemplateFor({"[VORTALIS]", "[TIRANDOL]"}), 104);
}

TEST(ProgramPath, DriveAndDirectory) {
  EXPECT_EQ(ProgramDriveOf("d:\\kit\\ZOLP.exe"), 'D');
  EXPECT_EQ(ProgramDriveOf(""), 0);
  EXPECT_EQ(ProgramDirectoryOf("D:\\kit\\pkg\\ZOLP.exe"), "D:\\kit\\pkg");
  EXPECT_EQ(ProgramDirectoryOf("D:\\ZOLP.exe"), "D:\\");
  EXPECT_EQ(ProgramDirectoryOf("ZOLP.exe"), "");
}

}  // namespace
}  // namespace zolp
