#include "flow/usb_flow.h"

#include "flow/option_support.h"
#include "resource.h"
#include "zolp/copy_estimate.h"
#include "zolp/image_copy.h"
#include "zolp/mmc.h"
#include "zolp/report.h"
#include "zolp/system_info.h"
#include "zolp/tool_runner.h"

namespace zolp {

namespace {

constexpr const char* kWarning =
    "WARNING - Select the destination carefully.\nAll data on the selected drive will be erased. ";

}  // namespace

UsbFlow::UsbFlow(const Services& services, OptionView& view) : services_(services), view_(view) {}

void UsbFlow::OnInit() {
  view_.SetText(IDC_USB_WARNING, kWarning);
  view_.SetLook(IDC_USB_WARNING, FontLook{"", 13, Rgb(255, 0, 0), kFontBold | kFontCentred});
  FillList(0);
  if (view_.ListCount(IDC_USB_DRIVES) == 0) {
    view_.Ask(kUsbNoDrives, "Warning", MessageIcon::Information, Buttons::Ok);
    view_.End(DialogResult::Cancel);
  }
}

void UsbFlow::FillList(int selection, std::intptr_t chosen) {
  const std::vector<UsbDrive> drives = FindUsbDrives(services_);
  view_.ClearList(IDC_USB_DRIVES);
  for (const UsbDrive& drive : drives) view_.AddListItem(IDC_USB_DRIVES, drive.entry, drive.number);
  const int count = static_cast<int>(drives.size());
  // The drive the user chose stays chosen when another one comes or goes before it in the
  // list: OK erases the selected drive, so the selection must never move to another disk.
  // The list sorts its entries: the chosen drive is looked for by the number each entry carries.
  for (int i = 0; i < count && chosen >= 0; ++i) {
    if (static_cast<std::intptr_t>(view_.ListItemData(IDC_USB_DRIVES, i)) == chosen) {
      selection = i;
      break;
    }
  }
  view_.SelectListItem(IDC_USB_DRIVES,
                       count == 0 ? -1 : selection >= 0 && selection < count ? selection : 0);
  view_.Enable(kIdOk, count > 0);
}

void UsbFlow::OnDeviceChange(std::uint32_t event) {
  // The list is for choosing; once a drive is being written it stays as it is.
  if (Busy() || (event != kDeviceArrival && event != kDeviceRemoveComplete)) return;
  services_.clock->Sleep(kRefreshDelayMs);
  const int selected = view_.SelectedListItem(IDC_USB_DRIVES);
  FillList(selected, selected >= 0
                         ? static_cast<std::intptr_t>(view_.ListItemData(IDC_USB_DRIVES, selected))
                         : -1);
}

void UsbFlow::OnCommand(int control) {
  // While building or copying the workers report to this window: it stays.
  if (Busy()) return;
  if (control == kIdOk) Start();
  if (control == kIdCancel) view_.End(DialogResult::Cancel);
}

void UsbFlow::OnWorkerMessage(std::uint32_t message, std::intptr_t wParam, std::intptr_t lParam) {
  if (message == kMsgImageBuilt && state_ == State::Building) {
    OnBuilt(static_cast<std::int32_t>(wParam));
  } else if (message == kMsgProgress && state_ == State::Copying) {
    OnProgress(static_cast<int>(wParam), PostedText(lParam));
  } else if (message == kMsgJobFinished && state_ == State::Copying) {
    OnCopied(wParam, PostedText(lParam));
  }
}

// A refusal before anything was built: its box, and the dialog closes.
void UsbFlow::Refuse(const char* text) {
  view_.Ask(text, "Error", MessageIcon::Warning, Buttons::Ok);
  Abandon();
}

void UsbFlow::Start() {
  const int selected = view_.SelectedListItem(IDC_USB_DRIVES);
  if (selected < 0) return;
  view_.Enable(kIdOk, false);
  view_.Enable(kIdCancel, false);
  driveNumber_ = static_cast<unsigned>(view_.ListItemData(IDC_USB_DRIVES, selected));

  // Any of the drive's volumes, not only the first with a letter.
  if (DiskHoldsDrive(services_, driveNumber_, services_.options.programDrive))
    return Refuse(kUsbOwnDrive);

  disk_ = services_.devices->Open(Format("\\\\.\\PhysicalDrive%u", driveNumber_),
                                  DiskAccess::ReadWrite);
  if (!disk_) {
    ReportLastError(services_, false, "Opening the USB flash drive", "Error");
    return Abandon();
  }
  if (fGetMediaSize(services_, *disk_, &lastSector_) == 0) return Refuse(kUsbNoSize);
  const UsbImagePlan plan = PlanUsbImage(lastSector_);
  if (plan.refusal != nullptr) return Refuse(plan.refusal);

  const std::string label = VolumeLabel(services_);
  if (!services_.files->TemporaryFileName(".", "~DP", imagePath_)) {
    ReportLastError(services_, false, "Create temporary filename", "Error");
    imagePath_.clear();
    return Abandon();
  }
  commandLine_ = UsbImageCommandLine(label, plan.blocks, imagePath_);
  if (services_.options.verbose)
    view_.Ask(commandLine_, "Verbose", MessageIcon::Warning, Buttons::Ok);
  state_ = State::Building;
  if (!StartBuildJob(services_, buildJob_, view_.Window(), commandLine_)) Abandon();
}

void UsbFlow::OnBuilt(std::int32_t exitCode) {
  buildJob_.reset();
  if (exitCode != 0) return Abandon();  // the build worker has shown why

  // Nothing may use the drive's volumes while it is rewritten under them; the
  // system refuses the writes otherwise.
  std::string refusal;
  if (volumes_.HoldDisk(services_, driveNumber_, refusal) != HeldVolumes::Outcome::Held) {
    view_.Ask(refusal, "Error", MessageIcon::Warning, Buttons::Ok);
    return Abandon();
  }

  copyJob_ = CopyJob{view_.Window(), disk_.get(), imagePath_.c_str(),
                     (static_cast<std::uint64_t>(lastSector_) + 1) * kUsbSectorBytes};
  copyJob_->verify = services_.options.verify;
  copyJob_->clearTail = true;
  copyJob_->failureText = verifyFailure_;
  copyJob_->failureTextSize = sizeof verifyFailure_;
  std::uint64_t imageBytes = 0;
  if (auto image = services_.files->OpenRead(imagePath_)) image->Size(imageBytes);
  copyBytes_ = CopyTotalBytes(*copyJob_, imageBytes);
  state_ = State::Copying;
  if (!StartImageCopy(services_, *copyJob_)) {
    ReportLastError(services_, false, "Start copy", "Error");
    Abandon();
  }
}

void UsbFlow::OnProgress(int percent, const char* status) {
  if (!progressShown_) {
    view_.OpenProgress(IDI_USB, "Copy Progress");
    progressShown_ = true;
    verifying_ = false;
    view_.ShowDialog(false);
    estimate_.Start(services_.clock->Milliseconds(), copyBytes_);
  }
  if (!verifying_ && status != nullptr && std::string_view(status) == kCopyVerifying) {
    verifying_ = true;
    view_.SetProgressTitle("Copy Progress - Verifying");
    estimate_.Start(services_.clock->Milliseconds(), copyBytes_);
  }
  view_.SetProgress(percent);
  const std::uint64_t done = copyBytes_ * static_cast<std::uint64_t>(percent) / 100;
  view_.SetProgressText(ProgressText(percent, estimate_.Update(services_.clock->Milliseconds(), done)));
}

void UsbFlow::OnCopied(std::intptr_t error, const char* text) {
  // The worker has closed the image before its last message.
  DeleteToolFile(services_, imagePath_);
  imagePath_.clear();
  services_.ui->BringMainWindowToFront();
  if (progressShown_) view_.CloseProgress();
  progressShown_ = false;
  copyJob_.reset();

  const bool succeeded = error == 0 && text == nullptr;
  if (succeeded) {
    view_.Ask(kUsbSucceeded, "Success!", MessageIcon::Information, Buttons::Ok);
  } else {
    view_.Ask(CopyFailureMessage(services_, error, text), "Error", MessageIcon::Warning,
              Buttons::Ok);
  }
  // The system reads the new partition table (a disk's request) before the
  // volumes are let go.
  if (!disk_->UpdateProperties())
    ReportLastError(services_, true, "DeviceIoControl", "Update disk properties failed");
  Release();
  state_ = State::Choosing;
  view_.End(succeeded ? DialogResult::Ok : DialogResult::Cancel);
}

// Unlocks and closes the drive, deletes the temporary image, forgets the jobs.
void UsbFlow::Release() {
  volumes_.Release(services_);
  disk_.reset();
  copyJob_.reset();
  buildJob_.reset();
  if (!imagePath_.empty()) {
    DeleteToolFile(services_, imagePath_);
    imagePath_.clear();
  }
}

// A failure before the copy ran: everything released, the dialog closed.
void UsbFlow::Abandon() {
  if (progressShown_) view_.CloseProgress();
  progressShown_ = false;
  Release();
  state_ = State::Choosing;
  view_.End(DialogResult::Cancel);
}

}  // namespace zolp
