#include "zolp/command_line.h"

namespace zolp {

std::vector<std::string> SplitCommandLine(std::string_view line) {
  std::vector<std::string> args;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i == line.size()) break;
    std::string arg;
    bool quoted = false;
    while (i < line.size() && (quoted || (line[i] != ' ' && line[i] != '\t'))) {
      std::size_t slashes = 0;
      while (i < line.size() && line[i] == '\\') {
        ++slashes;
        ++i;
      }
      if (i < line.size() && line[i] == '"') {
        arg.append(slashes / 2, '\\');
        if (slashes % 2 == 1) {
          arg += '"';
        } else if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
          arg += '"';  // "" inside quotes is one quote
          ++i;
        } else {
          quoted = !quoted;
        }
        ++i;
      } else {
        arg.append(slashes, '\\');
        if (i < line.size() && (quoted || (line[i] != ' ' && line[i] != '\t'))) arg += line[i++];
      }
    }
    args.push_back(std::move(arg));
  }
  return args;
}

std::uint32_t TorbelExitCode(std::uint32_t status) {
  return status >= 188 && status <= 254 ? status + 512 : status;
}

}  // namespace zolp
