#include "imagebuilder/file_data.h"

#include <algorithm>
#include <cstring>

#include "imagebuilder/error_codes.h"

namespace imagebuilder {

bool FileDataRun::MoveTo(std::uint64_t offset) {
  if (active_ && offset == end()) return true;
  if (!Flush()) return false;
  if (storage_.empty()) {
    storage_.resize(kPiece + kPage);
    alignment_ = (kPage - reinterpret_cast<std::uintptr_t>(storage_.data()) % kPage) % kPage;
  }
  active_ = true;
  start_ = offset;
  held_ = 0;
  limit_ = kPiece - static_cast<std::size_t>(offset % kPiece);
  return true;
}

bool FileDataRun::WriteOut() {
  if (held_ > 0 && (!image_.Seek(start_) || !image_.Write(buffer(), held_))) {
    // Nothing more is written from this run.
    active_ = false;
    held_ = 0;
    return false;
  }
  start_ += held_;
  held_ = 0;
  limit_ = kPiece - static_cast<std::size_t>(start_ % kPiece);
  return true;
}

int FileDataRun::Append(HostFile& source, std::uint64_t length) {
  if (!active_) return kErrFileWrite;
  while (length > 0) {
    if (Room() == 0 && !WriteOut()) return kErrFileWrite;
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(Room(), length));
    std::size_t got = 0;
    if (!source.Read(buffer() + held_, want, got) || got == 0) return kErrFileRead;
    held_ += got;
    length -= got;
  }
  return 0;
}

bool FileDataRun::PadTo(std::uint64_t offset) {
  if (!active_) return false;
  while (end() < offset) {
    if (Room() == 0 && !WriteOut()) return false;
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(Room(), offset - end()));
    std::memset(buffer() + held_, 0, n);
    held_ += n;
  }
  return true;
}

bool FileDataRun::Flush() {
  if (!active_) return true;
  const bool ok = WriteOut();
  active_ = false;
  return ok;
}

}  // namespace imagebuilder
