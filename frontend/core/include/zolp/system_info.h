// Small questions to the system: group membership, storage descriptors, pages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "zolp/host.h"

namespace zolp {

bool IsUserAdmin(const Services& services);
bool QueryStorageDevice(DiskHandle& disk, void* buffer, std::uint32_t size);
// Releases a page allocation; a failure is reported (verbose only).
void FreeBuffer(const Services& services, void* buffer);

// STORAGE_DEVICE_DESCRIPTOR as IOCTL_STORAGE_QUERY_PROPERTY returns it.
namespace storage_descriptor {
inline constexpr std::size_t kVersion = 0;     // u32
inline constexpr std::size_t kSize = 4;        // u32
inline constexpr std::size_t kDeviceType = 8;  // u8
inline constexpr std::size_t kDeviceTypeModifier = 9;
inline constexpr std::size_t kRemovableMedia = 10;  // u8 (BOOLEAN)
inline constexpr std::size_t kCommandQueueing = 11;
inline constexpr std::size_t kVendorIdOffset = 12;  // u32, 0 = none
inline constexpr std::size_t kProductIdOffset = 16;
inline constexpr std::size_t kProductRevisionOffset = 20;
inline constexpr std::size_t kSerialNumberOffset = 24;
inline constexpr std::size_t kBusType = 28;  // u32, 7 = USB
inline constexpr std::size_t kRawPropertiesLength = 32;
inline constexpr std::size_t kHeaderSize = 36;
inline constexpr std::uint32_t kQueryBufferSize = 552;
inline constexpr std::uint32_t kBusTypeUsb = 7;
}  // namespace storage_descriptor

// The NUL-terminated string at a descriptor offset field, or empty when the
// offset is 0 or points outside the buffer.
std::string DescriptorString(const std::uint8_t* descriptor, std::size_t size,
                             std::size_t offsetField);

}  // namespace zolp
