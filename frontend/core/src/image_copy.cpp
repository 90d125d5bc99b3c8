#include "zolp/image_copy.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
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

// What the copy writes: the image from the disk's first sector (or its
// current position) and, for a job that clears the tail, the zeros of the
// tail. Progress counts both.
struct Span {
  std::uint64_t image = 0;      // bytes of the image file
  std::uint64_t tailStart = 0;  // the first byte of the tail on the disk
  std::uint64_t tailBytes = 0;  // 0: nothing past the image is written
  std::uint64_t Total() const { return image + tailBytes; }
};

Span SpanOf(const CopyJob& job, std::uint64_t imageBytes) {
  Span span;
  span.image = imageBytes;
  const std::uint64_t end = job.capacity / kSector * kSector;
  if (!job.clearTail || end == 0) return span;
  const std::uint64_t imageEnd = (imageBytes + kSector - 1) / kSector * kSector;
  const std::uint64_t last = end > kCopyClearedTailBytes ? end - kCopyClearedTailBytes : 0;
  span.tailStart = std::max(imageEnd, last);
  if (span.tailStart < end) span.tailBytes = end - span.tailStart;
  return span;
}

// Before each piece: the share done, done * 100 / total, in 64 bits (done *
// 100 passes 32 bits beyond 42 MB).
void PostProgress(const Services& services, const CopyJob& job, std::uint64_t done,
                  const Span& span, const char* status) {
  services.ui->Post(job.owner, kMsgProgress, static_cast<std::intptr_t>(done * 100 / span.Total()),
                    reinterpret_cast<std::intptr_t>(status));
}

std::uint32_t PieceAt(std::uint64_t done, std::uint64_t size, std::uint32_t piece) {
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(piece, size - done));
}

// The image's bytes onto the disk from its current position. A disk takes
// whole sectors only: an image that ends inside a sector goes out with the
// rest of that sector zero.
Outcome WriteImage(const Services& services, const CopyJob& job, File& image, const Span& span,
                   std::uint8_t* buffer, std::uint32_t piece) {
  for (std::uint64_t done = 0; done < span.image;) {
    PostProgress(services, job, done, span, nullptr);
    const std::uint32_t length = PieceAt(done, span.image, piece);
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
  return {};
}

// Zeros over the tail, where a backup GPT header and other trailing
// signatures of an earlier layout live; a failure there is a failed write.
Outcome ClearTail(const Services& services, const CopyJob& job, const Span& span,
                  std::uint8_t* buffer, std::uint32_t piece) {
  if (span.tailBytes == 0) return {};
  services.errors->SetLast(0);
  if (!job.disk->Seek(span.tailStart))
    return {FailureCode(services, syserr::kSectorNotFound), kCopyWriteFailed};
  std::fill(buffer, buffer + piece, std::uint8_t{0});
  for (std::uint64_t done = 0; done < span.tailBytes;) {
    PostProgress(services, job, span.image + done, span, nullptr);
    const std::uint32_t length = PieceAt(done, span.tailBytes, piece);
    std::uint32_t written = 0;
    services.errors->SetLast(0);
    if (!job.disk->Write(buffer, length, written) || written != length)
      return {FailureCode(services, syserr::kWriteFault), kCopyWriteFailed};
    done += length;
  }
  return {};
}

// What the disk caches is flushed before the copy counts as done, so that a
// drive pulled after the message holds the image.
Outcome FlushDisk(const Services& services, const CopyJob& job) {
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
// with the image, piece by piece, then the tail with zeros. A disk reads whole
// sectors: the image's last piece is read up to its sector's end and compared
// as far as the image goes.
Outcome VerifyWritten(const Services& services, const CopyJob& job, const Span& span,
                      std::uint8_t* expected, std::uint8_t* actual, std::uint32_t piece) {
  std::unique_ptr<File> image = services.files->OpenRead(job.imagePath);
  if (!image) return {FailureCode(services, syserr::kFileNotFound), kCopyOpenFailed};
  services.errors->SetLast(0);
  if (!job.disk->Seek(0))
    return {FailureCode(services, syserr::kSectorNotFound), VerifyFailure(job, 0, false)};
  for (std::uint64_t done = 0; done < span.image;) {
    PostProgress(services, job, done, span, kCopyVerifying);
    const std::uint32_t length = PieceAt(done, span.image, piece);
    std::uint32_t got = 0;
    services.errors->SetLast(0);
    if (!image->Read(expected, length, got) || got != length)
      return {FailureCode(services, syserr::kHandleEof), kCopyReadFailed};
    const std::uint32_t sectors = (length + kSector - 1) / kSector * kSector;
    services.errors->SetLast(0);
    if (!job.disk->Read(actual, sectors, got) || got < length)
      return {FailureCode(services, syserr::kReadFault), VerifyFailure(job, done / kSector, false)};
    // memcmp runs at memory speed; the byte-wise search only names the sector.
    if (std::memcmp(expected, actual, length) != 0) {
      const auto first = std::mismatch(expected, expected + length, actual).first;
      return {-1, VerifyFailure(job, (done + static_cast<std::uint64_t>(first - expected)) / kSector,
                                true)};
    }
    done += length;
  }
  if (span.tailBytes == 0) return {};
  services.errors->SetLast(0);
  if (!job.disk->Seek(span.tailStart))
    return {FailureCode(services, syserr::kSectorNotFound),
            VerifyFailure(job, span.tailStart / kSector, false)};
  for (std::uint64_t done = 0; done < span.tailBytes;) {
    PostProgress(services, job, span.image + done, span, kCopyVerifying);
    const std::uint32_t length = PieceAt(done, span.tailBytes, piece);
    const std::uint64_t at = span.tailStart + done;
    std::uint32_t got = 0;
    services.errors->SetLast(0);
    if (!job.disk->Read(actual, length, got) || got != length)
      return {FailureCode(services, syserr::kReadFault), VerifyFailure(job, at / kSector, false)};
    const auto first = std::find_if(actual, actual + length, [](std::uint8_t b) { return b != 0; });
    if (first != actual + length)
      return {-1, VerifyFailure(job, (at + static_cast<std::uint64_t>(first - actual)) / kSector,
                                true)};
    done += length;
  }
  return {};
}

void Finish(const Services& services, const CopyJob& job, std::intptr_t code, const char* step) {
  services.ui->Post(job.owner, kMsgJobFinished, code, reinterpret_cast<std::intptr_t>(step));
}

}  // namespace

std::uint64_t CopyTotalBytes(const CopyJob& job, std::uint64_t imageBytes) {
  return SpanOf(job, imageBytes).Total();
}

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
  } else if ((job.verify || job.clearTail) && !job.disk->Seek(0)) {
    outcome = {FailureCode(services, syserr::kSectorNotFound), kCopyWriteFailed};
  } else {
    const Span span = SpanOf(job, size);
    outcome = WriteImage(services, job, *image, span, buffer, piece);
    if (outcome.Done()) outcome = ClearTail(services, job, span, buffer, piece);
    if (outcome.Done()) outcome = FlushDisk(services, job);
    if (outcome.Done() && job.verify)
      outcome = VerifyWritten(services, job, span, buffer, buffer + piece, piece);
  }

  // The image file is closed before the last message: its owner deletes a
  // temporary image as soon as the message arrives.
  FreeBuffer(services, buffer);
  image.reset();
  Finish(services, job, outcome.code, outcome.step);
  return outcome.Done() ? 1 : 0;
}

}  // namespace zolp
