#include <array>
#include <cstdio>

#include "common/text.h"
#include "partshell/command_parser.h"
#include "partshell/command_table.h"
#include "partshell/shell.h"

namespace partshell {
namespace {

constexpr const char* kHelpHeader =
    "\nCommand      Usage                          Description\n"
    "------------ ------------------------------ ----------------------------\n";

constexpr std::array<const char*, 13> kNoteLines{
    "----------",
    " NOTES: ",
    "  -VERBOSE at the end of any line enables Verbose Mode, for that",
    "       line only.",
    "  SYS: - The current FAT16 drive being processed.",
    "     NOTE: SYS: Filename/Paths MUST use \\ separators.",
    "  Local File-System Filename/Paths should use what the Local",
    "     File-System expects, / or \\",
    "  %var% type references can be used to substitute environment",
    "     variables into commands. These variables can be local or",
    "     global. %$?% or %errorlevel% is the return code of the",
    "     previous command.",
    "  Error Conditions are indicated by return codes 700 and above.",
};

void PrintRow(const CommandEntry& row) {
  std::string name(row.name);
  std::string usage(row.usage);
  std::string description(row.description);
  ShellPrint("%-12s %-30s %s\n", name.c_str(), usage.c_str(), description.c_str());
}

void PrintExtendedHelp(std::string_view name) {
  const ExtendedHelpEntry* help = FindExtendedHelp(name);
  if (help == nullptr) return;
  std::string_view text = help->text;
  for (;;) {
    std::size_t end = text.find('\n');
    ShellWrite(std::string(text.substr(0, end)) + "\n");
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
}

}  // namespace

void Shell::ShowHelp(const char* command, bool extended) {
  const CommandEntry* row = command != nullptr ? FindCommand(command) : nullptr;
  ShellWrite(kHelpHeader);
  if (row != nullptr) {
    PrintRow(*row);
    PrintExtendedHelp(row->name);
    ShellWrite("\n");
    return;
  }
  for (const CommandEntry& each : CommandTable()) {
    PrintRow(each);
    if (extended) {
      PrintExtendedHelp(each.name);
      ShellWrite("\n");
    }
  }
  for (const char* line : kNoteLines) ShellWrite(std::string(line) + "\n");
}

int CmdHelp(Shell& shell, std::string&, const TokenList& tokens) {
  if (tokens.size() < 2) {
    shell.ShowHelp(nullptr, false);
  } else if (tokens[1].size() >= 2 && common::EqualsIgnoreCase(tokens[1].substr(0, 2), "-A")) {
    shell.ShowHelp(nullptr, true);
  } else {
    shell.ShowHelp(tokens[1].c_str(), false);
  }
  return 0;
}

}  // namespace partshell
