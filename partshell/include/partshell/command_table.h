// The command table: the rows of every command in the order HELP lists them,
// matched by name without regard to case.
#pragma once

#include <span>
#include <string_view>

#include "partshell/command_row.h"

namespace partshell {

std::span<const CommandRow* const> CommandTable();
// First row whose name equals `word` without regard to case, or null.
const CommandRow* FindCommand(std::string_view word);

}  // namespace partshell
