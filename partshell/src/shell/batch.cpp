#include <cstdio>
#include <cstdlib>

#include "common/text.h"
#include "partshell/command_parser.h"
#include "partshell/command_table.h"
#include "partshell/shell.h"

namespace partshell {
namespace {

constexpr int kBatchLineBuffer = 512;
constexpr std::size_t kBatchCapacity = 512;
constexpr std::size_t kBatchNameMax = 255;
// Each nested batch file holds an open file and a few stack frames; a file
// that calls itself would otherwise run the process out of one or the other.
constexpr int kBatchDepthMax = 64;

// Batch file names are written the way the local file system expects them;
// on hosts whose separator is "/" a "\" is accepted as well.
std::string HostPath(std::string path) {
#ifndef _WIN32
  for (char& c : path)
    if (c == '\\') c = '/';
#endif
  return path;
}

std::string FirstWord(const std::string& text) {
  std::size_t end = text.find_first_of(" \t");
  return end == std::string::npos ? text : text.substr(0, end);
}

}  // namespace

int Shell::RunBatchFile(std::string* message, const std::string& path) {
  const bool echoAtStart = EchoInEffect();
  labelMissing_ = false;
  ++batchDepth_;

  std::FILE* file = nullptr;
  if (batchDepth_ > kBatchDepthMax) {
    ShellWrite("[torbel] Batch Files Nested Too Deeply: " + path + "\n");
    errorLevel_ = 1;
  } else if ((file = std::fopen(HostPath(path).c_str(), "r")) == nullptr) {
    ShellWrite("[torbel] File Not Found: " + path + "\n");
    errorLevel_ = 1;
  } else {
    char buffer[kBatchLineBuffer];
    while (StopCode() == 0 && std::fgets(buffer, sizeof buffer, file) != nullptr) {
      std::string line = TrimWhite(buffer);
      if (ParseCommandLine(line, kBatchCapacity) > 0) {
        int stop = DispatchCommand(message);
        if (stop == 1 || exitRequested_ || labelMissing_) break;
      }
      if (pendingLabel_.empty()) continue;

      // Labels are searched from the top, so jumps go both ways and the
      // first of two equal labels wins.
      const std::string label = pendingLabel_;
      pendingLabel_.clear();
      std::rewind(file);
      bool found = false;
      while (StopCode() == 0 && std::fgets(buffer, sizeof buffer, file) != nullptr) {
        std::string candidate = TrimWhite(buffer);
        if (!candidate.empty() && candidate[0] == ':' && common::EqualsIgnoreCase(FirstWord(candidate), label)) {
          found = true;
          break;
        }
      }
      if (!found) {
        if (StopCode() == 0) {
          ShellWrite("[torbel] Target Label Not Found: " + label + "\n");
          errorLevel_ = kTargetLabelMissing;
          labelMissing_ = true;
        }
        break;
      }
    }
    std::fclose(file);
  }

  pendingLabel_.clear();
  --batchDepth_;
  echoOn_ = echoAtStart;
  return errorLevel_;
}

int CmdCall(Shell& shell, std::string& message, const TokenList& tokens) {
  const bool echo = shell.EchoInEffect();
  if (shell.batchDepth_ > 0) shell.pendingLabel_.clear();
  std::string name = tokens[1].substr(0, kBatchNameMax);
  if (name.find('.') == std::string::npos) name += ".F16";
  if (echo) ShellWrite("[torbel] Processing Commands From: " + name + "\n");
  int level = shell.RunBatchFile(&message, name);
  if (echo) ShellWrite("[torbel] Batch File Complete: " + name + "\n");
  shell.echoOn_ = echo;
  return level;
}

int CmdGoto(Shell& shell, std::string&, const TokenList& tokens) {
  if (shell.batchDepth_ == 0) return shell.ErrorLevel();
  std::string label = TrimWhite(tokens[1].substr(0, kLabelMax));
  if (label.empty() || label[0] != ':') label.insert(0, ":");
  shell.pendingLabel_ = label;
  return shell.ErrorLevel();
}

int CmdExitAll(Shell& shell, std::string&, const TokenList& tokens) {
  shell.exitRequested_ = true;
  if (tokens.size() < 2) return shell.ErrorLevel();
  long long value = DecimalValue(tokens[1]);
  return static_cast<int>(std::min<long long>(value < 0 ? -value : value, 0x7FFFFFFF));
}

}  // namespace partshell
