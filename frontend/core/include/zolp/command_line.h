// The tools' command lines as the Windows C runtime reads them, for hosts
// that start the tools without it (the Linux host and the native tests).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zolp {

// A command line split into arguments by the rules of the Windows C runtime:
// blanks separate, double quotes group, 2n backslashes before a quote give n
// and the quote groups, 2n+1 give n and a literal quote.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

// torbel's exit code from its Linux exit status: its own codes 700-766 arrive
// as 188-254, the system error codes it passes on stay below 188.
std::uint32_t TorbelExitCode(std::uint32_t status);

}  // namespace zolp
