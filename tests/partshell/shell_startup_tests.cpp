// Start-up and shut-down of the whole program with stand-in host services.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "partshell/startup.h"
#include "shell_fixture.h"

namespace partshell::test {
namespace {

class Startup : public ::testing::Test {
 protected:
  int Run(std::vector<std::string> words) {
    HostServices host{console_, lock_, events_, partition_, *files_};
    host.processEnvironment = environment_;
    host.operatingSystem = operatingSystem_;
    testing::internal::CaptureStderr();
    int code = RunTorbel(words, host);
    stderr_ = testing::internal::GetCapturedStderr();
    return code;
  }
  std::string Log() { return dir_.Read("torbel.log"); }

  TempWorkDir dir_;
  ScriptedConsole console_;
  FakeLock lock_;
  FakeEvents events_;
  FakePartition partition_;
  std::unique_ptr<LocalFiles> files_ = CreateHostLocalFiles();
  std::vector<std::string> environment_{"Path=/bin"};
  std::string operatingSystem_ = "TestOS 1.0";
  std::string stderr_;
};

TEST_F(Startup, OldOperatingSystemEndsWith760) {
  operatingSystem_.clear();
  EXPECT_EQ(Run({"/UP", "DIR"}), 760);
  EXPECT_EQ(stderr_, "Invalid OS Version. Expected Windows NT4 or Later");
  EXPECT_EQ(console_.output, "");
}

TEST_F(Startup, SecondInstanceEndsWith101) {
  lock_.heldElsewhere = true;
  EXPECT_EQ(Run({}), 101);
  EXPECT_EQ(stderr_,
            "\n[TORBEL] *** Previous Instance Detected ***\n"
            "   Error: Another copy of TORBEL is already running.\n\n");
  EXPECT_EQ(partition_.closes, 0);
}

TEST_F(Startup, QuestionMarkShowsUsageWithoutErrorLine) {
  for (const char* word : {"?", "-?", "/?", "?anything"}) {
    console_.output.clear();
    EXPECT_EQ(Run({word, "DIR"}), 1) << word;
    EXPECT_EQ(console_.output.find("ERROR:"), std::string::npos);
    EXPECT_NE(console_.output.find("VERSION:   torbel, Version: A07, 10/27/2009\nOS:        TestOS 1.0\n"),
              std::string::npos);
    EXPECT_NE(console_.output.find("\n\ntorbel [torbel_parm] [torbel_command]\n\n"), std::string::npos);
    EXPECT_EQ(console_.output.substr(console_.output.size() - 43), "      Use 'torbel HELP' for command help.\n\n");
  }
  EXPECT_EQ(partition_.lastRequest.wanted_type, 0);  // never mounted
}

// --help has a line per switch and variable, --version the kit's version too; both end with 0,
// even while another copy runs, and mount nothing.
TEST_F(Startup, LongHelpAndVersionEndWithZero) {
  console_.output.clear();
  ASSERT_EQ(Run({"/?"}), 1);
  lock_.heldElsewhere = true;
  console_.output.clear();
  EXPECT_EQ(Run({"--help"}), 0);
  for (const char* line : {"\n    /NOWRITEMBR  ", "\n    TORBEL_DISK  ", "\n    LOGALL       "}) {
    EXPECT_NE(console_.output.find(line), std::string::npos) << line;
  }
  console_.output.clear();
  EXPECT_EQ(Run({"--version"}), 0);
  EXPECT_EQ(console_.output.rfind("VERSION:   torbel, Version: A07, 10/27/2009\nOS:        TestOS 1.0\n", 0), 0u);
  EXPECT_NE(console_.output.find("\nKit:       Diagnostic Distribution Package "), std::string::npos);
  EXPECT_EQ(stderr_, "");
  EXPECT_EQ(partition_.lastRequest.wanted_type, 0);
}

TEST_F(Startup, MalformedSwitchesShowUsageWithTheirError) {
  const std::pair<const char*, const char*> cases[] = {
      {"/P5", "Malformed /P switch detected"}, {"/p", "Malformed /P switch detected"},
      {"/P12", "Malformed /P switch detected"}, {"/T00", "Malformed /T switch detected"},
      {"/TZZ", "Malformed /T switch detected"}, {"/T", "Malformed /T switch detected"}};
  for (auto [word, error] : cases) {
    console_.output.clear();
    EXPECT_EQ(Run({word, "DIR"}), 1) << word;
    EXPECT_NE(console_.output.find(std::string("Build\n\nERROR: ") + error + "\n\ntorbel [torbel_parm]"),
              std::string::npos)
        << word << console_.output;
  }
}

TEST_F(Startup, SwitchesChooseThePartition) {
  SwitchSettings s = ParseSwitches({"/up", "DIR", "\\"});
  EXPECT_EQ(s.mount.wanted_index, -1);
  EXPECT_EQ(s.mount.wanted_type, 0xDE);
  EXPECT_EQ(s.commandLine, "DIR \\");
  EXPECT_FALSE(s.mount.interactive);

  s = ParseSwitches({"/NOWRITEMBR", "/TdF"});
  EXPECT_TRUE(s.mount.no_mbr_write);
  EXPECT_EQ(s.mount.wanted_type, 0xDF);
  EXPECT_TRUE(s.mount.interactive);

  s = ParseSwitches({"/P3", "/HVP"});
  EXPECT_EQ(s.mount.wanted_index, 0);  // the last switch wins
  s = ParseSwitches({"/P3"});
  EXPECT_EQ(s.mount.wanted_index, 3);
  EXPECT_EQ(s.mount.wanted_type, 0);

  s = ParseSwitches({"/FOO", "DIR"});
  EXPECT_EQ(s.commandLine, "/FOO DIR");
  s = ParseSwitches({"/UP", "/FOO", "DIR"});
  EXPECT_EQ(s.commandLine, "/FOO DIR");

  s = ParseSwitches({"/MBR"});
  EXPECT_TRUE(s.mount.show_mbr_only);
  EXPECT_FALSE(s.mount.interactive);
  s = ParseSwitches({"/HELP", "/P9"});  // the walk ends at /HELP
  EXPECT_TRUE(s.help);
  EXPECT_TRUE(s.error.empty());

  std::vector<std::string> many(100, "wordy");
  EXPECT_EQ(ParseSwitches(many).commandLine.size(), 255u);
}

TEST_F(Startup, OneCommandRunsWithoutBannerAndGivesTheExitCode) {
  EXPECT_EQ(Run({"/UP", "ERRORLEVEL", "-2"}), 2);
  EXPECT_EQ(console_.output, "");
  EXPECT_TRUE(partition_.lastRequest.wanted_index == -1 && !partition_.lastRequest.interactive);
  EXPECT_EQ(partition_.closes, 1);
  EXPECT_EQ(console_.setups, 1);
  EXPECT_GE(console_.restores, 1);
  EXPECT_EQ(events_.removals, 1);
  EXPECT_EQ(lock_.acquired, "TORBEL_MUTEX");
  EXPECT_EQ(Log(),
            "\n[main()] Exiting With Non-Zero\n"
            "  Error Level: 2 - " + ErrorText(2) + "\n"
            "  Last Command: ERRORLEVEL -2\n"
            "  \n\n");
}

TEST_F(Startup, ACommandLineOver255CharactersDoesNotRunAtAll) {
  EXPECT_EQ(Run({"/UP", "ERRORLEVEL", "2", std::string(250, 'x')}), 764);
  EXPECT_EQ(console_.output, "[torbel] Command Line Longer Than 255 Characters\n");
}

TEST_F(Startup, InteractiveRunShowsBannerAndEndsAtEndOfInput) {
  console_.Type("ECHO typed\n");
  EXPECT_EQ(Run({"/UP"}), 0);
  EXPECT_EQ(console_.output,
            "VERSION:   torbel, Version: A07, 10/27/2009\n"
            "OS:        TestOS 1.0\n"
            "Mode:      Diags\n"
            "Target:    64-bit Linux Build\n"
            "LOGALL:    DISABLED, FILE: " + (dir_.path() / "torbel.log").string() + "\n"
            "HELP?:     Enter 'help' for program usage\n"
            "SYS:[UP,1,DE]:\\> ECHO typed\n"
            "typed\n"
            "SYS:[UP,1,DE]:\\> \n"
            "[torbel] Program Exit!");
  EXPECT_TRUE(partition_.lastRequest.interactive);
  EXPECT_FALSE(std::filesystem::exists(dir_.path() / "torbel.log"));
}

TEST_F(Startup, LogAllFromTheEnvironmentCopiesOutputAndTheExitReport) {
  environment_.push_back("LOGALL=" + (dir_.path() / "all.log").string());
  dir_.Write("all.log", "old content\n");
  console_.Type("NOSUCH\nQUIT\n");
  EXPECT_EQ(Run({}), 764);
  std::string log = dir_.Read("all.log");
  EXPECT_EQ(log.find("old content"), std::string::npos);
  EXPECT_NE(log.find("LOGALL:    ENABLED, FILE: " + (dir_.path() / "all.log").string() + "\n"), std::string::npos);
  EXPECT_NE(log.find("Invalid Command [NOSUCH] Encountered. [HELP/?]\n"), std::string::npos);
  EXPECT_NE(log.find("[torbel] Program Exit!\n[main()] Exiting With Non-Zero\n"
                     "  Error Level: 764 - INVALID_COMMAND_ENCOUNTERED - {internal}\n"
                     "  Last Command: QUIT\n  \n"),
            std::string::npos);
}

TEST_F(Startup, QuitAtThePromptEndsWithItsCodeSignKept) {
  console_.Type("EXIT -3\nECHO never\n");
  EXPECT_EQ(Run({"/UP"}), -3);
  EXPECT_EQ(console_.output.find("never"), std::string::npos) << console_.output;
  ScriptedConsole second("QUIT 3\nECHO never\n");
  HostServices host{second, lock_, events_, partition_, *files_};
  host.operatingSystem = "TestOS";
  EXPECT_EQ(RunTorbel({}, host), 3);
  EXPECT_EQ(second.output.find("never"), std::string::npos);
}

TEST_F(Startup, MountFailureRunsNothingAndReportsItsCode) {
  partition_.mountResult = 700;
  dir_.Write("AUTOLOAD.F16", "ECHO autoload\n");
  EXPECT_EQ(Run({"/UP", "ECHO", "x"}), 700);
  EXPECT_EQ(console_.output, "");
  EXPECT_EQ(partition_.closes, 1);
  EXPECT_NE(Log().find("Error Level: 700 - UNABLE_TO_LOCATE_PARTITION - {internal}\n  Last Command: \n"),
            std::string::npos);
}

TEST_F(Startup, MbrAndHelpSwitchesEndAfterTheirDisplay) {
  EXPECT_EQ(Run({"/MBR", "ECHO", "x"}), 0);
  EXPECT_TRUE(partition_.lastRequest.show_mbr_only);
  EXPECT_EQ(console_.output, "");

  partition_.lastRequest = {};
  EXPECT_EQ(Run({"/HELP"}), 0);
  EXPECT_NE(console_.output.find("Error Conditions are indicated by return codes 700 and above.\n"),
            std::string::npos);
  EXPECT_EQ(console_.output.find("    No longer supported"), std::string::npos);
  EXPECT_EQ(partition_.closes, 1);  // only the /MBR run touched the drive
  console_.output.clear();
  EXPECT_EQ(Run({"/helpall"}), 0);
  EXPECT_NE(console_.output.find("    No longer supported"), std::string::npos);
}

TEST_F(Startup, AutoloadRunsQuietlyBeforeTheCommand) {
  dir_.Write("AUTOLOAD.F16", "@SET FROM_AUTOLOAD=yes\n@EXIT 4\n@ECHO not reached\n");
  EXPECT_EQ(Run({"/UP", "ECHO", "%FROM_AUTOLOAD%", "%ERRORLEVEL%"}), 4);
  EXPECT_EQ(console_.output, "yes 4\n");
}

TEST_F(Startup, ExitAllBeforeThePromptStillReadsOneLine) {
  dir_.Write("AUTOLOAD.F16", "@EXITALL -6\n");
  console_.Type("ECHO one line\nECHO second line\n");
  EXPECT_EQ(Run({}), 6);
  EXPECT_NE(console_.output.find("one line\n"), std::string::npos);
  EXPECT_EQ(console_.output.find("second line\n"), std::string::npos);
}

TEST_F(Startup, TheMountVariablesAndTheShellsOwnAreListedBySet) {
  environment_ = {"lower_name=Mixed Value"};
  console_.Type("SET\n");
  Run({"/UP"});
  // The mount's own variables come from the volume layer (checked end to end).
  EXPECT_NE(console_.output.find("> SET\nLOWER_NAME=Mixed Value\nSHELL_SECONDS="), std::string::npos)
      << console_.output;
}

[[noreturn]] void EndAsTheHostWould(int code) {
  std::fprintf(stderr, "process ended with %d\n", code);
  std::_Exit(code);
}

// A fatal condition the disk meets in a command ends the process through the host's
// process end, with the condition's code, before anything else of the line runs.
TEST_F(Startup, FatalConditionOfTheDiskEndsTheProcessWithItsCode) {
  partition_.fatalOnLookup = 762;
  dir_.Write("FATAL.F16", "IF EXIST X.TXT ECHO not reached\nMD NEVER\n");
  HostServices host{console_, lock_, events_, partition_, *files_};
  host.operatingSystem = "TestOS";
  host.endProcess = EndAsTheHostWould;
  EXPECT_EXIT(RunTorbel({"/UP", "CALL", "FATAL"}, host), ::testing::ExitedWithCode(762 & 0xFF),
              "process ended with 762\n");
}

TEST_F(Startup, CloseEventWhileABatchRunsEndsWith755) {
  // A batch file that would loop for ever; the close event arrives from the
  // host while it runs (here: from the first command's handler).
  dir_.Write("LOOP.F16", ":TOP\n@SET X=1\n@GOTO TOP\n");
  HostServices host{console_, lock_, events_, partition_, *files_};
  host.operatingSystem = "TestOS";
  std::thread closer([&] {
    while (events_.close == nullptr) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    events_.close(ControlEvent::kClose);
  });
  int code = RunTorbel({"/UP", "CALL", "LOOP"}, host);
  closer.join();
  EXPECT_EQ(code, 755);
  EXPECT_NE(Log().find("Exiting With Non-Zero\n  Error Level: 755 - PROGRAM_CLOSE_EVENT - {internal}\n"),
            std::string::npos);
  EXPECT_NE(console_.output.find("[torbel] Program Exit!"), std::string::npos);
  Shell::StopCodeCell().store(0);
}

}  // namespace
}  // namespace partshell::test
