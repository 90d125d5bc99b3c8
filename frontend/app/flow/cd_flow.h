// "Create a Bootable CD": the package's CD section built by vellix into an
// ISO 9660 image with an El Torito boot entry, kept as a file or burned onto
// a CD-R or CD-RW. The flow of the CD image dialog, CCDDlg (template 109); the
// burn is the burn dialog's (burn_flow.h).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "flow/option_view.h"
#include "zolp/messages.h"

namespace zolp {

inline constexpr const char* kDefaultIsoName = "diags.iso";

class CdFlow final : public OptionFlow {
 public:
  // Runs the burn dialog modally for the built image; answers true when the
  // disc was burned.
  using RunBurnDialog = std::function<bool(const std::string& imagePath)>;

  CdFlow(const Services& services, OptionView& view, RunBurnDialog runBurn);

  void OnInit() override;
  void OnCommand(int control) override;
  void OnWorkerMessage(std::uint32_t message, std::intptr_t wParam, std::intptr_t lParam) override;

  bool Building() const { return job_.has_value(); }

 private:
  void ShowBurnChoice(bool burn);
  void ChoosePath();
  void Build();
  void Close(DialogResult result);

  Services services_;
  OptionView& view_;
  RunBurnDialog runBurn_;
  std::string imagePath_;  // what the path field shows while saving to a file
  bool burn_ = false;      // the running build is for a burn
  std::string buildPath_;  // the image the running build writes
  std::string commandLine_;
  std::optional<BuildJob> job_;  // from the start of the build until 0x502
};

}  // namespace zolp
