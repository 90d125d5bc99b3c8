#include <ctime>

#include "common/text.h"
#include "partshell/command_parser.h"
#include "partshell/command_rows.h"
#include "partshell/command_table.h"
#include "partshell/mounted_volume.h"
#include "partshell/shell.h"

namespace partshell {
namespace {

std::string ParameterCountMessage(const CommandRow& row) {
  char text[128];
  if (row.min_params == row.max_params || row.max_params == kNoLimit) {
    std::snprintf(text, sizeof text, "Invalid number of parameters\n  Expected %d parameters.",
                  static_cast<int>(row.min_params));
  } else {
    std::snprintf(text, sizeof text, "Invalid number of parameters\n  Expected %d to %d parameters.",
                  static_cast<int>(row.min_params), static_cast<int>(row.max_params));
  }
  return text;
}

}  // namespace

int Shell::DispatchCommand(std::string* message) {
  std::string& buffer = message != nullptr ? *message : lastMessage_;
  if (tokens_.empty()) {
    RunMainLoop();
    return (exitRequested_ || labelMissing_) ? 1 : 0;
  }
  return DispatchOne(buffer);
}

void Shell::RunMainLoop() {
  // At least one line is read, even after an EXITALL before the prompt.
  do {
    interactiveMark_ = true;
    tokens_.clear();
    if (commandStartTime_ != 0) {
      EnvPutValue("CMD_SECONDS=" + std::to_string(static_cast<long long>(std::time(nullptr) - commandStartTime_)));
      commandStartTime_ = 0;
    }
    ReadCommandLine();
    EnvPutValue("SHELL_SECONDS=" + std::to_string(static_cast<long long>(std::time(nullptr) - shellStartTime_)));
    ShellPrint("\n");
    if (StopCode() != 0) break;
    // A closed input (end of a piped script) ends the session like EXIT.
    if (tokens_.empty()) {
      if (inputEnded_) break;
      continue;
    }
    DispatchOne(lastMessage_);
  } while (!exitRequested_);
}

// EXIT and QUIT have no handler: the dispatch runs them itself (below).
constexpr CommandRow kExitRow{
    "EXIT", 0, 1, nullptr, "EXIT [#]", "Exit prg/batch [ret code]",
    "    In a batch file ends that file; at the prompt ends the\n"
    "    program. With a number, the error level (and exit code)\n"
    "    becomes that number."};
constexpr CommandRow kQuitRow{
    "QUIT", 0, 0, nullptr, "QUIT [#]", "Quit program, [exit code]",
    "    At the prompt ends the program; in a batch file ends that\n"
    "    file. With a number, the exit code becomes that number."};

int Shell::DispatchOne(std::string& message) {
  std::string word = tokens_[0];
  lineEchoSuppressed_ = !word.empty() && word[0] == '@';
  if (lineEchoSuppressed_) {
    word.erase(0, 1);
    tokens_[0] = word;
  }

  const CommandRow* row = FindCommand(word);
  if (row == nullptr) {
    message = "Invalid Command [" + word + "] Encountered. [HELP/?]\n";
    ShellWrite(message);
    lastPrintedMessage_ = message;
    ++messagesPrinted_;
    SetErrorLevel(INVALID_COMMAND_ENCOUNTERED);
    return (exitRequested_ || labelMissing_) ? 1 : 0;
  }

  message.clear();
  if (batchDepth_ > 0 && EchoInEffect()) {
    PrintInColour(static_cast<std::uint16_t>((console_.TextAttributes() & 0xF0) | kAttrIntensity | kAttrGreen),
                  BuildPrompt() + "> " + lastCommandLine_ + "\n");
  }

  if (row->handler == nullptr) {
    // EXIT and QUIT: their limits are not looked at, and they end the
    // program only at the prompt itself.
    if (interactiveMark_ && batchDepth_ == 0) exitRequested_ = true;
    int level = errorLevel_;
    if (tokens_.size() > 1) level = DecimalValue(tokens_[1]);
    SetErrorLevel(level);
    message.clear();
    return 1;
  }

  TokenList tokens = tokens_;
  const bool verboseBefore = VerboseMode();
  bool verboseChanged = false;
  if (tokens.size() > 1 && common::EqualsIgnoreCase(tokens.back(), "-VERBOSE")) {
    SetVerboseMode(true);
    verboseChanged = true;
    tokens.pop_back();
  }

  const std::size_t params = tokens.size() - 1;
  unsigned long printedBefore = messagesPrinted_;
  bool stopHere = false;
  const bool anyCount = row->min_params == kNoLimit && row->max_params == kNoLimit;
  if (!anyCount && (params < row->min_params || params > row->max_params)) {
    message = ParameterCountMessage(*row);
    SetErrorLevelQuietly(INVALID_PARAMETER_COUNT);
  } else {
    commandStartTime_ = std::time(nullptr);
    printedBefore = messagesPrinted_;
    stopAfterCommand_ = false;
    if (volume_ != nullptr) volume_->ForgetDirectorySectors();
    // The command's writes are one change of the volume: dirty from its first
    // write, clean again at its end.
    if (volume_ != nullptr) volume_->BeginChange();
    int result = row->handler(*this, message, tokens);
    if (volume_ != nullptr) {
      std::string state_message;
      const int state = volume_->EndChange(state_message);
      if (state != 0 && result == 0) {
        result = state;
        message = state_message;
      }
    }
    EndRunOnFatalCondition();
    stopHere = stopAfterCommand_;
    stopAfterCommand_ = false;
    SetErrorLevel(result);
  }

  if (verboseChanged) SetVerboseMode(verboseBefore);
  // CALL and IF hand their buffer to the commands they run; a message one
  // of those has just shown is not shown a second time under CALL or IF.
  const bool shownByNested = messagesPrinted_ != printedBefore && message == lastPrintedMessage_;
  if (!message.empty() && !shownByNested) {
    ShellWrite("[" + std::string(row->name) + "] " + message + "\n");
    lastPrintedMessage_ = message;
    ++messagesPrinted_;
  }
  return (stopHere || exitRequested_ || labelMissing_) ? 1 : 0;
}

}  // namespace partshell
