#include "zolp/image_copy.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "zolp/report.h"
#include "zolp/system_errors.h"
#include "zolp/system_info.h"

namespace zolp {

namespace {

constexpr std::uint32_t kSector = 512;

// A short transfer leaves no system error behind; 0x500 with 0 would read as
// success, so such a failure carries a code of its own.
std::intptr_t FailureCode(const Services& services, std::uint32_t fallback) {
  const std::uint32_t error = services.errors->Last();
  return static_cast<std::intptr_t>(error != 0 ? error : fallback);
}

struct Outcome {
  std::intptr_t code = 0;
  const char* step = nullptr;  // null: done
  bool Done() const { return code == 0 && step == nullptr; }
};

// Before each piece: the share done, (size - remaining) * 100 / size, in
// 64 bits (done * 100 passes 32 bits beyond 42 MB).
void PostProgress(const Services& services, const CopyJob& job, std::uint64_t done,
                  std::uint64_t size, const char* status) {
  services.ui->Post(job.owner, kMsgProgress, static_cast<std::intptr_t>(done * 100 / size),
                    reinterpret_cast<std::intptr_t>(status));
}

std::uint32_t PieceAt(std::uint64_t done, std::uint64_t size, std::uint32_t piece) {
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(piece, size - done));
}

// The image's bytes onto the disk from its current position. A disk takes
// whole sectors only: an image that ends inside a sector goes out with the
// rest of that sector zero. What the disk caches is flushed before the copy
// counts as done, so that a drive pulled after the message holds the image.
Outcome WriteImage(const Services& services, const CopyJob& job, File& image, std::uint64_t size,
                   std::uint8_t* buffer, std::uint32_t piece) {
  for (std::uint64_t done = 0; done < size;) {
    PostProgress(services, job, done, size, nullptr);
    const std::uint32_t length = PieceAt(done, size, piece);
    std::uint32_t got = 0;
    services.errors->SetLast(0);
    if (!image.Read(buffer, length, got) || got != length)
      return {FailureCode(services, syserr::kHandleEof), kCopyReadFailed};
    const std::uint32_t sectors = (length + kSector - 1) / kSector * kSector;  // within the piece
    std::fill(buffer + length, buffer + sectors, std::uint8_t{0});
    std::uint32_t written = 0;
    services.errors->SetLast(0);
    if (!job.disk->Write(buffer, sectors, written) || written != sectors)
      return {FailureCode(services, syserr::kWriteFault), kCopyWriteFailed};
    done += length;
  }
  services.errors->SetLast(0);
  if (!job.disk->Flush()) return {FailureCode(services, syserr::kWriteFault), kCopyWriteFailed};
  return {};
}

// The text of a failed verification at a sector: read back different, or not
// read at all (the system's text follows that one).
const char* VerifyFailure(const CopyJob& job, std::uint64_t sector, bool differs) {
  if (job.failureText == nullptr || job.failureTextSize == 0) return kCopyVerifyFailed;
  const auto number = static_cast<unsigned long long>(sector);
  if (differs) {
    std::snprintf(job.failureText, job.failureTextSize, "%s: sector %llu differs from the image.",
                  kCopyVerifyFailed, number);
  } else {
    std::snprintf(job.failureText, job.failureTextSize, "%s at sector %llu", kCopyVerifyFailed,
                  number);
  }
  return job.failureText;
}

// Reads the written range back from the disk's first sector and compares it
// with the image, piece by piece. A disk reads whole sectors: the last piece
// is read up to its sector's end and compared as far as the image goes.
Outcome VerifyImage(const Services& services, const CopyJob& job, std::uint64_t size,
                    std::uint8_t* expected, std::uint8_t* actual, std::uint32_t piece) {
  std::unique_ptr<File> image = services.files->OpenRead(job.imagePath);
  if (!image) return {FailureCode(services, syserr::kFileNotFound), kCopyOpenFailed};
  services.errors->SetLast(0);
  if (!job.disk->Seek(0))
    return {FailureCode(services, syserr::kSectorNotFound), VerifyFailure(job, 0, false)};
  for (std::uint64_t done = 0; done < size;) {
    PostProgress(services, job, done, size, kCopyVerifying);
    const std::uint32_t length = PieceAt(done, size, piece);
    std::uint32_t got = 0;
    services.errors->SetLast(0);
    if (!image->Read(expected, length, got) || got != length)
      return {FailureCode(services, syserr::kHandleEof), kCopyReadFailed};
    const std::uint32_t sectors = (length + kSector - 1) / kSector * kSector;
    services.errors->SetLast(0);
    if (!job.disk->Read(actual, sectors, got) || got < length)
      return {FailureCode(services, syserr::kReadFault), VerifyFailure(job, done / kSector, false)};
    const auto first = std::mismatch(expected, expected + length, actual).first;
    if (first != expected + length)
      return {-1, VerifyFailure(job, (done + static_cast<std::uint64_t>(first - expected)) / kSector,
                                true)};
    done += length;
  }
  return {};
}

void Finish(const Services& services, const CopyJob& job, std::intptr_t code, const char* step) {
  services.ui->Post(job.owner, kMsgJobFinished, code, reinterpret_cast<std::intptr_t>(step));
}

}  // namespace

std::uint32_t CopyPieceSize(std::uint64_t imageSize) {
  const std::uint64_t hundredth = imageSize / 100 / kSector * kSector;
  return static_cast<std::uint32_t>(
      std::clamp<std::uint64_t>(hundredth, kCopyPieceSize, kMaxCopyPieceSize));
}

int ImageCopyThread(const Services& services, const CopyJob& job) {
  if (job.disk == nullptr) {
    Finish(services, job, syserr::kInvalidParameter, kCopyWriteFailed);
    return 0;
  }
  auto image = services.files->OpenRead(job.imagePath ? job.imagePath : "");
  if (!image) {
    Finish(services, job, FailureCode(services, syserr::kFileNotFound), kCopyOpenFailed);
    return 0;
  }

  std::uint64_t size = 0;
  const bool sized = image->Size(size);
  const std::uint32_t piece = CopyPieceSize(sized ? size : 0);
  // Verification compares the image's piece with the disk's in a second half.
  auto* buffer =
      static_cast<std::uint8_t*>(services.memory->AllocatePages(job.verify ? 2u * piece : piece));
  if (buffer == nullptr) {
    Finish(services, job, FailureCode(services, syserr::kNotEnoughMemory), kCopyAllocFailed);
    return 0;
  }

  Outcome outcome;
  if (!sized) {
    outcome = {FailureCode(services, syserr::kReadFault), kCopyReadFailed};
  } else if (job.capacity != 0 && job.capacity < size) {
    outcome = {-1, kCopyTooLarge};
  } else if (job.verify && !job.disk->Seek(0)) {
    outcome = {FailureCode(services, syserr::kSectorNotFound), kCopyWriteFailed};
  } else {
    outcome = WriteImage(services, job, *image, size, buffer, piece);
    if (outcome.Done() && job.verify)
      outcome = VerifyImage(services, job, size, buffer, buffer + piece, piece);
  }

  // The image file is closed before the last message: its owner deletes a
  // temporary image as soon as the message arrives.
  FreeBuffer(services, buffer);
  image.reset();
  Finish(services, job, outcome.code, outcome.step);
  return outcome.Done() ? 1 : 0;
}

}  // namespace zolp
