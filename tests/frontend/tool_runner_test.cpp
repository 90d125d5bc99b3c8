#include "zolp/tool_runner.h"

#include <string>
#include <vector>

#include "zolp_fixture.h"

namespace zolp {
namespace {

using testing::ReadFile;
using testing::WriteFile;

const std::vector<std::uint8_t> kTorbelBytes = {'M', 'Z', 't', 'o', 'r', 'b', 'e', 'l', 0, 1, 2};

class ToolRunnerTest : public testing::ZolpTest {
 protected:
  ToolRunnerTest() { host_.AddResource("BIN", kTorbelResource, kTorbelBytes); }
  sim::ProcessOutcome Exits(std::uint32_t code) {
    sim::ProcessOutcome o;
    o.exitCode = code;
    return o;
  }
};

// --- extraction and deletion ---

TEST_F(ToolRunnerTest, ExtractToolWritesTheResourceBytes) {
  WriteFile(Cwd("torbel.exe"), "an older, longer program file");
  EXPECT_TRUE(ExtractTool(s_, "BIN", kTorbelResource, kTorbelPath));
  EXPECT_EQ(ReadFile(Cwd("torbel.exe")), std::string(kTorbelBytes.begin(), kTorbelBytes.end()));
}

TEST_F(ToolRunnerTest, ExtractToolRetriesTheDestinationElevenTimes) {
  files_.failCreates = 10;
  EXPECT_TRUE(ExtractTool(s_, "BIN", kTorbelResource, kTorbelPath));
  EXPECT_EQ(files_.createCalls, 11);
  EXPECT_EQ(host_.Sleeps(), std::vector<std::uint32_t>(10, 1000));

  host_.ClearRecords();
  files_.createCalls = 0;
  files_.failCreates = 11;
  SetVerbose();
  EXPECT_FALSE(ExtractTool(s_, "BIN", kTorbelResource, kTorbelPath));
  EXPECT_EQ(files_.createCalls, 11);
  ASSERT_EQ(host_.Messages().size(), 1u);
  EXPECT_EQ(
      host_.Messages()[0].text.rfind("Resource file destination open failed with error 32", 0), 0u);
}

TEST_F(ToolRunnerTest, ExtractToolNamesTheFailingResourceStepInVerboseMode) {
  SetVerbose();
  const std::pair<ResourceStep, const char*> steps[] = {{ResourceStep::Find, "FindResource"},
                                                        {ResourceStep::Load, "LoadResource"},
                                                        {ResourceStep::Lock, "LockResource"},
                                                        {ResourceStep::Size, "SizeOfResource"}};
  for (const auto& [step, name] : steps) {
    host_.ClearRecords();
    host_.failResourceStep = step;
    EXPECT_FALSE(ExtractTool(s_, "BIN", kTorbelResource, kTorbelPath));
    ASSERT_EQ(host_.Messages().size(), 1u) << name;
    EXPECT_EQ(host_.Messages()[0].text.rfind(std::string(name) + " failed with error 1813", 0), 0u);
  }
  EXPECT_FALSE(std::filesystem::exists(Cwd("torbel.exe")));
}

TEST_F(ToolRunnerTest, DeleteToolFileRetriesFortyTimesThenGivesUp) {
  WriteFile(Cwd("vellix.exe"), "x");
  files_.failDeletes = 40;
  DeleteToolFile(s_, kVellixPath);
  EXPECT_EQ(files_.deleteCalls, 41);
  EXPECT_EQ(host_.Sleeps(), std::vector<std::uint32_t>(40, 250));
  EXPECT_FALSE(std::filesystem::exists(Cwd("vellix.exe")));

  WriteFile(Cwd("vellix.exe"), "x");
  files_.deleteCalls = 0;
  files_.failDeletes = 1000;
  DeleteToolFile(s_, kVellixPath);
  EXPECT_EQ(files_.deleteCalls, 41);
}

TEST_F(ToolRunnerTest, DeleteToolFileStopsAtFileNotFound) {
  DeleteToolFile(s_, kVellixPath);
  EXPECT_EQ(files_.deleteCalls, 1);
  EXPECT_TRUE(host_.Sleeps().empty());
}

// --- command interpreter ---

TEST_F(ToolRunnerTest, CommandShellRunsCmdHiddenWithAnEmptyEnvironment) {
  host_.QueueOutcome(Exits(4));
  std::uint32_t code = 99;
  EXPECT_EQ(RunCommandShell(s_, "copy a C:\\UP", &code), 0);
  EXPECT_EQ(code, 4u);
  ASSERT_EQ(host_.Launches().size(), 1u);
  const LaunchRequest r = host_.Launches()[0];
  EXPECT_EQ(r.commandLine, "\"C:\\WINDOWS\\system32\\cmd.exe\" /C \"copy a C:\\UP\"");
  EXPECT_TRUE(r.application.empty());
  EXPECT_TRUE(r.environment.empty());
  EXPECT_TRUE(r.noWindow);
  EXPECT_EQ(r.showWindow, std::optional<std::uint16_t>(11));
}

TEST_F(ToolRunnerTest, CommandShellFailures) {
  sim::ProcessOutcome notStarted;
  notStarted.starts = false;
  host_.QueueOutcome(notStarted);
  EXPECT_EQ(RunCommandShell(s_, "dir"), -1);

  // A failure never leaves an exit code that could read as success.
  std::uint32_t code = 0;
  files_.failSystemDirectory = true;
  EXPECT_EQ(RunCommandShell(s_, "dir", &code), 5);
  EXPECT_EQ(code, kExitCodeUnknown);
  files_.failSystemDirectory = false;

  sim::ProcessOutcome noCode;
  noCode.exitCodeFails = true;
  host_.QueueOutcome(noCode);
  SetVerbose();
  code = 0;
  EXPECT_EQ(RunCommandShell(s_, "dir", &code), 6);
  EXPECT_EQ(code, kExitCodeUnknown);
  ASSERT_EQ(host_.Messages().size(), 1u);
  EXPECT_EQ(host_.Messages()[0].text.rfind("GetExitCodeProcess failed with error 6", 0), 0u);

  // Lost without a system error to say why: still a failure.
  noCode.exitCodeError = 0;
  host_.QueueOutcome(noCode);
  code = 0;
  EXPECT_NE(RunCommandShell(s_, "dir", &code), 0);
  EXPECT_EQ(code, kExitCodeUnknown);
  host_.QueueOutcome(notStarted);
  code = 0;
  EXPECT_EQ(RunCommandShell(s_, "dir", &code), -1);
  EXPECT_EQ(code, kExitCodeUnknown);
}

// --- partition command runner, normal mode ---

TEST_F(ToolRunnerTest, PartitionShellCommandLineAndEnvironment) {
  bool toolPresentWhileRunning = false;
  sim::ProcessOutcome o;
  o.whileRunning = [&](const LaunchRequest&) {
    toolPresentWhileRunning = std::filesystem::exists(Cwd("torbel.exe"));
  };
  host_.QueueOutcome(o);
  std::uint32_t code = 77;
  EXPECT_EQ(RunPartitionShell(s_, "IFEXISTS SYS:\\DIAGS", &code), 0u);
  EXPECT_EQ(code, 0u);
  ASSERT_EQ(host_.Launches().size(), 1u);
  const LaunchRequest r = host_.Launches()[0];
  EXPECT_EQ(r.commandLine, ".\\torbel.exe /TDE IFEXISTS SYS:\\DIAGS");
  EXPECT_EQ(r.environment, std::vector<std::string>{"LOGALL=NUL"});
  EXPECT_TRUE(r.noWindow);
  EXPECT_TRUE(toolPresentWhileRunning);
  EXPECT_FALSE(std::filesystem::exists(Cwd("torbel.exe")));
}

TEST_F(ToolRunnerTest, FailingExitCodeRunsFourTimesInAll) {
  host_.defaultOutcome.exitCode = 5;
  std::uint32_t code = 0;
  EXPECT_EQ(RunPartitionShell(s_, "DEL X.EXE", &code), 0u);
  EXPECT_EQ(code, 5u);
  EXPECT_EQ(host_.Launches().size(), 4u);
}

TEST_F(ToolRunnerTest, RepeatsStopAtTheFirstSuccess) {
  host_.QueueOutcome(Exits(762));
  host_.QueueOutcome(Exits(0));
  std::uint32_t code = 1;
  EXPECT_EQ(RunPartitionShell(s_, "MD \\Diags", &code), 0u);
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(host_.Launches().size(), 2u);
}

TEST_F(ToolRunnerTest, WithoutAnExitCodeAskedForTheShellRunsOnce) {
  host_.defaultOutcome.exitCode = 5;
  EXPECT_EQ(RunPartitionShell(s_, "DEL X.EXE"), 0u);
  EXPECT_EQ(host_.Launches().size(), 1u);
}

TEST_F(ToolRunnerTest, DebugModeAddsVerboseSwitchEmptyEnvironmentAndLog) {
  options_.debug = true;
  Rewire();
  WriteFile(Cwd("zolp.log"), "earlier\n");
  std::uint32_t code = 0;
  EXPECT_EQ(RunPartitionShell(s_, "COPYHD2SYS README.TXT", &code), 0u);
  const auto launches = host_.Launches();
  ASSERT_EQ(launches.size(), 2u);
  EXPECT_EQ(launches[0].commandLine, ".\\torbel.exe /TDE COPYHD2SYS README.TXT -VERBOSE");
  EXPECT_TRUE(launches[0].environment.empty());
  EXPECT_EQ(launches[1].commandLine,
            "\"C:\\WINDOWS\\system32\\cmd.exe\" /C \"COPY zolp.log+torbel.log zolp.log\"");
  EXPECT_EQ(ReadFile(Cwd("zolp.log")),
            "earlier\n.\\torbel.exe /TDE COPYHD2SYS README.TXT -VERBOSE\n");
}

TEST_F(ToolRunnerTest, VerboseModeShowsEachRun) {
  SetVerbose();
  host_.QueueOutcome(Exits(3));
  host_.QueueOutcome(Exits(0));
  std::uint32_t code = 0;
  RunPartitionShell(s_, "IFEXISTS SYS:\\A", &code);
  EXPECT_EQ(MessageTexts(),
            (std::vector<std::string>{
                "\".\\torbel.exe /TDE IFEXISTS SYS:\\A\" execStatus = 0, exitCode=3",
                "\".\\torbel.exe /TDE IFEXISTS SYS:\\A\" execStatus = 0, exitCode=0"}));
  EXPECT_EQ(host_.Messages()[0].title, "Verbose");
  EXPECT_EQ(host_.Messages()[0].icon, MessageIcon::Information);

  host_.ClearRecords();
  RunPartitionShell(s_, "IFEXISTS SYS:\\A");
  EXPECT_EQ(MessageTexts(),
            std::vector<std::string>{"\".\\torbel.exe /TDE IFEXISTS SYS:\\A\" execStatus = 0"});
}

TEST_F(ToolRunnerTest, MissingResourceAnswersItsSystemError) {
  host_.failResourceStep = ResourceStep::Find;
  std::uint32_t code = 0;
  EXPECT_EQ(RunPartitionShell(s_, "IFEXISTS SYS:\\A", &code), 1813u);
  EXPECT_NE(code, 0u);
  EXPECT_TRUE(host_.Launches().empty());
  ASSERT_EQ(host_.Messages().size(), 1u);  // not verbose-only
  EXPECT_EQ(host_.Messages()[0].text.rfind("Find torbel.exe failed with error 1813", 0), 0u);
}

TEST_F(ToolRunnerTest, ShellThatCannotStartAnswersTheSystemErrorAndNeverSuccess) {
  host_.defaultOutcome.starts = false;
  host_.defaultOutcome.startError = 193;  // ERROR_BAD_EXE_FORMAT
  std::uint32_t code = 0;
  EXPECT_EQ(RunPartitionShell(s_, "IFEXISTS SYS:\\A", &code), 193u);
  EXPECT_NE(code, 0u);
  EXPECT_FALSE(std::filesystem::exists(Cwd("torbel.exe")));
}

// A lost exit code is no success: the status carries the system error (or one of
// its own when the system gave none), the exit code reads as unknown, and the
// command is run again like any that did not end in 0.
TEST_F(ToolRunnerTest, LostExitCodeIsNeverReadAsSuccess) {
  for (const std::uint32_t error : {6u, 0u}) {
    host_.ClearRecords();
    sim::ProcessOutcome o;
    o.exitCodeFails = true;
    o.exitCodeError = error;
    host_.defaultOutcome = o;
    std::uint32_t code = 0;
    EXPECT_EQ(RunPartitionShell(s_, "IFEXISTS SYS:\\A", &code), 6u);
    EXPECT_EQ(code, kExitCodeUnknown);
    EXPECT_EQ(host_.Launches().size(), 4u);
  }
  // Lost once, then told: the later run's answer stands.
  host_.ClearRecords();
  host_.defaultOutcome = sim::ProcessOutcome{};
  sim::ProcessOutcome lost;
  lost.exitCodeFails = true;
  host_.QueueOutcome(lost);
  std::uint32_t code = 9;
  EXPECT_EQ(RunPartitionShell(s_, "IFEXISTS SYS:\\A", &code), 0u);
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(host_.Launches().size(), 2u);
}

// --- partition command runner, test mode against C:\UP ---

class EmulationTest : public ToolRunnerTest {
 protected:
  EmulationTest() {
    options_.upTest = true;
    Rewire();
    std::filesystem::create_directories(Host("C:\\UP\\DIAGS"));
    WriteFile(Host("C:\\UP\\DIAGS\\X.EXE"), "x");
  }
  std::string LastCmd() const {
    const auto l = host_.Launches();
    return l.empty() ? std::string() : l.back().commandLine;
  }
  static std::string Cmd(const std::string& command) {
    return "\"C:\\WINDOWS\\system32\\cmd.exe\" /C \"" + command + "\"";
  }
};

TEST_F(EmulationTest, IfExistsMapsTheSysDriveOntoCUp) {
  std::uint32_t code = 9;
  EXPECT_EQ(RunPartitionShell(s_, "IFEXISTS SYS:\\DIAGS\\X.EXE", &code), 0u);
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(RunPartitionShell(s_, "IFEXISTS SYS:\\DIAGS\\Y.EXE", &code), 0u);
  EXPECT_EQ(code, 1u);
  EXPECT_EQ(RunPartitionShell(s_, "IFEXISTS\tSYS:\\DIAGS\n", &code), 0u);
  EXPECT_EQ(code, 0u);
  EXPECT_TRUE(host_.Launches().empty());  // nothing is run, torbel least of all
}

TEST_F(EmulationTest, CopiesAndDeletesGoThroughTheCommandInterpreter) {
  std::uint32_t code = 0;
  host_.defaultOutcome.exitCode = 0;
  RunPartitionShell(s_, "COPYHD2SYS README.TXT", &code);
  EXPECT_EQ(LastCmd(), Cmd("copy README.TXT C:\\UP"));
  RunPartitionShell(s_, "COPYHD2SYS DIAGS\\*.* \\DIAGS", &code);
  EXPECT_EQ(LastCmd(), Cmd("copy DIAGS\\*.* C:\\UP\\DIAGS"));
  RunPartitionShell(s_, "COPYSYS2HD C:\\UPDEBUG\\BEFORE", &code);
  EXPECT_EQ(LastCmd(), Cmd("copy C:\\UP C:\\UPDEBUG\\BEFORE"));
  RunPartitionShell(s_, "COPYSYS2HD \\DIAGS\\*.* C:\\UPDEBUG\\AFTER\\DIAGS", &code);
  EXPECT_EQ(LastCmd(), Cmd("copy C:\\UP\\DIAGS\\*.* C:\\UPDEBUG\\AFTER\\DIAGS"));
  RunPartitionShell(s_, "DEL OLD.EXE", &code);
  EXPECT_EQ(LastCmd(), Cmd("del C:\\UP\\OLD.EXE"));
  RunPartitionShell(s_, "DEL DIAGS\\*.* /Q", &code);
  EXPECT_EQ(LastCmd(), Cmd("del /Q C:\\UP\\DIAGS\\*.*"));
  // Paths on SYS: start at its root whether they begin with a backslash or not.
  RunPartitionShell(s_, "DEL \\DIAGS\\OLD.EXE", &code);
  EXPECT_EQ(LastCmd(), Cmd("del C:\\UP\\DIAGS\\OLD.EXE"));
  RunPartitionShell(s_, "COPYSYS2HD *.* C:\\UPDEBUG\\BEFORE", &code);
  EXPECT_EQ(LastCmd(), Cmd("copy C:\\UP\\*.* C:\\UPDEBUG\\BEFORE"));
  RunPartitionShell(s_, "COPYHD2SYS X.EXE DIAGS", &code);
  EXPECT_EQ(LastCmd(), Cmd("copy X.EXE C:\\UP\\DIAGS"));
  EXPECT_EQ(host_.Launches().size(), 9u);
}

TEST_F(EmulationTest, CommandExitCodeIsHandedBackAndRunOnlyOnce) {
  host_.defaultOutcome.exitCode = 1;
  std::uint32_t code = 0;
  EXPECT_EQ(RunPartitionShell(s_, "COPYHD2SYS NOSUCH.TXT", &code), 0u);
  EXPECT_EQ(code, 1u);
  EXPECT_EQ(host_.Launches().size(), 1u);
}

TEST_F(EmulationTest, MakeDirectoryCreatesUnderCUp) {
  std::uint32_t code = 9;
  EXPECT_EQ(RunPartitionShell(s_, "MD \\Diags2", &code), 0u);
  EXPECT_EQ(code, 0u);
  EXPECT_TRUE(std::filesystem::is_directory(Host("C:\\UP\\Diags2")));
  EXPECT_EQ(RunPartitionShell(s_, "MD \\Diags2", &code), 183u);
  EXPECT_NE(code, 0u);
  EXPECT_EQ(RunPartitionShell(s_, "MD Diags3", &code), 0u);
  EXPECT_TRUE(std::filesystem::is_directory(Host("C:\\UP\\Diags3")));
}

TEST_F(EmulationTest, WrongArgumentCountsAreRefusedWithTheirTexts) {
  const std::pair<const char*, const char*> cases[] = {
      {"COPYHD2SYS", "Emulating COPYHD2SYS: Incorrect number of parameters"},
      {"COPYSYS2HD a b c", "Emulating COPYSYS2HD: Incorrect number of parameters"},
      {"IFEXISTS a b", "Emulating IFEXISTS: Incorrect number of parameters"},
      {"DEL", "Emulating DEL: Incorrect number of parameters"},
      {"MD a b", "Emulating MD: Incorrect number of parameters"},
      {"FORMAT SYS:", "Emulating MD: Unsupported TORBEL Command"},
  };
  for (const auto& [command, text] : cases) {
    host_.ClearRecords();
    std::uint32_t code = 0;
    EXPECT_EQ(RunPartitionShell(s_, command, &code), 1u) << command;
    EXPECT_EQ(code, 1u);
    ASSERT_EQ(host_.Messages().size(), 1u) << command;
    EXPECT_EQ(host_.Messages()[0].text.rfind(std::string(text) + " failed with error", 0), 0u)
        << host_.Messages()[0].text;
    EXPECT_TRUE(host_.Launches().empty());
  }
}

TEST_F(EmulationTest, WithoutCUpEveryCommandAnswersOneAndRunsNothing) {
  std::filesystem::remove_all(Host("C:\\UP"));
  for (const char* command :
       {"IFEXISTS SYS:\\DIAGS", "MD \\Diags", "DEL A", "COPYHD2SYS A", "COPYSYS2HD A B"}) {
    std::uint32_t code = 0;
    EXPECT_EQ(RunPartitionShell(s_, command, &code), 1u) << command;
    EXPECT_EQ(code, 1u);
  }
  EXPECT_TRUE(host_.Launches().empty());
  EXPECT_TRUE(host_.Messages().empty());
}

}  // namespace
}  // namespace zolp
