// The program's frame: switches, start-up, the run and the shut-down.
#pragma once

#include <string>
#include <vector>

#include "partshell/console.h"
#include "partshell/error_codes.h"
#include "partshell/host_services.h"
#include "partshell/partition_access.h"

namespace partshell {

class MountedVolume;
class Fat16Engine;


struct SwitchSettings {
  MountRequest mount;
  bool showMbr = false;
  bool help = false;
  bool helpAll = false;
  bool usageOnly = false;     // "?", "-?" or "/?"
  std::string error;          // a malformed /T or /P
  std::string commandLine;    // the words after the switches, joined
  bool interactive = false;
};

// Reads the switches from the program's words (without the program name).
SwitchSettings ParseSwitches(const std::vector<std::string>& words);
void PrintUsage(const std::string& error);

struct HostServices {
  Console& console;
  InstanceLock& lock;
  ControlEvents& events;
  PartitionAccess& partition;
  MountedVolume* volume = nullptr;  // handed to the command handlers
  Fat16Engine* engine = nullptr;
  std::vector<std::string> processEnvironment;  // NAME=value texts
  std::string operatingSystem;                  // empty: too old to run
};

// Runs the whole program and returns its exit code.
int RunTorbel(const std::vector<std::string>& words, HostServices& host);

}  // namespace partshell
