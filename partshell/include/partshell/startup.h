// The program's frame: switches, start-up, the run and the shut-down.
#pragma once

#include <string>
#include <vector>

#include "partshell/console.h"
#include "partshell/error_codes.h"
#include "partshell/host_services.h"
#include "partshell/local_files.h"
#include "partshell/partition_access.h"
#include "partshell/shell.h"

namespace partshell {

class MountedVolume;
class Fat16Engine;

struct SwitchSettings {
  MountRequest mount;  // with /MBR (show_mbr_only) and whether the run is interactive
  bool help = false;
  bool helpAll = false;
  bool usageOnly = false;     // "?", "-?" or "/?"
  std::string error;          // a malformed /T or /P
  std::string commandLine;    // the words after the switches, joined
  // The same words, set only when a parameter holds a blank (a quoted local
  // name): each of them is then one token.
  std::vector<std::string> commandWords;
  bool commandLineTooLong = false;  // they are more than 255 characters: none of it runs
};

// Reads the switches from the program's words (without the program name).
SwitchSettings ParseSwitches(const std::vector<std::string>& words);
void PrintUsage(const std::string& error);

struct HostServices {
  Console& console;
  InstanceLock& lock;
  ControlEvents& events;
  PartitionAccess& partition;
  LocalFiles& localFiles;
  MountedVolume* volume = nullptr;  // handed to the command handlers
  Fat16Engine* engine = nullptr;
  ProcessEnd endProcess = nullptr;  // std::exit unless set
  std::vector<std::string> processEnvironment;  // NAME=value texts
  std::string operatingSystem;                  // empty: too old to run
};

// The version display shown at start-up, in the usage text and by VERSION.
void PrintVersionDisplay();
// The same and the version of the kit torbel ships in (--version).
void PrintVersionWithKit();
void SetOperatingSystemText(std::string text);

// Runs the whole program and returns its exit code.
int RunTorbel(const std::vector<std::string>& words, HostServices& host);

}  // namespace partshell
