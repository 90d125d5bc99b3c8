#include "flow/diskette_flow.h"

#include "flow/option_support.h"
#include "resource.h"
#include "zolp/image_copy.h"
#include "zolp/package_config.h"
#include "zolp/report.h"
#include "zolp/tool_runner.h"

namespace zolp {

namespace {

constexpr int kOpenTries = 4;
constexpr std::uint32_t kOpenRetryMs = 500;
constexpr std::intptr_t kNotReady = 21;  // ERROR_NOT_READY, as 0x500 carries it

std::string DevicePath(char letter) { return Format("\\\\.\\%c:", letter); }

}  // namespace

std::vector<DisketteDrive> FindDisketteDrives(const Services& services) {
  std::vector<DisketteDrive> drives;
  const std::uint32_t mask = services.devices->LogicalDrives();
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    if (!(mask & (1u << (letter - 'A')))) continue;
    if (services.devices->TypeOfDrive(letter) != DriveType::Removable) continue;
    std::unique_ptr<DiskHandle> drive = services.devices->Open(DevicePath(letter), DiskAccess::Read);
    std::vector<std::uint32_t> types;
    if (!drive || !drive->MediaTypes(types)) continue;
    for (std::uint32_t type : types) {
      if (type == kMediaF3_1Pt44_512) {
        drives.push_back({letter, services.devices->DisplayName(letter)});
        break;
      }
    }
  }
  return drives;
}

bool RunDisketteSet(const DisketteSet& set,
                    const std::function<DialogResult(unsigned current)>& runDiskette) {
  for (unsigned current = 1; current <= set.total; ++current)
    if (runDiskette(current) != DialogResult::Ok) return false;
  return set.total > 0;
}

// --- the drive choice --------------------------------------------------------

DisketteDriveFlow::DisketteDriveFlow(const Services& services, OptionView& view)
    : services_(services), view_(view) {}

void DisketteDriveFlow::OnInit() {
  FillList(0);
  if (view_.ListCount(IDC_DISKETTE_DRIVES) == 0) {
    view_.Ask("No diskette drives were found. You must connect a drive before you can continue "
              "with this option.",
              "Warning", MessageIcon::Information, Buttons::Ok);
    view_.End(DialogResult::Cancel);
  }
}

void DisketteDriveFlow::FillList(int selection) {
  const std::vector<DisketteDrive> drives = FindDisketteDrives(services_);
  view_.ClearList(IDC_DISKETTE_DRIVES);
  for (const DisketteDrive& drive : drives)
    view_.AddListItem(IDC_DISKETTE_DRIVES, drive.name, static_cast<std::uintptr_t>(drive.letter));
  const int count = static_cast<int>(drives.size());
  if (count > 0) view_.SelectListItem(IDC_DISKETTE_DRIVES, selection >= 0 && selection < count ? selection : 0);
  view_.Enable(kIdOk, count > 0);
}

void DisketteDriveFlow::OnDeviceChange(std::uint32_t event) {
  if (event == kDeviceArrival || event == kDeviceRemoveComplete)
    FillList(view_.SelectedListItem(IDC_DISKETTE_DRIVES));
}

void DisketteDriveFlow::OnCommand(int control) {
  if (control == kIdCancel) {
    view_.End(DialogResult::Cancel);
    return;
  }
  if (control != kIdOk) return;
  const int selected = view_.SelectedListItem(IDC_DISKETTE_DRIVES);
  if (selected < 0) return;
  const unsigned total = CountDisketteSections(services_);
  if (total == 0) {
    view_.Ask("There is a problem with the dd.cfg file. You may need to download the package "
              "again.",
              "Serious Error", MessageIcon::Error, Buttons::Ok);
    return;
  }
  chosen_ = {total, static_cast<char>(view_.ListItemData(IDC_DISKETTE_DRIVES, selected))};
  view_.End(DialogResult::Ok);
}

// --- one diskette ------------------------------------------------------------

DisketteFlow::DisketteFlow(const Services& services, OptionView& view, unsigned current,
                           unsigned total, char letter)
    : services_(services), view_(view), current_(current), total_(total), letter_(letter) {}

void DisketteFlow::OnInit() {
  view_.SetText(IDC_DISKX_TITLE, Format("Ready to create diskette %u of %u ...", current_, total_));
  view_.SetText(IDC_DISKX_TEXT,
                Format("Please insert a blank 1.44 MB diskette in the selected diskette drive "
                       "(%c:), and then click OK to continue.",
                       letter_));
  view_.SetText(IDC_DISKX_WARNING, "WARNING - All data on the diskette will be erased!");
  view_.SetLook(IDC_DISKX_WARNING, FontLook{"", 13, Rgb(255, 0, 0), kFontBold | kFontCentred});
}

void DisketteFlow::OnCommand(int control) {
  // While building or copying the workers report to this window: it stays.
  if (Busy()) return;
  if (control == kIdOk) Build();
  if (control == kIdCancel) view_.End(DialogResult::Cancel);
}

void DisketteFlow::OnWorkerMessage(std::uint32_t message, std::intptr_t wParam,
                                   std::intptr_t lParam) {
  if (message == kMsgImageBuilt && state_ == State::Building) {
    OnBuilt(static_cast<std::int32_t>(wParam));
  } else if (message == kMsgProgress && state_ == State::Copying) {
    OnProgress(static_cast<int>(wParam), PostedText(lParam));
  } else if (message == kMsgJobFinished && state_ == State::Copying) {
    OnCopied(wParam, PostedText(lParam));
  }
}

void DisketteFlow::Build() {
  view_.Enable(kIdOk, false);
  view_.Enable(kIdCancel, false);
  if (!services_.files->TemporaryFileName(".", "~DP", temporaryImage_)) {
    ReportLastError(services_, false, "Create temporary filename", "Error");
    temporaryImage_.clear();
    view_.End(DialogResult::Cancel);
    return;
  }
  commandLine_ = DisketteSetRun(current_, VolumeLabel(services_), temporaryImage_).CommandLine();
  state_ = State::Building;
  if (!StartBuildJob(services_, buildJob_, view_.Window(), commandLine_)) Abandon();
}

void DisketteFlow::OnBuilt(std::int32_t exitCode) {
  buildJob_.reset();
  if (exitCode != 0) {  // the build worker has shown why
    Abandon();
    return;
  }
  // A volume takes its lock only from a handle that shares writing.
  for (int attempt = 0; attempt < kOpenTries && !disk_; ++attempt) {
    if (attempt > 0) services_.clock->Sleep(kOpenRetryMs);
    disk_ = services_.devices->Open(DevicePath(letter_), DiskAccess::ReadWrite);
  }
  if (!disk_) {
    ReportLastError(services_, false, "Open the diskette drive for writing", "Error");
    Abandon();
    return;
  }
  dataWritten_ = false;
  copyJob_ = CopyJob{view_.Window(), disk_.get(), temporaryImage_.c_str(), kDisketteCapacity};
  copyJob_->verify = services_.options.verify;
  copyJob_->failureText = verifyFailure_;
  copyJob_->failureTextSize = sizeof verifyFailure_;
  state_ = State::Copying;
  if (!StartCopy()) Abandon();
}

// Locks and dismounts the diskette's volume; a drive without a diskette is
// left to the copy, which tells. False when the volume stays in use, the user
// told why.
bool DisketteFlow::HoldDiskette() {
  std::string refusal;
  volume_.Release(services_);
  if (volume_.HoldVolume(services_, *disk_, Format("%c:", letter_), refusal) !=
      HeldVolumes::Outcome::Refused)
    return true;
  view_.Ask(refusal, "Error", MessageIcon::Warning, Buttons::Ok);
  return false;
}

// The diskette held, the copy worker started; false (the user told why) when not.
bool DisketteFlow::StartCopy() {
  if (!HoldDiskette()) return false;
  if (StartImageCopy(services_, *copyJob_)) return true;
  ReportLastError(services_, false, "Start copy", "Error");
  return false;
}

void DisketteFlow::OnProgress(int percent, const char* status) {
  const std::uint64_t now = services_.clock->Milliseconds();
  // The write and the read-back each have their own estimate.
  const bool verifying = status != nullptr && std::string_view(status) == kCopyVerifying;
  const std::string title = Format("Copy Progress - Diskette %u of %u", current_, total_);
  if (!progressShown_) {
    view_.OpenProgress(IDI_DISKETTE, title);
    progressShown_ = true;
    view_.ShowDialog(false);
    estimate_.Start(now, kDisketteCapacity);
  } else if (verifying != verifying_) {
    view_.SetProgressTitle(title + " - Verifying");
    estimate_.Start(now, kDisketteCapacity);
  }
  verifying_ = verifying;
  view_.SetProgress(percent);
  const std::uint64_t done = kDisketteCapacity * static_cast<std::uint64_t>(percent) / 100;
  view_.SetProgressText(ProgressText(percent, estimate_.Update(now, done)));
  if (percent > 0) dataWritten_ = true;
}

void DisketteFlow::OnCopied(std::intptr_t error, const char* text) {
  services_.ui->BringMainWindowToFront();
  CloseProgress();
  const bool nothingWritten = error == kNotReady && !dataWritten_;
  if (nothingWritten &&
      view_.Ask("Please insert media in the drive then press OK to continue.", "Media not present",
                MessageIcon::Warning, Buttons::OkCancel) == Reply::Ok) {
    // The same job again, from the diskette's first sector, the new diskette's
    // volume locked first.
    disk_->Seek(0);
    if (!HoldDiskette()) return Abandon();
    if (StartImageCopy(services_, *copyJob_)) return;
    error = static_cast<std::intptr_t>(services_.errors->Last());
    text = "Start copy";
  }

  Release();
  state_ = State::Waiting;
  if (error == 0 && text == nullptr) {
    if (current_ == total_)
      view_.Ask("The diskette set was successfully created.", "Success!", MessageIcon::Information,
                Buttons::Ok);
    view_.End(DialogResult::Ok);
    return;
  }
  view_.Enable(kIdOk, true);
  view_.Enable(kIdCancel, true);
  if (error == kNotReady && !dataWritten_) {  // the user cancelled the media prompt
    view_.End(DialogResult::Cancel);
    return;
  }
  view_.Ask(CopyFailureMessage(services_, error, text), "Error", MessageIcon::Warning,
            Buttons::Ok);
  // OK now rebuilds and rewrites this diskette.
  view_.ShowDialog(true);
}

void DisketteFlow::CloseProgress() {
  if (!progressShown_) return;
  view_.CloseProgress();
  progressShown_ = false;
}

// Unlocks and closes the drive, deletes the temporary image, forgets the copy job.
void DisketteFlow::Release() {
  volume_.Release(services_);
  disk_.reset();
  copyJob_.reset();
  if (!temporaryImage_.empty()) {
    // The copy worker may still be closing the file when its last message arrives.
    DeleteToolFile(services_, temporaryImage_);
    temporaryImage_.clear();
  }
}

// A failed step before the copy ran: everything released, the dialog cancelled.
void DisketteFlow::Abandon() {
  CloseProgress();
  Release();
  state_ = State::Waiting;
  view_.End(DialogResult::Cancel);
}

}  // namespace zolp
