// torbel's command line parser, variable expansion and batch interpreter: the whole
// program run from its command line, on the scripted console and a disk in memory.
//
// The input is text. Its first line is the program's command line (words split at
// blanks). Then sections, each started by a line "#> NAME": "#> KEYS" is typed at the
// prompt, "#> ENV" holds the process environment (NAME=value lines), "#> FAIL" fails
// local-file calls (lines "<call> <n> <error>": the n-th call of that kind from the
// start of the run fails with that system error; calls are open, read, write, rewind,
// close, status, remove, set_time, read_directory), and any other name is a local
// file (a batch file such as A.F16 or AUTOLOAD.F16, or a file to copy) in the empty
// current directory each input starts in. For example:
//   /UP CALL MAIN
//   #> MAIN.F16
//   @ECHO OFF
//   IF NOT EXIST \DIAGS\*.* MD \DIAGS
//
// The local files are held in memory (emulated_local_files.h): whatever paths the
// commands name, nothing outside the process is read or written.
//
// Faults it stops at: the program meets a fatal condition (an invalid cluster, a write
// beyond the partition, an unaligned buffer) and ends the process, the disk is written
// outside the utility partition or before the mount, a run outlives its time (the
// watchdog below stops batch loops the way a closed console window does, so only a
// shell that ignores that is reported as a hang), and whatever the sanitizers catch.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "emulated_local_files.h"
#include "memory_disk.h"
#include "partshell/fat16_engine.h"
#include "partshell/frame_services.h"
#include "partshell/host_services.h"
#include "partshell/mounted_volume.h"
#include "partshell/shell.h"
#include "partshell/startup.h"
#include "partshell/volume_partition.h"
#include "scripted_console.h"

namespace {

using namespace partshell;
using partshell::test::ScriptedConsole;
using partshell::testing::EmulatedLocalFiles;
using partshell::testing::LocalCall;
using partshell::testing::MemoryDisk;
using partshell::testing::MemoryDiskSystem;
using partshell::testing::UtilityDiskLayout;

constexpr auto kRunTime = std::chrono::milliseconds(300);

[[noreturn]] void EndProcess(int exit_code) {
  std::fprintf(stderr, "torbel_shell: the program ended the process with %d\n", exit_code);
  std::abort();
}

class NoOtherInstance : public InstanceLock {
 public:
  bool HeldElsewhere(const std::string&) override { return false; }
  bool Acquire(const std::string&) override { return true; }
};

class NoEvents : public ControlEvents {
 public:
  void InstallCloseHandler(void (*)(ControlEvent)) override {}
  void InstallInterruptHandler(void (*)(ControlEvent)) override {}
  void RemoveHandlers() override {}
};

// The utility partition opens for writing only once it is mounted.
class GuardedPartition : public VolumePartition {
 public:
  GuardedPartition(MountedVolume& volume, Fat16Engine& engine, MemoryDisk& disk, const UtilityDiskLayout& layout)
      : VolumePartition(volume, engine), disk_(disk), layout_(layout) {}
  int Mount(const MountRequest& request) override {
    disk_.AllowNoWrites();
    const int result = VolumePartition::Mount(request);
    if (result == 0 && Mounted() && PartitionType() == kUtilityPartitionType) {
      disk_.AllowWrites(layout_.partition_start, layout_.partition_start + layout_.partition_sectors - 1);
    }
    return result;
  }
  void Close() override {
    VolumePartition::Close();
    disk_.AllowNoWrites();
  }

 private:
  MemoryDisk& disk_;
  UtilityDiskLayout layout_;
};

struct Rig {
  UtilityDiskLayout layout;
  MemoryDisk disk{layout.disk_sectors};
  EmulatedLocalFiles files;
};

Rig& TheRig() {
  static Rig* rig = new Rig;
  return *rig;
}

// Stops a run that outlives its time the way a closed console window would.
std::atomic<long long> g_deadline{0};

void Watch() {
  for (;;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const long long deadline = g_deadline.load();
    const long long now = std::chrono::steady_clock::now().time_since_epoch().count();
    if (deadline != 0 && now > deadline) Shell::StopCodeCell().store(PROGRAM_CLOSE_EVENT);
  }
}

// The disk every input starts from: a formatted utility partition holding a few
// files and directories, made by torbel's own engine.
void PrepareDisk(Rig& rig) {
  rig.disk.Place(0, partshell::testing::FormatUtilityDisk(rig.layout));
  rig.disk.AllowWrites(rig.layout.partition_start, rig.layout.partition_start + rig.layout.partition_sectors - 1);
  MemoryDiskSystem disks(rig.disk);
  StdoutEngineServices quiet;
  MountedVolume volume(disks, quiet);
  MountRequest request;
  request.wanted_index = -1;
  request.wanted_type = kUtilityPartitionType;
  if (volume.MountPartition(request) != 0) std::abort();
  Fat16Engine engine(volume, rig.files);
  std::string message;
  std::uint32_t size = 0;
  rig.files.PutFile("readme.txt", "read me\r\nsecond line\r\n");
  rig.files.PutFile("big.bin", std::string(5000, 'b'));
  if (engine.MakeDirectory("DIAGS", message) != 0 || engine.MakeDirectory("DIAGS\\SUB", message) != 0 ||
      engine.CopyFileFromLocalHDToFAT16("readme.txt", "README.TXT", message, size) != 0 ||
      engine.CopyFileFromLocalHDToFAT16("big.bin", "DIAGS\\BIG.BIN", message, size) != 0) {
    std::abort();
  }
  volume.CloseHardDrive();
  rig.disk.Place(0, rig.disk.Image(rig.layout.disk_sectors));
  rig.disk.Reset();
  rig.disk.AllowNoWrites();
}

// "read 3 5": the call kind of a FAIL line; false for a name that is none.
bool CallKind(const std::string& name, LocalCall& kind) {
  static constexpr const char* kNames[] = {"open",   "read",   "write",    "rewind",        "close",
                                           "status", "remove", "set_time", "read_directory"};
  for (std::size_t i = 0; i < partshell::testing::kLocalCallKinds; ++i) {
    if (name == kNames[i]) {
      kind = static_cast<LocalCall>(i);
      return true;
    }
  }
  return false;
}

struct Script {
  std::vector<std::string> words;
  std::string keys;
  std::vector<std::string> environment;
};

// A section name as a local file name: letters, digits, '.', '_' and '-' only.
bool LocalName(const std::string& name) {
  if (name.empty() || name.size() > 32 || name[0] == '.') return false;
  for (char c : name) {
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
                    c == '_' || c == '-';
    if (!ok) return false;
  }
  return true;
}

// The non-empty pieces of `text` between separators.
std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> pieces;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t end = text.find(separator, i);
    const std::string piece = text.substr(i, end == std::string::npos ? std::string::npos : end - i);
    if (!piece.empty()) pieces.push_back(piece);
    if (end == std::string::npos) break;
    i = end + 1;
  }
  return pieces;
}

Script ReadScript(const std::string& text, EmulatedLocalFiles& files) {
  Script script;
  std::size_t at = text.find('\n');
  script.words = Split(text.substr(0, at), ' ');
  std::string section;
  std::string body;
  auto finish = [&] {
    if (section == "KEYS") {
      script.keys += body;
    } else if (section == "ENV") {
      for (const std::string& line : Split(body, '\n')) script.environment.push_back(line);
    } else if (section == "FAIL") {
      for (const std::string& line : Split(body, '\n')) {
        const std::vector<std::string> words = Split(line, ' ');
        LocalCall kind{};
        if (words.size() != 3 || !CallKind(words[0], kind)) continue;
        files.FailCall(kind, std::strtoul(words[1].c_str(), nullptr, 10),
                       static_cast<std::uint32_t>(std::strtoul(words[2].c_str(), nullptr, 10)));
      }
    } else if (LocalName(section)) {
      files.PutFile(section, body);
    }
    body.clear();
  };
  while (at != std::string::npos) {
    const std::size_t end = text.find('\n', at + 1);
    const std::string line = text.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1);
    if (line.rfind("#> ", 0) == 0) {
      finish();
      section = line.substr(3);
    } else {
      body += line + "\n";
    }
    at = end;
  }
  finish();
  return script;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  PrepareDisk(TheRig());
  std::thread(Watch).detach();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Rig& rig = TheRig();
  // Each input starts from an empty current directory and no failures.
  rig.files = EmulatedLocalFiles();
  const Script script = ReadScript(std::string(reinterpret_cast<const char*>(data), size), rig.files);
  rig.disk.Reset();
  rig.disk.on_forbidden_write = [](std::uint32_t sector) {
    std::fprintf(stderr, "torbel_shell: a write to sector %u, outside the mounted utility partition\n",
                 static_cast<unsigned>(sector));
    std::abort();
  };

  ScriptedConsole console(script.keys);
  NoOtherInstance lock;
  NoEvents events;
  MemoryDiskSystem disks(rig.disk);
  FrameEngineServices services;
  MountedVolume volume(disks, services);
  Fat16Engine engine(volume, rig.files);
  GuardedPartition partition(volume, engine, rig.disk, rig.layout);
  HostServices host{console, lock, events, partition, rig.files};
  host.endProcess = EndProcess;
  host.volume = &volume;
  host.engine = &engine;
  host.processEnvironment = script.environment;
  host.operatingSystem = "Linux (fuzzing)";

  g_deadline.store((std::chrono::steady_clock::now() + kRunTime).time_since_epoch().count());
  RunTorbel(script.words, host);
  g_deadline.store(0);
  Shell::StopCodeCell().store(0);
  return 0;
}
