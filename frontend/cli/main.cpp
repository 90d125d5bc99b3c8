#include <unistd.h>

#include <filesystem>

#include "cli.h"

int main(int argc, char** argv) {
  zolp::cli::Console console;
  console.inTerminal = ::isatty(STDIN_FILENO) == 1;
  console.outTerminal = ::isatty(STDOUT_FILENO) == 1;
  std::error_code ec;
  console.self = std::filesystem::read_symlink("/proc/self/exe", ec).string();
  return zolp::cli::Run(std::vector<std::string>(argv + 1, argv + argc), console);
}
