// The command table, dispatch, error levels and HELP.
#include <gtest/gtest.h>

#include <set>

#include "partshell/command_table.h"
#include "shell_fixture.h"

namespace partshell::test {
namespace {

TEST(ShellCommandTable, FiftyUniqueRowsAndFortyFiveWithDetails) {
  auto table = CommandTable();
  ASSERT_EQ(table.size(), 50u);
  std::set<std::string> names;
  const std::set<std::string> without_details = {"DELAY", "FREE", "GOTO", "SHOWERRORS", "?"};
  for (const CommandRow* row : table) {
    EXPECT_TRUE(names.insert(std::string(row->name)).second) << row->name;
    EXPECT_LE(row->usage.size(), 30u) << row->name;
    EXPECT_EQ(row->handler == nullptr, row->name == "EXIT" || row->name == "QUIT") << row->name;
    const bool without = without_details.count(std::string(row->name)) != 0;
    EXPECT_EQ(row->details.empty(), without) << row->name;
    if (!without) {
      EXPECT_EQ(row->details.substr(0, 4), "    ") << row->name;
    }
  }
}

TEST(ShellCommandTable, SharedHandlersAndCaseInsensitiveLookup) {
  EXPECT_EQ(FindCommand("copyhd2sys")->name, "COPYHD2SYS");
  EXPECT_EQ(FindCommand("Echo.")->name, "ECHO.");
  EXPECT_EQ(FindCommand("CAT")->handler, FindCommand("TYPE")->handler);
  EXPECT_EQ(FindCommand("HELP")->handler, FindCommand("?")->handler);
  EXPECT_EQ(FindCommand("ECHO")->handler, FindCommand("ECHO.")->handler);
  EXPECT_EQ(FindCommand("COPYHD2"), nullptr);
}

using ShellDispatch = ShellTest;

TEST_F(ShellDispatch, UnknownCommandIs764AndPublished) {
  EXPECT_EQ(Run("FROB x"), "Invalid Command [FROB] Encountered. [HELP/?]\n");
  EXPECT_EQ(shell_.ErrorLevel(), 764);
  EXPECT_EQ(Env("ERRORLEVEL"), "764");
  EXPECT_EQ(Env("$?"), "764");
  EXPECT_EQ(Run("/FOO DIR"), "Invalid Command [/FOO] Encountered. [HELP/?]\n");
}

TEST_F(ShellDispatch, WrongParameterCountIs765WithoutPublishing) {
  Run("ERRORLEVEL 12");
  EXPECT_EQ(Run("copyhd2sys"), "[COPYHD2SYS] Invalid number of parameters\n  Expected 1 to 2 parameters.\n");
  EXPECT_EQ(shell_.ErrorLevel(), 765);
  EXPECT_EQ(Env("ERRORLEVEL"), "12");
  EXPECT_EQ(Run("DEL a b c"), "[DEL] Invalid number of parameters\n  Expected 1 to 2 parameters.\n");
  EXPECT_EQ(Run("FREE x"), "[FREE] Invalid number of parameters\n  Expected 0 parameters.\n");
  EXPECT_EQ(Run("LOG"), "[LOG] Invalid number of parameters\n  Expected 2 parameters.\n");
  EXPECT_EQ(Run("GOTO"), "[GOTO] Invalid number of parameters\n  Expected 1 parameters.\n");
}

TEST_F(ShellDispatch, TrailingVerboseCountsNotAsParameterAndIsRestored) {
  EXPECT_FALSE(VerboseMode());
  EXPECT_EQ(Run("VERBOSE -VERBOSE"), "[VERBOSE] Verbose Mode: Verbose\n");
  EXPECT_FALSE(VerboseMode());
  EXPECT_EQ(Run("FREE -verbose x"), "[FREE] Invalid number of parameters\n  Expected 0 parameters.\n");
  Run("VERBOSE ON");
  Run("ERRORLEVEL -VERBOSE");
  EXPECT_TRUE(VerboseMode());
}

TEST_F(ShellDispatch, DelayAndSleepLetTimePassThroughTheConsole) {
  Run("SLEEP 250");
  EXPECT_EQ(console_.waited_ms, 250);
  console_.waited_ms = 0;
  Run("DELAY 3");
  EXPECT_EQ(console_.waited_ms, 3000);
  // A key during the delay asks; only "y" ends it.
  console_.waited_ms = 0;
  console_.Type("xn");
  EXPECT_NE(Run("DELAY 5").find("Discontinue Delay? y/N: "), std::string::npos);
  EXPECT_EQ(console_.waited_ms, 5000);
  console_.waited_ms = 0;
  console_.Type("xy");
  Run("DELAY 5");
  EXPECT_EQ(console_.waited_ms, 1000);
  console_.waited_ms = 0;
  Run("SLEEP 99999999999");
  EXPECT_EQ(console_.waited_ms, 0x7FFFFFFF);
}

TEST_F(ShellDispatch, ErrorLevelCommandSetsAbsoluteValueAndReports) {
  EXPECT_EQ(Run("ERRORLEVEL -7"), "");
  EXPECT_EQ(shell_.ErrorLevel(), 7);
  EXPECT_EQ(Env("ERRORLEVEL"), "7");
  EXPECT_EQ(Run("errorlevel"), "[ERRORLEVEL] ERRORLEVEL: 7\n");
  EXPECT_EQ(shell_.ErrorLevel(), 7);
  EXPECT_EQ(Run("ECHO %errorlevel% %$?%"), "7 7\n");
}

TEST_F(ShellDispatch, VerboseAndLogAllOptions) {
  EXPECT_EQ(Run("VERBOSE MAYBE"), "[VERBOSE] Invalid Option: MAYBE\n");
  EXPECT_FALSE(VerboseMode());
  EXPECT_EQ(Run("verbose on"), "[VERBOSE] Verbose Mode: Verbose\n");
  EXPECT_TRUE(VerboseMode());
  EXPECT_EQ(Run("VERBOSE"), "[VERBOSE] Verbose Mode: Verbose\n");
  EXPECT_EQ(Run("VERBOSE OFF"), "[VERBOSE] Verbose Mode: Quiet\n");

  Run("ERRORLEVEL 5");
  EXPECT_EQ(Run("LOGALL MAYBE"), "[LOGALL] Invalid Option: MAYBE\n");
  EXPECT_EQ(shell_.ErrorLevel(), 0);
  EXPECT_EQ(Run("LOGALL ON"), "[LOGALL] LOG Mode: Enabled\n");
  EXPECT_TRUE(LogAllMode());
  Run("ECHO into the log");
  EXPECT_EQ(Run("LOGALL OFF"), "[LOGALL] LOG Mode: Disabled\n");
  Run("ECHO not in the log");
  std::string log = dir_.Read("session.log");
  EXPECT_NE(log.find("into the log\n"), std::string::npos);
  EXPECT_NE(log.find("[LOGALL] LOG Mode: Enabled\n"), std::string::npos);
  EXPECT_EQ(log.find("[LOGALL] LOG Mode: Disabled"), std::string::npos);
  EXPECT_EQ(log.find("not in the log"), std::string::npos);
}

TEST_F(ShellDispatch, SetListsAssignsAndRemoves) {
  Run("SET pathx = a b");
  EXPECT_EQ(Env("PATHX"), "a b");
  Run("SET EQ=x=y z");
  EXPECT_EQ(Env("EQ"), "x=y z");
  Run("SET PATHX");
  EXPECT_EQ(Env("PATHX"), "<unset>");
  Run("SET EQ=");
  EXPECT_EQ(Env("EQ"), "<unset>");
  Run("ERRORLEVEL 3");
  std::string listing = Run("SET");
  EXPECT_EQ(listing, "PATH=/bin\nHOME=/root\n$?=3\nERRORLEVEL=3\n");
  EXPECT_EQ(shell_.ErrorLevel(), 3);
}

TEST_F(ShellDispatch, SetListingShowsNamesInBrightGreen) {
  ScriptedConsole coloured("", true);
  InstallOutput(&coloured, &log_);
  Shell shell(coloured, partition_, *files_);
  std::string line = "SET";
  shell.ParseCommandLine(line, 256);
  shell.DispatchCommand(nullptr);
  EXPECT_EQ(coloured.output.substr(0, 30), "<attr:0A>PATH<attr:07>=/bin\n<a");
}

TEST_F(ShellDispatch, HelpForms) {
  std::string one = Run("HELP COPY");
  EXPECT_EQ(one.substr(0, 57), "\nCommand      Usage                          Description\n");
  EXPECT_NE(one.find("COPY         {unsupported}                  {unsupported} - See COPYxx2yyy\n"
                     "    No longer supported"),
            std::string::npos);
  EXPECT_EQ(one.find("NOTES"), std::string::npos);

  std::string all = Run("help nosuchcommand");
  EXPECT_NE(all.find("APPENDFILE   APPENDFILE [SYS:]target source Appends a file to a FAT16 file\n"
                     "ATTRIB "),
            std::string::npos);
  EXPECT_NE(all.find("?            HELP [command]                 This Help text [command help]\n----------\n"),
            std::string::npos);
  EXPECT_NE(all.find("NOTE: SYS: Filename/Paths MUST use \\ separators.\n"), std::string::npos);
  EXPECT_EQ(all.find("    No longer supported"), std::string::npos);
  EXPECT_EQ(Run("?"), all);

  std::string extended = Run("HELP -a");
  EXPECT_NE(extended.find("    No longer supported"), std::string::npos);
  EXPECT_NE(extended.find("FREE         FREE                           Show mounted partition free space\n\n"),
            std::string::npos);
  EXPECT_GT(extended.size(), all.size());
  Run("ERRORLEVEL 9");
  Run("HELP");
  EXPECT_EQ(shell_.ErrorLevel(), 0);
}

TEST_F(ShellDispatch, ExitAtCommandLineLevelEndsOnlyThatCommand) {
  std::string line = "EXIT -3";
  shell_.ParseCommandLine(line, 256);
  EXPECT_EQ(shell_.DispatchCommand(nullptr), 1);
  EXPECT_EQ(shell_.ErrorLevel(), -3);
  EXPECT_EQ(Env("ERRORLEVEL"), "-3");
  EXPECT_FALSE(shell_.exitRequested_);
  line = "QUIT 3 4 5";  // limits of QUIT are not looked at
  shell_.ParseCommandLine(line, 256);
  EXPECT_EQ(shell_.DispatchCommand(nullptr), 1);
  EXPECT_EQ(shell_.ErrorLevel(), 3);
}

}  // namespace
}  // namespace partshell::test
