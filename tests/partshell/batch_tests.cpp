// Batch files and control flow, run in-process.
#include <gtest/gtest.h>

#include "shell_fixture.h"

namespace partshell::test {
namespace {

using Batch = ShellTest;

TEST_F(Batch, GotoJumpsForwardAndBackwardAndFirstEqualLabelWins) {
  dir_.Write("JUMP.F16",
             "@ECHO OFF\n"
             "SET N=0\n"
             "GOTO forward\n"
             "ECHO skipped\n"
             ":BACK\n"
             "ECHO back %N%\n"
             "GOTO :END\n"
             ":FORWARD extra words\n"
             "ECHO forward\n"
             "GOTO back\n"
             ":END\n"
             "ECHO end\n"
             ":END\n"
             "ECHO second end\n");
  EXPECT_EQ(Run("@CALL JUMP"), "forward\nback 0\nend\nsecond end\n");
  EXPECT_EQ(shell_.ErrorLevel(), 0);
}

TEST_F(Batch, GotoToTheTopRepeatsWithAConditionToLeave) {
  dir_.Write("LOOP.F16",
             "@ECHO OFF\n"
             ":TOP\n"
             "ERRORLEVEL %N%\n"
             "IF %N% -ge 3 GOTO DONE\n"
             "IF %N% == 2 SET N=3\n"
             "IF %N% == 1 SET N=2\n"
             "IF %N% == 0 SET N=1\n"
             "ECHO turn %N%\n"
             "GOTO TOP\n"
             ":DONE\n");
  EnvPutValue("N=0");
  EXPECT_EQ(Run("@CALL LOOP.F16"), "turn 1\nturn 2\nturn 3\n");
  EXPECT_EQ(shell_.ErrorLevel(), 3);
}

TEST_F(Batch, MissingLabelEndsThisFileAndItsCallersWith749) {
  dir_.Write("INNER.F16", "@ECHO OFF\nECHO inner\nGOTO NOWHERE\nECHO not reached\n");
  dir_.Write("OUTER.F16", "@ECHO OFF\nCALL INNER\nECHO outer goes on\n");
  std::string out = Run("@CALL OUTER");
  EXPECT_EQ(out,
            "inner\n"
            "[torbel] Target Label Not Found: :NOWHERE\n");
  EXPECT_EQ(shell_.ErrorLevel(), 749);
  EXPECT_EQ(Env("ERRORLEVEL"), "749");
  EXPECT_EQ(shell_.BatchDepth(), 0);
  // The prompt level is not stopped: the next command runs.
  EXPECT_EQ(Run("ECHO next"), "next\n");
}

TEST_F(Batch, GotoOutsideABatchDoesNothing) {
  Run("ERRORLEVEL 4");
  EXPECT_EQ(Run("GOTO X"), "");
  EXPECT_EQ(shell_.ErrorLevel(), 4);
}

TEST_F(Batch, EchoedLinesShowPromptAndLineAndEchoStateComesBack) {
  dir_.Write("SHOW.F16", "ECHO one\n@ECHO two\nNOSUCH\nREM quiet\nECHO\n@ECHO\n");
  std::string out = Run("CALL SHOW");
  EXPECT_EQ(out,
            "[torbel] Processing Commands From: SHOW.F16\n"
            "SYS:[UP,1,DE]:\\> ECHO one\n"
            "one\n"
            "two\n"
            "Invalid Command [NOSUCH] Encountered. [HELP/?]\n"
            "SYS:[UP,1,DE]:\\> ECHO\n"
            "[ECHO] ON\n"
            "[ECHO] OFF\n"
            "[torbel] Batch File Complete: SHOW.F16\n");
}

TEST_F(Batch, EchoOffInsideLastsOnlyForThatFile) {
  dir_.Write("QUIET.F16", "@ECHO OFF\nECHO text\n");
  EXPECT_EQ(Run("CALL QUIET"),
            "[torbel] Processing Commands From: QUIET.F16\ntext\n[torbel] Batch File Complete: QUIET.F16\n");
  EXPECT_TRUE(shell_.echoOn_);
  // A CALL written with "@" leaves echo off afterwards.
  EXPECT_EQ(Run("@CALL QUIET"), "text\n");
  EXPECT_FALSE(shell_.echoOn_);
}

TEST_F(Batch, EchoColourIsBrightGreenOverTheBackground) {
  ScriptedConsole coloured("", true);
  coloured.SetTextAttributes(0x17);
  coloured.output.clear();
  InstallOutput(&coloured, &log_);
  Shell shell(coloured, partition_, *files_);
  dir_.Write("C.F16", "ECHO hi\n");
  std::string line = "@CALL C";
  shell.ParseCommandLine(line, 256);
  shell.DispatchCommand(nullptr);
  EXPECT_EQ(coloured.output, "<attr:1A>SYS:[UP,1,DE]:\\> ECHO hi\n<attr:17>hi\n");
}

TEST_F(Batch, EchoTextForms) {
  EXPECT_EQ(Run("ECHO    spaced   text"), "spaced   text\n");
  EXPECT_EQ(Run("ECHO.   spaced"), "   spaced\n");
  EXPECT_EQ(Run("ECHO."), "\n");
  EXPECT_EQ(Run("ECHO on the way"), "on the way\n");
  EXPECT_EQ(Run("ECHO 100%%"), "100%\n");
  EXPECT_EQ(Run("ECHO %UNSET_THING%"), "%UNSET_THING%\n");
  EXPECT_EQ(Run("echo OFF"), "");
  EXPECT_FALSE(shell_.echoOn_);
  EXPECT_EQ(Run("ECHO"), "[ECHO] OFF\n");
  EXPECT_EQ(Run("ECHO. OFF"), " OFF\n");
  EXPECT_FALSE(shell_.echoOn_);
}

TEST_F(Batch, CallNameForms) {
  dir_.Write("TEST.F16", "@ECHO f16\n");
  dir_.Write("TEST.BAT", "@ECHO bat\n");
  std::filesystem::create_directories(dir_.path() / "DIR.SUB");
  dir_.Write("DIR.SUB/TEST", "@ECHO exact\n");
  EXPECT_EQ(Run("@CALL TEST"), "f16\n");
  EXPECT_EQ(Run("@CALL TEST.BAT"), "bat\n");
  EXPECT_EQ(Run("@CALL DIR.SUB\\TEST"), "exact\n");
  EXPECT_EQ(Run("@CALL MISSING"), "[torbel] File Not Found: MISSING.F16\n");
  EXPECT_EQ(shell_.ErrorLevel(), 1);
}

TEST_F(Batch, ExitEndsOnlyTheCurrentFileWithItsCode) {
  dir_.Write("SUB.F16", "@ECHO OFF\nECHO sub\nEXIT 5\nECHO not reached\n");
  dir_.Write("MAIN.F16", "@ECHO OFF\nCALL SUB\nECHO main sees %ERRORLEVEL%\nEXIT -3\nECHO no\n");
  EXPECT_EQ(Run("@CALL MAIN"), "sub\nmain sees 5\n");
  EXPECT_EQ(shell_.ErrorLevel(), -3);
  EXPECT_FALSE(shell_.exitRequested_);
}

TEST_F(Batch, ExitWithoutNumberKeepsTheLastLevel) {
  dir_.Write("KEEP.F16", "@ERRORLEVEL 9\n@EXIT\n");
  Run("@CALL KEEP");
  EXPECT_EQ(shell_.ErrorLevel(), 9);
}

TEST_F(Batch, ExitAllEndsEveryFileWithTheAbsoluteValue) {
  dir_.Write("DEEP.F16", "@EXITALL -3\n@ECHO no\n");
  dir_.Write("TOP.F16", "@CALL DEEP\n@ECHO no either\n");
  EXPECT_EQ(Run("@CALL TOP"), "");
  EXPECT_EQ(shell_.ErrorLevel(), 3);
  EXPECT_TRUE(shell_.exitRequested_);
}

TEST_F(Batch, IfExistAndErrorLevelForms) {
  partition_.entries = {"\\DIAGS\\RUN.EXE", "README.TXT"};
  dir_.Write("IFS.F16",
             "@ECHO OFF\n"
             "IF EXIST README.TXT ECHO readme\n"
             "IF NOT EXIST \\DIAGS\\*.* ECHO wrong\n"
             "IF NOT EXIST \\OTHER\\*.* ECHO no other\n"
             "IF exists readme.txt ECHO case\n"
             "ERRORLEVEL 701\n"
             "IF %ERRORLEVEL% -ge 700 ECHO internal\n"
             "IF ERRORLEVEL 702 ECHO wrong\n"
             "IF ERRORLEVEL 1 GOTO FAIL\n"
             "ECHO wrong\n"
             ":FAIL\n"
             "IF NOT ERRORLEVEL 702 ECHO below\n"
             "IF %ERRORLEVEL% -ge 700 EXIT\n"
             "ECHO not reached\n");
  EXPECT_EQ(Run("@CALL IFS"), "readme\nno other\ncase\ninternal\nbelow\n");
  EXPECT_EQ(shell_.ErrorLevel(), 701);
}

TEST_F(Batch, IfCompareOperators) {
  EXPECT_EQ(Run("IF abc == ABC ECHO same"), "same\n");
  EXPECT_EQ(Run("IF abc = ABD ECHO x"), "");
  EXPECT_EQ(Run("IF abc != ABD ECHO differ"), "differ\n");
  EXPECT_EQ(Run("IF 10 -lt 9 ECHO x"), "");
  EXPECT_EQ(Run("IF 9 lt 10 ECHO lt"), "lt\n");
  EXPECT_EQ(Run("IF 010 -eq 10 ECHO eq"), "eq\n");
  EXPECT_EQ(Run("IF x eq 0 ECHO text reads as zero"), "text reads as zero\n");
  EXPECT_EQ(Run("IF -5 GT -6 ECHO gt"), "gt\n");
  EXPECT_EQ(Run("IF 5 -le 5 ECHO le"), "le\n");
  EXPECT_EQ(Run("IF 5 ge 6 ECHO x"), "");
  EXPECT_EQ(Run("IF 5 -ne 6 ECHO ne"), "ne\n");
  EXPECT_EQ(Run("IF NOT 5 -ne 6 ECHO x"), "");
  EXPECT_EQ(Run("IF 1 == 1 IF NOT 2 == 3 ECHO   nested"), "nested\n");
  EXPECT_EQ(Run("IF 1 == 1"), "");
}

TEST_F(Batch, MalformedIfIs748) {
  Run("ERRORLEVEL 2");
  EXPECT_EQ(Run("IF a ~ b ECHO x"), "[IF] Malformed Construct [Unrecognized Compare Token]:\n   IF a ~ b ECHO x\n");
  EXPECT_EQ(shell_.ErrorLevel(), 748);
  EXPECT_EQ(Run("IF NOT"), "[IF] Malformed Construct [Invalid Number Of Tokens]:\n   IF NOT\n");
  EXPECT_EQ(Run("IF a =="), "[IF] Malformed Construct [Invalid Number Of Tokens]:\n   IF a ==\n");
  EXPECT_EQ(Run("IF EXIST"), "[IF] Malformed Construct [Invalid Number Of Tokens]:\n   IF EXIST\n");
  EXPECT_EQ(Run("IF NOT ERRORLEVEL"), "[IF] Malformed Construct [Invalid Number Of Tokens]:\n   IF NOT ERRORLEVEL\n");
  EXPECT_EQ(Run("IF"), "[IF] Invalid number of parameters\n  Expected 1 parameters.\n");
}

TEST_F(Batch, IfOperationIsSubstitutedAgainAndItsMessageShownOnce) {
  EnvPutValue("A=%B%");
  EnvPutValue("B=bee");
  EXPECT_EQ(Run("IF 1 == 1 ECHO %A%"), "bee\n");
  EXPECT_EQ(Run("IF 1 == 1 ERRORLEVEL"), "[ERRORLEVEL] ERRORLEVEL: 0\n");
}

TEST_F(Batch, LinesTooLongOrWithANulEndTheBatchAndCommentsRunNothing) {
  // 510 characters fit the line buffer; 511 do not, and none of that line runs.
  dir_.Write("LONG.F16", "@ECHO OFF\nERRORLEVEL 6\nREM comment\n; comment\n:label\n\nECHO " + std::string(505, 'y') +
                             "\nREM " + std::string(507, 'z') + "DEL \\KEEP.TXT\nECHO after\n");
  std::string out = Run("@CALL LONG");
  EXPECT_EQ(out, std::string(250, 'y') + "\n[torbel] Line Longer Than 510 Characters: LONG.F16, Line 8\n");
  EXPECT_EQ(shell_.ErrorLevel(), 764);
  dir_.Write("NUL.F16", std::string("@ECHO OFF\nMD \\X\0Y\nECHO after\n", 29));
  EXPECT_EQ(Run("@CALL NUL"), "[torbel] NUL Character In Line: NUL.F16, Line 2\n");
  EXPECT_EQ(shell_.ErrorLevel(), 764);
}

TEST_F(Batch, StopCodeEndsTheBatchAtTheNextLine) {
  dir_.Write("STOP.F16", "@ECHO OFF\nECHO one\nERRORLEVEL 1\nECHO two\n");
  Shell::StopCodeCell().store(755);
  EXPECT_EQ(Run("@CALL STOP"), "");
  Shell::StopCodeCell().store(0);
}

TEST_F(Batch, AFileThatCallsItselfEndsAtTheNestingLimit) {
  dir_.Write("SELF.F16", "@ECHO OFF\nSET /A=1\nCALL SELF\nECHO unwound\n");
  std::string out = Run("@CALL SELF");
  EXPECT_NE(out.find("[torbel] Batch Files Nested Too Deeply: SELF.F16\n"), std::string::npos);
  // Every level goes on after its CALL once the deepest one refused.
  std::size_t unwound = 0;
  for (std::size_t at = out.find("unwound"); at != std::string::npos; at = out.find("unwound", at + 1)) ++unwound;
  EXPECT_EQ(unwound, 64u);
  EXPECT_EQ(shell_.BatchDepth(), 0);
}

TEST_F(Batch, CrLfLineEndsAndTrailingBlanksAreTrimmed) {
  dir_.Write("DOS.F16", "@ECHO OFF\r\nGOTO END  \r\nECHO no\r\n  :end  \r\nECHO dos\r\n");
  EXPECT_EQ(Run("@CALL DOS"), "dos\n");
}

}  // namespace
}  // namespace partshell::test
