// Every write of torbel's write commands, of a batch and of the sample package's update
// as a power cut and as a single failed write, on a disk in memory: the next mount
// settles the volume, the FAT copies agree, fsck.fat -n finds lost clusters at most, a
// replaced file is old or new, no write leaves the partition. And what torbel refuses.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
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
  Session(MemoryDisk& disk, EmulatedLocalFiles& files, Faults* faults = nullptr)
      : f(faults ? *faults : none), disks(disk, f), volume(disks, out), engine(volume, files), partition(volume, engine),
        shell(console, partition, files), files(files) {
    mount = volume.MountPartition(MountedDisk::UpRequest());
    shell.AttachVolume(&volume, &engine);
  }
  int Run(std::string line) {
    shell.ParseCommandLine(line, 256);
    shell.DispatchCommand(nullptr);
    return shell.ErrorLevel();
  }
  std::string Read(const std::string& path) {
    std::string message, data(100000, '\0');
    std::uint32_t size = 0, error = 0;
    if (engine.CopyFileFromFAT16ToLocalHD(path, "/work/read.out", message, size) != 0) return "<missing>";
    const auto file = files.Open("/work/read.out", LocalOpenMode::read, error);
    if (!file) return "<unreadable>";
    data.resize(file->Read(data.data(), data.size()).bytes);
    return data;
  }
  Faults none;
  Faults& f;
  FaultyDisks disks;
  CapturingServices out;
  MountedVolume volume;
  Fat16Engine engine;
  VolumePartition partition;
  partshell::test::ScriptedConsole console;
  Shell shell;
  EmulatedLocalFiles& files;
  int mount;
};

const UtilityDiskLayout kLayout{8192, 63, 8000, 1, 512};
const std::string kOld = Pattern(40000, 11), kNew = Pattern(70000, 12);

class PowerCut : public ::testing::Test {
 protected:
  void SetUp() override {
    ShellEnvironment().Free();
    ShellEnvironment().Init({"PATH=/bin"});
    log_.SetPath("/work/session.log");
    InstallOutput(&console_, &log_);
    disk_.Place(0, FormatUtilityDisk(kLayout));
    disk_.AllowWrites(kLayout.partition_start, kLayout.partition_start + kLayout.partition_sectors - 1);
    disk_.on_forbidden_write = [this](std::uint32_t) { ++forbidden_writes_; };
    for (const auto& [name, content] : std::map<std::string, std::string>{
             {"NEW.BIN", kNew}, {"OLD.BIN", kOld}, {"EMPTY.BIN", ""}, {"SMALL.BIN", Pattern(100, 3)}, {"ONE.BIN", "1"},
             {"F.BIN", Pattern(700, 4)}, {"JOB.F16", "DEL \\KEEP.TXT\nMD \\NEWDIR\nCOPYHD2SYS NEW.BIN \\T.BIN\n"
                                                     "REN \\SIX\\F1.BIN G1.BIN\nCOPYHD2SYS SMALL.BIN \\NEWDIR\\S.BIN\n"}}) {
      files_.PutFile(name, content);
    }
    Session s(disk_, files_);
    std::vector<std::string> lines = {"MD \\DIAGS", "MD \\ORVOUP", "MD \\SIX", "MD \\FULL", "MD \\EMPTYDIR",
                                      "COPYHD2SYS F.BIN \\KEEP.TXT", "COPYHD2SYS OLD.BIN \\T.BIN",
                                      "COPYHD2SYS F.BIN \\DIAGS\\OLDDIAG.EXE", "COPYHD2SYS SMALL.BIN \\ORVOUP\\TEMP.DAT"};
    for (int i = 1; i <= 6; ++i) lines.push_back("COPYHD2SYS F.BIN \\SIX\\F" + std::to_string(i) + ".BIN");
    // "." and ".." and 14 files fill the one sector of \FULL's cluster.
    for (int i = 1; i <= 14; ++i) lines.push_back("COPYHD2SYS ONE.BIN \\FULL\\E" + std::to_string(i));
    for (const std::string& line : lines) ASSERT_EQ(s.Run(line), 0) << line << console_.output;
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
  // fsck.fat -n finds lost clusters at most. It reads all of a volume but its free
  // clusters: volumes alike but for those are checked once.
  void ExpectFsckFindsLostClustersAtMost(const std::string& part, const std::string& where) {
    if (!checked_.insert(std::hash<std::string>{}(InUse(part))).second) return;
    std::ofstream(tmp_ / "part.img", std::ios::binary) << part;
    std::string report;
    bool only_lost = RunTool("fsck.fat -n '" + (tmp_ / "part.img") + "'", &report) <= 1;
    std::istringstream lines(report);
    for (std::string l; only_lost && std::getline(lines, l);) {
      only_lost = l.empty() || l.rfind("fsck.fat ", 0) == 0 || l.find(" files, ") != std::string::npos ||
                  l.rfind("Reclaimed ", 0) == 0 || l == "Leaving filesystem unchanged.";
    }
    EXPECT_TRUE(only_lost) << where << ":\n" << report;
  }

  // Runs `run` once to count its writes, then with each write as a cut and as a single
  // failure, each time from the same disk; `after` looks at what the next mount left.
  void Sweep(const std::function<bool(Faults&)>& run, const std::function<void(Session&)>& after,
             bool each_fault_fails_the_run) {
    disk_.Reset();
    Faults probe;
    ASSERT_FALSE(run(probe)) << "the run fails without a fault";
    ASSERT_GT(probe.writes, 3);
    for (const bool once : {false, true}) {
      for (long k = 0; k < probe.writes; ++k) {
        disk_.Reset();
        Faults faults{k, once};
        const bool failed = run(faults);
        const std::string where = (once ? "failed write " : "cut at write ") + std::to_string(k);
        EXPECT_TRUE(failed || !each_fault_fails_the_run) << where << " went unnoticed";
        const bool apart = !FatCopiesEqual(Partition());
        {
          Session next(disk_, files_);
          ASSERT_EQ(next.mount, 0) << where << "\n" << next.out.printed;
          EXPECT_EQ(next.out.traced.find("] Interrupted Change: FAT Table ") != std::string::npos, apart) << where;
          if (after) after(next);
        }
        EXPECT_EQ(forbidden_writes_, 0u) << where;
        const std::string& part = Partition();
        EXPECT_TRUE(FatCopiesEqual(part)) << where;
        ExpectFsckFindsLostClustersAtMost(part, where);
      }
    }
  }
  void SweepLine(const std::string& line, const std::function<void(Session&)>& after = {}) {
    Sweep([&](Faults& f) { return Session(disk_, files_, &f).Run(line) != 0; }, after, true);
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

void OldOrNew(Session& s) {
  const std::string seen = s.Read("T.BIN");
  EXPECT_TRUE(seen == kOld || seen == kNew) << "T.BIN holds " << seen.size() << " bytes of neither";
}

TEST_F(PowerCut, CopiesInAndAReplacedFileIsOldOrNew) {
  const auto old_or_new = OldOrNew;
  SweepLine("COPYHD2SYS NEW.BIN \\T.BIN", old_or_new);
  for (const char* line : {"COPYHD2SYS NEW.BIN \\NEW.BIN", "COPYHD2SYS EMPTY.BIN \\EMPTY.BIN"}) SweepLine(line);
}

TEST_F(PowerCut, SmallWriteCommandsAndABatch) {
  for (const char* line : {"COPYHD2SYS SMALL.BIN \\FULL\\X.BIN", "DEL \\KEEP.TXT", "DEL \\SIX\\F?.BIN", "MD \\NEWDIR",
                           "RD \\EMPTYDIR", "REN \\KEEP.TXT RENAMED.TXT"}) {
    SweepLine(line);
  }
  Sweep([&](Faults& f) { return Session(disk_, files_, &f).Run("CALL JOB") != 0; }, OldOrNew, false);
}

// The sample package's update as the front end runs it: [UP_DELETE] as DEL (T lines in
// \DIAGS\, R lines from the root), then [UP_COPY] as COPYHD2SYS, one torbel run each,
// a failed run tried up to four times, a cut ending it. The next update then runs through.
TEST_F(PowerCut, TheSamplePackageUpdateLeavesAPartitionTheNextUpdateWorksOn) {
  std::vector<std::string> commands;
  std::vector<std::pair<std::string, std::string>> copies;  // partition file, contents
  std::ifstream config(std::filesystem::path(SOURCE_DIR) / "examples/package/DD.CFG");
  std::string section;
  for (std::string line; std::getline(config, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] == '[') section = line;
    if (line.empty() || line[0] == '[' || line[0] == '#') continue;
    if (section == "[UP_DELETE]") commands.push_back("DEL " + std::string(line[0] == 'T' ? "\\DIAGS\\" : "") + line.substr(2));
    if (section != "[UP_COPY]") continue;
    // The package's programs come from its build; they are stood in for here.
    const std::string file = line.substr(6, line.find(' ') - 6);
    files_.PutFile(file, Pattern(4000 + 3000 * copies.size(), 20));
    copies.emplace_back(line.substr(line.find(' ') + 1) + "\\" + file, Pattern(4000 + 3000 * copies.size(), 20));
    commands.push_back("COPYHD2SYS " + line.substr(6));
  }
  ASSERT_EQ(commands.size(), 6u);
  const auto update = [&](Faults& f) {
    bool failed = false;
    for (const std::string& command : commands) {
      int level = -1;
      for (int run = 0; run < 4 && level != 0 && !f.cut; ++run) {
        Session s(disk_, files_, &f);
        level = s.mount != 0 ? s.mount : s.Run(command);
      }
      // A deletion that fails is no error to the update: the file may be gone.
      failed = failed || f.cut || (level != 0 && command.rfind("DEL ", 0) != 0);
    }
    return failed;
  };
  Sweep(update, [&](Session& s) {
    s.volume.CloseHardDrive();
    Faults none;
    EXPECT_FALSE(update(none)) << "the next update fails";
    Session after(disk_, files_);
    for (const auto& [target, content] : copies) EXPECT_EQ(after.Read(target), content) << target;
  }, false);
}

// What torbel refuses, each with its code and the partition unchanged.
TEST_F(PowerCut, Refusals) {
  Session s(disk_, files_);
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
           {"MD \\.", 733}, {"MD A..B", 733}, {"MD A.B.C", 733}, {"MD A\x01B", 733}, {"COPYHD2SYS F.BIN A.B.C", 733},
           {"COPYHD2SYS F.BIN X\x1F.BIN", 733}, {"COPYSYS2SYS KEEP.TXT A..B", 733}, {"REN KEEP.TXT A.B.C", 733},
           {"REN \\KEEP.TXT \\SIX\\Y.TXT", 752}, {"MD \\BIG\\ONE", 735}, {"COPYHD2SYS ONE.BIN \\BIG\\ONE", 735},
           {"DUMPC 1", 727}, {"ERROR 99999999999", 727}, {"CALL D", 1}}) {
    EXPECT_EQ(s.Run(line), code) << line;
  }
  EXPECT_TRUE(InUse(Partition()) == before);
  // The disk as a local file: refused by what it is, under any name.
  auto host = CreateHostLocalFiles();
  const std::string disk = tmp_ / "disk.img", link = tmp_ / "disk.lnk";
  WriteFile(disk, "disk");
  std::filesystem::create_hard_link(disk, tmp_ / "other.img");
  std::filesystem::create_symlink(disk, link);
  ProtectedLocalFiles guarded(*host, {disk});
  std::uint32_t error = 0;
  for (const std::string& name : {disk, tmp_ / "other.img", link}) {
    EXPECT_EQ(guarded.Open(name, LocalOpenMode::write, error), nullptr) << name;
    EXPECT_NE(guarded.Remove(name), 0u) << name;
  }
  EXPECT_NE(guarded.Open(disk, LocalOpenMode::read, error), nullptr);
  // A log that is a symbolic link is not written through it.
  EXPECT_EQ(host->Open(link, LocalOpenMode::append_log, error), nullptr);
  EXPECT_EQ(ReadFile(disk), "disk");
}

}  // namespace
}  // namespace partshell::testing
