#include "partshell/startup.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "partshell/command_parser.h"
#include "partshell/command_table.h"
#include "partshell/frame_services.h"
#include "partshell/shell.h"

namespace partshell {
namespace {

constexpr const char* kMutexName = "TORBEL_MUTEX";
constexpr std::size_t kCommandLineMax = 255;
constexpr std::size_t kLogPathMax = 255;

constexpr const char* kUsageLines =
    "torbel [torbel_parm] [torbel_command]\n\n"
    "  Allows reading/writing of unmounted FAT16 partitions.\n"
    "    torbel_parm (only one allowed):\n"
    "      /HVP - Force using the HVP (this is the default).\n"
    "      /UP - Force using the UP (defaults to the HVP).\n"
    "      /T## - Force using the partition that is type ##.\n"
    "            NOTE: ## is in HEX (i.e. DF is the HVP).\n"
    "      /P# - Force using the #'th partition (HVP is 0).\n"
    "      /MBR - Show the MBR and return to the OS prompt.\n"
    "      /HELP - Show the 1-line Help for ALL commands and\n"
    "          return to the OS prompt.\n"
    "      /HELPALL - Show the extended Help for ALL commands \n"
    "          and return to the OS prompt.\n"
    "    torbel_command:\n"
    "      Internal command to execute on the mounted device.\n"
    "      Use 'torbel HELP' for command help.\n\n";

Console* g_activeConsole = nullptr;

// Runs on the host's event thread or in a signal handler: it only stores a
// code or pushes a key.
void OnControlEvent(ControlEvent event) {
  switch (event) {
    case ControlEvent::kClose:
      Shell::StopCodeCell().store(kProgramCloseEvent);
      break;
    case ControlEvent::kLogoff:
      Shell::StopCodeCell().store(kProgramLogoffEvent);
      break;
    case ControlEvent::kShutdown:
      Shell::StopCodeCell().store(kProgramShutdownEvent);
      break;
    case ControlEvent::kInterrupt:
      if (g_activeConsole != nullptr) g_activeConsole->PushKey(3);
      break;
  }
}

bool StartsWith(const std::string& upper, const char* prefix) { return upper.rfind(prefix, 0) == 0; }

std::string LogPathFromEnvironment(const std::vector<std::string>& env, bool& found) {
  found = false;
  for (const std::string& entry : env) {
    std::size_t eq = entry.find('=');
    if (eq == std::string::npos || UpperCase(entry.substr(0, eq)) != "LOGALL") continue;
    found = true;
    std::string value = entry.substr(eq + 1, kLogPathMax);
#ifndef _WIN32
    // The null device has its Windows name in the callers' scripts.
    if (EqualNoCase(value, "NUL")) value = "/dev/null";
#endif
    return value;
  }
  return {};
}

}  // namespace

SwitchSettings ParseSwitches(const std::vector<std::string>& words) {
  SwitchSettings s;
  if (!words.empty()) {
    const std::string& first = words[0];
    if ((!first.empty() && first[0] == '?') || first == "-?" || first == "/?") {
      s.usageOnly = true;
      return s;
    }
  }
  std::size_t counted = 0;
  bool endWalk = false;
  for (std::size_t i = 0; i < words.size() && !endWalk; ++i) {
    if (words[i].empty() || words[i][0] != '/') break;
    const std::string w = UpperCase(words[i]);
    if (w == "/NOWRITEMBR") {
      s.mount.noWriteMbr = true;
      ++counted;
    }
    if (w == "/HVP") {
      s.mount.wantedIndex = 0;
      s.mount.wantedType = 0;
      ++counted;
    }
    if (w == "/UP") {
      s.mount.wantedIndex = -1;
      s.mount.wantedType = 0xDE;
      ++counted;
    }
    if (StartsWith(w, "/T")) {
      std::string digits = w.substr(2, 2);
      unsigned long type = std::strtoul(digits.c_str(), nullptr, 16);
      if (type == 0) {
        s.error = "Malformed /T switch detected";
        return s;
      }
      s.mount.wantedIndex = -1;
      s.mount.wantedType = static_cast<std::uint8_t>(type);
      ++counted;
    }
    if (StartsWith(w, "/P")) {
      if (w.size() != 3 || w[2] < '0' || w[2] > '4') {
        s.error = "Malformed /P switch detected";
        return s;
      }
      s.mount.wantedIndex = w[2] - '0';
      s.mount.wantedType = 0;
      ++counted;
    }
    if (StartsWith(w, "/MBR")) {
      s.showMbr = true;
      endWalk = true;
    }
    if (w == "/HELP") {
      s.help = true;
      endWalk = true;
    }
    if (w == "/HELPALL") {
      s.helpAll = true;
      endWalk = true;
    }
  }
  // An unknown switch is not counted, so the command line starts early and
  // carries it (where it fails as an unknown command).
  for (std::size_t i = counted; i < words.size(); ++i) {
    if (!s.commandLine.empty()) s.commandLine += ' ';
    s.commandLine += words[i];
  }
  s.commandLine = s.commandLine.substr(0, kCommandLineMax);
  s.interactive = counted >= words.size() && !s.showMbr && !s.help && !s.helpAll;
  s.mount.showMbrOnly = s.showMbr;
  s.mount.interactive = s.interactive;
  return s;
}

void PrintUsage(const std::string& error) {
  PrintVersionDisplay();
  if (!error.empty()) ShellWrite("\nERROR: " + error + "\n");
  ShellWrite("\n");
  ShellWrite(kUsageLines);
}

int RunTorbel(const std::vector<std::string>& words, HostServices& host) {
  // 1. The tag file is looked at once, now.
  ResetVerboseTag();
  VerboseMode();

  // 2. Operating system.
  if (host.operatingSystem.empty()) {
    std::fputs("Invalid OS Version. Expected Windows NT4 or Later", stderr);
    return kExitOldOperatingSystem;
  }
  SetOperatingSystemText(host.operatingSystem);

  // 3. Single instance.
  if (host.lock.HeldElsewhere(kMutexName)) {
    std::fputs("\n[TORBEL] *** Previous Instance Detected ***\n"
               "   Error: Another copy of TORBEL is already running.\n\n",
               stderr);
    return kExitAlreadyRunning;
  }

  Shell shell(host.console, host.partition);
  SessionLog log;
  // Output goes to the console from the start (the usage text); the log
  // joins once its path is known.
  InstallOutput(&host.console, nullptr);
  SetLogAllMode(false);
  g_activeConsole = &host.console;
  SetActiveShell(&shell);
  shell.AttachVolume(host.volume, host.engine);

  // 4-6.
  shell.shellStartTime_ = std::time(nullptr);
  host.lock.Acquire(kMutexName);
  Shell::StopCodeCell().store(0);
  host.events.InstallCloseHandler(OnControlEvent);
  shell.SetErrorLevelQuietly(0);

  // 7. Switches.
  SwitchSettings settings = ParseSwitches(words);
  if (settings.usageOnly || !settings.error.empty()) {
    PrintUsage(settings.error);
    host.events.RemoveHandlers();
    g_activeConsole = nullptr;
    SetActiveShell(nullptr);
    return kExitBadSwitch;
  }

  // 8. Console.
  host.console.Setup();
  InstallOutput(&host.console, &log);

  // 9. Session log.
  bool logAll = false;
  std::string logPath = LogPathFromEnvironment(host.processEnvironment, logAll);
  log.SetPath(logAll ? logPath : DefaultLogPath());
  SetLogAllMode(logAll);

  // 10. Banner.
  if (settings.interactive) {
    PrintVersionDisplay();
    ShellPrint("LOGALL:    %s, FILE: %s\n", logAll ? "ENABLED" : "DISABLED", log.Path().c_str());
    ShellPrint("HELP?:     Enter 'help' for program usage\n");
  }

  // 11-12.
  ShellEnvironment().Init(host.processEnvironment);
  host.events.InstallInterruptHandler(OnControlEvent);

  if (settings.help || settings.helpAll) {
    // 13. Help only.
    shell.ShowHelp(nullptr, settings.helpAll);
  } else {
    // 14. Mount.
    int mountResult = host.partition.Mount(settings.mount);
    shell.SetErrorLevelQuietly(mountResult);
    if (mountResult == 0 && !settings.showMbr && host.partition.Mounted()) {
      // 15. Auto-load, then the one command or the prompt.
      std::error_code ec;
      if (std::filesystem::is_regular_file("AUTOLOAD.F16", ec)) shell.RunBatchFile(nullptr, "AUTOLOAD.F16");
      std::string line = settings.commandLine;
      shell.ParseCommandLine(line, 256);
      shell.DispatchCommand(nullptr);
      if (settings.interactive || shell.StopCode() != 0 || shell.interactiveMark_) ShellPrint("[torbel] Program Exit!");
    }
    // 16.
    host.partition.Close();
  }

  // 17. Shut-down.
  ShellEnvironment().Free();
  host.events.RemoveHandlers();
  host.console.Restore();
  int errorLevel = shell.ErrorLevel();
  if (shell.StopCode() != 0) errorLevel = shell.StopCode();
  if (errorLevel != 0) {
    TraceLog("", "%s", "");
    TraceLog("main()", "Exiting With Non-Zero\n  Error Level: %d - %s\n  Last Command: %s\n  %s\n", errorLevel,
             host.partition.ErrorText(errorLevel).c_str(), shell.LastCommandLine().c_str(),
             shell.LastMessage().c_str());
  }
  InstallOutput(nullptr, nullptr);
  g_activeConsole = nullptr;
  SetActiveShell(nullptr);
  return errorLevel;
}

}  // namespace partshell
