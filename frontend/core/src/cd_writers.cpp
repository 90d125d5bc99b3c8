// Finding the CD writers among the computer's drive letters.
#include <cstdio>
#include <vector>

#include "zolp/mmc.h"
#include "zolp/system_info.h"

namespace zolp {

namespace {

constexpr std::uint16_t kCapabilitiesLength = 12;
constexpr std::size_t kCapabilitiesWriteByte = 8 + 3;  // page byte 3
constexpr std::uint8_t kWritesCdR = 0x01;
constexpr std::uint8_t kWritesCdRw = 0x02;

void TrimTrailingSpaces(std::string& text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
}

void AppendIdentification(DiskHandle& drive, std::string& name) {
  std::vector<std::uint8_t> descriptor(storage_descriptor::kQueryBufferSize, 0);
  if (!QueryStorageDevice(drive, descriptor.data(), storage_descriptor::kQueryBufferSize)) return;
  const std::string vendor =
      DescriptorString(descriptor.data(), descriptor.size(), storage_descriptor::kVendorIdOffset);
  if (!vendor.empty()) {
    name += ' ';
    name += vendor.substr(0, 8);
    TrimTrailingSpaces(name);
  }
  const std::string product =
      DescriptorString(descriptor.data(), descriptor.size(), storage_descriptor::kProductIdOffset);
  if (!product.empty()) {
    name += ' ';
    name += product.substr(0, 16);
    TrimTrailingSpaces(name);
  }
}

}  // namespace

int fEnumCdWriters(const Services& s, void* context, CdWriterCallback callback) {
  const std::uint32_t present = s.devices->LogicalDrives();
  int writers = 0;
  for (int index = 0; index < 26; ++index) {
    if ((present & (1u << index)) == 0) continue;
    const char letter = static_cast<char>('A' + index);
    if (s.devices->TypeOfDrive(letter) != DriveType::CdRom) continue;
    auto drive = s.devices->Open(std::string("\\\\.\\") + letter + ":", DiskAccess::ReadWrite);
    if (!drive) continue;

    std::uint8_t capabilities[kCapabilitiesLength] = {};
    if (!fModeSense10(s, *drive, kModePageCapabilities, capabilities, kCapabilitiesLength))
      continue;
    if ((capabilities[kCapabilitiesWriteByte] & (kWritesCdR | kWritesCdRw)) == 0) continue;

    char prefix[8];
    std::snprintf(prefix, sizeof prefix, "(%c:)", letter);
    std::string name = prefix;
    AppendIdentification(*drive, name);
    ++writers;
    if (callback) callback(context, name.c_str());
  }
  return writers;
}

}  // namespace zolp
