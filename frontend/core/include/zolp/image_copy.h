// The image copy worker: writes an image file to a disk handle piece by piece,
// when asked zeroes the device's last MiB past the image, and when asked reads
// everything it wrote back and compares it.
#pragma once

#include <cstdint>

#include "zolp/host.h"
#include "zolp/messages.h"

namespace zolp {

// Pieces are 32 KiB at the least and 1 MiB at the most, always whole sectors,
// and no larger than a hundredth of the image, so that progress still moves
// by whole percents.
inline constexpr std::uint32_t kCopyPieceSize = 0x8000;
inline constexpr std::uint32_t kMaxCopyPieceSize = 0x100000;
std::uint32_t CopyPieceSize(std::uint64_t imageSize);

inline constexpr const char* kCopyOpenFailed = "Copy failed. Opening the image file for reading";
inline constexpr const char* kCopyAllocFailed = "Copy failed. Copy buffer memory allocation";
inline constexpr const char* kCopyTooLarge =
    "Copy failed. The image size is greater than the device capacity.";
inline constexpr const char* kCopyReadFailed = "Copy failed. A read of the image file";
inline constexpr const char* kCopyWriteFailed = "Copy failed. A write to the device";
// A failed verification: this text, with the sector where it failed when the
// job has room for it.
inline constexpr const char* kCopyVerifyFailed = "Copy failed. Verification of the device";
// lParam of the 0x501 reports while the written range is read back.
inline constexpr const char* kCopyVerifying = "Verifying";

// A job that clears the tail zeroes this much at the device's end after the
// image (or as much of it as lies past the image).
inline constexpr std::uint64_t kCopyClearedTailBytes = 0x100000;

// The bytes a job writes for an image of imageBytes: the image and the tail.
std::uint64_t CopyTotalBytes(const CopyJob& job, std::uint64_t imageBytes);

// Posts 0x501 before each piece (while verifying with kCopyVerifying) and
// exactly one 0x500; answers 1 on success.
int ImageCopyThread(const Services& services, const CopyJob& job);

}  // namespace zolp
