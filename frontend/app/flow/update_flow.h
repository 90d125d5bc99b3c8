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
#include "zolp/partition_update.h"

namespace zolp {

class UpdateFlow final : public OptionFlow {
 public:
  UpdateFlow(const Services& services, OptionView& view);
  ~UpdateFlow() override;

  void OnInit() override;
  void OnCommand(int control) override;
  void OnWorkerMessage(std::uint32_t message, std::intptr_t wParam, std::intptr_t lParam) override;

  bool Updating() const { return job_ != nullptr; }
  bool Probing() const { return probe_ != nullptr; }
  const std::string& Prefix() const { return prefix_; }

 private:
  struct ProbeJob {
    WindowRef owner = 0;
    DiagnosticsProbe result;
  };
  void OnProbed();
  void StartUpdate();
  void Finish(bool updated);

  Services services_;
  OptionView& view_;
  std::string prefix_ = "\\";
  std::string installed_ = "Unknown";
  std::string newVersion_ = "Unknown";
  std::unique_ptr<UpdateJob> job_;  // from Update until the worker's 0x500
  // The first probes of the partition, from OnInit until their worker's 0x500;
  // shared with the worker, which may outlive a dialog closed meanwhile.
  std::shared_ptr<ProbeJob> probe_;
  bool progressShown_ = false;
};

}  // namespace zolp
