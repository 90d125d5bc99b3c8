// The command table: one constant row per command, matched by name without
// regard to case, with its parameter limits and its HELP texts.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "partshell/shell.h"

namespace partshell {

inline constexpr std::uint32_t kNoLimit = 0xFFFF;

struct CommandEntry {
  std::string_view name;
  CommandHandler handler;  // null only for EXIT and QUIT
  std::uint32_t minParams;
  std::uint32_t maxParams;  // kNoLimit: no upper limit
  std::string_view usage;
  std::string_view description;
};

struct ExtendedHelpEntry {
  std::string_view name;
  std::string_view text;  // lines separated by "\n"
};

std::span<const CommandEntry> CommandTable();
std::span<const ExtendedHelpEntry> ExtendedHelpTable();
// First row whose name equals `word` without regard to case, or null.
const CommandEntry* FindCommand(std::string_view word);
const ExtendedHelpEntry* FindExtendedHelp(std::string_view name);

// ---- handlers of the shell frame ----
int CmdCall(Shell&, std::string&, const TokenList&);
int CmdGoto(Shell&, std::string&, const TokenList&);
int CmdExitAll(Shell&, std::string&, const TokenList&);
int CmdEcho(Shell&, std::string&, const TokenList&);
int CmdIf(Shell&, std::string&, const TokenList&);
int CmdSet(Shell&, std::string&, const TokenList&);
int CmdErrorLevel(Shell&, std::string&, const TokenList&);
int CmdVerbose(Shell&, std::string&, const TokenList&);
int CmdLogAll(Shell&, std::string&, const TokenList&);
int CmdHelp(Shell&, std::string&, const TokenList&);
int CmdVersion(Shell&, std::string&, const TokenList&);

// The version display shown at start-up, in the usage text and by VERSION.
void PrintVersionDisplay();
void SetOperatingSystemText(std::string text);

}  // namespace partshell
