#include <cstdlib>

#include "common/text.h"
#include "partshell/command_parser.h"
#include "partshell/command_rows.h"
#include "partshell/shell.h"

namespace partshell {
namespace {

constexpr std::size_t kIfOperationBuffer = 256;
constexpr std::size_t kSetNameShown = 127;

// The text after the command word: leading blanks and the first word
// skipped, and with skipBlanks the blanks after it as well.
std::string TextAfterWord(const std::string& line, bool skipBlanks) {
  std::size_t i = 0;
  while (i < line.size() && line[i] == ' ') ++i;
  while (i < line.size() && line[i] != ' ') ++i;
  if (skipBlanks) {
    while (i < line.size() && line[i] == ' ') ++i;
  }
  return line.substr(i);
}

bool IsWordSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The line with its first `words` words (and the white space after each) skipped.
std::string SkipWords(const std::string& line, std::size_t words) {
  std::size_t i = 0;
  while (i < line.size() && IsWordSpace(line[i])) ++i;
  for (std::size_t w = 0; w < words; ++w) {
    while (i < line.size() && !IsWordSpace(line[i])) ++i;
    while (i < line.size() && IsWordSpace(line[i])) ++i;
  }
  return line.substr(i);
}

int AbsoluteValue(int value) {
  if (value == INT32_MIN) return INT32_MAX;
  return value < 0 ? -value : value;
}

enum class CompareResult { kTrue, kFalse, kUnknownOperator };

CompareResult Compare(const std::string& left, const std::string& op, const std::string& right) {
  const std::string o = common::UpperAscii(op);
  const int a = DecimalValue(left);
  const int b = DecimalValue(right);
  auto verdict = [](bool v) { return v ? CompareResult::kTrue : CompareResult::kFalse; };
  if (o == "-EQ" || o == "EQ") return verdict(a == b);
  if (o == "-NE" || o == "NE") return verdict(a != b);
  if (o == "-LT" || o == "LT") return verdict(a < b);
  if (o == "-GT" || o == "GT") return verdict(a > b);
  if (o == "-LE" || o == "LE") return verdict(a <= b);
  if (o == "-GE" || o == "GE") return verdict(a >= b);
  if (o == "==" || o == "=") return verdict(common::EqualsIgnoreCase(left, right));
  if (o == "!=") return verdict(!common::EqualsIgnoreCase(left, right));
  return CompareResult::kUnknownOperator;
}

bool OnOffWord(const std::string& word, bool& on) {
  if (common::EqualsIgnoreCase(word, "ON")) {
    on = true;
    return true;
  }
  if (common::EqualsIgnoreCase(word, "OFF")) {
    on = false;
    return true;
  }
  return false;
}

}  // namespace

static int CmdEcho(Shell& shell, std::string& message, const TokenList& tokens) {
  const bool dotForm = common::EqualsIgnoreCase(tokens[0], "ECHO.");
  bool on = false;
  if (!dotForm && tokens.size() == 2 && OnOffWord(tokens[1], on)) {
    shell.echoOn_ = on;
    return shell.ErrorLevel();
  }
  if (!dotForm && tokens.size() == 1) {
    message = shell.EchoInEffect() ? "ON" : "OFF";
    return shell.ErrorLevel();
  }
  ShellWrite(TextAfterWord(shell.LastCommandLine(), !dotForm) + "\n");
  return shell.ErrorLevel();
}

constexpr CommandRow kEchoRow{
    "ECHO", kNoLimit, kNoLimit, CmdEcho, "ECHO [ON | OFF | text]", "Display text on the console",
    "    ECHO ON and ECHO OFF switch the showing of batch command\n"
    "    lines; ECHO alone tells the state; ECHO text prints text.\n"
    "    A leading @ keeps one line from being shown."};
constexpr CommandRow kEchoDotRow{
    "ECHO.", kNoLimit, kNoLimit, CmdEcho, "ECHO. [text]", "ECHO, printing leading spaces",
    "    Prints the text after the word as it is, leading blanks\n"
    "    included; ECHO. alone prints an empty line."};

static int CmdIf(Shell& shell, std::string& message, const TokenList& tokens) {
  auto malformed = [&](const char* reason) {
    message = std::string("Malformed Construct [") + reason + "]:\n   " + shell.LastCommandLine();
    return MALFORMED_IF_CONSTRUCT;
  };
  std::size_t a = 1;
  bool invert = false;
  if (tokens.size() > 1 && common::EqualsIgnoreCase(tokens[1], "NOT")) {
    invert = true;
    a = 2;
  }
  if (tokens.size() <= a) return malformed("Invalid Number Of Tokens");

  bool condition = false;
  std::size_t wordsUsed = 0;  // the IF, an optional NOT and the condition
  // A number out of range would be compared as another one.
  auto out_of_range = [&](std::size_t i) { return i < tokens.size() && !DecimalInRange(tokens[i]); };
  if (common::EqualsIgnoreCase(tokens[a], "EXIST") || common::EqualsIgnoreCase(tokens[a], "EXISTS")) {
    if (tokens.size() <= a + 1) return malformed("Invalid Number Of Tokens");
    condition = shell.partition().AnyEntryMatches(tokens[a + 1]);
    if (const int broken = shell.partition().LookupError(); broken != 0) {
      // A damaged directory neither holds nor lacks the name: the command does not run.
      message = "Unable To Read Directory Of: " + tokens[a + 1];
      return broken;
    }
    wordsUsed = a + 2;
  } else if (common::EqualsIgnoreCase(tokens[a], "ERRORLEVEL")) {
    if (tokens.size() <= a + 1) return malformed("Invalid Number Of Tokens");
    if (out_of_range(a + 1)) return malformed("Number Out Of Range");
    condition = shell.ErrorLevel() >= DecimalValue(tokens[a + 1]);
    wordsUsed = a + 2;
  } else {
    if (tokens.size() <= a + 2) return malformed("Invalid Number Of Tokens");
    if (out_of_range(a) || out_of_range(a + 2)) return malformed("Number Out Of Range");
    CompareResult r = Compare(tokens[a], tokens[a + 1], tokens[a + 2]);
    if (r == CompareResult::kUnknownOperator) return malformed("Unrecognized Compare Token");
    condition = r == CompareResult::kTrue;
    wordsUsed = a + 3;
  }
  if (invert) condition = !condition;
  if (!condition || shell.StopCode() != 0) return shell.ErrorLevel();

  std::string operation = SkipWords(shell.LastCommandLine(), wordsUsed).substr(0, kIfOperationBuffer - 1);
  if (shell.ParseCommandLine(operation, kIfOperationBuffer) > 0) {
    // EXIT and friends inside the operation end the line that holds the IF.
    if (shell.DispatchCommand(&message) == 1) shell.stopAfterCommand_ = true;
  }
  return shell.ErrorLevel();
}

constexpr CommandRow kIfRow{
    "IF", 1, kNoLimit, CmdIf, "See 'HELP IF'", "Processes an IF construct",
    "    IF [NOT] EXIST file command      file or pattern on SYS:\n"
    "    IF [NOT] ERRORLEVEL n command    error level n or higher\n"
    "    IF [NOT] v1 op v2 command\n"
    "      numbers:  -eq -ne -lt -gt -le -ge (or without the -)\n"
    "      text:     == or = (equal), != (differ), case ignored\n"
    "    The command runs when the condition holds (NOT inverts it);\n"
    "    it may be another IF, GOTO, CALL or EXIT."};

static int CmdSet(Shell& shell, std::string&, const TokenList& tokens) {
  if (tokens.size() == 1) {
    const std::uint16_t normal = shell.console().TextAttributes();
    const auto green = static_cast<std::uint16_t>((normal & 0xF0) | kAttrIntensity | kAttrGreen);
    for (const std::string& entry : shell.env().List()) {
      std::size_t eq = entry.find('=');
      std::string name = entry.substr(0, std::min(eq, kSetNameShown));
      shell.PrintInColour(green, name);
      ShellWrite(entry.substr(eq == std::string::npos ? entry.size() : eq) + "\n");
    }
    return shell.ErrorLevel();
  }
  EnvPutValue(TextAfterWord(shell.LastCommandLine(), true));
  return shell.ErrorLevel();
}

constexpr CommandRow kSetRow{
    "SET", 0, kNoLimit, CmdSet, "SET [var=[value]]", "View/edit 'local' ENV vars",
    "    SET alone lists the shell's variables. SET name=value sets\n"
    "    one (blanks and = allowed in the value); SET name= or SET\n"
    "    name removes it. Use %name% to substitute a value."};

static int CmdErrorLevel(Shell& shell, std::string& message, const TokenList& tokens) {
  if (tokens.size() > 1 && !DecimalInRange(tokens[1])) {
    message = "Number Out Of Range: " + tokens[1];
    return INVALID_PARAMETER;
  }
  if (tokens.size() > 1) return AbsoluteValue(DecimalValue(tokens[1]));
  message = "ERRORLEVEL: " + std::to_string(shell.ErrorLevel());
  return shell.ErrorLevel();
}

constexpr CommandRow kErrorLevelRow{
    "ERRORLEVEL", 0, 1, CmdErrorLevel, "ERRORLEVEL [#]", "Display/Set the errorLevel",
    "    Without a parameter shows the error level; with a number\n"
    "    sets it (to the number's absolute value)."};

static int CmdVerbose(Shell& shell, std::string& message, const TokenList& tokens) {
  bool on = false;
  if (tokens.size() > 1) {
    if (!OnOffWord(tokens[1], on)) {
      message = "Invalid Option: " + tokens[1];
      return shell.ErrorLevel();
    }
    SetVerboseMode(on);
  }
  message = std::string("Verbose Mode: ") + (VerboseMode() ? "Verbose" : "Quiet");
  return shell.ErrorLevel();
}

constexpr CommandRow kVerboseRow{
    "VERBOSE", 0, 1, CmdVerbose, "VERBOSE [OFF | ON]", "Turn on debug display info",
    "    VERBOSE ON shows extra diagnostic output, VERBOSE OFF stops\n"
    "    it. -VERBOSE at the end of a line does so for that line."};

static int CmdLogAll(Shell&, std::string& message, const TokenList& tokens) {
  bool on = false;
  if (tokens.size() > 1) {
    if (!OnOffWord(tokens[1], on)) {
      message = "Invalid Option: " + tokens[1];
      return 0;
    }
    SetLogAllMode(on);
  }
  message = std::string("LOG Mode: ") + (LogAllMode() ? "Enabled" : "Disabled");
  return 0;
}

constexpr CommandRow kLogAllRow{
    "LOGALL", 0, 1, CmdLogAll, "LOGALL [OFF|ON]", "Logs all to TORBEL.LOG",
    "    LOGALL ON copies all console output to the session log,\n"
    "    LOGALL OFF stops it. Without a parameter shows the mode."};

}  // namespace partshell
