// Every write of torbel's write commands, of a batch and of the sample package's update as a power cut and as a
// single failed write, on a disk in memory: the next mount settles the volume, the FAT copies agree, fsck.fat -n
// finds lost clusters at most, a replaced file is old or new, no write leaves the partition. And what torbel refuses.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <sstream>
#include <unordered_set>

#include "disk_test_support.h"
#include "emulated_local_files.h"
#include "memory_disk.h"
#include "partshell/local_environment.h"
#include "partshell/session_log.h"
#include "partshell/shell.h"
#include "partshell/shell_output.h"
#include "partshell/volume_partition.h"
#include "scripted_console.h"

namespace partshell::testing {
namespace {

struct Faults {  // the write that fails: it and every later one (a cut), or it alone
  long at = -1;
  bool once = false;
  long writes = 0;
  bool cut = false;
};

struct FaultyDisks : MemoryDiskSystem {
  struct Device : BlockDevice {
    Device(std::unique_ptr<BlockDevice> d, Faults& faults) : inner(std::move(d)), f(faults) {}
    SectorIoResult ReadSector(std::uint32_t s, std::uint8_t* b) override { return inner->ReadSector(s, b); }
    SectorIoResult WriteSector(std::uint32_t s, const std::uint8_t* b) override {
      if (!f.cut && f.writes++ != f.at) return inner->WriteSector(s, b);
      f.cut = !f.once;
      return {SectorIoStatus::write_failed, 21};
    }
    std::unique_ptr<BlockDevice> inner;
    Faults& f;
  };
  FaultyDisks(MemoryDisk& disk, Faults& faults) : MemoryDiskSystem(disk), f(faults) {}
  std::unique_ptr<BlockDevice> OpenDrive(int n, std::uint32_t& error) override {
    auto device = MemoryDiskSystem::OpenDrive(n, error);
    return device ? std::make_unique<Device>(std::move(device), f) : nullptr;
  }
  Faults& f;
};

struct Session {  // one torbel run: the mount, then command lines
  Session(MemoryDisk& disk, EmulatedLocalFiles& files, Faults& faults)
      : disks(disk, faults), volume(disks, out), engine(volume, files),
        partition(volume, engine), shell(console, partition, files), mount(volume.MountPartition(MountedDisk::UpRequest())) {
    shell.AttachVolume(&volume, &engine);
  }
  int Run(std::string line) {
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
  int mount;
};

const UtilityDiskLayout kLayout{8192, 63, 8000, 1, 512};
const std::string kOld = Pattern(40000, 11), kNew = Pattern(70000, 12);

class PowerCut : public ::testing::Test {
 protected:
  void SetUp() override {
    ShellEnvironment().Init({"PATH=/bin"});
    log_.SetPath("/work/session.log");
    InstallOutput(&console_, &log_);
    disk_.Place(0, FormatUtilityDisk(kLayout));
    disk_.AllowWrites(kLayout.partition_start, kLayout.partition_start + kLayout.partition_sectors - 1);
    disk_.on_forbidden_write = [this](std::uint32_t) { ++forbidden_writes_; };
    for (const auto& [name, content] : std::map<std::string, std::string>{
             {"NEW.BIN", kNew}, {"OLD.BIN", kOld}, {"EMPTY.BIN", ""}, {"S.BIN", "small"}, {"F.BIN", Pattern(700)},
             {"JOB.F16", "DEL \\KEEP.TXT\nMD \\NEW\nCOPYHD2SYS NEW.BIN \\T.BIN\nREN \\SIX\\F1 G1\nCOPYHD2SYS S.BIN \\NEW\n"}}) {
      files_.PutFile(name, content);
    }
    Session s(disk_, files_, none_);
    // "." and ".." and 14 files fill the one sector of \FULL's cluster.
    std::string lines = "MD \\DIAGS|MD \\ORVOUP|MD \\SIX|MD \\FULL|MD \\EMPTY|COPYHD2SYS F.BIN \\KEEP.TXT|"
                        "COPYHD2SYS OLD.BIN \\T.BIN|COPYHD2SYS F.BIN \\DIAGS\\OLDDIAG.EXE|COPYHD2SYS S.BIN \\ORVOUP\\TEMP.DAT";
    for (int i = 1; i <= 14; ++i) lines += "|COPYHD2SYS S.BIN \\FULL\\E" + std::to_string(i);
    for (int i = 1; i <= 6; ++i) lines += "|COPYHD2SYS F.BIN \\SIX\\F" + std::to_string(i);
    for (std::size_t at = 0, end = 0; end != std::string::npos; at = end + 1) {
      end = lines.find('|', at);
      ASSERT_EQ(s.Run(lines.substr(at, end - at)), 0) << lines.substr(at, end - at) << console_.output;
    }
    s.volume.CloseHardDrive();
    disk_.Place(0, disk_.Image(kLayout.disk_sectors));
    disk_.Reset();
  }
  void TearDown() override { InstallOutput(nullptr, nullptr); }

  const std::string& Partition() {
    part_.resize(kLayout.partition_sectors * 512ull);
    for (std::uint32_t i = 0; i < kLayout.partition_sectors; ++i) {
      disk_.Read(kLayout.partition_start + i, reinterpret_cast<std::uint8_t*>(part_.data()) + i * 512ull);
    }
    return part_;
  }
  static bool FatCopiesEqual(const std::string& part) {
    const std::size_t spf = common::load_le16(reinterpret_cast<const std::uint8_t*>(part.data()) + 22) * 512u;
    return part.compare(512, spf, part, 512 + spf, spf) == 0;
  }
  // The partition but for the contents of its free clusters.
  const std::string& InUse(const std::string& part) {
    seen_ = part;
    const auto* bpb = reinterpret_cast<const std::uint8_t*>(part.data());
    const std::uint32_t data = 1 + 2 * common::load_le16(bpb + 22) + common::load_le16(bpb + 17) / 16;
    for (std::uint32_t c = 2; data + c - 1 <= kLayout.partition_sectors; ++c) {
      if (common::load_le16(bpb + 512 + 2 * c) == 0) std::memset(seen_.data() + (data + c - 2) * 512, 0, 512);
    }
    return seen_;
  }
  std::string Read(Session& s, const std::string& path) {
    std::string message, data(100000, '\0');
    std::uint32_t size = 0, error = 0;
    if (s.engine.CopyFileFromFAT16ToLocalHD(path, "/work/read.out", message, size) != 0) return "<missing>";
    data.resize(files_.Open("/work/read.out", LocalOpenMode::read, error)->Read(data.data(), data.size()).bytes);
    return data;
  }

  // Runs `run` once to count its writes, then with each write as a cut and as a single failure, each time from the
  // same disk; `after` looks at what the next mount left.
  void Sweep(const std::function<bool(Faults&)>& run, const std::function<void(Session&)>& after, bool must_fail) {
    disk_.Reset();
    Faults probe;
    ASSERT_FALSE(run(probe));
    for (const bool once : {false, true}) {
      for (long k = 0; k < probe.writes; ++k) {
        disk_.Reset();
        Faults faults{k, once};
        const std::string where = (once ? "failed write " : "cut at write ") + std::to_string(k);
        EXPECT_TRUE(run(faults) || !must_fail) << where << " went unnoticed";
        const bool apart = !FatCopiesEqual(Partition());
        {
          Session next(disk_, files_, none_);
          ASSERT_EQ(next.mount, 0) << where << "\n" << next.out.printed;
          EXPECT_EQ(next.out.traced.find("] Interrupted Change: FAT Table ") != std::string::npos, apart) << where;
          if (after) after(next);
        }
        EXPECT_EQ(forbidden_writes_, 0u) << where;
        EXPECT_TRUE(FatCopiesEqual(Partition())) << where;
        // fsck.fat reads all of a volume but its free clusters: volumes alike but for those are checked once.
        if (!checked_.insert(std::hash<std::string>{}(InUse(part_))).second) continue;
        WriteFile(tmp_ / "part.img", part_);
        std::string report, line;
        bool only_lost = RunTool("fsck.fat -n '" + (tmp_ / "part.img") + "'", &report) <= 1;
        for (std::istringstream lines(report); only_lost && std::getline(lines, line);) {
          only_lost = line.empty() || line.rfind("fsck.fat ", 0) == 0 || line.find(" files, ") != std::string::npos ||
                      line.rfind("Reclaimed ", 0) == 0 || line == "Leaving filesystem unchanged.";
        }
        EXPECT_TRUE(only_lost) << where << ":\n" << report;
      }
    }
  }
  void SweepLine(const std::string& line, const std::function<void(Session&)>& after = {}) {
    Sweep([&](Faults& f) { return Session(disk_, files_, f).Run(line) != 0; }, after, true);
  }
  void OldOrNew(Session& s) {
    const std::string seen = Read(s, "T.BIN");
    EXPECT_TRUE(seen == kOld || seen == kNew) << "T.BIN holds " << seen.size() << " bytes of neither";
  }

  MemoryDisk disk_{kLayout.disk_sectors};
  EmulatedLocalFiles files_;
  SessionLog log_{files_};
  partshell::test::ScriptedConsole console_;
  TempDir tmp_;
  std::unordered_set<std::size_t> checked_;
  std::string part_, seen_;
  unsigned forbidden_writes_ = 0;
  Faults none_;
};

TEST_F(PowerCut, CopiesInAndAReplacedFileIsOldOrNew) {
  SweepLine("COPYHD2SYS NEW.BIN \\T.BIN", [this](Session& s) { OldOrNew(s); });
}

TEST_F(PowerCut, OtherWriteCommandsAndABatch) {
  for (const char* line : {"COPYHD2SYS NEW.BIN \\NEW.BIN", "COPYHD2SYS EMPTY.BIN \\EMPTY.BIN", "COPYHD2SYS S.BIN \\FULL\\X.BIN", "DEL \\KEEP.TXT", "DEL \\SIX\\F?", "MD \\NEW",
                           "RD \\EMPTY", "REN \\KEEP.TXT RENAMED.TXT"}) {
    SweepLine(line);
  }
  Sweep([&](Faults& f) { return Session(disk_, files_, f).Run("CALL JOB") != 0; }, [this](Session& s) { OldOrNew(s); },
        false);
}

// The sample package's update as the front end runs it ([UP_DELETE] of examples/package/DD.CFG as DEL, then
// [UP_COPY] as COPYHD2SYS), one torbel run each, a failed run tried up to four times, a cut ending it. The next
// update then runs through.
TEST_F(PowerCut, TheSamplePackageUpdateLeavesAPartitionTheNextUpdateWorksOn) {
  const std::string config = ReadFile(std::string(SOURCE_DIR) + "/examples/package/DD.CFG");
  ASSERT_NE(config.find("[UP_DELETE]\nT,OLDDIAG.EXE\nR,\\ORVOUP\\TEMP.DAT\n\n[UP_COPY]\nDIAGS\\DIAGMAIN.EXE \\DIAGS\n"
                        "DIAGS\\MEMTEST.EXE \\DIAGS\nDIAGS\\HddTest.exe \\DIAGS\nDIAGS\\OrvoDiag.ini \\DIAGS\n"),
            std::string::npos);
  std::vector<std::string> commands = {"DEL \\DIAGS\\OLDDIAG.EXE", "DEL \\ORVOUP\\TEMP.DAT"};
  for (const char* file : {"DIAGMAIN.EXE", "MEMTEST.EXE", "HddTest.exe", "OrvoDiag.ini"}) {
    files_.PutFile(file, Pattern(3000 * commands.size(), 20));
    commands.push_back(std::string("COPYHD2SYS ") + file + " \\DIAGS");
  }
  const auto update = [&](Faults& f) {
    bool failed = false;
    for (const std::string& command : commands) {
      int level = -1;
      for (int run = 0; run < 4 && level != 0 && !f.cut; ++run) {
        Session s(disk_, files_, f);
        level = s.mount != 0 ? s.mount : s.Run(command);
      }
      // A deletion that fails is no error to the update: the file may be gone.
      failed = failed || f.cut || (level != 0 && command.rfind("DEL ", 0) != 0);
    }
    return failed;
  };
  Sweep(update, [&](Session& s) {
    s.volume.CloseHardDrive();
    EXPECT_FALSE(update(none_)) << "the next update fails";
    Session after(disk_, files_, none_);
    for (std::size_t i = 2; i < commands.size(); ++i) {
      const std::string file = commands[i].substr(11, commands[i].find(' ', 11) - 11);
      EXPECT_EQ(Read(after, "\\DIAGS\\" + file), Pattern(3000 * i, 20)) << file;
    }
  }, false);
}

// What torbel refuses, each with its code and the partition unchanged.
TEST_F(PowerCut, Refusals) {
  Session s(disk_, files_, none_);
  // \BIG holds 65,536 entries: its chain of 4,096 one-sector clusters, every slot used.
  ASSERT_EQ(s.Run("MD \\BIG"), 0);
  std::uint16_t last = s.engine.FindSubdirectory(kRootDirectory, "BIG").first_cluster;
  alignas(512) std::uint8_t full[512];
  for (int i = 0; i < 16; ++i) std::memcpy(full + 32 * i, MakeDirEntry({"USED", "   "}, ATTR_ARCHIVE, 0, 0, 0, 0).data(), 32);
  for (int n = 0; n < 4096; ++n) {
    if (n > 0) s.engine.SetFatEntry(last, s.engine.FindFreeCluster(last + 1)), last = s.engine.FatEntry(last);
    s.engine.SetFatEntry(last, kEndOfChain);
    ASSERT_EQ(s.volume.WriteHardDriveSector(s.engine.GetSectorOfCluster(last), full), 0);
  }
  std::string message;
  ASSERT_EQ(s.engine.CommitFatTables(message), 0);
  files_.PutFile("D/X", "");
  const std::string before = InUse(Partition());
  for (const auto& [line, code] : std::vector<std::pair<std::string, int>>{
           {"MD \\.", 733}, {"MD A..B", 733}, {"MD A.B.C", 733}, {"MD A\x01" "B", 733}, {"COPYHD2SYS F.BIN A.B.C", 733},
           {"COPYHD2SYS F.BIN X\x1F.BIN", 733}, {"COPYSYS2SYS KEEP.TXT A..B", 733}, {"REN KEEP.TXT A.B.C", 733},
           {"REN \\KEEP.TXT \\SIX\\Y.TXT", 752}, {"MD \\BIG\\ONE", 735}, {"COPYHD2SYS S.BIN \\BIG\\ONE", 735},
           {"DUMPC 1", 727}, {"ERROR 99999999999", 727}, {"ERRORLEVEL 99999999999", 727},
           {"IF 99999999999 EQ 1215752191 DEL KEEP.TXT", 748}, {"CALL D", 1}}) {
    EXPECT_EQ(s.Run(line), code) << line;
  }
  EXPECT_TRUE(InUse(Partition()) == before);
  // The disk as a local file is refused by what it is, under any name; a log is never written through a link.
  auto host = CreateHostLocalFiles();
  const std::string disk = tmp_ / "disk.img", link = tmp_ / "disk.lnk";
  WriteFile(disk, "disk");
  std::filesystem::create_hard_link(disk, tmp_ / "other.img");
  std::filesystem::create_symlink(disk, link);
  ProtectedLocalFiles guarded(*host, {disk});
  std::uint32_t error = 0;
  for (const std::string& name : {disk, tmp_ / "other.img", link}) {
    EXPECT_TRUE(guarded.Open(name, LocalOpenMode::write, error) == nullptr && guarded.Remove(name) != 0) << name;
  }
  EXPECT_NE(guarded.Open(disk, LocalOpenMode::read, error), nullptr);
  EXPECT_EQ(host->Open(link, LocalOpenMode::append_log, error), nullptr);
  EXPECT_EQ(ReadFile(disk), "disk");
}

}  // namespace
}  // namespace partshell::testing
