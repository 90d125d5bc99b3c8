#include <cstdlib>
#include <cstring>
#include <memory>

#include "common/text.h"
#include "partshell/command_parser.h"
#include "partshell/command_rows.h"
#include "partshell/shell.h"

namespace partshell {
namespace {

constexpr int kBatchLineBuffer = 512;
constexpr std::size_t kBatchCapacity = 512;
constexpr std::size_t kBatchNameMax = 255;
// Each nested batch file holds an open file and a few stack frames; a file
// that calls itself would otherwise run the process out of one or the other.
constexpr int kBatchDepthMax = 64;

// The lines of a batch file, each whole through its line end. A line that
// does not fit the shell's line buffer (more than 510 characters before its
// end) or holds a NUL is no command: `refused` says why, and none of it runs.
class BatchLines {
 public:
  explicit BatchLines(LocalFile& file) : file_(file), chunk_(new char[kChunk]) {}

  bool Next(std::string& line, const char*& refused) {
    line.clear();
    refused = nullptr;
    bool any = false;
    for (;;) {
      if (at_ == held_ && !Fill()) break;
      const char c = chunk_[at_++];
      any = true;
      if (c == '\n') break;
      if (line.size() < static_cast<std::size_t>(kBatchLineBuffer)) line += c;
    }
    if (!any) return false;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > static_cast<std::size_t>(kBatchLineBuffer) - 2) {
      refused = "Line Longer Than 510 Characters";
    } else if (line.find('\0') != std::string::npos) {
      refused = "NUL Character In Line";
    }
    return true;
  }

  void Rewind() {
    at_ = held_ = 0;
    file_.Rewind();
  }

 private:
  bool Fill() {
    const LocalIo io = file_.Read(chunk_.get(), kChunk);
    at_ = 0;
    held_ = io.ok ? io.bytes : 0;
    return held_ != 0;
  }

  static constexpr std::size_t kChunk = 4096;
  LocalFile& file_;
  std::unique_ptr<char[]> chunk_;
  std::size_t at_ = 0;
  std::size_t held_ = 0;
};

std::string FirstWord(const std::string& text) {
  std::size_t end = text.find_first_of(" \t");
  return end == std::string::npos ? text : text.substr(0, end);
}

}  // namespace

int Shell::RunBatchFile(std::string* message, const std::string& path) {
  const bool echoAtStart = EchoInEffect();
  labelMissing_ = false;
  ++batchDepth_;

  std::unique_ptr<LocalFile> file;
  std::uint32_t open_error = 0;
  if (batchDepth_ > kBatchDepthMax) {
    ShellWrite("[torbel] Batch Files Nested Too Deeply: " + path + "\n");
    errorLevel_ = 1;
  } else if (const LocalKind kind = local_files_.Status(local_files_.HostPath(path)).kind;
             kind != LocalKind::file && kind != LocalKind::missing) {
    // A directory, a pipe or a device is no batch file; reading one could wait for ever.
    ShellWrite("[torbel] Not A Batch File: " + path + "\n");
    errorLevel_ = 1;
  } else if (!(file = local_files_.Open(local_files_.HostPath(path), LocalOpenMode::read_text, open_error))) {
    ShellWrite("[torbel] File Not Found: " + path + "\n");
    errorLevel_ = 1;
  } else {
    BatchLines lines(*file);
    std::string text;
    const char* refused = nullptr;
    unsigned long number = 0;
    while (StopCode() == 0 && lines.Next(text, refused)) {
      ++number;
      if (refused != nullptr) {
        // The batch ends here: what it meant to do on this line is not known.
        ShellWrite("[torbel] " + std::string(refused) + ": " + path + ", Line " + std::to_string(number) + "\n");
        errorLevel_ = INVALID_COMMAND_ENCOUNTERED;
        break;
      }
      std::string line = TrimWhite(text);
      if (ParseCommandLine(line, kBatchCapacity) > 0) {
        int stop = DispatchCommand(message);
        if (stop == 1 || exitRequested_ || labelMissing_) break;
      }
      if (pendingLabel_.empty()) continue;

      // Labels are searched from the top, so jumps go both ways and the
      // first of two equal labels wins.
      const std::string label = pendingLabel_;
      pendingLabel_.clear();
      lines.Rewind();
      bool found = false;
      number = 0;
      while (StopCode() == 0 && lines.Next(text, refused)) {
        ++number;
        if (refused != nullptr) continue;
        std::string candidate = TrimWhite(text);
        if (!candidate.empty() && candidate[0] == ':' && common::EqualsIgnoreCase(FirstWord(candidate), label)) {
          found = true;
          break;
        }
      }
      if (!found) {
        if (StopCode() == 0) {
          ShellWrite("[torbel] Target Label Not Found: " + label + "\n");
          errorLevel_ = TARGET_LABEL_MISSING;
          labelMissing_ = true;
        }
        break;
      }
    }
  }

  pendingLabel_.clear();
  --batchDepth_;
  echoOn_ = echoAtStart;
  return errorLevel_;
}

static int CmdCall(Shell& shell, std::string& message, const TokenList& tokens) {
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

constexpr CommandRow kCallRow{
    "CALL", 1, 1, CmdCall, "CALL batch_file_name.F16", "Run a .F16 batch file",
    "    Runs the commands of a local batch file, line by line.\n"
    "    A name without a dot gets .F16 appended. Batch files may\n"
    "    CALL other batch files; the error level is that of the\n"
    "    last command run."};

static int CmdGoto(Shell& shell, std::string&, const TokenList& tokens) {
  if (shell.batchDepth_ == 0) return shell.ErrorLevel();
  std::string label = TrimWhite(tokens[1].substr(0, kLabelMax));
  if (label.empty() || label[0] != ':') label.insert(0, ":");
  shell.pendingLabel_ = label;
  return shell.ErrorLevel();
}

constexpr CommandRow kGotoRow{"GOTO", 1, 1, CmdGoto, "GOTO :LABEL", "Start execution after :LABEL", ""};

static int CmdExitAll(Shell& shell, std::string&, const TokenList& tokens) {
  shell.exitRequested_ = true;
  if (tokens.size() < 2) return shell.ErrorLevel();
  long long value = DecimalValue(tokens[1]);
  return static_cast<int>(std::min<long long>(value < 0 ? -value : value, 0x7FFFFFFF));
}

constexpr CommandRow kExitAllRow{
    "EXITALL", 0, 1, CmdExitAll, "EXITALL [#]", "Exit prg/ALL batch [ret code]",
    "    Ends every running batch file and then the program. With a\n"
    "    number, the exit code becomes its absolute value."};

}  // namespace partshell
