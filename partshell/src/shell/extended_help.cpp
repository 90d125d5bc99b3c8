#include <array>

#include "partshell/command_table.h"

namespace partshell {
namespace {

// Every command has a few lines here except DELAY, FREE, GOTO, SHOWERRORS
// and "?", whose one-line help says all. QUIT has two rows; the first wins.
constexpr std::array<ExtendedHelpEntry, 46> kExtendedHelp{{
    {"APPENDFILE",
     "    Appends the local file 'source' to the end of 'target' on SYS:.\n"
     "    The target is created when it does not exist."},
    {"ATTRIB",
     "    Without flags, shows the attributes of the matching files.\n"
     "    +H +S +R +A set and -H -S -R -A clear Hidden, System,\n"
     "    Read-only and Archive, for example ATTRIB \\DIAGS\\*.* +R-A"},
    {"CALL",
     "    Runs the commands of a local batch file, line by line.\n"
     "    A name without a dot gets .F16 appended. Batch files may\n"
     "    CALL other batch files; the error level is that of the\n"
     "    last command run."},
    {"CAT",
     "    Shows a file of SYS: as text, or in hexadecimal with -B."},
    {"CD",
     "    Changes the current directory of SYS:. Without a parameter\n"
     "    shows it. Paths use \\ separators; .. names the parent."},
    {"COPY",
     "    No longer supported: use COPYHD2SYS, COPYSYS2HD, COPYHD2HD\n"
     "    or COPYSYS2SYS, which name the direction of the copy."},
    {"COPYHD2SYS",
     "    Copies local files (wildcards allowed) to SYS:. TOFILE may\n"
     "    name a file or an existing directory; without it the files\n"
     "    go to the current directory of SYS:."},
    {"COPYSYS2HD",
     "    Copies files of SYS: (wildcards allowed) to the local file\n"
     "    system. TOFILE may name a file or a local directory."},
    {"COPYHD2HD",
     "    Copies local files to another local name or directory."},
    {"COPYSYS2SYS",
     "    Copies files of SYS: to another name or directory of SYS:."},
    {"DEL",
     "    Deletes the matching files of SYS:. Deleting *.* asks for\n"
     "    confirmation unless -y is given."},
    {"DELETE",
     "    Same as DEL."},
    {"DIR",
     "    Lists a directory of SYS: (the current one by default), with\n"
     "    sizes, dates and totals. -p pauses after every 20 lines."},
    {"DUMP",
     "    Shows one absolute sector of the drive in hexadecimal.\n"
     "    The number is decimal, or hexadecimal with 0x in front.\n"
     "    Sector 0 is the drive's MBR."},
    {"DUMPC",
     "    Shows one cluster of the mounted partition in hexadecimal.\n"
     "    Valid cluster numbers start at 2."},
    {"ECHO",
     "    ECHO ON and ECHO OFF switch the showing of batch command\n"
     "    lines; ECHO alone tells the state; ECHO text prints text.\n"
     "    A leading @ keeps one line from being shown."},
    {"ECHO.",
     "    Prints the text after the word as it is, leading blanks\n"
     "    included; ECHO. alone prints an empty line."},
    {"ERROR",
     "    Shows the text of an error number (internal codes are 700\n"
     "    and above, smaller ones are system errors)."},
    {"ERRORLEVEL",
     "    Without a parameter shows the error level; with a number\n"
     "    sets it (to the number's absolute value)."},
    {"EXIT",
     "    In a batch file ends that file; at the prompt ends the\n"
     "    program. With a number, the error level (and exit code)\n"
     "    becomes that number."},
    {"EXITALL",
     "    Ends every running batch file and then the program. With a\n"
     "    number, the exit code becomes its absolute value."},
    {"HELP",
     "    HELP lists every command. HELP command shows one command\n"
     "    with its details. HELP -A lists every command in detail."},
    {"IF",
     "    IF [NOT] EXIST file command      file or pattern on SYS:\n"
     "    IF [NOT] ERRORLEVEL n command    error level n or higher\n"
     "    IF [NOT] v1 op v2 command\n"
     "      numbers:  -eq -ne -lt -gt -le -ge (or without the -)\n"
     "      text:     == or = (equal), != (differ), case ignored\n"
     "    The command runs when the condition holds (NOT inverts it);\n"
     "    it may be another IF, GOTO, CALL or EXIT."},
    {"IFEXIST",
     "    Sets the error level to 0 when the file or pattern exists\n"
     "    on SYS:, else to 1."},
    {"IFEXISTS",
     "    Same as IFEXIST."},
    {"LOG",
     "    Appends the text, with a line end, to a file of SYS:. The\n"
     "    file is created when it does not exist."},
    {"LOGALL",
     "    LOGALL ON copies all console output to the session log,\n"
     "    LOGALL OFF stops it. Without a parameter shows the mode."},
    {"MBR",
     "    Shows the partition table of the drive's master boot record."},
    {"MD",
     "    Creates an empty directory on SYS:."},
    {"MKDIR",
     "    Same as MD."},
    {"MORE",
     "    Shows a file of SYS: page by page, as text or with -B in\n"
     "    hexadecimal. Q, X or Esc stops; C shows the rest at once."},
    {"PAUSE",
     "    Shows the text (or a default prompt) and waits for a key.\n"
     "    The key's code is stored in the variable UKEY."},
    {"RD",
     "    Removes an empty directory of SYS:."},
    {"REN",
     "    Renames a file or directory of SYS:. The new name must not\n"
     "    exist yet."},
    {"RENAME",
     "    Same as REN."},
    {"RMDIR",
     "    Same as RD."},
    {"SET",
     "    SET alone lists the shell's variables. SET name=value sets\n"
     "    one (blanks and = allowed in the value); SET name= or SET\n"
     "    name removes it. Use %name% to substitute a value."},
    {"SHOWBOOT",
     "    Shows the fields of the mounted partition's boot sector."},
    {"SLEEP",
     "    Waits the given number of milliseconds."},
    {"TOUCH",
     "    Sets the time of a file of SYS: to now. With -C a missing\n"
     "    file is created empty."},
    {"TYPE",
     "    Shows a file of SYS: as text, or in hexadecimal with -B."},
    {"VERBOSE",
     "    VERBOSE ON shows extra diagnostic output, VERBOSE OFF stops\n"
     "    it. -VERBOSE at the end of a line does so for that line."},
    {"VER",
     "    Shows the program version and the operating system."},
    {"VERSION",
     "    Same as VER."},
    {"QUIT",
     "    At the prompt ends the program; in a batch file ends that\n"
     "    file. With a number, the exit code becomes that number."},
    {"QUIT",
     "    Same as EXIT."},
}};

}  // namespace

std::span<const ExtendedHelpEntry> ExtendedHelpTable() { return kExtendedHelp; }

}  // namespace partshell
