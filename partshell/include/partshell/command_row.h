// One row of the command table: a command's name, its parameter limits, its
// handler and its HELP texts. Each row lives beside its handler.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace partshell {

class Shell;

using TokenList = std::vector<std::string>;

// A command handler: token 0 is the command word as typed (without "@"),
// the rest are its parameters. The handler may put one message into
// `message` (printed afterwards as "[NAME] message"); it returns the new
// error level. Display-only handlers return shell.ErrorLevel() unchanged.
using CommandHandler = int (*)(Shell& shell, std::string& message, const TokenList& tokens);

inline constexpr std::uint32_t kNoLimit = 0xFFFF;

struct CommandRow {
  std::string_view name;
  std::uint32_t min_params;
  std::uint32_t max_params;  // kNoLimit: no upper limit (both kNoLimit: any count)
  CommandHandler handler;    // null only for EXIT and QUIT, which the dispatch runs itself
  std::string_view usage;
  std::string_view description;
  std::string_view details;  // the lines HELP adds for one command, "\n" between them; may be empty
};

}  // namespace partshell
