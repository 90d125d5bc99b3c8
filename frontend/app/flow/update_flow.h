// "Update Existing Diagnostic Partition": replaces the diagnostics on the
// hidden utility partition (type DE, SYS: of torbel) of this computer with
// those of the package. The dialog (CUpdateDlg, template 144) finds the
// diagnostics directory on the partition, shows the installed and the new
// version and, on Update, hands the work to a worker that runs the deletions
// of [UP_DELETE], creates \Diags when it is missing and runs the copies of
// [UP_COPY], one torbel run per command.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "flow/option_view.h"

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

class UpdateFlow final : public OptionFlow {
 public:
  UpdateFlow(const Services& services, OptionView& view);
  ~UpdateFlow() override;

  void OnInit() override;
  void OnCommand(int control) override;
  void OnWorkerMessage(std::uint32_t message, std::intptr_t wParam, std::intptr_t lParam) override;

  bool Updating() const { return job_ != nullptr; }
  const std::string& Prefix() const { return prefix_; }

 private:
  void PrepareDebugCopies();
  bool FindDiagnostics(std::uint32_t& status, std::uint32_t& exitCode);
  void ReadInstalledVersion();
  void StartUpdate();
  void Finish(bool updated);

  Services services_;
  OptionView& view_;
  std::string prefix_ = "\\";
  std::string installed_ = "Unknown";
  std::string newVersion_ = "Unknown";
  std::unique_ptr<UpdateJob> job_;  // from Update until the worker's 0x500
  bool progressShown_ = false;
};

}  // namespace zolp
