// torbel's command line parser, variable expansion and batch interpreter: the whole
// program run from its command line, on the scripted console and a disk in memory.
//
// The input is text. Its first line is the program's command line (words split at
// blanks). Then sections, each started by a line "#> NAME": "#> KEYS" is typed at the
// prompt, "#> ENV" holds the process environment (NAME=value lines), and any other
// name is a local file (a batch file such as A.F16 or AUTOLOAD.F16, or a file to copy)
// written into the empty folder each input starts in. For example:
//   /UP CALL MAIN
//   #> MAIN.F16
//   @ECHO OFF
//   IF NOT EXIST \DIAGS\*.* MD \DIAGS
//
// Faults it stops at: the program ends the process itself (an invalid cluster, a write
// beyond the partition), the disk is written outside the utility partition or before
// the mount, a run outlives its time (the watchdog below stops batch loops the way a
// closed console window does, so only a shell that ignores that is reported as a hang),
// and whatever the sanitizers catch. Local files can only be written in the sandbox
// (local_file_sandbox.h).
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "local_file_sandbox.h"
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
using partshell::testing::MemoryDisk;
using partshell::testing::MemoryDiskSystem;
using partshell::testing::UtilityDiskLayout;

constexpr auto kRunTime = std::chrono::milliseconds(300);

class FuzzServices : public FrameShellServices {
 public:
  [[noreturn]] void EndProcess(int exit_code) override {
    std::fprintf(stderr, "torbel_shell: the program ended the process with %d\n", exit_code);
    std::abort();
  }
};

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
    if (deadline != 0 && now > deadline) Shell::StopCodeCell().store(kProgramCloseEvent);
  }
}

// The disk every input starts from: a formatted utility partition holding a few
// files and directories, made by torbel's own engine.
void PrepareDisk(Rig& rig) {
  rig.disk.Place(0, partshell::testing::FormatUtilityDisk(rig.layout));
  rig.disk.AllowWrites(rig.layout.partition_start, rig.layout.partition_start + rig.layout.partition_sectors - 1);
  MemoryDiskSystem disks(rig.disk);
  StdoutShellServices quiet;
  MountedVolume volume(disks, quiet);
  MountOptions options;
  options.wanted_index = -1;
  options.wanted_type = kUtilityPartitionType;
  if (volume.MountPartition(options) != 0) std::abort();
  Fat16Engine engine(volume);
  std::string message;
  std::uint32_t size = 0;
  std::ofstream("readme.txt", std::ios::binary) << "read me\r\nsecond line\r\n";
  std::ofstream("big.bin", std::ios::binary) << std::string(5000, 'b');
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

Script ReadScript(const std::string& text) {
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
    } else if (LocalName(section)) {
      std::ofstream(section, std::ios::binary) << body;
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

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  torbel_fuzz::EnterLocalFileSandbox(argc, argv);
  PrepareDisk(TheRig());
  std::thread(Watch).detach();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  torbel_fuzz::FreshWorkFolder();
  const Script script = ReadScript(std::string(reinterpret_cast<const char*>(data), size));
  Rig& rig = TheRig();
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
  FuzzServices services;
  MountedVolume volume(disks, services);
  Fat16Engine engine(volume);
  GuardedPartition partition(volume, engine, rig.disk, rig.layout);
  HostServices host{console, lock, events, partition};
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
