#include <cstdio>

#include "imagebuilder/host.h"

namespace imagebuilder {

// Flushed at once: the banner and warnings must appear before a long build.
void StdoutConsole::Write(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

void StdoutConsole::WriteError(std::string_view text) {
  std::fflush(stdout);
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

}  // namespace imagebuilder
