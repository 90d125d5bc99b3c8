#include "flow/update_flow.h"

#include "resource.h"
#include "zolp/messages.h"
#include "zolp/report.h"

namespace zolp {

UpdateFlow::UpdateFlow(const Services& services, OptionView& view)
    : services_(services), view_(view) {}

UpdateFlow::~UpdateFlow() = default;

void UpdateFlow::OnInit() {
  // The partition is asked on a worker (each torbel run takes its time); the
  // dialog waits for the answer with OK disabled.
  view_.Enable(kIdOk, false);
  probe_ = std::make_shared<ProbeJob>();
  probe_->owner = view_.Window();
  const Services services = services_;
  std::shared_ptr<ProbeJob> job = probe_;
  if (!services_.workers->StartThread([services, job] {
        if (services.options.upDebug) PrepareDebugCopies(services);
        job->result = ProbeDiagnostics(services);
        services.ui->Post(job->owner, kMsgJobFinished, 0, 0);
      })) {
    probe_.reset();
    ReportLastError(services_, false, "Start diagnostic partition update", "Error");
    view_.End(DialogResult::Cancel);
  }
}

void UpdateFlow::OnProbed() {
  const DiagnosticsProbe probe = probe_->result;
  probe_.reset();
  if (probe.toolMissing) {
    // The runner has already said that torbel.exe could not be had.
    view_.End(DialogResult::Cancel);
    return;
  }
  prefix_ = probe.prefix;
  installed_ = probe.installed;
  if (!probe.found || probe.status != 0) {
    if (services_.options.verbose)
      view_.Ask(Format("execStatus = %d, exitCode=%d", static_cast<int>(probe.status),
                       static_cast<int>(probe.exitCode)),
                "Verbose", MessageIcon::Information, Buttons::Ok);
    view_.Ask(kUpdateNotPossible, "Warning", MessageIcon::Information, Buttons::Ok);
    view_.End(DialogResult::Cancel);
    return;
  }

  newVersion_ = NewDiagVersion(services_);
  view_.SetText(IDC_UP_TEXT, UpdateConfirmation(newVersion_, installed_));
  view_.SetLook(IDC_UP_WARNING, FontLook{"", 13, Rgb(255, 0, 0), kFontBold | kFontCentred});
  view_.Enable(kIdOk, true);
}

void UpdateFlow::OnCommand(int control) {
  // The workers report to this window: the dialog stays until they have finished.
  if (Updating() || Probing()) return;
  if (control == kIdOk) StartUpdate();
  if (control == kIdCancel) view_.End(DialogResult::Cancel);
}

void UpdateFlow::StartUpdate() {
  job_ = std::make_unique<UpdateJob>();
  job_->owner = view_.Window();
  job_->prefix = prefix_;
  UpdateJob* job = job_.get();
  const Services services = services_;
  if (!services_.workers->StartThread([services, job] { PartitionUpdateThread(services, *job); })) {
    ReportLastError(services_, false, "Start diagnostic partition update", "Error");
    Finish(false);
  }
}

void UpdateFlow::OnWorkerMessage(std::uint32_t message, std::intptr_t wParam, std::intptr_t) {
  if (Probing() && message == kMsgJobFinished) return OnProbed();
  if (!Updating()) return;
  if (message == kMsgProgress) {
    if (!progressShown_) {
      view_.OpenProgress(IDI_PARTITION, kUpdateProgressTitle);
      progressShown_ = true;
      view_.ShowDialog(false);
    }
    view_.SetProgress(static_cast<int>(wParam));
  } else if (message == kMsgJobFinished) {
    Finish(wParam == 0);
  }
}

void UpdateFlow::Finish(bool updated) {
  job_.reset();
  services_.ui->BringMainWindowToFront();
  if (progressShown_) {
    view_.CloseProgress();
    progressShown_ = false;
  }
  if (updated)
    view_.Ask("The diagnostic partition was successfully updated.", "Success!",
              MessageIcon::Information, Buttons::Ok);
  view_.End(updated ? DialogResult::Ok : DialogResult::Cancel);
}

}  // namespace zolp
