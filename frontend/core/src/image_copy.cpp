#include "zolp/image_copy.h"

#include "zolp/report.h"
#include "zolp/system_errors.h"
#include "zolp/system_info.h"

namespace zolp {

namespace {

// A short transfer leaves no system error behind; 0x500 with 0 would read as
// success, so such a failure carries a code of its own.
std::intptr_t FailureCode(const Services& services, std::uint32_t fallback) {
  const std::uint32_t error = services.errors->Last();
  return static_cast<std::intptr_t>(error != 0 ? error : fallback);
}

void Finish(const Services& services, const CopyJob& job, std::intptr_t code, const char* step) {
  services.ui->Post(job.owner, kMsgJobFinished, code, reinterpret_cast<std::intptr_t>(step));
}

}  // namespace

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

  void* buffer = services.memory->AllocatePages(kCopyPieceSize);
  if (buffer == nullptr) {
    Finish(services, job, FailureCode(services, syserr::kNotEnoughMemory), kCopyAllocFailed);
    return 0;
  }

  std::intptr_t code = 0;
  const char* step = nullptr;
  std::uint64_t size = 0;
  if (!image->Size(size)) {
    code = FailureCode(services, syserr::kReadFault);
    step = kCopyReadFailed;
  } else if (job.capacity != 0 && job.capacity < size) {
    code = -1;
    step = kCopyTooLarge;
  } else {
    std::uint64_t remaining = size;
    while (remaining > 0) {
      // 64-bit arithmetic: (done * 100) overflows 32 bits beyond 42 MB.
      const std::uint64_t percent = (size - remaining) * 100 / size;
      services.ui->Post(job.owner, kMsgProgress, static_cast<std::intptr_t>(percent), 0);

      const std::uint32_t piece =
          remaining < kCopyPieceSize ? static_cast<std::uint32_t>(remaining) : kCopyPieceSize;
      std::uint32_t got = 0;
      services.errors->SetLast(0);
      if (!image->Read(buffer, piece, got) || got != piece) {
        code = FailureCode(services, syserr::kHandleEof);
        step = kCopyReadFailed;
        break;
      }
      std::uint32_t written = 0;
      services.errors->SetLast(0);
      if (!job.disk->Write(buffer, piece, written) || written != piece) {
        code = FailureCode(services, syserr::kWriteFault);
        step = kCopyWriteFailed;
        break;
      }
      remaining -= piece;
    }
  }

  // The image file is closed before the last message: its owner deletes a
  // temporary image as soon as the message arrives.
  FreeBuffer(services, buffer);
  image.reset();
  Finish(services, job, code, step);
  return code == 0 && step == nullptr ? 1 : 0;
}

}  // namespace zolp
