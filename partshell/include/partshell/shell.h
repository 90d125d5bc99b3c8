// The partition shell's session: the state every command works with, and
// the services command handlers use (output, keys, paging, environment,
// error level, the mounted partition).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "partshell/command_row.h"
#include "partshell/console.h"
#include "partshell/error_codes.h"
#include "partshell/local_environment.h"
#include "partshell/local_files.h"
#include "partshell/partition_access.h"
#include "partshell/session_log.h"
#include "partshell/shell_output.h"

namespace partshell {

class MountedVolume;
class Fat16Engine;

inline constexpr int kHistoryLines = 20;
inline constexpr std::size_t kEditorLineMax = 254;
inline constexpr std::size_t kLastLineMax = 255;
inline constexpr std::size_t kMaxTokens = 21;
inline constexpr std::size_t kLabelMax = 40;

// Ends the process with an exit code; it does not return.
using ProcessEnd = void (*)(int exit_code);

class Shell {
 public:
  Shell(Console& console, PartitionAccess& partition, LocalFiles& local_files);
  Shell(const Shell&) = delete;
  Shell& operator=(const Shell&) = delete;

  // ---- services for command handlers ----
  Console& console() { return console_; }
  PartitionAccess& partition() { return partition_; }
  LocalFiles& local_files() { return local_files_; }
  LocalEnvironment& env() { return ShellEnvironment(); }
  // The mounted drive and its FAT16 engine; null while nothing is mounted
  // (and in tests that use a stand-in partition).
  MountedVolume* volume() { return volume_; }
  Fat16Engine* engine() { return engine_; }
  void AttachVolume(MountedVolume* volume, Fat16Engine* engine) {
    volume_ = volume;
    engine_ = engine;
  }

  int ErrorLevel() const { return errorLevel_; }
  // Publishes "$?" and "ERRORLEVEL" in the local environment.
  void SetErrorLevel(int value);
  // Sets the level without publishing it (a failed parameter check).
  void SetErrorLevelQuietly(int value) { errorLevel_ = value; }

  int StopCode() const { return StopCodeCell().load(); }
  // The one cell that console control events write; process-wide because
  // the events arrive on their own thread or in a signal handler.
  static std::atomic<int>& StopCodeCell();

  // Waits for a key; the codes of special keys follow the line editor's
  // table. Returns 27 (Esc) once StopCode is set or the input has ended.
  int ReadKey();
  bool InputEnded() const { return inputEnded_; }
  // "-- more -- ?": 0 to stop, 1 to go on.
  int PagePrompt();
  // Lines per page of a paged listing (0 = no paging).
  int PageLength() const { return pageLength_; }
  void SetPageLength(int lines) { pageLength_ = lines; }
  // Lines per page of the hex display and the text writer (0 = no paging);
  // setting it restarts the line and column counts. The answer "C" at a
  // page prompt sets it to 0.
  int HexPageSize() const { return hexPageSize_; }
  void SetHexPageSize(int lines) {
    hexPageSize_ = lines;
    hexLineCount_ = 0;
    hexColumn_ = 0;
  }
  int hexLineCount_ = 0;
  int hexColumn_ = 0;
  // The hex display: 16 bytes a line, paged; 1 when the whole block was
  // shown, 0 when the user stopped it.
  int HexDump(const std::uint8_t* data, std::size_t length, std::uint32_t baseOffset);
  // The same lines written to the session log only, never paged.
  static void TraceHexDump(const std::uint8_t* data, std::size_t length, std::uint32_t baseOffset);

  // The last line given to ParseCommandLine, after substitution.
  const std::string& LastCommandLine() const { return lastCommandLine_; }
  const std::string& LastMessage() const { return lastMessage_; }
  bool EchoInEffect() const { return echoOn_ && !lineEchoSuppressed_; }
  int BatchDepth() const { return batchDepth_; }

  // Prints in the given attributes and puts the previous ones back.
  void PrintInColour(std::uint16_t attributes, const std::string& text);
  std::string BuildPrompt() const;

  // ---- command language ----
  // Substitutes variables, keeps the line as LastCommandLine and splits it.
  // Returns the number of tokens (0 for empty lines, comments and labels).
  int ParseCommandLine(std::string& line, std::size_t capacity);
  // The same for the program's own words, each substituted and kept as one
  // token, blanks and all.
  int ParseCommandWords(const std::vector<std::string>& words, std::size_t capacity);
  const TokenList& Tokens() const { return tokens_; }
  // Runs the parsed command (or, with no tokens, the interactive loop).
  // Returns 1 when the caller should stop.
  int DispatchCommand(std::string* message);
  int RunBatchFile(std::string* message, const std::string& path);
  // The interactive editor; 1 when a line was parsed into tokens or the run
  // should stop.
  int ReadCommandLine();
  void ShowHelp(const char* command, bool extended);

  // When the partition has met a fatal condition, ends the process with its
  // code at once, the console put back first; nothing more is shown or
  // written. Checked after every command and after the mount.
  void EndRunOnFatalCondition();
  // How the process is ended (std::exit unless set).
  void SetProcessEnd(ProcessEnd end) { processEnd_ = end; }

  // ---- session state the control commands work on ----
  bool echoOn_ = true;
  bool lineEchoSuppressed_ = false;
  int batchDepth_ = 0;
  bool exitRequested_ = false;
  bool labelMissing_ = false;
  std::string pendingLabel_;
  bool interactiveMark_ = false;
  // Set by a handler whose nested command asked its caller to stop (an
  // EXIT carried by an IF); DispatchCommand then returns 1 for the line.
  bool stopAfterCommand_ = false;

  std::time_t shellStartTime_ = 0;
  std::time_t commandStartTime_ = 0;

 private:
  void RunMainLoop();
  int DispatchOne(std::string& message);
  void AddHistory(const std::string& line);
  void EraseShownLine(const std::string& line, std::size_t cursor);

  Console& console_;
  PartitionAccess& partition_;
  LocalFiles& local_files_;
  ProcessEnd processEnd_ = nullptr;
  int errorLevel_ = 0;
  int pageLength_ = 0;
  int hexPageSize_ = 0;
  MountedVolume* volume_ = nullptr;
  Fat16Engine* engine_ = nullptr;
  bool inputEnded_ = false;
  std::string lastCommandLine_;
  std::string lastMessage_;
  std::string lastPrintedMessage_;
  unsigned long messagesPrinted_ = 0;
  TokenList tokens_;
  std::vector<std::string> history_;
};

}  // namespace partshell
