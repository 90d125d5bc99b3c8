// The image copy worker: writes an image file to a disk handle in 32 KiB pieces.
#pragma once

#include "zolp/host.h"
#include "zolp/messages.h"

namespace zolp {

inline constexpr std::uint32_t kCopyPieceSize = 0x8000;

inline constexpr const char* kCopyOpenFailed = "Copy failed. Opening the image file for reading";
inline constexpr const char* kCopyAllocFailed = "Copy failed. Copy buffer memory allocation";
inline constexpr const char* kCopyTooLarge =
    "Copy failed. The image size is greater than the device capacity.";
inline constexpr const char* kCopyReadFailed = "Copy failed. A read of the image file";
inline constexpr const char* kCopyWriteFailed = "Copy failed. A write to the device";

// Posts 0x501 before each piece and exactly one 0x500; answers 1 on success.
int ImageCopyThread(const Services& services, const CopyJob& job);

}  // namespace zolp
