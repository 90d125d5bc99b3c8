#include "flow/usb_flow.h"

#include <charconv>
#include <map>

#include "common/endian.h"
#include "flow/option_support.h"
#include "resource.h"
#include "zolp/image_copy.h"
#include "zolp/mmc.h"
#include "zolp/report.h"
#include "zolp/system_info.h"
#include "zolp/tool_runner.h"

namespace zolp {

namespace {

constexpr const char* kDriveNamePrefix = "PhysicalDrive";  // exactly, case and all
constexpr std::uint32_t kFileDeviceDisk = 7;               // FILE_DEVICE_DISK
constexpr std::uint8_t kDirectAccess = 0;                  // SCSI peripheral type
constexpr std::uint32_t kSectorBytes = 512;
// Card-reader slots report these product names; a slot is never asked its size.
constexpr const char* kCardSlotNames[] = {"Compact Flash", "MS/MS-Pro", "MS/MS-Pro/HG", "SD/MMC",
                                          "SM/xD-Picture"};

constexpr const char* kNoDrives =
    "No suitable USB flash drives were found. You must connect a supported USB flash drive to one "
    "of your USB ports before you can continue with this option.";
constexpr const char* kOwnDrive = "Cannot format the media you are executing from.";
constexpr const char* kNoSize = "Failed to get the size of the USB flash drive.";
constexpr const char* kTooLarge =
    "The selected flash drive is too large to format with this utility.\nOnly drives up to 2 GB "
    "in size are supported.";
constexpr const char* kWarning =
    "WARNING - Select the destination carefully.\nAll data on the selected drive will be erased. ";
constexpr const char* kSucceeded = "Successfully created the USB flash drive.";

std::string LetterPath(char letter) { return Format("\\\\.\\%c:", letter); }

std::string Trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

void TrimTrailing(std::string& text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
}

// The drive number of a DOS device name "PhysicalDrive<n>"; none for other names.
std::optional<unsigned> DriveNumberOf(const std::string& name) {
  if (name.compare(0, std::string_view(kDriveNamePrefix).size(), kDriveNamePrefix) != 0)
    return std::nullopt;
  const char* digits = name.data() + std::string_view(kDriveNamePrefix).size();
  const char* end = name.data() + name.size();
  unsigned number = 0;
  auto [ptr, ec] = std::from_chars(digits, end, number);
  if (ec != std::errc() || ptr != end || digits == end) return std::nullopt;
  return number;
}

bool IsCardSlot(const std::string& product) {
  const std::string name = Trimmed(product.substr(0, 16));
  for (const char* slot : kCardSlotNames)
    if (name == slot) return true;
  return false;
}

// A removable, direct-access disk on the USB bus.
bool IsUsbDisk(const std::vector<std::uint8_t>& d) {
  namespace sd = storage_descriptor;
  return d[sd::kDeviceType] == kDirectAccess && d[sd::kRemovableMedia] == 1 &&
         common::load_le32(d.data() + sd::kBusType) == sd::kBusTypeUsb;
}

// "(E:) [FAT:DIAGS] 1004MB - Vendor Product Rev": the volume part only when the
// drive has a letter.
std::string EntryText(const Services& services, unsigned number, std::uint64_t bytes,
                      const std::vector<std::uint8_t>& descriptor) {
  namespace sd = storage_descriptor;
  std::string text;
  if (const char letter = VolumeLetterOf(services, number)) {
    text = Format("(%c:) ", letter);
    std::string label, fileSystem;
    if (services.devices->VolumeInformation(letter, label, fileSystem)) {
      text += Format("[%.16s:%.16s] ", fileSystem.c_str(), label.c_str());
    } else {
      ReportLastError(services, true, "GetVolumeInfo", "Error");
    }
  }
  text += Format("%lluMB - ", static_cast<unsigned long long>((bytes + 500000) / 1000000));
  const struct {
    std::size_t field, longest;
  } words[] = {{sd::kVendorIdOffset, 8}, {sd::kProductIdOffset, 16}, {sd::kProductRevisionOffset, 8}};
  for (const auto& word : words) {
    const std::string value = DescriptorString(descriptor.data(), descriptor.size(), word.field);
    if (value.empty()) continue;
    if (text.back() != ' ') text += ' ';
    text += value.substr(0, word.longest);
    TrimTrailing(text);
  }
  TrimTrailing(text);
  return text;
}

// The disk behind one DOS device name, when it is a USB disk with a medium
// whose size is in the window.
std::optional<UsbDrive> Examine(const Services& services, const std::string& name,
                                unsigned number) {
  auto disk = services.devices->Open("\\\\.\\" + name, DiskAccess::ReadWrite);
  if (!disk) return std::nullopt;
  std::vector<std::uint8_t> descriptor(storage_descriptor::kQueryBufferSize, 0);
  if (!QueryStorageDevice(*disk, descriptor.data(), storage_descriptor::kQueryBufferSize) ||
      !IsUsbDisk(descriptor))
    return std::nullopt;
  if ((fWaitReady(services, *disk) >> 8) == kMediumNotPresentAsc) return std::nullopt;
  const std::string product = DescriptorString(descriptor.data(), descriptor.size(),
                                               storage_descriptor::kProductIdOffset);
  const std::uint64_t bytes = IsCardSlot(product) ? 0 : fGetMediaSize(services, *disk);
  if (bytes <= kUsbSmallestBytes || bytes >= kUsbLargestBytes) return std::nullopt;
  return UsbDrive{number, EntryText(services, number, bytes, descriptor)};
}

}  // namespace

char VolumeLetterOf(const Services& services, unsigned driveNumber) {
  const std::uint32_t mask = services.devices->LogicalDrives();
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    if (!(mask & (1u << (letter - 'A')))) continue;
    if (services.devices->TypeOfDrive(letter) != DriveType::Removable) continue;
    auto volume = services.devices->Open(LetterPath(letter), DiskAccess::None);
    std::uint32_t type = 0, number = 0;
    if (volume && volume->DeviceNumber(type, number) && type == kFileDeviceDisk &&
        number == driveNumber)
      return letter;
  }
  return 0;
}

std::vector<UsbDrive> FindUsbDrives(const Services& services) {
  std::vector<UsbDrive> drives;
  std::vector<std::string> names;
  if (!services.devices->DosDeviceNames(names)) {
    ReportLastError(services, true, "QueryDosDevice", "Error");
    return drives;
  }
  for (const std::string& name : names) {
    const std::optional<unsigned> number = DriveNumberOf(name);
    if (!number) continue;
    if (std::optional<UsbDrive> drive = Examine(services, name, *number))
      drives.push_back(std::move(*drive));
  }
  // Drives of one size and make without a volume read alike: the drive
  // number tells them apart, and each entry carries its own number anyway.
  std::map<std::string, int> uses;
  for (const UsbDrive& drive : drives) ++uses[drive.entry];
  for (UsbDrive& drive : drives)
    if (uses[drive.entry] > 1) drive.entry += Format(" (Disk %u)", drive.number);
  return drives;
}

UsbFlow::UsbFlow(const Services& services, OptionView& view) : services_(services), view_(view) {}

void UsbFlow::OnInit() {
  view_.SetText(IDC_USB_WARNING, kWarning);
  view_.SetLook(IDC_USB_WARNING, FontLook{"", 13, Rgb(255, 0, 0), kFontBold | kFontCentred});
  FillList(0);
  if (view_.ListCount(IDC_USB_DRIVES) == 0) {
    view_.Ask(kNoDrives, "Warning", MessageIcon::Information, Buttons::Ok);
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
    return Refuse(kOwnDrive);

  disk_ = services_.devices->Open(Format("\\\\.\\PhysicalDrive%u", driveNumber_),
                                  DiskAccess::ReadWrite);
  if (!disk_) {
    ReportLastError(services_, false, "Opening the USB flash drive", "Error");
    return Abandon();
  }
  if (fGetMediaSize(services_, *disk_, &lastSector_) == 0) return Refuse(kNoSize);
  if (lastSector_ > kUsbLastSectorMax) return Refuse(kTooLarge);

  const std::string label = VolumeLabel(services_);
  if (!services_.files->TemporaryFileName(".", "~DP", imagePath_)) {
    ReportLastError(services_, false, "Create temporary filename", "Error");
    imagePath_.clear();
    return Abandon();
  }
  commandLine_ = Format("vellix.exe dd.cfg FLASH -v\"%.11s\" -t%lu -i\"%s\"", label.c_str(),
                        static_cast<unsigned long>(lastSector_) + 1, imagePath_.c_str());
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
                     (static_cast<std::uint64_t>(lastSector_) + 1) * kSectorBytes};
  copyJob_->verify = services_.options.verify;
  copyJob_->failureText = verifyFailure_;
  copyJob_->failureTextSize = sizeof verifyFailure_;
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
  }
  if (!verifying_ && status != nullptr && std::string_view(status) == kCopyVerifying) {
    verifying_ = true;
    view_.SetProgressTitle("Copy Progress - Verifying");
  }
  view_.SetProgress(percent);
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
    view_.Ask(kSucceeded, "Success!", MessageIcon::Information, Buttons::Ok);
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
