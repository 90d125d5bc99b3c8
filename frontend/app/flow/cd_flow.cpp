#include "flow/cd_flow.h"

#include "flow/image_flow.h"
#include "flow/option_support.h"
#include "resource.h"
#include "zolp/mmc.h"
#include "zolp/report.h"
#include "zolp/system_info.h"
#include "zolp/tool_runner.h"

namespace zolp {

namespace {

constexpr const char* kSaveTitle = "Select Location for ISO CD Image File";
constexpr const char* kSaveFilter = "ISO Files (*.iso)|*.iso|All Files|*.*||";
constexpr const char* kBurnText = "Burn CD";

}  // namespace

CdFlow::CdFlow(const Services& services, OptionView& view, RunBurnDialog runBurn)
    : services_(services), view_(view), runBurn_(std::move(runBurn)) {}

void CdFlow::OnInit() {
  imagePath_ = SectionImagePath(services_, "[CD]", kDefaultIsoName);
  view_.SetText(IDC_CD_PATH, imagePath_);
  view_.SetChecked(IDC_CD_BURN, false);
  // Burning needs an administrator and a writer; anyone can save the image.
  const bool canBurn =
      IsUserAdmin(services_) && fEnumCdWriters(services_, nullptr, nullptr) > 0;
  view_.Enable(IDC_CD_BURN, canBurn);
}

void CdFlow::OnCommand(int control) {
  // The dialog outlives a running build (its worker reports to this window)
  // and keeps its choices until then.
  if (Building()) return;
  if (control == IDC_CD_BURN) {
    // A plain check box: its check follows the flow, not the click.
    ShowBurnChoice(!view_.IsChecked(IDC_CD_BURN));
  } else if (control == IDC_CD_BROWSE) {
    ChoosePath();
  } else if (control == kIdOk) {
    Build();
  } else if (control == kIdCancel) {
    view_.End(DialogResult::Cancel);
  }
}

void CdFlow::ShowBurnChoice(bool burn) {
  // What the user typed is kept for when the box is cleared again.
  if (burn && !view_.IsChecked(IDC_CD_BURN))
    imagePath_ = view_.Text(IDC_CD_PATH).substr(0, kImagePathMax);
  view_.SetChecked(IDC_CD_BURN, burn);
  view_.Enable(IDC_CD_PATH, !burn);
  view_.Enable(IDC_CD_BROWSE, !burn);
  view_.SetText(IDC_CD_PATH, burn ? kBurnText : imagePath_);
}

void CdFlow::ChoosePath() {
  if (std::optional<std::string> chosen =
          ChooseImagePath(services_, view_, kSaveTitle, kSaveFilter, view_.Text(IDC_CD_PATH))) {
    imagePath_ = *chosen;
    view_.SetText(IDC_CD_PATH, imagePath_);
  }
}

void CdFlow::Build() {
  services_.ui->BringMainWindowToFront();
  view_.ShowDialog(false);
  burn_ = view_.IsChecked(IDC_CD_BURN);
  if (burn_) {
    // A burn's image is temporary: it goes once the burn dialog has closed.
    if (!services_.files->TemporaryFileName(".", "~DP", buildPath_)) {
      ReportLastError(services_, false, "Failed to create the CD. Create temporary filename",
                      "Error");
      view_.End(DialogResult::Cancel);
      return;
    }
  } else {
    buildPath_ = view_.Text(IDC_CD_PATH).substr(0, kImagePathMax);
    if (!MayReplace(services_, view_, buildPath_)) {
      view_.End(DialogResult::Cancel);
      return;
    }
  }
  commandLine_ = CdRun(VolumeLabel(services_), buildPath_).CommandLine();
  job_ = BuildJob{view_.Window(), commandLine_.c_str()};
  if (!StartImageBuild(services_, *job_)) {
    ReportLastError(services_, false, "Start vellix", "Error");
    job_.reset();
    // Nothing was built: a file being replaced stays as it was.
    if (burn_) DeleteToolFile(services_, buildPath_);
    view_.End(DialogResult::Cancel);
  }
}

void CdFlow::OnWorkerMessage(std::uint32_t message, std::intptr_t wParam, std::intptr_t) {
  if (message != kMsgImageBuilt || !Building()) return;
  job_.reset();
  if (wParam != 0) {  // the worker has shown why; what vellix left is no image
    Close(DialogResult::Cancel);
    return;
  }
  if (burn_) {
    Close(runBurn_(buildPath_) ? DialogResult::Ok : DialogResult::Cancel);
    return;
  }
  view_.Ask("The CD ISO image file was successfully created.", "Success!",
            MessageIcon::Information, Buttons::Ok);
  view_.End(DialogResult::Ok);
}

// Ends the dialog without a saved image: a burn's temporary image always goes,
// a file being saved only when its build failed.
void CdFlow::Close(DialogResult result) {
  if (burn_) {
    // The burn worker may still be closing the image when its last message arrives.
    DeleteToolFile(services_, buildPath_);
  } else {
    services_.files->Delete(buildPath_);
  }
  view_.End(result);
}

}  // namespace zolp
