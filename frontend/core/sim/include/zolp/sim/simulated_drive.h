// A removable drive whose medium is an image file, as the simulated device
// catalog offers it: a USB disk, an empty card-reader slot or a 1.44 MB
// diskette drive. Writes land in the image file at their offsets (the file
// grows as written); nothing past the drive's capacity is taken.
//
// A diskette drive holds a diskette while its image file exists: without the
// file it reads and writes as "not ready", a read-only file is a
// write-protected diskette.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <vector>

#include "zolp/host.h"

namespace zolp::sim {

enum class DriveKind { Usb, CardSlot, Floppy };

inline constexpr std::uint64_t kDisketteBytes = 1474560;  // 80 x 2 x 18 x 512

class SimulatedDrive {
 public:
  // capacity in bytes; a diskette drive's is always kDisketteBytes.
  SimulatedDrive(DriveKind kind, std::filesystem::path image, std::uint64_t capacity,
                 SystemErrors& errors);
  SimulatedDrive(const SimulatedDrive&) = delete;
  SimulatedDrive& operator=(const SimulatedDrive&) = delete;

  // A handle of its own (its own position), as each CreateFile gives.
  std::unique_ptr<DiskHandle> Open();

  DriveKind kind() const { return kind_; }
  const std::filesystem::path& image() const { return image_; }
  std::uint64_t capacity() const { return capacity_; }
  bool MediumPresent() const;
  bool Locked() const;
  int WriteCalls() const;

  std::uint32_t deviceNumber = 0;
  std::vector<std::uint8_t> descriptor;  // empty: the storage query fails
  // Each write takes this long, as a real drive's do (so that a progress
  // window can be watched); 0 in tests.
  std::uint32_t writeDelayMs = 0;

  // Fault injection for tests: write call n (1-based, counted over the drive's
  // life) fails with the given system error.
  int failWriteCall = 0;
  std::uint32_t failWriteError = 1117;  // ERROR_IO_DEVICE
  // Write call n reports success, but nothing of it reaches the medium.
  int dropWriteCall = 0;

 private:
  class Handle;
  bool ReadAt(std::uint64_t offset, void* buffer, std::uint32_t size, std::uint32_t& got);
  bool WriteAt(std::uint64_t offset, const void* buffer, std::uint32_t size,
               std::uint32_t& written);
  bool SetLocked(bool locked);
  bool Fail(std::uint32_t error) const;

  DriveKind kind_;
  std::filesystem::path image_;
  std::uint64_t capacity_;
  SystemErrors& errors_;
  mutable std::mutex mutex_;  // a worker writes while the dialog's thread may ask
  int writeCalls_ = 0;
  bool locked_ = false;
};

}  // namespace zolp::sim
