#include "partshell/startup.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "common/text.h"
#include "partshell/command_parser.h"
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

// --help: a line for every switch, the environment and the files torbel reads.
constexpr const char* kHelpLines =
    "torbel [switch ...] [command [parameter ...]]\n\n"
    "  Reads and writes the hidden FAT16 partition of a disk by raw sector access.\n"
    "  Switches (before the command):\n"
    "    /UP          mount the utility partition: the first entry of type DE\n"
    "    /HVP         mount partition entry 0, the HVP (the default)\n"
    "    /T##         mount the first partition of type ## (hex: /TDE is /UP)\n"
    "    /P#          mount partition entry # (0 to 4)\n"
    "    /NOWRITEMBR  refuse every write to the MBR and its backup copies\n"
    "    /MBR         show the master boot record and end\n"
    "    /HELP        show the one-line help of every command and end\n"
    "    /HELPALL     show the extended help of every command and end\n"
    "    /?           show the short usage and end (exit code 1)\n"
    "    --help       show this text; --version: torbel's version and the kit's\n"
    "  Command: one shell command on the mounted partition (DIR, COPYHD2SYS ...);\n"
    "    without one torbel prompts for commands. A last word -VERBOSE runs the\n"
    "    command verbosely. HELP [command], ERROR n and SHOWERRORS need no disk.\n"
    "  Environment:\n"
    "    TORBEL_DISK  an image file or device that stands as drive 0; no other\n"
    "                 drive is scanned\n"
    "    LOGALL       a file that takes all output (NUL: none); unset, torbel.log\n"
    "                 in the current directory takes trace lines only\n"
    "  Files: torbel.dbg (present: verbose mode), AUTOLOAD.F16 (run first).\n"
    "  Exit status: the last command's error level; a POSIX shell sees its low\n"
    "    8 bits (726 arrives as 214), and torbel names the full code on stderr.\n";

Console* g_activeConsole = nullptr;

// Runs on the host's event thread or in a signal handler: it only stores a
// code or pushes a key.
void OnControlEvent(ControlEvent event) {
  switch (event) {
    case ControlEvent::kClose:
      Shell::StopCodeCell().store(PROGRAM_CLOSE_EVENT);
      break;
    case ControlEvent::kLogoff:
      Shell::StopCodeCell().store(PROGRAM_LOGOFF_EVENT);
      break;
    case ControlEvent::kShutdown:
      Shell::StopCodeCell().store(PROGRAM_SHUTDOWN_EVENT);
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
    if (eq == std::string::npos || common::UpperAscii(entry.substr(0, eq)) != "LOGALL") continue;
    found = true;
    std::string value = entry.substr(eq + 1, kLogPathMax);
#ifndef _WIN32
    // The null device has its Windows name in the callers' scripts.
    if (common::EqualsIgnoreCase(value, "NUL")) value = "/dev/null";
#endif
    return value;
  }
  return {};
}

// Commands that read nothing from a disk: HELP, ?, ERROR n and SHOWERRORS.
bool NeedsNoDisk(const std::string& commandLine) {
  TokenList tokens = SplitTokens(commandLine);
  if (tokens.empty()) return false;
  std::string word = common::UpperAscii(tokens[0]);
  if (!word.empty() && word[0] == '@') word.erase(0, 1);
  return word == "HELP" || word == "?" || word == "ERROR" || word == "SHOWERRORS";
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
    const std::string w = common::UpperAscii(words[i]);
    if (w == "/NOWRITEMBR") {
      s.mount.no_mbr_write = true;
      ++counted;
    }
    if (w == "/HVP") {
      s.mount.wanted_index = 0;
      s.mount.wanted_type = 0;
      ++counted;
    }
    if (w == "/UP") {
      s.mount.wanted_index = -1;
      s.mount.wanted_type = 0xDE;
      ++counted;
    }
    if (StartsWith(w, "/T")) {
      std::string digits = w.substr(2, 2);
      unsigned long type = std::strtoul(digits.c_str(), nullptr, 16);
      if (type == 0) {
        s.error = "Malformed /T switch detected";
        return s;
      }
      s.mount.wanted_index = -1;
      s.mount.wanted_type = static_cast<std::uint8_t>(type);
      ++counted;
    }
    if (StartsWith(w, "/P")) {
      if (w.size() != 3 || w[2] < '0' || w[2] > '4') {
        s.error = "Malformed /P switch detected";
        return s;
      }
      s.mount.wanted_index = w[2] - '0';
      s.mount.wanted_type = 0;
      ++counted;
    }
    if (StartsWith(w, "/MBR")) {
      s.mount.show_mbr_only = true;
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
  s.commandLineTooLong = s.commandLine.size() > kCommandLineMax;
  s.commandLine = s.commandLine.substr(0, kCommandLineMax);
  // A command given whole in one word is split as a typed line is.
  const auto blank = [](const std::string& w) { return w.find_first_of(" \t") != std::string::npos; };
  if (counted < words.size() && !blank(words[counted]) && std::any_of(words.begin() + static_cast<std::ptrdiff_t>(counted) + 1, words.end(), blank)) {
    s.commandWords.assign(words.begin() + static_cast<std::ptrdiff_t>(counted), words.end());
  }
  s.mount.interactive = counted >= words.size() && !s.mount.show_mbr_only && !s.help && !s.helpAll;
  return s;
}

void PrintUsage(const std::string& error) {
  PrintVersionDisplay();
  if (!error.empty()) ShellWrite("\nERROR: " + error + "\n");
  ShellWrite("\n");
  ShellWrite(kUsageLines);
}

int RunTorbel(const std::vector<std::string>& words, HostServices& host) {
  // Verbose mode follows the tag file torbel.dbg as it is at start-up; it is not looked at again.
  SetVerboseMode(host.localFiles.Status("torbel.dbg").kind != LocalKind::missing);

  // A system too old to run the shell ends it before anything else happens.
  if (host.operatingSystem.empty()) {
    std::fputs("Invalid OS Version. Expected Windows NT4 or Later", stderr);
    return kExitOldOperatingSystem;
  }
  SetOperatingSystemText(host.operatingSystem);

  // --version and --help answer, end with 0 and touch no disk; they need no lock.
  if (words.size() == 1 && (words[0] == "--version" || words[0] == "--help")) {
    InstallOutput(&host.console, nullptr);
    if (words[0] == "--version") {
      PrintVersionWithKit();
    } else {
      ShellWrite(kHelpLines);
    }
    return 0;
  }

  // Only one shell works on the disks at a time.
  if (host.lock.HeldElsewhere(kMutexName)) {
    std::fputs("\n[TORBEL] *** Previous Instance Detected ***\n"
               "   Error: Another copy of TORBEL is already running.\n\n",
               stderr);
    return kExitAlreadyRunning;
  }

  Shell shell(host.console, host.partition, host.localFiles);
  shell.SetProcessEnd(host.endProcess);
  SessionLog log(host.localFiles);
  // Output goes to the console from the start (the usage text); the log
  // joins once its path is known.
  InstallOutput(&host.console, nullptr);
  SetLogAllMode(false);
  g_activeConsole = &host.console;
  SetActiveShell(&shell);
  shell.AttachVolume(host.volume, host.engine);

  // The run's clock starts, the lock is taken, and close, log-off and shut-down events
  // from now on end the run through the stop code.
  shell.shellStartTime_ = std::time(nullptr);
  host.lock.Acquire(kMutexName);
  Shell::StopCodeCell().store(0);
  host.events.InstallCloseHandler(OnControlEvent);
  shell.SetErrorLevelQuietly(0);

  // A malformed switch, or a request for the usage text, ends the run after the usage.
  SwitchSettings settings = ParseSwitches(words);
  if (settings.usageOnly || !settings.error.empty()) {
    PrintUsage(settings.error);
    host.events.RemoveHandlers();
    g_activeConsole = nullptr;
    SetActiveShell(nullptr);
    return kExitBadSwitch;
  }

  // The console goes into the line editor's mode; output reaches the session log from here.
  host.console.Setup();
  InstallOutput(&host.console, &log);

  // LOGALL in the environment names the log and copies all output there; without it the
  // log in the current directory takes trace lines only.
  bool logAll = false;
  std::string logPath = LogPathFromEnvironment(host.processEnvironment, logAll);
  const std::string chosenLog = logAll ? logPath : DefaultLogPath(host.localFiles);
  if (host.localFiles.IsProtected(chosenLog)) {
    // The log would overwrite a disk: the run ends before anything is written.
    ShellWrite("[torbel] Unable To Create Local Target File: " + chosenLog + " (it is a disk)\n");
    host.events.RemoveHandlers();
    host.console.Restore();
    InstallOutput(nullptr, nullptr);
    g_activeConsole = nullptr;
    SetActiveShell(nullptr);
    return DISK_ERROR_CREATING_FILE;
  }
  log.SetPath(chosenLog);
  SetLogAllMode(logAll);

  // The banner only greets an interactive session.
  if (settings.mount.interactive) {
    PrintVersionDisplay();
    ShellPrint("LOGALL:    %s, FILE: %s\n", logAll ? "ENABLED" : "DISABLED", log.Path().c_str());
    ShellPrint("HELP?:     Enter 'help' for program usage\n");
  }

  // The local environment starts as a copy of the process's; Ctrl+C reaches the key reader.
  ShellEnvironment().Init(host.processEnvironment);
  host.events.InstallInterruptHandler(OnControlEvent);

  if (settings.help || settings.helpAll) {
    // /HELP and /HELPALL show the help and mount nothing.
    shell.ShowHelp(nullptr, settings.helpAll);
  } else if (NeedsNoDisk(settings.commandLine)) {
    // HELP and the texts of error numbers need no disk.
    std::string line = settings.commandLine;
    shell.ParseCommandLine(line, 256);
    shell.DispatchCommand(nullptr);
  } else {
    // The mount's result is the error level a failed mount ends the run with.
    int mountResult = host.partition.Mount(settings.mount);
    shell.EndRunOnFatalCondition();
    shell.SetErrorLevelQuietly(mountResult);
    if (mountResult == 0 && !settings.mount.show_mbr_only && host.partition.Mounted()) {
      // AUTOLOAD.F16 runs first, then the command of the command line, or the prompt
      // when there is none.
      if (host.localFiles.Status("AUTOLOAD.F16").kind == LocalKind::file) shell.RunBatchFile(nullptr, "AUTOLOAD.F16");
      if (settings.commandLineTooLong) {
        // Cut short, a command could name something else: it does not run at all.
        ShellPrint("[torbel] Command Line Longer Than 255 Characters\n");
        shell.SetErrorLevelQuietly(INVALID_COMMAND_ENCOUNTERED);
      } else {
        if (settings.commandWords.empty()) {
          std::string line = settings.commandLine;
          shell.ParseCommandLine(line, 256);
        } else {
          shell.ParseCommandWords(settings.commandWords, 256);
        }
        shell.DispatchCommand(nullptr);
      }
      if (settings.mount.interactive || shell.StopCode() != 0 || shell.interactiveMark_) ShellPrint("[torbel] Program Exit!");
    }
    // The drive is closed (and the utility partition unlocked) before the shell ends.
    host.partition.Close();
  }

  // Shut-down: the console is put back, and a non-zero error level is reported in the
  // session log with the last command and its message.
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
#ifndef _WIN32
  // A POSIX shell sees only the low 8 bits of the exit status: the full code is named here.
  if (errorLevel < 0 || errorLevel > 255) {
    std::fprintf(stderr, "[torbel] Exit code %d (%s), seen by the shell as %d\n", errorLevel,
                 host.partition.ErrorText(errorLevel).c_str(), errorLevel & 0xFF);
  }
#endif
  InstallOutput(nullptr, nullptr);
  g_activeConsole = nullptr;
  SetActiveShell(nullptr);
  return errorLevel;
}

}  // namespace partshell
