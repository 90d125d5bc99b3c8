// The update of the utility partition (type DE, SYS: of torbel) from the
// package, as the dialog and the command line run it: the probe that finds the
// diagnostics directory and the installed version, and the worker that runs
// the deletions of [UP_DELETE], creates \Diags when it is missing and runs the
// copies of [UP_COPY], one torbel run per command.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "zolp/host.h"

namespace zolp {

inline constexpr std::size_t kDiagVersionSize = 32;  // a version text with its end
inline constexpr std::size_t kUpdateCommandMax = 127;
inline constexpr const char* kUpdateProgressTitle = "Diagnostic Partition Update Progress";
inline constexpr const char* kUpdateNotPossible =
    "Update not possible - No Diagnostic Utility Partition was found or there was an error "
    "accessing the partition!";

// What the dialog and its worker share: written by the dialog before the
// worker starts, afterwards only by the worker.
struct UpdateJob {
  WindowRef owner = 0;
  bool error = false;
  unsigned total = 0;  // the steps the progress counts
  unsigned done = 0;
  std::string prefix = "\\";  // the diagnostics directory: "\", "\DIAGS\" or "\ORVOUP\DIAGS\"
};

// The share of the steps done, 0..100: never more than all of them, and 0
// while there are none.
int UpdatePercent(unsigned done, unsigned total);

// The partition command of one [UP_DELETE] line: "R,<path>" deletes the path
// from the partition's root, "T,<name>" the name in the diagnostics directory
// (the letter in either case). False for any other line, and for a command
// longer than the runner takes.
bool DeleteCommandFor(std::string_view line, const std::string& prefix, std::string& command);

// The text for a torbel exit code ("Unknown error" for codes without one).
const char* PartitionErrorText(std::uint32_t exitCode);

// The update worker: reports progress with 0x501 and ends every path with
// exactly one 0x500 (0 = updated, -1 = failed; each failure was shown where it
// happened). Touches nothing of the job after that last message.
void PartitionUpdateThread(const Services& services, UpdateJob& job);

// What the partition holds before an update. toolMissing: torbel could not be
// had at all (the runner has said so). Otherwise status and exitCode are those
// of the last command run; found when the diagnostics directory was told.
struct DiagnosticsProbe {
  bool toolMissing = false;
  bool found = false;
  std::uint32_t status = 0;
  std::uint32_t exitCode = 0;
  std::string prefix = "\\";
  std::string installed = "Unknown";
};

// In update debug mode (updebug): empties C:\UPDEBUG and copies the partition
// to its BEFORE folder.
void PrepareDebugCopies(const Services& services);
// Finds the diagnostics directory and reads the installed version (copied
// over into the package's UP directory, which is left as it was).
DiagnosticsProbe ProbeDiagnostics(const Services& services);
// The version of the package's diagnostics.
std::string NewDiagVersion(const Services& services);
// "This option will update ... to version X from version Y."
std::string UpdateConfirmation(const std::string& newVersion, const std::string& installed);

}  // namespace zolp
