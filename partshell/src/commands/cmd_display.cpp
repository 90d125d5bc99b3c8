// TYPE/CAT/MORE, DUMP, DUMPC, MBR, SHOWBOOT, PAUSE, DELAY, SLEEP, ERROR and SHOWERRORS.
#include <cerrno>
#include <climits>
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "partshell/error_codes.h"
#include "partshell/fat16_engine.h"
#include "partshell/command_rows.h"
#include "partshell/command_support.h"
#include "partshell/local_environment.h"
#include "partshell/mounted_volume.h"
#include "partshell/shell_output.h"
#include "partshell/engine_services.h"

namespace partshell {

namespace {

// Counts a line of the text writer; with paging, prompts at each page end.
bool CountTextLine(Shell& shell) {
  ++shell.hexLineCount_;
  return !(shell.HexPageSize() != 0 && shell.hexLineCount_ % shell.HexPageSize() == 0 && shell.PagePrompt() == 0);
}

// The text form of TYPE for one block; false when the user stopped it.
bool WriteText(Shell& shell, const std::uint8_t* data, std::size_t length) {
  std::size_t feeds = 0, returns = 0;
  for (std::size_t i = 0; i < length; ++i) {
    if (data[i] == '\n') ++feeds;
    if (data[i] == '\r') ++returns;
  }
  const std::uint8_t line_break = feeds > returns ? '\n' : '\r';
  std::string pending;
  auto flush = [&] {
    if (!pending.empty()) ShellWrite(pending);
    pending.clear();
  };
  for (std::size_t i = 0; i < length; ++i) {
    const std::uint8_t byte = data[i];
    if (shell.HexPageSize() == 0 && shell.hexColumn_ == 0 && shell.console().KeyAvailable()) {
      flush();
      shell.ReadKey();
      if (shell.PagePrompt() == 0) return false;
    }
    if (byte == line_break) {
      pending += '\n';
      shell.hexColumn_ = 0;
      flush();
      if (!CountTextLine(shell)) return false;
      continue;
    }
    if (byte == '\r' || byte == '\n') continue;
    if (shell.hexColumn_ > 0 && shell.hexColumn_ % 80 == 0) {
      flush();
      if (!CountTextLine(shell)) return false;
    }
    pending += static_cast<char>(byte);
    ++shell.hexColumn_;
  }
  flush();
  return true;
}

}  // namespace

static int CmdType(Shell& shell, std::string& message, const TokenList& tokens) {
  Fat16Engine* engine = MountedEngine(shell, message);
  if (engine == nullptr) return UNABLE_TO_LOCATE_PARTITION;
  MountedVolume& volume = engine->volume();
  const bool hex = tokens.size() > 2 && StartsWithIgnoreCase(tokens[2], "-B");
  std::string parent, name;
  std::uint16_t directory = 0;
  if (!engine->LocateParent(tokens[1], directory, parent, name)) {
    message = Format("Unable To Locate Directory: %s", parent.c_str());
    return DIR_PATH_NOT_FOUND;
  }
  const EntryLookup found = engine->FindFile(directory, name);
  if (!found.found && found.error != 0) {
    message = Format("Unable To Read Directory Of: %s", tokens[1].c_str());
    return found.error;
  }
  if (!found.found) {
    message = Format("Unable To Locate File: %s", name.c_str());
    return FILE_NOT_FOUND;
  }
  const std::uint32_t size = EntrySize(found.entry.data());
  if (found.first_cluster == 0) {
    if (size == 0) return 0;
    message = LinkageMessage(0);
    return FAT_LINKAGE_ERROR;
  }
  const bool more = StartsWithIgnoreCase(tokens[0], "MORE");
  shell.SetHexPageSize(more ? (shell.PageLength() != 0 ? shell.PageLength() : 20) : 0);

  const std::uint32_t positions = size / kSectorSize + 1;
  alignas(512) static std::uint8_t sector[kSectorSize];
  DirSectorIterator walker(*engine, found.first_cluster);
  std::uint32_t at = walker.first_sector();
  int result = 0;
  for (std::uint32_t position = 1; position <= positions && shell.StopCode() == 0; ++position) {
    const std::size_t bytes = position == positions ? size % kSectorSize : kSectorSize;
    if (bytes == 0) break;
    if (at == 0) {
      // The chain breaks, loops or ends before the file's size is reached.
      message = walker.error() != 0 ? walker.LinkageMessage()
                                    : LinkageMessage(engine->FatEntry(walker.current_cluster()));
      result = FAT_LINKAGE_ERROR;
      break;
    }
    result = volume.ReadHardDriveSector(at, sector);
    if (result != 0) {
      message = Format("Unable To Read/Load Hard Drive Sector: %ld", static_cast<long>(at));
      break;
    }
    const bool go_on = hex ? shell.HexDump(sector, bytes, (position - 1) * kSectorSize) != 0
                           : WriteText(shell, sector, bytes);
    if (!go_on) break;
    if (position < positions) at = walker.NextSector();
  }
  if (!hex) ShellWrite("\n");
  return result;
}

constexpr CommandRow kCatRow{
    "CAT", 1, 2, CmdType, "CAT file [-B]", "Display text [binary] file",
    "    Shows a file of SYS: as text, or in hexadecimal with -B."};
constexpr CommandRow kMoreRow{
    "MORE", 1, 2, CmdType, "MORE file [-B]", "Page a text [Binary] file",
    "    Shows a file of SYS: page by page, as text or with -B in\n"
    "    hexadecimal. Q, X or Esc stops; C shows the rest at once."};
constexpr CommandRow kTypeRow{
    "TYPE", 1, 2, CmdType, "TYPE file [-B]", "Display text [binary] file",
    "    Shows a file of SYS: as text, or in hexadecimal with -B."};

static int CmdDump(Shell& shell, std::string& message, const TokenList& tokens) {
  MountedVolume* volume = shell.volume();
  if (volume == nullptr) {
    message = "No Partition Mounted";
    return UNABLE_TO_LOCATE_PARTITION;
  }
  std::uint32_t number = 0;
  if (!ParseSectorNumber(tokens[1], number)) number = static_cast<std::uint32_t>(std::strtoul(tokens[1].c_str(), nullptr, 10));
  alignas(512) static std::uint8_t sector[kSectorSize];
  const int read = volume->ReadHardDriveSector(number, sector);
  if (read != 0) {
    ShellWrite(Format("Error %ld, Reading Sector #: %ld\n", static_cast<long>(read), static_cast<long>(number)));
    return read;
  }
  ShellWrite(Format("Sector #: %ld\n", static_cast<long>(number)));
  shell.HexDump(sector, kSectorSize, number * kSectorSize);
  return 0;
}

constexpr CommandRow kDumpRow{
    "DUMP", 1, 1, CmdDump, "DUMP SectorNumber", "Display a FAT16 disk sector",
    "    Shows one absolute sector of the drive in hexadecimal.\n"
    "    The number is decimal, or hexadecimal with 0x in front.\n"
    "    Sector 0 is the drive's MBR."};

static int CmdDumpCluster(Shell& shell, std::string& message, const TokenList& tokens) {
  Fat16Engine* engine = MountedEngine(shell, message);
  if (engine == nullptr) return UNABLE_TO_LOCATE_PARTITION;
  MountedVolume& volume = engine->volume();
  std::uint32_t cluster = 0;
  if (!ParseSectorNumber(tokens[1], cluster) || cluster < 2 || cluster > volume.ClusterLimit - 1) {
    message = Format("Invalid Cluster Number. Valid Are 2 to %d(0x%X)", static_cast<int>(volume.ClusterLimit - 1),
                     static_cast<unsigned>(volume.ClusterLimit - 1));
    return INVALID_PARAMETER;
  }
  std::vector<std::uint8_t> storage(volume.BytesPerCluster + kSectorSize);
  std::uint8_t* data = storage.data() + (kSectorSize - reinterpret_cast<std::uintptr_t>(storage.data()) % kSectorSize) % kSectorSize;
  const std::uint32_t first = engine->GetSectorOfCluster(cluster);
  for (std::uint32_t i = 0; i < volume.sectors_per_cluster; ++i) {
    if (const int read = volume.ReadHardDriveSector(first + i, data + i * kSectorSize); read != 0) {
      message = Format("Unable To Read/Load Hard Drive Sector: %ld", static_cast<long>(first + i));
      return read;
    }
  }
  ShellWrite(Format("Cluster #: %ld\n", static_cast<long>(cluster)));
  const int previous = shell.HexPageSize();
  shell.SetHexPageSize(24);
  shell.HexDump(data, volume.BytesPerCluster, first * kSectorSize);
  shell.SetHexPageSize(previous);
  return 0;
}

constexpr CommandRow kDumpcRow{
    "DUMPC", 1, 1, CmdDumpCluster, "DUMPC ClusterNumber", "Display a FAT16 disk cluster",
    "    Shows one cluster of the mounted partition in hexadecimal.\n"
    "    Valid cluster numbers start at 2."};

static int CmdMbr(Shell& shell, std::string& message, const TokenList&) {
  if (shell.volume() == nullptr) {
    message = "No Partition Mounted";
    return UNABLE_TO_LOCATE_PARTITION;
  }
  shell.volume()->ShowMbr();
  return 0;
}

constexpr CommandRow kMbrRow{
    "MBR", 0, 1, CmdMbr, "MBR [-B]", "Display MBR, [-B=binary]",
    "    Shows the partition table of the drive's master boot record."};

static int CmdShowBoot(Shell& shell, std::string&, const TokenList&) {
  MountedVolume* volume = shell.volume();
  if (volume == nullptr) return shell.ErrorLevel();
  if (VerboseMode()) {
    ShellWrite("\n");
    shell.SetHexPageSize(0);
    shell.HexDump(volume->pbr(), kSectorSize, 0);
    ShellWrite("-------------");
  }
  volume->ShowBootSector();
  return shell.ErrorLevel();
}

constexpr CommandRow kShowBootRow{
    "SHOWBOOT", 0, 0, CmdShowBoot, "SHOWBOOT", "Display SYS: boot partiton",
    "    Shows the fields of the mounted partition's boot sector."};

static int CmdPause(Shell& shell, std::string&, const TokenList&) {
  const std::string& line = shell.LastCommandLine();
  std::size_t at = 0;
  while (at < line.size() && line[at] == ' ') ++at;
  while (at < line.size() && line[at] != ' ') ++at;
  if (at < line.size()) ++at;
  const std::string text = line.substr(at);
  ShellWrite(text.empty() ? "Press any Key to continue . . . " : text);
  int key = shell.ReadKey();
  if (key >= 'a' && key <= 'z') key = key - 'a' + 'A';
  EnvPutValue(Format("UKEY=%d", key));
  ShellWrite("\n");
  return shell.ErrorLevel();
}

constexpr CommandRow kPauseRow{
    "PAUSE", kNoLimit, kNoLimit, CmdPause, "PAUSE [prompt msg]", "Pauses, until key is hit",
    "    Shows the text (or a default prompt) and waits for a key.\n"
    "    The key's code is stored in the variable UKEY."};

static int CmdDelay(Shell& shell, std::string&, const TokenList& tokens) {
  const int seconds = std::atoi(tokens[1].c_str());
  for (int left = seconds; left > 0 && shell.StopCode() == 0; --left) {
    if (VerboseMode()) ShellWrite(Format("Delaying %d Seconds      \r", left));
    shell.console().Wait(1000);
    if (shell.console().KeyAvailable()) {
      shell.ReadKey();
      ShellWrite("                         \r");
      ShellWrite("Discontinue Delay? y/N: ");
      const int answer = shell.ReadKey();
      ShellWrite("\r                         \r");
      if (answer == 'Y' || answer == 'y') break;
    }
  }
  if (seconds > 0 && VerboseMode()) ShellWrite("                         \r");
  return shell.ErrorLevel();
}

constexpr CommandRow kDelayRow{"DELAY", 1, 1, CmdDelay, "DELAY #_seconds", "Delays for # of seconds", ""};

static int CmdSleep(Shell& shell, std::string&, const TokenList& tokens) {
  const long milliseconds = std::atol(tokens[1].c_str());
  // Waits of more than 24 days are cut there, where the console's count of milliseconds ends.
  if (milliseconds > 0) shell.console().Wait(static_cast<int>(std::min<long>(milliseconds, 0x7FFFFFFF)));
  return shell.ErrorLevel();
}

constexpr CommandRow kSleepRow{
    "SLEEP", 1, 1, CmdSleep, "SLEEP #_milliseconds", "Sleeps for # milliseconds",
    "    Waits the given number of milliseconds."};

static int CmdError(Shell& shell, std::string& message, const TokenList& tokens) {
  errno = 0;
  long long number = std::strtoll(tokens[1].c_str(), nullptr, 10);
  if (number < 0) number = -number;
  if (errno == ERANGE || number > INT_MAX) {
    message = Format("Invalid Error Number: %s", tokens[1].c_str());
    return INVALID_PARAMETER;
  }
  const std::string text = ErrorText(static_cast<int>(number));
  message = text.empty() ? Format("%d - Unknown Error Number", static_cast<int>(number))
                         : Format("%d - %s", static_cast<int>(number), text.c_str());
  return shell.ErrorLevel();
}

constexpr CommandRow kErrorRow{
    "ERROR", 1, 1, CmdError, "ERROR err_number", "Display error number text",
    "    Shows the text of an error number (internal codes are 700\n"
    "    and above, smaller ones are system errors)."};

static int CmdShowErrors(Shell& shell, std::string&, const TokenList&) {
  int lines = 0;
  for (const InternalError& row : InternalErrorTable) {
    ShellWrite(Format("%d - %s - {internal}\n", row.code, row.name));
    ++lines;
    if (shell.PageLength() != 0 && lines % shell.PageLength() == 0 && shell.PagePrompt() == 0) break;
  }
  return shell.ErrorLevel();
}

constexpr CommandRow kShowErrorsRow{
    "SHOWERRORS", 0, 0, CmdShowErrors, "SHOWERRORS", "Show Internal Error Message List", ""};

}  // namespace partshell
