#include "zolp/system_info.h"

#include <cstring>

#include "common/endian.h"
#include "zolp/report.h"

namespace zolp {

bool IsUserAdmin(const Services& services) { return services.security->IsMemberOfAdministrators(); }

bool QueryStorageDevice(DiskHandle& disk, void* buffer, std::uint32_t size) {
  return disk.QueryStorageProperty(buffer, size);
}

void FreeBuffer(const Services& services, void* buffer) {
  if (buffer == nullptr) return;
  if (!services.memory->FreePages(buffer))
    ReportLastError(services, true, "Failed to free memory", "Error");
}

std::string DescriptorString(const std::uint8_t* descriptor, std::size_t size,
                             std::size_t offsetField) {
  if (descriptor == nullptr || offsetField + 4 > size) return {};
  const std::uint32_t offset = common::load_le32(descriptor + offsetField);
  if (offset == 0 || offset >= size) return {};
  const char* text = reinterpret_cast<const char*>(descriptor + offset);
  // A descriptor from a device is not trusted to terminate its strings.
  const void* end = std::memchr(text, '\0', size - offset);
  const std::size_t length =
      end ? static_cast<std::size_t>(static_cast<const char*>(end) - text) : size - offset;
  return std::string(text, length);
}

}  // namespace zolp
