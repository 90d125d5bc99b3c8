// Power cuts and single failed writes at every write of torbel's write commands, of a
// batch and of the sample package's partition update, on a disk in memory. After each:
// the next mount succeeds, the FAT copies agree, fsck.fat -n finds lost clusters at
// most, a replaced file is the old one or the new one, and no byte outside the
// partition has been written.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <unordered_set>

#include "disk_test_support.h"
#include "emulated_local_files.h"
#include "memory_disk.h"
#include "partshell/error_codes.h"
#include "partshell/local_environment.h"
#include "partshell/session_log.h"
#include "partshell/shell.h"
#include "partshell/shell_output.h"
#include "partshell/volume_partition.h"
#include "scripted_console.h"

namespace partshell::testing {
namespace {

// Where the next write fails: every write from then on (a cut), or that one alone.
struct Faults {
  long fail_at = -1;
  bool once = false;
  unsigned long writes = 0;
  bool cut = false;
};

class FaultyDevice : public BlockDevice {
 public:
  FaultyDevice(std::unique_ptr<BlockDevice> inner, Faults& faults) : inner_(std::move(inner)), f_(faults) {}
  SectorIoResult ReadSector(std::uint32_t sector, std::uint8_t* buffer) override {
    return inner_->ReadSector(sector, buffer);
  }
  SectorIoResult WriteSector(std::uint32_t sector, const std::uint8_t* buffer) override {
    const long index = static_cast<long>(f_.writes++);
    if (f_.cut || index == f_.fail_at) {
      if (!f_.once) f_.cut = true;
      return {SectorIoStatus::write_failed, 21};
    }
    return inner_->WriteSector(sector, buffer);
  }

 private:
  std::unique_ptr<BlockDevice> inner_;
  Faults& f_;
};

class FaultyDisks : public MemoryDiskSystem {
 public:
  FaultyDisks(MemoryDisk& disk, Faults& faults) : MemoryDiskSystem(disk), f_(faults) {}
  std::unique_ptr<BlockDevice> OpenDrive(int n, std::uint32_t& system_error) override {
    auto inner = MemoryDiskSystem::OpenDrive(n, system_error);
    return inner ? std::make_unique<FaultyDevice>(std::move(inner), f_) : nullptr;
  }

 private:
  Faults& f_;
};

// One torbel run: the mount, then command lines through the shell.
struct Session {
  Session(MemoryDisk& disk, EmulatedLocalFiles& files, Faults& faults)
      : disks(disk, faults), volume(disks, out), engine(volume, files), partition(volume, engine),
        shell(console, partition, files) {
    mount = volume.MountPartition(MountedDisk::UpRequest());
    shell.AttachVolume(&volume, &engine);
    shell.SetErrorLevel(0);
  }
  int Run(const std::string& text) {
    std::string line = text;
    shell.ParseCommandLine(line, 256);
    shell.DispatchCommand(nullptr);
    return shell.ErrorLevel();
  }

  FaultyDisks disks;
  CapturingServices out;
  MountedVolume volume;
  Fat16Engine engine;
  VolumePartition partition;
  partshell::test::ScriptedConsole console;
  Shell shell;
  int mount = -1;
};

const UtilityDiskLayout kLayout{8192, 63, 8000, 1, 512};
const std::string kOld = Pattern(40000, 11);
const std::string kNew = Pattern(70000, 12);

class PowerCut : public ::testing::Test {
 protected:
  void SetUp() override {
    ShellEnvironment().Free();
    ShellEnvironment().Init({"PATH=/bin"});
    Shell::StopCodeCell().store(0);
    SetVerboseMode(false);
    SetLogAllMode(false);
    log_.SetPath("/work/session.log");
    InstallOutput(&console_, &log_);
    disk_.Place(0, FormatUtilityDisk(kLayout));
    disk_.AllowWrites(kLayout.partition_start, kLayout.partition_start + kLayout.partition_sectors - 1);
    disk_.on_forbidden_write = [this](std::uint32_t) { ++forbidden_writes_; };
    for (const auto& [name, content] : std::vector<std::pair<std::string, std::string>>{
             {"NEW.BIN", kNew}, {"OLD.BIN", kOld}, {"EMPTY.BIN", ""}, {"SMALL.BIN", Pattern(100, 3)},
             {"ONE.BIN", "1"}, {"F.BIN", Pattern(700, 4)},
             {"JOB.F16", "DEL \\KEEP.TXT\r\nMD \\NEWDIR\r\nCOPYHD2SYS NEW.BIN \\T.BIN\r\n"
                         "REN \\SIX\\F1.BIN G1.BIN\r\nCOPYHD2SYS SMALL.BIN \\NEWDIR\\S.BIN\r\n"}}) {
      files_.PutFile(name, content);
    }
    Faults none;
    Session s(disk_, files_, none);
    ASSERT_EQ(s.mount, 0) << s.out.printed;
    for (const char* line :
         {"MD \\DIAGS", "MD \\ORVOUP", "MD \\SIX", "MD \\FULL", "MD \\EMPTYDIR", "COPYHD2SYS F.BIN \\KEEP.TXT",
          "COPYHD2SYS OLD.BIN \\T.BIN", "COPYHD2SYS F.BIN \\DIAGS\\OLDDIAG.EXE", "COPYHD2SYS F.BIN \\DIAGS\\DIAGMAIN.EXE",
          "COPYHD2SYS SMALL.BIN \\ORVOUP\\TEMP.DAT"}) {
      ASSERT_EQ(s.Run(line), 0) << line << "\n" << console_.output;
    }
    for (int i = 1; i <= 6; ++i) ASSERT_EQ(s.Run("COPYHD2SYS F.BIN \\SIX\\F" + std::to_string(i) + ".BIN"), 0);
    // "." and ".." and 14 files fill the one sector of \FULL's cluster.
    for (int i = 1; i <= 14; ++i) ASSERT_EQ(s.Run("COPYHD2SYS ONE.BIN \\FULL\\E" + std::to_string(i)), 0);
    s.volume.CloseHardDrive();
    disk_.Place(0, disk_.Image(kLayout.disk_sectors));
    disk_.Reset();
  }
  void TearDown() override {
    InstallOutput(nullptr, nullptr);
    ShellEnvironment().Free();
  }

  // A partition file as the engine reads it, "<missing>" when it cannot.
  std::string Sys(Session& s, const std::string& path) {
    std::string message;
    std::uint32_t size = 0;
    if (s.engine.CopyFileFromFAT16ToLocalHD(path, "/work/read.out", message, size) != 0) return "<missing>";
    std::uint32_t error = 0;
    auto file = files_.Open("/work/read.out", LocalOpenMode::read, error);
    std::string data(size, '\0');
    if (!file || file->Read(data.data(), data.size()).bytes != size) return "<unreadable>";
    return data;
  }

  // fsck.fat -n finds nothing but lost clusters. What fsck.fat reads of a volume is
  // all but its free clusters: volumes alike but for those are checked once.
  void ExpectFsckFindsLostClustersAtMost(const std::string& where) {
    seen_ = part_;
    const auto* bpb = reinterpret_cast<const std::uint8_t*>(part_.data());
    const std::uint32_t spf = common::load_le16(bpb + 22), spc = bpb[13];
    const std::uint32_t data = 1 + 2 * spf + common::load_le16(bpb + 17) / 16;
    for (std::uint32_t c = 2; data + (c - 1) * spc <= kLayout.partition_sectors; ++c) {
      if (common::load_le16(bpb + 512 + 2 * c) == 0) std::memset(seen_.data() + (data + (c - 2) * spc) * 512, 0, spc * 512);
    }
    if (!checked_.insert(std::hash<std::string>{}(seen_)).second) return;
    const std::string path = tmp_ / "part.img";
    std::ofstream(path, std::ios::binary) << part_;
    std::string report;
    const int status = RunTool("fsck.fat -n '" + path + "'", &report);
    bool only_lost = status == 0 || status == 1;
    std::istringstream lines(report);
    for (std::string line; only_lost && std::getline(lines, line);) {
      only_lost = line.rfind("fsck.fat ", 0) == 0 || line.find(" files, ") != std::string::npos ||
                  line.rfind("Reclaimed ", 0) == 0 || line == "Leaving filesystem unchanged." || line.empty();
    }
    EXPECT_TRUE(only_lost) << where << ":\n" << report;
  }

  void ReadPartition() {
    part_.resize(kLayout.partition_sectors * 512ull);
    for (std::uint32_t i = 0; i < kLayout.partition_sectors; ++i) {
      disk_.Read(kLayout.partition_start + i, reinterpret_cast<std::uint8_t*>(part_.data()) + i * 512ull);
    }
  }

  // After the faulty run: the next mount settles the volume, and what it leaves holds.
  void CheckAfter(const std::string& where, const std::function<void(Session&)>& more = {}) {
    Faults none;
    ReadPartition();
    const std::uint16_t spf = common::load_le16(reinterpret_cast<const std::uint8_t*>(part_.data()) + 22);
    const bool apart = part_.compare(512, spf * 512, part_, 512 + spf * 512, spf * 512) != 0;
    {
      Session next(disk_, files_, none);
      ASSERT_EQ(next.mount, 0) << where << "\n" << next.out.printed;
      EXPECT_EQ(next.out.traced.find("] Interrupted Change: FAT Table ") != std::string::npos, apart) << where;
      if (more) more(next);
    }
    EXPECT_EQ(forbidden_writes_, 0u) << where << ": a write outside the partition";
    ReadPartition();
    EXPECT_EQ(part_.compare(512, spf * 512, part_, 512 + spf * 512, spf * 512), 0) << where << ": the FAT copies differ";
    ExpectFsckFindsLostClustersAtMost(where);
  }

  // Runs `run` once to count its writes, then once per write index as a cut and as a
  // single failed write, each time from the same disk.
  void Sweep(const std::function<void(Faults&, bool& failed)>& run, const std::function<void(Session&)>& more,
             bool each_fault_fails_the_run) {
    disk_.Reset();
    Faults probe;
    bool failed = false;
    run(probe, failed);
    ASSERT_FALSE(failed) << "the run fails without a fault";
    const unsigned long writes = probe.writes;
    ASSERT_GT(writes, 3u);
    for (const bool once : {false, true}) {
      for (unsigned long k = 0; k < writes; ++k) {
        disk_.Reset();
        Faults faults{static_cast<long>(k), once};
        failed = false;
        run(faults, failed);
        const std::string where = std::string(once ? "failed write " : "cut at write ") + std::to_string(k);
        if (each_fault_fails_the_run) {
          EXPECT_TRUE(failed) << where << " went unnoticed";
        }
        CheckAfter(where, more);
      }
    }
  }

  // The lines in one torbel run.
  // With one line, every fault fails it.
  void SweepLines(const std::vector<std::string>& lines, const std::function<void(Session&)>& more = {}) {
    Sweep(
        [&](Faults& faults, bool& failed) {
          Session s(disk_, files_, faults);
          ASSERT_EQ(s.mount, 0);
          for (const std::string& line : lines) failed = s.Run(line) != 0 || failed;
        },
        more, lines.size() == 1);
  }

  MemoryDisk disk_{kLayout.disk_sectors};
  EmulatedLocalFiles files_;
  SessionLog log_{files_};
  partshell::test::ScriptedConsole console_;
  TempDir tmp_;
  std::unordered_set<std::size_t> checked_;
  std::string part_, seen_;
  unsigned forbidden_writes_ = 0;
};

TEST_F(PowerCut, CopyInOfALargeFileAnEmptyOneAndIntoAFullDirectory) {
  SweepLines({"COPYHD2SYS NEW.BIN \\NEW.BIN"});
  SweepLines({"COPYHD2SYS EMPTY.BIN \\EMPTY.BIN"});
  SweepLines({"COPYHD2SYS SMALL.BIN \\FULL\\X.BIN"});
}

TEST_F(PowerCut, AReplacedFileIsTheOldOneOrTheNewOne) {
  SweepLines({"COPYHD2SYS NEW.BIN \\T.BIN"}, [this](Session& s) {
    const std::string seen = Sys(s, "T.BIN");
    EXPECT_TRUE(seen == kOld || seen == kNew) << "T.BIN holds " << seen.size() << " bytes of neither";
  });
}

TEST_F(PowerCut, DeleteMakeRemoveAndRename) {
  SweepLines({"DEL \\KEEP.TXT"});
  SweepLines({"DEL \\SIX\\F?.BIN"});
  SweepLines({"MD \\NEWDIR"});
  SweepLines({"RD \\EMPTYDIR"});
  SweepLines({"REN \\KEEP.TXT RENAMED.TXT"});
}

TEST_F(PowerCut, ABatch) {
  SweepLines({"CALL JOB", "DIR"}, [this](Session& s) {
    const std::string seen = Sys(s, "T.BIN");
    EXPECT_TRUE(seen == kOld || seen == kNew) << "T.BIN holds " << seen.size() << " bytes of neither";
  });
}

// The sample package's update as the front end runs it: [UP_DELETE] as DEL commands
// (T lines in \DIAGS\, R lines from the root), then [UP_COPY] as COPYHD2SYS, one torbel
// run each, a run that fails tried up to four times. A cut ends the update; the next
// update then runs through on what the cut left.
TEST_F(PowerCut, TheSamplePackageUpdateLeavesAPartitionTheNextUpdateWorksOn) {
  const std::filesystem::path package = std::filesystem::path(SOURCE_DIR) / "examples/package";
  std::vector<std::string> commands;
  std::vector<std::pair<std::string, std::string>> copies;  // partition file, contents
  std::ifstream config(package / "DD.CFG");
  std::string section;
  for (std::string line; std::getline(config, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      section = line;
      continue;
    }
    if (section == "[UP_DELETE]") commands.push_back("DEL " + std::string(line[0] == 'T' ? "\\DIAGS\\" : "") + line.substr(2));
    if (section == "[UP_COPY]") {
      commands.push_back("COPYHD2SYS " + line);
      // The programs of the package are made by its build; here they are stood in for.
      const std::string file = line.substr(6, line.find(' ') - 6);
      const std::filesystem::path shipped = package / "DIAGS" / file;
      const std::string content = std::filesystem::exists(shipped) ? ReadFile(shipped.string())
                                                                   : Pattern(4000 + 3000 * copies.size(), 20);
      files_.PutFile(file, content);
      copies.emplace_back(line.substr(line.find(' ') + 1) + "\\" + file, content);
    }
  }
  ASSERT_EQ(commands.size(), 6u);
  for (std::string& c : commands) {
    // The package files lie in the current directory here.
    if (c.rfind("COPYHD2SYS DIAGS\\", 0) == 0) c = "COPYHD2SYS " + c.substr(17);
  }
  auto update = [&](Faults& faults, bool& failed) {
    for (const std::string& command : commands) {
      int level = -1;
      for (int run = 0; run < 4 && level != 0 && !faults.cut; ++run) {
        Session s(disk_, files_, faults);
        level = s.mount != 0 ? s.mount : s.Run(command);
      }
      // A deletion that fails is no error to the update: the file may be gone.
      if (level != 0 && command.rfind("DEL ", 0) != 0) failed = true;
      if (faults.cut) {
        failed = true;
        return;
      }
    }
  };
  Sweep(
      update,
      [&](Session& s) {
        s.volume.CloseHardDrive();
        Faults none;
        bool failed = false;
        update(none, failed);
        EXPECT_FALSE(failed) << "the next update fails";
        Session after(disk_, files_, none);
        for (const auto& [target, content] : copies) EXPECT_EQ(Sys(after, target), content) << target;
      },
      false);
}

}  // namespace
}  // namespace partshell::testing
