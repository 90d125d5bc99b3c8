// "Update Existing Diagnostic Partition" driven as a user would, with the real
// Linux torbel on a disk image: an MBR whose first entry is the utility
// partition (type DE) and a FAT16 data partition after it, both made by
// sfdisk and mkfs.fat (tests/zolp/update_disk.sh). The partition is checked
// afterwards with mtools and fsck.fat -n, and every byte outside it with cmp.
#include "flow/update_flow.h"

#include <algorithm>
#include <fstream>

#include "command_interpreter.h"
#include "flow_harness.h"
#include "resource.h"
#include "tool_time_limit.h"
#include "zolp/sim/simulated_devices.h"
#include "zolp/tool_runner.h"

namespace zolp::testing {
namespace {

using UpdateDialog = Dialog<UpdateFlow>;

constexpr const char* kOldVersion = "[DiagVersion]\r\n3.3.1 A04\r\n";
constexpr const char* kSuccess = "The diagnostic partition was successfully updated.";
constexpr const char* kConfirmation =
    "This option will update the diagnostic partition on this computer to version 3.3.2 A05 from "
    "version 3.3.1 A04.";
// The sample package's copies: each file into \DIAGS.
const std::vector<std::string> kPackageCopies = {"DIAGMAIN.EXE", "MEMTEST.EXE", "HddTest.exe",
                                                 "OrvoDiag.ini"};

class UpdateFlowTest : public FlowTest {
 protected:
  UpdateFlowTest() {
    host_.AddResource("BIN", kTorbelResource, {'M', 'Z'});
    launcher_.AddTool("torbel.exe", TORBEL, sim::TorbelExitCode);
    UsePackage();
    WireUpdate();
  }

  // The computer's disk (systemdisk, given to torbel as TORBEL_DISK) and cmd.exe.
  void WireUpdate() {
    UseDevices("systemdisk \"" + disk_.string() + "\"\n");
    torbel_ = sim::WithSystemDisk(launcher_, devices_->systemDisk());
    cmd_ = std::make_unique<CommandInterpreterStandIn>(files_, *torbel_);
    s_.processes = cmd_.get();
  }
  void SetOptions(const RunOptions& options) {
    options_ = options;
    Rewire();
    WireUpdate();
  }

  static bool DiskTool(const std::string& arguments, std::string* output = nullptr) {
    const std::string command = "bash " +
                                Quote(std::filesystem::path(SOURCE_DIR) / "tests/zolp/update_disk.sh") +
                                " " + arguments + " 2>&1";
    FILE* pipe = ::popen(testtools::WithTimeLimit(command).c_str(), "r");
    if (!pipe) return false;
    std::string text;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe)) text += buffer;
    const int status = ::pclose(pipe);
    if (output) *output = text;
    EXPECT_TRUE(text.empty() || output) << text;
    return status == 0;
  }
  // A disk whose utility partition holds the given directories and files
  // (partition path, contents), and the copy of it from before the update.
  void MakeDisk(const std::vector<std::string>& directories,
                const std::vector<std::pair<std::string, std::string>>& files, int megabytes = 16,
                const char* type = "de") {
    ASSERT_TRUE(DiskTool("make " + Quote(disk_) + " " + std::to_string(megabytes) + " " + type));
    std::string dirs;
    for (const std::string& d : directories) dirs += " " + Quote(d);
    if (!dirs.empty()) {
      ASSERT_TRUE(DiskTool("md " + Quote(disk_) + dirs));
    }
    for (const auto& [path, content] : files) {
      const auto local = Keep(path, content);
      ASSERT_TRUE(DiskTool("put " + Quote(disk_) + " " + Quote(local) + " " + Quote(path)));
    }
    std::filesystem::copy_file(disk_, before_, std::filesystem::copy_options::overwrite_existing);
  }
  // The partition the sample package was made for: old diagnostics in \DIAGS
  // (update_disk.sh sample; the files it put there are also in <disk>.old).
  void MakeDiagsDisk() { ASSERT_TRUE(DiskTool("sample " + Quote(disk_))); }
  std::string Unchanged(const std::string& file) const {
    std::string path = "\\" + file;
    std::replace(path.begin(), path.end(), '/', '\\');
    return "copied " + disk_.string() + ".old/" + file + " " + path;
  }
  // A local copy of what a partition file held, for the checks.
  std::filesystem::path Keep(const std::string& partitionPath, const std::string& content) {
    std::string name = partitionPath;
    std::replace(name.begin(), name.end(), '\\', '_');
    const auto local = root_ / "kept" / name;
    WriteFile(local, content);
    return local;
  }
  // Runs the checks of update_disk.sh: "disk" (fsck.fat, nothing outside the
  // partition changed) and the given lines ("copied FILE SYSPATH", "gone SYSPATH").
  void CheckDisk(const std::vector<std::string>& lines) {
    std::string text = "disk " + disk_.string() + " " + before_.string() + "\n";
    for (const std::string& line : lines) text += line + "\n";
    WriteFile(root_ / "checks.txt", text);
    std::string output;
    EXPECT_TRUE(DiskTool("check " + Quote(root_ / "checks.txt"), &output)) << output;
  }
  std::string Copied(const std::string& packageFile, const std::string& partitionPath) const {
    return "copied " + Cwd(packageFile).string() + " " + partitionPath;
  }
  std::string Holds(const std::string& partitionPath, const std::string& content) {
    return "copied " + Keep(partitionPath, content).string() + " " + partitionPath;
  }
  static std::string Gone(const std::string& partitionPath) { return "gone " + partitionPath; }
  std::vector<std::string> PackageCopiesInDiags() const {
    std::vector<std::string> lines;
    for (const std::string& name : kPackageCopies)
      lines.push_back(Copied("DIAGS/" + name, "\\DIAGS\\" + name));
    return lines;
  }

  // The sections the worker walks, in place of the sample's.
  void SetUpdateSections(const std::string& sections) {
    std::string config = ReadFile(Cwd("DD.CFG"));
    config.erase(config.find("[UP_DELETE]"));
    WriteFile(Cwd("DD.CFG"), config + sections);
  }

  // The torbel commands run, as the front end gave them, a repeat after a
  // non-zero exit code counted as "(xN)".
  std::vector<std::string> TorbelCommands() const {
    std::vector<std::string> commands;
    int repeats = 1;
    for (const LaunchRequest& r : launcher_.Requests()) {
      const std::string prefix = ".\\torbel.exe /TDE ";
      EXPECT_EQ(r.commandLine.rfind(prefix, 0), 0u) << r.commandLine;
      const std::string command = r.commandLine.substr(prefix.size());
      if (!commands.empty() && commands.back().rfind(command, 0) == 0) {
        commands.back() = command + " (x" + std::to_string(++repeats) + ")";
        continue;
      }
      repeats = 1;
      commands.push_back(command);
    }
    return commands;
  }

  // The progress a user saw: from 0, never back, never past 100, and 100 at
  // the end of a successful update.
  static void ExpectSoundProgress(const RecordingView& view, bool completed) {
    ASSERT_FALSE(view.percents.empty());
    EXPECT_EQ(view.percents.front(), 0);
    EXPECT_TRUE(std::is_sorted(view.percents.begin(), view.percents.end()));
    EXPECT_LE(view.percents.back(), 100);
    if (completed) {
      EXPECT_EQ(view.percents.back(), 100);
    }
    EXPECT_EQ(view.progressIcon, IDI_PARTITION);
    EXPECT_EQ(view.progressTitles, std::vector<std::string>{"Diagnostic Partition Update Progress"});
    EXPECT_FALSE(view.progressOpen);
    EXPECT_FALSE(view.dialogShown);
  }
  void ExpectNothingLeftInThePackage() const {
    EXPECT_FALSE(std::filesystem::exists(Cwd("torbel.exe")));
    EXPECT_FALSE(std::filesystem::exists(Cwd("UP")));
  }

  std::filesystem::path disk_ = root_ / "system.img";
  std::filesystem::path before_ = root_ / "system.img.before";
  std::unique_ptr<ProcessLauncher> torbel_;
  std::unique_ptr<CommandInterpreterStandIn> cmd_;
};

TEST(UpdateSteps, DeleteLinesBecomeCommandsOrAreInvalid) {
  struct Row {
    const char* line;
    const char* command;  // null: invalid
  } rows[] = {
      {"R,\\ORVOUP\\TEMP.DAT", "DEL \\ORVOUP\\TEMP.DAT"},
      {"r,OLD.EXE", "DEL OLD.EXE"},
      {"T,OLDDIAG.EXE", "DEL \\DIAGS\\OLDDIAG.EXE"},
      {"t,OLD.EXE,ignored", "DEL \\DIAGS\\OLD.EXE"},
      {"T, OLD.EXE ", "DEL \\DIAGS\\OLD.EXE"},
      {"TT,X", nullptr},
      {"X", nullptr},
      {"T", nullptr},
      {"T,", nullptr},
      {",T,X", nullptr},
      {"Q,OLD.EXE", nullptr},
  };
  for (const Row& row : rows) {
    std::string command = "unchanged";
    const bool valid = DeleteCommandFor(row.line, "\\DIAGS\\", command);
    EXPECT_EQ(valid, row.command != nullptr) << row.line;
    if (row.command) {
      EXPECT_EQ(command, row.command) << row.line;
    }
  }
  // A command cut short to the runner's length would name another file.
  std::string command;
  ASSERT_TRUE(DeleteCommandFor("T," + std::string(122, 'A'), "\\", command));
  EXPECT_EQ(command.size(), kUpdateCommandMax);
  EXPECT_FALSE(DeleteCommandFor("T," + std::string(123, 'A'), "\\", command));
}

TEST(UpdateSteps, ExitCodeTexts) {
  struct Row {
    std::uint32_t first, last;
    const char* text;
  } rows[] = {
      {700, 700, "Unable to locate partition"},
      {701, 701, "Diagnostic partition damaged"},
      {702, 702, "Unable to open the hard drive"},
      {703, 709, "Diagnostic partition damaged"},
      {710, 713, "File error"},
      {714, 715, "Disk error locating directory"},
      {716, 716, "Directory already exists"},
      {717, 717, "File already exists"},
      {718, 718, "Path not found"},
      {719, 719, "Unable to rename file"},
      {720, 724, "Diagnostic partition damaged"},
      {725, 725, "Unknown error"},
      {726, 726, "File not found"},
      {727, 728, "Unknown error"},
      {729, 729, "Unable to delete file"},
      {730, 730, "No more space on the diagnostic partition"},
      {731, 732, "Diagnostic partition damaged"},
      {733, 733, "Unknown error"},
      {734, 734, "Disk error reading file"},
      {735, 735, "Root directory full"},
      {736, 736, "Unable to remove directory name entry"},
      {737, 737, "Directory not empty"},
      {738, 738, "Unknown error"},
      {739, 741, "Diagnostic partition damaged"},
      {742, 744, "Unknown error"},
      {745, 745, "Unable to create local temp file"},
      {746, 746, "Unable to locate local file"},
      {747, 747, "Error writing local file"},
      {748, 766, "Unknown error"},
      {1, 5, "Unknown error"},
  };
  for (const Row& row : rows)
    for (std::uint32_t code = row.first; code <= row.last; ++code)
      EXPECT_STREQ(PartitionErrorText(code), row.text) << code;
}

TEST(UpdateSteps, ProgressNeverDividesByZeroNorPassesAllSteps) {
  EXPECT_EQ(UpdatePercent(0, 0), 0);
  EXPECT_EQ(UpdatePercent(1, 0), 0);
  EXPECT_EQ(UpdatePercent(0, 3), 0);
  EXPECT_EQ(UpdatePercent(1, 3), 33);
  EXPECT_EQ(UpdatePercent(3, 3), 100);
  EXPECT_EQ(UpdatePercent(4, 3), 100);
}

TEST_F(UpdateFlowTest, TheSamplePackageReplacesTheDiagnosticsOnThePartition) {
  MakeDiagsDisk();
  UpdateDialog d(host_, pump_, s_);
  ASSERT_FALSE(d.view.ended.has_value()) << ::testing::PrintToString(MessageTexts());
  EXPECT_EQ(d.view.Text(IDC_UP_TEXT), kConfirmation);
  EXPECT_EQ(d.flow.Prefix(), "\\DIAGS\\");
  ASSERT_TRUE(d.view.controls[IDC_UP_WARNING].look.has_value());
  EXPECT_EQ(d.view.controls[IDC_UP_WARNING].look->size, 13);
  EXPECT_EQ(d.view.controls[IDC_UP_WARNING].look->colour, Rgb(255, 0, 0));
  EXPECT_EQ(d.view.controls[IDC_UP_WARNING].look->flags, kFontBold | kFontCentred);
  ExpectNothingLeftInThePackage();
  EXPECT_TRUE(host_.Messages().empty());

  d.Click(kIdOk);
  EXPECT_TRUE(d.view.Ended(DialogResult::Ok));
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{kSuccess});
  EXPECT_EQ(host_.Messages()[0].title, "Success!");
  ExpectSoundProgress(d.view, true);
  ExpectNothingLeftInThePackage();
  EXPECT_EQ(TorbelCommands(),
            (std::vector<std::string>{
                "IFEXISTS SYS:\\ORVOUP\\DIAGS (x4)",  // absent: exit code 1, run again
                "IFEXISTS SYS:\\DIAGS", "COPYSYS2HD \\DIAGS\\OrvoDiag.ini UP\\oldver.ini",
                "DEL \\DIAGS\\OLDDIAG.EXE", "DEL \\ORVOUP\\TEMP.DAT", "IFEXISTS SYS:\\DIAGS",
                "COPYHD2SYS DIAGS\\DIAGMAIN.EXE \\DIAGS", "COPYHD2SYS DIAGS\\MEMTEST.EXE \\DIAGS",
                "COPYHD2SYS DIAGS\\HddTest.exe \\DIAGS", "COPYHD2SYS DIAGS\\OrvoDiag.ini \\DIAGS"}));
  for (const LaunchRequest& r : launcher_.Requests())
    EXPECT_EQ(r.environment,
              (std::vector<std::string>{"LOGALL=NUL", "TORBEL_DISK=" + disk_.string()}));

  std::vector<std::string> checks = PackageCopiesInDiags();
  checks.insert(checks.end(), {Gone("\\DIAGS\\OLDDIAG.EXE"), Gone("\\ORVOUP\\TEMP.DAT"),
                               Unchanged("DIAGS/KEEP.DAT"),
                               Unchanged("BOOT.SYS")});
  CheckDisk(checks);
}

// Where the diagnostics live decides where the version is read and where T
// lines delete; without \DIAGS the update makes it before copying.
TEST_F(UpdateFlowTest, TheDiagnosticsDirectoryIsFoundWhereverItIs) {
  struct Row {
    const char* name;
    std::vector<std::string> directories;
    const char* diagnostics;  // where OrvoDiag.ini and OLDDIAG.EXE are
    const char* prefix;
    bool makesDiags;
  } rows[] = {
      {"\\ORVOUP\\DIAGS", {"\\ORVOUP", "\\ORVOUP\\DIAGS"}, "\\ORVOUP\\DIAGS\\", "\\ORVOUP\\DIAGS\\", true},
      {"\\DIAGS", {"\\DIAGS"}, "\\DIAGS\\", "\\DIAGS\\", false},
      {"neither", {}, "\\", "\\", true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    host_.ClearRecords();
    const std::string at = row.diagnostics;
    MakeDisk(row.directories, {{at + "OrvoDiag.ini", kOldVersion}, {at + "OLDDIAG.EXE", "old"},
                               {at + "STAYS.EXE", "stays"}});
    // A copy line counts up to its first '=' or ':'.
    SetUpdateSections(
        "[UP_DELETE]\r\nt,OLDDIAG.EXE\r\n\r\n[UP_COPY]\r\nDIAGS\\MEMTEST.EXE \\DIAGS = the memory test\r\n");
    const std::size_t runsBefore = launcher_.Requests().size();
    UpdateDialog d(host_, pump_, s_);
    EXPECT_EQ(d.view.Text(IDC_UP_TEXT), kConfirmation);
    EXPECT_EQ(d.flow.Prefix(), row.prefix);
    d.Click(kIdOk);
    EXPECT_TRUE(d.view.Ended(DialogResult::Ok));
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{kSuccess});
    ExpectSoundProgress(d.view, true);
    const auto runs = launcher_.Requests();
    const bool madeDiags =
        std::any_of(runs.begin() + static_cast<std::ptrdiff_t>(runsBefore), runs.end(),
                    [](const LaunchRequest& r) { return r.commandLine.ends_with(" MD \\Diags"); });
    EXPECT_EQ(madeDiags, row.makesDiags);
    CheckDisk({Gone(at + "OLDDIAG.EXE"), Holds(at + "STAYS.EXE", "stays"),
               Holds(at + "OrvoDiag.ini", kOldVersion),
               Copied("DIAGS/MEMTEST.EXE", "\\DIAGS\\MEMTEST.EXE")});
    ExpectNothingLeftInThePackage();
  }
}

TEST_F(UpdateFlowTest, APartitionTooFullForTheCopiesFailsWith730) {
  WriteFile(Cwd("DIAGS/BIG.DAT"), std::string(20 << 20, 'B'));  // more than the 16 MB partition
  SetUpdateSections(
      "[UP_DELETE]\r\nT,OLDDIAG.EXE\r\n[UP_COPY]\r\nDIAGS\\DIAGMAIN.EXE \\DIAGS\r\n"
      "DIAGS\\BIG.DAT \\DIAGS\r\nDIAGS\\MEMTEST.EXE \\DIAGS\r\n");
  MakeDiagsDisk();
  UpdateDialog d(host_, pump_, s_);
  d.Click(kIdOk);
  EXPECT_TRUE(d.view.Ended(DialogResult::Cancel));
  ASSERT_EQ(host_.Messages().size(), 1u);
  EXPECT_EQ(host_.Messages()[0].text,
            "Error 730 accessing the diagnostic partition:\nNo more space on the diagnostic "
            "partition.");
  EXPECT_EQ(host_.Messages()[0].title, "Update Error");
  EXPECT_EQ(host_.Messages()[0].icon, MessageIcon::Warning);
  ExpectSoundProgress(d.view, false);
  EXPECT_LT(d.view.percents.back(), 100);
  // The copies stop at the one that failed.
  CheckDisk({Gone("\\DIAGS\\OLDDIAG.EXE"), Copied("DIAGS/DIAGMAIN.EXE", "\\DIAGS\\DIAGMAIN.EXE"),
             Gone("\\DIAGS\\BIG.DAT"), Gone("\\DIAGS\\MEMTEST.EXE")});
}

// Faults of the update sections fail the update where they are met: an
// invalid [UP_DELETE] line before anything more is deleted or copied, a
// missing [UP_COPY] after the deletions.
TEST_F(UpdateFlowTest, FaultsInTheUpdateSectionsFailTheUpdate) {
  const std::string copies = "[UP_COPY]\r\nDIAGS\\DIAGMAIN.EXE \\DIAGS\r\n";
  const std::vector<std::string> stopped = {Gone("\\BOOT.SYS"), Unchanged("DIAGS/OLDDIAG.EXE"),
                                            Unchanged("DIAGS/DIAGMAIN.EXE")};
  struct Row {
    std::string sections;
    const char* message;
    std::vector<std::string> checks;
  } rows[] = {
      {"[UP_DELETE]\r\nR,\\BOOT.SYS\r\nTT,OLDDIAG.EXE\r\nT,OLDDIAG.EXE\r\n" + copies,
       "Invalid line in the configuration file!", stopped},
      {"[UP_DELETE]\r\nR,\\BOOT.SYS\r\nOLDDIAG.EXE\r\nT,OLDDIAG.EXE\r\n" + copies,
       "Invalid line in the configuration file!", stopped},
      {"[UP_DELETE]\r\nT,OLDDIAG.EXE\r\n", "Error in DD.CFG, no UP_COPY section found.",
       {Gone("\\DIAGS\\OLDDIAG.EXE"), Unchanged("DIAGS/DIAGMAIN.EXE")}},
      // A command longer than the runner takes is never cut (a cut DEL could name another
      // file): its line is invalid, in either section.
      {"[UP_DELETE]\r\nR,\\BOOT.SYS\r\nT," + std::string(130, 'O') + "\r\nT,OLDDIAG.EXE\r\n" +
           copies,
       "Invalid line in the configuration file!", stopped},
      {"[UP_DELETE]\r\nR,\\BOOT.SYS\r\n[UP_COPY]\r\nDIAGS\\" + std::string(130, 'D') +
           " \\DIAGS\r\nDIAGS\\DIAGMAIN.EXE \\DIAGS\r\n",
       "Invalid line in the configuration file!", stopped},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.sections);
    host_.ClearRecords();
    SetUpdateSections(row.sections);
    MakeDiagsDisk();
    UpdateDialog d(host_, pump_, s_);
    d.Click(kIdOk);
    EXPECT_TRUE(d.view.Ended(DialogResult::Cancel));
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{row.message});
    EXPECT_EQ(host_.Messages()[0].title, "Update Error");
    EXPECT_EQ(host_.Messages()[0].icon, MessageIcon::Warning);
    ExpectSoundProgress(d.view, false);
    CheckDisk(row.checks);
  }
}

// Nothing to delete or copy: the progress still runs from 0 to 100, also when
// making \Diags is the only step.
TEST_F(UpdateFlowTest, EmptySectionsGiveSoundProgress) {
  struct Row {
    const char* name;
    std::vector<std::string> directories;
    std::vector<int> percents;
  } rows[] = {
      {"with \\DIAGS", {"\\DIAGS"}, {0, 100}},
      {"without \\DIAGS", {}, {0, 100, 100}},
  };
  SetUpdateSections("[UP_DELETE]\r\n; nothing\r\n\r\n[UP_COPY]\r\n");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    host_.ClearRecords();
    MakeDisk(row.directories, {{"\\OrvoDiag.ini", kOldVersion}});
    UpdateDialog d(host_, pump_, s_);
    d.Click(kIdOk);
    EXPECT_TRUE(d.view.Ended(DialogResult::Ok));
    EXPECT_EQ(d.view.percents, row.percents);
    CheckDisk({Holds("\\OrvoDiag.ini", kOldVersion)});
  }
}

TEST_F(UpdateFlowTest, WithoutAUtilityPartitionNothingIsChanged) {
  SetOptions(RunOptions{.verbose = true});
  MakeDisk({"\\DIAGS"}, {{"\\DIAGS\\OrvoDiag.ini", kOldVersion}}, 16, "6");
  UpdateDialog d(host_, pump_, s_);
  EXPECT_TRUE(d.view.Ended(DialogResult::Cancel));
  const std::vector<std::string> texts = MessageTexts();
  ASSERT_GE(texts.size(), 2u);
  // torbel found no drive with a partition of type DE.
  EXPECT_EQ(texts[texts.size() - 2], "execStatus = 0, exitCode=702");
  EXPECT_EQ(texts.back(), kUpdateNotPossible);
  EXPECT_EQ(host_.Messages().back().title, "Warning");
  EXPECT_EQ(host_.Messages().back().icon, MessageIcon::Information);
  ExpectNothingLeftInThePackage();
  CheckDisk({"unchanged"});
}

TEST_F(UpdateFlowTest, CancelLeavesThePartitionAsItWas) {
  MakeDiagsDisk();
  UpdateDialog d(host_, pump_, s_);
  const std::size_t runs = launcher_.Requests().size();
  d.Click(kIdCancel);
  EXPECT_TRUE(d.view.Ended(DialogResult::Cancel));
  EXPECT_EQ(launcher_.Requests().size(), runs);
  EXPECT_TRUE(host_.Messages().empty());
  CheckDisk({"unchanged"});
}

// Debug mode keeps what the partition held before the update, after the
// deletions and at the end in C:\UPDEBUG; what was there from an earlier run goes.
TEST_F(UpdateFlowTest, DebugModeKeepsThePartitionAtEachStage) {
  SetOptions(RunOptions{.upDebug = true});
  WriteFile(Host("C:\\UPDEBUG\\AFTER\\DIAGS\\STALE.EXE"), "from an earlier update");
  MakeDiagsDisk();
  UpdateDialog d(host_, pump_, s_);
  d.Click(kIdOk);
  EXPECT_TRUE(d.view.Ended(DialogResult::Ok));
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{kSuccess});

  const auto stage = [&](const std::string& path) { return Host("C:\\UPDEBUG\\" + path); };
  const auto old = [&](const std::string& file) { return disk_.string() + ".old/" + file; };
  for (const char* file : {"BOOT.SYS", "DIAGS/OLDDIAG.EXE", "DIAGS/DIAGMAIN.EXE"})
    EXPECT_TRUE(SameBytes(stage(std::string("BEFORE\\") + file), old(file))) << file;
  EXPECT_FALSE(std::filesystem::exists(stage("DELETE\\DIAGS\\OLDDIAG.EXE")));
  EXPECT_TRUE(SameBytes(stage("DELETE\\DIAGS\\DIAGMAIN.EXE"), old("DIAGS/DIAGMAIN.EXE")));
  EXPECT_TRUE(SameBytes(stage("DELETE\\DIAGS\\KEEP.DAT"), old("DIAGS/KEEP.DAT")));
  EXPECT_FALSE(std::filesystem::exists(stage("AFTER\\DIAGS\\OLDDIAG.EXE")));
  EXPECT_FALSE(std::filesystem::exists(stage("AFTER\\DIAGS\\STALE.EXE")));
  for (const std::string& name : kPackageCopies)
    EXPECT_TRUE(SameBytes(stage("AFTER\\DIAGS\\" + name), Cwd("DIAGS/" + name))) << name;
  EXPECT_EQ(cmd_->Commands(),
            (std::vector<std::string>{"DEL C:\\UPDEBUG\\*.* /f /s /q", "MD C:\\UPDEBUG\\BEFORE",
                                      "MD C:\\UPDEBUG\\BEFORE\\DIAGS", "MD C:\\UPDEBUG\\DELETE",
                                      "MD C:\\UPDEBUG\\DELETE\\DIAGS", "MD C:\\UPDEBUG\\AFTER",
                                      "MD C:\\UPDEBUG\\AFTER\\DIAGS"}));
  CheckDisk(PackageCopiesInDiags());
}

// Test mode: no torbel; C:\UP stands for the partition and cmd.exe does the work.
TEST_F(UpdateFlowTest, TestModeUpdatesCUp) {
  SetOptions(RunOptions{.upTest = true});
  {
    UpdateDialog d(host_, pump_, s_);  // no C:\UP: as if there were no partition
    EXPECT_TRUE(d.view.Ended(DialogResult::Cancel));
    EXPECT_EQ(MessageTexts(), std::vector<std::string>{kUpdateNotPossible});
  }
  host_.ClearRecords();
  WriteFile(Host("C:\\UP\\DIAGS\\OrvoDiag.ini"), kOldVersion);
  WriteFile(Host("C:\\UP\\DIAGS\\OLDDIAG.EXE"), "old");
  WriteFile(Host("C:\\UP\\ORVOUP\\TEMP.DAT"), "temporary");
  UpdateDialog d(host_, pump_, s_);
  EXPECT_EQ(d.view.Text(IDC_UP_TEXT), kConfirmation);
  d.Click(kIdOk);
  EXPECT_TRUE(d.view.Ended(DialogResult::Ok));
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{kSuccess});
  ExpectSoundProgress(d.view, true);
  EXPECT_TRUE(launcher_.Requests().empty());
  EXPECT_FALSE(std::filesystem::exists(Host("C:\\UP\\DIAGS\\OLDDIAG.EXE")));
  EXPECT_FALSE(std::filesystem::exists(Host("C:\\UP\\ORVOUP\\TEMP.DAT")));
  for (const std::string& name : kPackageCopies)
    EXPECT_TRUE(SameBytes(Host("C:\\UP\\DIAGS\\" + name), Cwd("DIAGS/" + name))) << name;
  EXPECT_EQ(cmd_->Commands(),
            (std::vector<std::string>{
                "copy C:\\UP\\DIAGS\\OrvoDiag.ini UP\\oldver.ini", "del C:\\UP\\DIAGS\\OLDDIAG.EXE",
                "del C:\\UP\\ORVOUP\\TEMP.DAT", "copy DIAGS\\DIAGMAIN.EXE C:\\UP\\DIAGS",
                "copy DIAGS\\MEMTEST.EXE C:\\UP\\DIAGS", "copy DIAGS\\HddTest.exe C:\\UP\\DIAGS",
                "copy DIAGS\\OrvoDiag.ini C:\\UP\\DIAGS"}));
  ExpectNothingLeftInThePackage();
}

TEST_F(UpdateFlowTest, TheDialogStaysWhileTheWorkerRuns) {
  MakeDiagsDisk();
  UpdateDialog d(host_, pump_, s_);
  ExpectTheDialogToOutliveItsWorker(d, pump_, [](const UpdateFlow& f) { return f.Updating(); });
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{kSuccess});
}

TEST_F(UpdateFlowTest, FailuresToStartAreReported) {
  MakeDiagsDisk();
  {
    UpdateDialog d(host_, pump_, s_);
    host_.failWorkerStarts = 1;
    const std::size_t runs = launcher_.Requests().size();
    d.Click(kIdOk);
    EXPECT_EQ(MessageTexts(),
              std::vector<std::string>{"Start diagnostic partition update failed with error 8."});
    EXPECT_TRUE(d.view.Ended(DialogResult::Cancel));
    EXPECT_EQ(launcher_.Requests().size(), runs);
  }
  // torbel.exe cannot be had: the runner says so, and the dialog closes without more.
  host_.ClearRecords();
  host_.failResourceStep = ResourceStep::Find;
  UpdateDialog d(host_, pump_, s_);
  EXPECT_TRUE(d.view.Ended(DialogResult::Cancel));
  ASSERT_EQ(host_.Messages().size(), 1u);
  EXPECT_EQ(host_.Messages()[0].text.rfind("Find torbel.exe failed with error 1813", 0), 0u);
  CheckDisk({"unchanged"});
}

}  // namespace
}  // namespace zolp::testing
