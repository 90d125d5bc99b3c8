#include "zolp/usb_drives.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <optional>
#include <string_view>

#include "common/endian.h"
#include "zolp/mmc.h"
#include "zolp/report.h"
#include "zolp/system_info.h"
#include "zolp/vellix_command.h"

namespace zolp {

namespace {

constexpr const char* kDriveNamePrefix = "PhysicalDrive";  // exactly, case and all
constexpr std::uint32_t kFileDeviceDisk = 7;               // FILE_DEVICE_DISK
constexpr std::uint8_t kDirectAccess = 0;                  // SCSI peripheral type
// Card-reader slots report these product names; a slot is never asked its size.
constexpr const char* kCardSlotNames[] = {"Compact Flash", "MS/MS-Pro", "MS/MS-Pro/HG", "SD/MMC",
                                          "SM/xD-Picture"};

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
  std::uint32_t lastSector = 0;
  const std::uint64_t bytes = IsCardSlot(product) ? 0 : fGetMediaSize(services, *disk, &lastSector);
  if (!UsbDriveListed(bytes, lastSector)) return std::nullopt;
  return UsbDrive{number, EntryText(services, number, bytes, descriptor)};
}

}  // namespace

bool UsbDriveListed(std::uint64_t bytes, std::uint32_t lastSector) {
  return bytes > kUsbSmallestBytes && lastSector < kUsbLastSectorBeyond;
}

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

UsbImagePlan PlanUsbImage(std::uint32_t lastSector) {
  if (lastSector >= kUsbLastSectorBeyond) return {kUsbTooLarge, 0};
  return {nullptr, std::min(lastSector + 1, kUsbVolumeBlocksMax)};
}

std::string UsbImageCommandLine(const std::string& label, std::uint32_t blocks,
                                const std::string& imagePath) {
  return FlashRun(label, blocks, imagePath).CommandLine();
}

}  // namespace zolp
