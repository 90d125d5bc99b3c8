#include <array>
#include <cstdio>

#include "common/text.h"
#include "partshell/command_parser.h"
#include "partshell/command_rows.h"
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

void PrintRow(const CommandRow& row) {
  std::string name(row.name);
  std::string usage(row.usage);
  std::string description(row.description);
  ShellPrint("%-12s %-30s %s\n", name.c_str(), usage.c_str(), description.c_str());
}

void PrintDetails(const CommandRow& row) {
  if (row.details.empty()) return;
  std::string_view text = row.details;
  for (;;) {
    std::size_t end = text.find('\n');
    ShellWrite(std::string(text.substr(0, end)) + "\n");
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
}

}  // namespace

void Shell::ShowHelp(const char* command, bool extended) {
  const CommandRow* row = command != nullptr ? FindCommand(command) : nullptr;
  ShellWrite(kHelpHeader);
  if (row != nullptr) {
    PrintRow(*row);
    PrintDetails(*row);
    ShellWrite("\n");
    return;
  }
  for (const CommandRow* each : CommandTable()) {
    PrintRow(*each);
    if (extended) {
      PrintDetails(*each);
      ShellWrite("\n");
    }
  }
  for (const char* line : kNoteLines) ShellWrite(std::string(line) + "\n");
}

static int CmdHelp(Shell& shell, std::string&, const TokenList& tokens) {
  if (tokens.size() < 2) {
    shell.ShowHelp(nullptr, false);
  } else if (tokens[1].size() >= 2 && common::EqualsIgnoreCase(tokens[1].substr(0, 2), "-A")) {
    shell.ShowHelp(nullptr, true);
  } else {
    shell.ShowHelp(tokens[1].c_str(), false);
  }
  return 0;
}

constexpr CommandRow kHelpRow{
    "HELP", 0, 2, CmdHelp, "HELP [command] [-A]", "This Help text [command] [-All]",
    "    HELP lists every command. HELP command shows one command\n"
    "    with its details. HELP -A lists every command in detail."};
constexpr CommandRow kQuestionMarkRow{"?", 0, 1, CmdHelp, "HELP [command]", "This Help text [command help]", ""};

}  // namespace partshell
