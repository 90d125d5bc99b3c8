// Variable substitution and tokenising of command lines.
#include <gtest/gtest.h>

#include "partshell/command_parser.h"
#include "shell_fixture.h"

namespace partshell::test {
namespace {

LocalEnvironment MakeEnv(std::initializer_list<std::string> entries) {
  LocalEnvironment env;
  env.Init(entries);
  return env;
}

std::string Expand(const std::string& line, const LocalEnvironment& env, std::size_t capacity = 256) {
  std::string text = line;
  ExpandVariables(text, capacity, env);
  return text;
}

TEST(ParseExpand, SubstitutesKnownNamesIgnoringCaseAndKeepsUnknownOnes) {
  auto env = MakeEnv({"ERRORLEVEL=7", "Dir=\\DIAGS"});
  EXPECT_EQ(Expand("IF %errorlevel% -ge %ERRORLEVEL% x", env), "IF 7 -ge 7 x");
  EXPECT_EQ(Expand("CD %dir%\\SUB", env), "CD \\DIAGS\\SUB");
  EXPECT_EQ(Expand("ECHO %NOPE% and %dir%", env), "ECHO %NOPE% and \\DIAGS");
  EXPECT_EQ(Expand("ECHO 100%%", env), "ECHO 100%");
  EXPECT_EQ(Expand("ECHO %%DIR%%", env), "ECHO %DIR%");
  EXPECT_EQ(Expand("ECHO 50% off", env), "ECHO 50% off");
  EXPECT_EQ(Expand("ECHO %", env), "ECHO %");
}

TEST(ParseExpand, ValuesAreNeverExpandedAgain) {
  auto env = MakeEnv({"A=%B%", "B=bee"});
  EXPECT_EQ(Expand("%A%", env), "%B%");
  EXPECT_EQ(Expand("%A%%B%", env), "%B%bee");
}

TEST(ParseExpand, ResultStaysWithinCapacityHoweverLongTheValues) {
  auto env = MakeEnv({"BIG=" + std::string(5000, 'x')});
  std::string line;
  for (int i = 0; i < 60; ++i) line += "%BIG%";
  std::string out = Expand(line, env, 256);
  EXPECT_EQ(out.size(), 255u);
  EXPECT_EQ(out, std::string(255, 'x'));
  EXPECT_EQ(Expand(std::string(600, 'a'), env, 512).size(), 511u);
}

TEST(ParseExpand, OverlongNameIsNotLookedUp) {
  std::string name(300, 'N');
  auto env = MakeEnv({name + "=v"});
  EXPECT_EQ(Expand("%" + name + "%", env), ("%" + name + "%").substr(0, 255));
}

TEST(ParseSplit, WhiteSpaceSeparatesAndQuotesAreOrdinary) {
  TokenList t = SplitTokens("  COPYHD2SYS\t\"a b\"  c\r\n");
  ASSERT_EQ(t.size(), 4u);
  EXPECT_EQ(t[0], "COPYHD2SYS");
  EXPECT_EQ(t[1], "\"a");
  EXPECT_EQ(t[2], "b\"");
  EXPECT_EQ(t[3], "c");
  EXPECT_TRUE(SplitTokens(" \t\v\f ").empty());
}

TEST(ParseSplit, ThirtyWordsKeepTwentyOne) {
  std::string line;
  for (int i = 0; i < 30; ++i) line += "w" + std::to_string(i) + " ";
  TokenList t = SplitTokens(line);
  ASSERT_EQ(t.size(), 21u);
  EXPECT_EQ(t[20], "w20");
}

TEST(ParseNumbers, DecimalConversionLikeTheCLibrary) {
  EXPECT_EQ(DecimalValue("  -12abc"), -12);
  EXPECT_EQ(DecimalValue("+7"), 7);
  EXPECT_EQ(DecimalValue("abc"), 0);
  EXPECT_EQ(DecimalValue(""), 0);
  EXPECT_EQ(DecimalValue("99999999999999"), 2147483647);
  EXPECT_EQ(DecimalValue("-99999999999999"), -2147483647 - 1);
}

using ParseShell = ShellTest;

TEST_F(ParseShell, CommentsAndLabelsYieldNoTokens) {
  for (const char* line : {"REM copy all", "rem", ":LABEL here", "; note", "   ", ""}) {
    std::string text = line;
    EXPECT_EQ(shell_.ParseCommandLine(text, 256), 0) << line;
  }
  std::string remark = "REMARK x";
  EXPECT_EQ(shell_.ParseCommandLine(remark, 256), 2);

  Run("ERRORLEVEL 4");
  Run("REM ERRORLEVEL 9");
  Run(":ERRORLEVEL 9");
  Run(";ERRORLEVEL 9");
  EXPECT_EQ(shell_.ErrorLevel(), 4);
  EXPECT_EQ(Env("ERRORLEVEL"), "4");
}

TEST_F(ParseShell, LastCommandLineHoldsTheSubstitutedLine) {
  EnvPutValue("WHO=world");
  std::string line = "ECHO hello %who%";
  shell_.ParseCommandLine(line, 256);
  EXPECT_EQ(shell_.LastCommandLine(), "ECHO hello world");
  std::string longLine(400, 'z');
  shell_.ParseCommandLine(longLine, 512);
  EXPECT_EQ(shell_.LastCommandLine().size(), 255u);
}

}  // namespace
}  // namespace partshell::test
