#include "partshell/command_table.h"

#include "common/text.h"
#include "partshell/file_commands.h"

#include <array>
#include <cctype>

namespace partshell {
namespace {

constexpr std::array<CommandEntry, 50> kCommands{{
    {"APPENDFILE", CmdAppendFile, 2, 2, "APPENDFILE [SYS:]target source", "Appends a file to a FAT16 file"},
    {"ATTRIB", CmdAttrib, 1, 2, "ATTRIB file [+-HSRA]", "View/change file attributes"},
    {"CALL", CmdCall, 1, 1, "CALL batch_file_name.F16", "Run a .F16 batch file"},
    {"CAT", CmdType, 1, 2, "CAT file [-B]", "Display text [binary] file"},
    {"CD", CmdCd, 0, 1, "CD [DIR/PATH]", "Change current directory"},
    {"COPY", CmdCopyRetired, kNoLimit, kNoLimit, "{unsupported}", "{unsupported} - See COPYxx2yyy"},
    {"COPYHD2SYS", CmdCopyHd2Sys, 1, 2, "COPYHD2SYS FROMFILE [TOFILE]", "Copy local HD file to SYS:"},
    {"COPYSYS2HD", CmdCopySys2Hd, 1, 2, "COPYSYS2HD FROMFILE [TOFILE]", "Copy local SYS: file to local HD"},
    {"COPYHD2HD", CmdCopyHd2Hd, 1, 2, "COPYHD2HD FROMFILE [TOFILE]", "Copy local HD file to local HD"},
    {"COPYSYS2SYS", CmdCopySys2Sys, 1, 2, "COPYSYS2SYS FROMFILE [TOFILE]", "Copy SYS: file to SYS:"},
    {"DEL", CmdDel, 1, 2, "DEL file [-y]", "Delete files from SYS: [-yes on *.*]"},
    {"DELAY", CmdDelay, 1, 1, "DELAY #_seconds", "Delays for # of seconds"},
    {"DELETE", CmdDel, 1, 2, "DELETE file [-y]", "Delete files from SYS: [-yes on *.*]"},
    {"DIR", CmdDir, 0, 2, "DIR [DIR/PATH] [-p]", "Show directory files [pause]"},
    {"DUMP", CmdDump, 1, 1, "DUMP SectorNumber", "Display a FAT16 disk sector"},
    {"DUMPC", CmdDumpCluster, 1, 1, "DUMPC ClusterNumber", "Display a FAT16 disk cluster"},
    {"ECHO", CmdEcho, kNoLimit, kNoLimit, "ECHO [ON | OFF | text]", "Display text on the console"},
    {"ECHO.", CmdEcho, kNoLimit, kNoLimit, "ECHO. [text]", "ECHO, printing leading spaces"},
    {"ERROR", CmdError, 1, 1, "ERROR err_number", "Display error number text"},
    {"ERRORLEVEL", CmdErrorLevel, 0, 1, "ERRORLEVEL [#]", "Display/Set the errorLevel"},
    {"EXIT", nullptr, 0, 1, "EXIT [#]", "Exit prg/batch [ret code]"},
    {"EXITALL", CmdExitAll, 0, 1, "EXITALL [#]", "Exit prg/ALL batch [ret code]"},
    {"FREE", CmdFree, 0, 0, "FREE", "Show mounted partition free space"},
    {"GOTO", CmdGoto, 1, 1, "GOTO :LABEL", "Start execution after :LABEL"},
    {"HELP", CmdHelp, 0, 2, "HELP [command] [-A]", "This Help text [command] [-All]"},
    {"IF", CmdIf, 1, kNoLimit, "See 'HELP IF'", "Processes an IF construct"},
    {"IFEXIST", CmdIfExist, 1, 1, "IFEXIST [SYS:]fat16_file", "0, if file exists, else 1"},
    {"IFEXISTS", CmdIfExist, 1, 1, "IFEXISTS [SYS:]fat16_file", "0, if file exists, else 1"},
    {"LOG", CmdLog, 2, kNoLimit, "LOG [SYS:]log_file text", "Appends a string to file"},
    {"LOGALL", CmdLogAll, 0, 1, "LOGALL [OFF|ON]", "Logs all to TORBEL.LOG"},
    {"MBR", CmdMbr, 0, 1, "MBR [-B]", "Display MBR, [-B=binary]"},
    {"MD", CmdMd, 1, 1, "MD path_dir_name", "Creates an empty directory."},
    {"MKDIR", CmdMd, 1, 1, "MKDIR path_dir_name", "Creates an empty directory."},
    {"MORE", CmdType, 1, 2, "MORE file [-B]", "Page a text [Binary] file"},
    {"PAUSE", CmdPause, kNoLimit, kNoLimit, "PAUSE [prompt msg]", "Pauses, until key is hit"},
    {"RD", CmdRd, 1, 1, "RD path_dir_name", "Removes an empty directory."},
    {"REN", CmdRen, 2, 2, "REN OLDFILE NEWFILE", "Rename files on SYS:"},
    {"RENAME", CmdRen, 2, 2, "RENAME OLDFILE NEWFILE", "Rename files on SYS:"},
    {"RMDIR", CmdRd, 1, 1, "RMDIR path_dir_name", "Remove directory on SYS:."},
    {"SET", CmdSet, 0, kNoLimit, "SET [var=[value]]", "View/edit 'local' ENV vars"},
    {"SHOWBOOT", CmdShowBoot, 0, 0, "SHOWBOOT", "Display SYS: boot partiton"},
    {"SHOWERRORS", CmdShowErrors, 0, 0, "SHOWERRORS", "Show Internal Error Message List"},
    {"SLEEP", CmdSleep, 1, 1, "SLEEP #_milliseconds", "Sleeps for # milliseconds"},
    {"TOUCH", CmdTouch, 1, 2, "TOUCH [SYS:]file [-C]", "Update file time [create new]"},
    {"TYPE", CmdType, 1, 2, "TYPE file [-B]", "Display text [binary] file"},
    {"VERBOSE", CmdVerbose, 0, 1, "VERBOSE [OFF | ON]", "Turn on debug display info"},
    {"VER", CmdVersion, 0, 0, "VER", "Show Program version"},
    {"VERSION", CmdVersion, 0, 0, "VERSION", "Show Program version"},
    {"QUIT", nullptr, 0, 0, "QUIT [#]", "Quit program, [exit code]"},
    {"?", CmdHelp, 0, 1, "HELP [command]", "This Help text [command help]"},
}};

}  // namespace

std::span<const CommandEntry> CommandTable() { return kCommands; }

const CommandEntry* FindCommand(std::string_view word) {
  for (const CommandEntry& row : kCommands) {
    if (common::EqualsIgnoreCase(row.name, word)) return &row;
  }
  return nullptr;
}

const ExtendedHelpEntry* FindExtendedHelp(std::string_view name) {
  for (const ExtendedHelpEntry& row : ExtendedHelpTable()) {
    if (common::EqualsIgnoreCase(row.name, name)) return &row;
  }
  return nullptr;
}

}  // namespace partshell
