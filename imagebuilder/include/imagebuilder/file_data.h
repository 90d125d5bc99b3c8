// File data on its way into the image. The clusters of consecutive files
// follow one another, so their data is gathered into one buffer and written
// in large pieces that end on boundaries of the buffer's size in the image
// file, whatever the alignment of the volume's data area. Only file clusters
// ever pass through here: directory entries and the FAT are written directly,
// and never into a range the buffer holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "imagebuilder/host.h"

namespace imagebuilder {

class FileDataRun {
 public:
  static constexpr std::size_t kPiece = 1u << 20;
  static constexpr std::size_t kPage = 4096;

  explicit FileDataRun(ImageFile& image) : image_(image) {}
  FileDataRun(const FileDataRun&) = delete;
  FileDataRun& operator=(const FileDataRun&) = delete;

  // Continues the run at `offset` (in the image file) when it ends there, else
  // writes out what is held and starts a new run. False when that write fails.
  bool MoveTo(std::uint64_t offset);
  // Appends `length` bytes read from `source`. Returns 0, or the code of the
  // step that failed: 30 reading the source, 31 writing the image.
  int Append(HostFile& source, std::uint64_t length);
  // Appends zeros up to `offset`: the rest of a file's last cluster, so the
  // next file's data continues the same run.
  bool PadTo(std::uint64_t offset);
  // Writes out what is held. False when the write fails.
  bool Flush();

  std::uint64_t end() const { return start_ + held_; }

 private:
  // Room left before the buffer must be written out.
  std::size_t Room() const { return limit_ - held_; }
  bool WriteOut();

  std::uint8_t* buffer() { return storage_.data() + alignment_; }

  ImageFile& image_;
  // The buffer starts on a page boundary: copies into it run at full speed.
  std::vector<std::uint8_t> storage_;
  std::size_t alignment_ = 0;
  std::uint64_t start_ = 0;  // image offset of buffer()[0]
  std::size_t held_ = 0;     // bytes held from start_
  std::size_t limit_ = 0;    // held_ at which the next piece boundary is reached
  bool active_ = false;
};

}  // namespace imagebuilder
