// The torbel program end to end: switches, exit codes, the session log and
// batch files, against disk images made by sfdisk, mkfs.fat and mtools.
#include <sys/file.h>

#include "e2e_support.h"

namespace partshell::e2e {
namespace {

class ShellEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    ws_.MakeDisk({{"README.TXT", "read me\r\n"}, {"DIAGS/RUN.EXE", "MZ"}});
  }
  Workspace ws_;
};

TEST_F(ShellEndToEnd, UpAloneStartsThePromptWithTheBanner) {
  RunResult r = ws_.Run({"/UP"}, "ECHO typed\nQUIT\n");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out.rfind("VERSION:   torbel, Version: A07, 10/27/2009\nOS:        Linux ", 0), 0u) << r.out;
  EXPECT_NE(r.out.find("LOGALL:    DISABLED, FILE: " + ws_.Path("torbel.log") + "\n"
                       "HELP?:     Enter 'help' for program usage\n"
                       "Device:    \\\\.\\PHYSICALDRIVE0 \"" + ws_.Path("disk.img") + "\" (TORBEL_DISK)\n"
                       "SYS:[UP,1,DE]:\\> ECHO typed\ntyped\n"
                       "SYS:[UP,1,DE]:\\> QUIT\n"
                       "[torbel] Program Exit!"),
            std::string::npos)
      << r.out;
}

TEST_F(ShellEndToEnd, UpWithACommandRunsItWithoutBanner) {
  RunResult r = ws_.Run({"/UP", "ECHO", "hi", "%MOUNTED_PARTITION%", "%MOUNTED_PARTITION_TYPE%"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "hi 1 222\n");
  r = ws_.Run({"/tde", "ERRORLEVEL", "42"});
  EXPECT_EQ(r.exitCode, 42);
  EXPECT_EQ(r.out, "");
}

TEST_F(ShellEndToEnd, MalformedSwitchesEndWithUsageAndCode1) {
  for (const char* sw : {"/P5", "/T00"}) {
    RunResult r = ws_.Run({sw, "ECHO", "x"});
    EXPECT_EQ(r.exitCode, 1) << sw;
    const std::string error = sw[1] == 'P' ? "Malformed /P switch detected" : "Malformed /T switch detected";
    EXPECT_NE(r.out.find("\nERROR: " + error + "\n\ntorbel [torbel_parm] [torbel_command]\n"), std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("x\n"), std::string::npos);
  }
  RunResult r = ws_.Run({"/?"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out.find("ERROR:"), std::string::npos);
}

TEST_F(ShellEndToEnd, UnknownSwitchBecomesPartOfTheCommand) {
  RunResult r = ws_.Run({"/UP", "/FOO", "ECHO", "x"});
  EXPECT_EQ(r.exitCode, 764 & 0xFF);
  EXPECT_EQ(r.out.find("Invalid Command [/FOO] Encountered. [HELP/?]\n"), 0u) << r.out;
  EXPECT_NE(ws_.Read("torbel.log").find("[main()] Exiting With Non-Zero\n"
                                        "  Error Level: 764 - INVALID_COMMAND_ENCOUNTERED - {internal}\n"
                                        "  Last Command: /FOO ECHO x\n"
                                        "  Invalid Command [/FOO] Encountered. [HELP/?]\n"),
            std::string::npos)
      << ws_.Read("torbel.log");
}

TEST_F(ShellEndToEnd, MbrAndHelpSwitchesEndAfterTheirDisplay) {
  RunResult r = ws_.Run({"/MBR", "ECHO", "never"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out.find("Device:    \\\\.\\PHYSICALDRIVE0 \"" + ws_.Path("disk.img") + "\" (TORBEL_DISK)\n\n\nMBR\n"), 0u)
      << r.out;
  EXPECT_EQ(r.out.find("never"), std::string::npos);

  r = ws_.Run({"/HELP"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(r.out.find("CALL         CALL batch_file_name.F16       Run a .F16 batch file\n"), std::string::npos);
  EXPECT_EQ(r.out.find("Device:"), std::string::npos);
  r = ws_.Run({"/HELPALL"});
  EXPECT_NE(r.out.find("    IF [NOT] EXIST file command"), std::string::npos);
}

TEST_F(ShellEndToEnd, DefaultHvpWithoutTheTagFailsWith700) {
  RunResult r = ws_.Run({"ECHO", "x"});
  EXPECT_EQ(r.exitCode, 700 & 0xFF);
  EXPECT_NE(r.out.find("Unable To Locate A Valid Partition To Mount"), std::string::npos) << r.out;
  EXPECT_EQ(r.err, "[torbel] Exit code 700 (UNABLE_TO_LOCATE_PARTITION - {internal}), seen by the shell as 188\n");
  EXPECT_NE(ws_.Read("torbel.log").find("Error Level: 700 - UNABLE_TO_LOCATE_PARTITION - {internal}\n"),
            std::string::npos);
}

TEST_F(ShellEndToEnd, BatchControlFlowOnARealPartition) {
  ws_.Write("SUB.F16",
            "@ECHO OFF\n"
            "ECHO sub runs\n"
            "EXIT 5\n"
            "ECHO not reached\n");
  ws_.Write("MAIN.F16",
            "@ECHO OFF\n"
            "GOTO start\n"
            ":again\n"
            "ECHO jumped back\n"
            "GOTO :END\n"
            ":START\n"
            "IF EXIST README.TXT ECHO readme found\n"
            "IF NOT EXIST \\DIAGS\\*.* ECHO wrong\n"
            "IF NOT EXIST \\NODIR\\*.* ECHO nodir empty\n"
            "IF EXIST \\DIAGS\\R*.EXE ECHO pattern matched\n"
            "CALL SUB\n"
            "IF %ERRORLEVEL% == 5 ECHO sub gave 5\n"
            "IF ERRORLEVEL 1 GOTO again\n"
            "ECHO wrong\n"
            ":END\n"
            "ECHO. done\n"
            "ECHO\n");
  RunResult r = ws_.Run({"/UP", "CALL", "MAIN"});
  EXPECT_EQ(r.exitCode, 5);
  EXPECT_EQ(r.out,
            "[torbel] Processing Commands From: MAIN.F16\n"
            "readme found\n"
            "nodir empty\n"
            "pattern matched\n"
            "sub runs\n"
            "sub gave 5\n"
            "jumped back\n"
            " done\n"
            "[ECHO] OFF\n"
            "[torbel] Batch File Complete: MAIN.F16\n");
}

TEST_F(ShellEndToEnd, EchoedBatchLinesCarryThePrompt) {
  ws_.Write("SHOW.F16", "ECHO visible\n@ECHO hidden line\n");
  RunResult r = ws_.Run({"/UP", "@CALL", "SHOW"});
  EXPECT_EQ(r.out, "SYS:[UP,1,DE]:\\> ECHO visible\nvisible\nhidden line\n");
}

TEST_F(ShellEndToEnd, MissingLabelEndsAllFilesWith749) {
  ws_.Write("INNER.F16", "GOTO nowhere\n");
  ws_.Write("OUTER.F16", "@ECHO OFF\nCALL INNER\nECHO not reached\n");
  RunResult r = ws_.Run({"/UP", "@CALL", "OUTER"});
  EXPECT_EQ(r.exitCode, 749 & 0xFF);
  EXPECT_EQ(r.out, "[torbel] Target Label Not Found: :nowhere\n");
  EXPECT_NE(ws_.Read("torbel.log").find("Error Level: 749 - TARGET_LABEL_MISSING - {internal}\n"
                                        "  Last Command: GOTO nowhere\n"),
            std::string::npos);
}

TEST_F(ShellEndToEnd, ExitCodesWithSigns) {
  ws_.Write("DEEP.F16", "@EXITALL -3\n");
  ws_.Write("TOP.F16", "@CALL DEEP\n@ECHO no\n");
  RunResult r = ws_.Run({"/UP", "CALL", "TOP"});
  EXPECT_EQ(r.exitCode, 3);
  EXPECT_EQ(r.out.find("no\n"), std::string::npos);

  r = ws_.Run({"/UP"}, "EXIT -3\n");
  EXPECT_EQ(r.exitCode, 253);
  EXPECT_NE(ws_.Read("torbel.log").find("Error Level: -3 - "), std::string::npos);

  r = ws_.Run({"/UP"}, "ECHO x\n");  // the end of input ends the prompt
  EXPECT_EQ(r.exitCode, 0);
}

TEST_F(ShellEndToEnd, SetShowsTheMountVariables) {
  RunResult r = ws_.Run({"/UP", "SET"}, "", {"lowercase=Keep Case"});
  EXPECT_NE(r.out.find("LOWERCASE=Keep Case\n"), std::string::npos) << r.out;
  for (const char* line : {"MOUNTED_PARTITION=1\n", "MOUNTED_PARTITION_TYPE=222\n", "ACTIVE_PARTITION=1\n",
                           "$?=0\n", "ERRORLEVEL=0\n"})
    EXPECT_NE(r.out.find(line), std::string::npos) << line;
}

TEST_F(ShellEndToEnd, LogAllCopiesTheSessionAndAutoloadRunsFirst) {
  ws_.Write("AUTOLOAD.F16", "@ECHO autoloaded\n");
  ws_.Write("old.log", "stale\n");
  RunResult r = ws_.Run({"/UP", "ECHO", "command"}, "", {"LOGALL=" + ws_.Path("old.log")});
  EXPECT_EQ(r.out, "autoloaded\ncommand\n");
  EXPECT_EQ(ws_.Read("old.log").find("stale"), std::string::npos);
  EXPECT_NE(ws_.Read("old.log").find("autoloaded\ncommand\n"), std::string::npos);

  r = ws_.Run({"/UP", "ECHO", "quiet"}, "", {"LOGALL=NUL"});
  EXPECT_EQ(r.out, "autoloaded\nquiet\n");
  EXPECT_FALSE(fs::exists(ws_.dir() / "NUL"));
}

TEST_F(ShellEndToEnd, SecondInstanceOnTheSameDiskEndsWith101) {
  int fd = open(ws_.Path("disk.img").c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
  RunResult r = ws_.Run({"/UP", "ECHO", "x"});
  close(fd);
  EXPECT_EQ(r.exitCode, 101);
  EXPECT_EQ(r.err, "\n[TORBEL] *** Previous Instance Detected ***\n   Error: Another copy of TORBEL is already running.\n\n");
  EXPECT_EQ(r.out, "");
}

TEST_F(ShellEndToEnd, HangUpDuringABatchLoopEndsWith755) {
  ws_.Write("LOOP.F16", ":TOP\n@SET X=1\n@GOTO TOP\n");
  std::thread hangup([this] {
    // The shell takes the lock first thing; once it is held the shell runs.
    for (int i = 0; i < 200; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      int fd = open(ws_.Path("disk.img").c_str(), O_RDONLY);
      bool held = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) != 0;
      if (fd >= 0) close(fd);
      if (held) break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    Shell("pkill -HUP -x torbel -P " + std::to_string(getpid()));
  });
  RunResult r = ws_.Run({"/UP", "@CALL", "LOOP"});
  hangup.join();
  EXPECT_EQ(r.exitCode, 755 & 0xFF);
  EXPECT_NE(ws_.Read("torbel.log").find("Error Level: 755 - PROGRAM_CLOSE_EVENT - {internal}\n"), std::string::npos);
}

TEST_F(ShellEndToEnd, ShellsOnTwoDisksRunSideBySideAndASecondOnOneDiskGets101) {
  ws_.Write("HOLD.F16", "@ECHO holding\n@SLEEP 3000\n");
  Workspace other, same;
  other.MakeDisk();
  RunResult first;
  std::thread holder([&] { first = ws_.Run({"/UP", "@CALL", "HOLD"}); });
  for (int i = 0; i < 250 && ws_.Read("stdout.txt").empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  const int beside = other.Run({"/UP", "ECHO", "beside"}).exitCode;
  same.diskFromVariable = false;
  EXPECT_EQ(same.Run({"/UP", "ECHO", "x"}, "", {"TORBEL_DISK=" + ws_.Path("disk.img")}).exitCode, 101);
  holder.join();
  EXPECT_EQ(first.exitCode + beside, 0) << first.out;
  // ERROR and HELP need no disk.
  EXPECT_EQ(same.Run({"ERROR", "730"}).out, "[ERROR] 730 - DISK_ERROR_DISK_FULL - {internal}\n");
  EXPECT_NE(same.Run({"HELP", "COPYHD2SYS"}).out.find("COPYHD2SYS FROMFILE [TOFILE]"), std::string::npos);
}

}  // namespace
}  // namespace partshell::e2e

namespace partshell::e2e {
namespace {

class ShellWithCommands : public ::testing::Test {
 protected:
  Workspace ws_;
  std::string Mdir(const std::string& dir) {
    Shell("mdir -b -i '" + ws_.Path("disk.img") + "@@" + std::to_string(kPartitionStart * 512) + "' ::" + dir +
          " > '" + ws_.Path("mdir.out") + "' 2>&1");
    return ws_.Read("mdir.out");
  }
};

TEST_F(ShellWithCommands, UpDirListsTheRootWithoutBanner) {
  ws_.MakeDisk({{"README.TXT", "read me\r\n"}});
  RunResult r = ws_.Run({"/UP", "DIR"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(r.out.find("readme.txt"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("1 File(s)"), std::string::npos);
  EXPECT_EQ(r.out.find("VERSION:"), std::string::npos);
  EXPECT_EQ(r.out.find("Device:"), std::string::npos);
}

TEST_F(ShellWithCommands, IfNotExistMakesTheDirectoryOnlyWhenNothingMatches) {
  ws_.MakeDisk();
  ws_.Write("MKDIAGS.F16", "@ECHO OFF\nIF NOT EXIST \\DIAGS\\*.* MD \\DIAGS\nIF EXIST \\DIAGS ECHO made\n");
  RunResult r = ws_.Run({"/UP", "@CALL", "MKDIAGS"});
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_NE(Mdir("/").find("DIAGS"), std::string::npos);
  EXPECT_TRUE(ws_.PartitionClean());

  // With something in it, the second run leaves the directory alone.
  ws_.Write("X.TXT", "x");
  r = ws_.Run({"/UP", "COPYHD2SYS", "X.TXT", "\\DIAGS"});
  EXPECT_EQ(r.exitCode, 0) << r.out;
  r = ws_.Run({"/UP", "@CALL", "MKDIAGS"});
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_NE(Mdir("/DIAGS").find("X"), std::string::npos);
  EXPECT_TRUE(ws_.PartitionClean());
}

TEST_F(ShellWithCommands, LongLocalNamesLandUnderTheirAliases) {
  ws_.MakeDisk();
  fs::create_directories(ws_.dir() / "TOOLS");
  for (const char* name : {"flashutil.com", "Release Notes for Diagnostics.txt", "My Long Report.txt"}) {
    ws_.Write(std::string("TOOLS/") + name, name);
  }
  EXPECT_EQ(ws_.Run({"/UP", "MD", "\\EXTRA"}).exitCode, 0);
  // By a pattern that matches the alias, by the alias, and by a quoted name with blanks.
  RunResult r = ws_.Run({"/UP", "COPYHD2SYS", "TOOLS/*~1.C*", "\\EXTRA"});
  EXPECT_EQ(r.out, "\\EXTRA\\FLASHU~1.COM\n[COPYHD2SYS]   1 File(s) Copied (13).\n\n");
  EXPECT_EQ(ws_.Run({"/UP", "COPYHD2SYS", "TOOLS\\RELEAS~1.TXT"}).exitCode, 0);
  EXPECT_EQ(ws_.Run({"/UP", "COPYHD2SYS", ws_.Path("TOOLS/My Long Report.txt"), "\\"}).exitCode, 0);
  EXPECT_EQ(ws_.MtoolsType("EXTRA/FLASHU~1.COM") + ws_.MtoolsType("RELEAS~1.TXT") + ws_.MtoolsType("MYLONG~1.TXT"),
            "flashutil.comRelease Notes for Diagnostics.txtMy Long Report.txt");
  EXPECT_TRUE(ws_.PartitionClean());
}

}  // namespace
}  // namespace partshell::e2e
