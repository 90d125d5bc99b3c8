#include "zolp/sim/simulated_drive.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <system_error>
#include <thread>

#include "sense_reply.h"

namespace zolp::sim {

namespace {

constexpr std::uint32_t kNotReady = 21;        // ERROR_NOT_READY
constexpr std::uint32_t kWriteProtect = 19;    // ERROR_WRITE_PROTECT
constexpr std::uint32_t kSectorNotFound = 27;  // ERROR_SECTOR_NOT_FOUND
constexpr std::uint32_t kWriteFault = 29;      // ERROR_WRITE_FAULT
constexpr std::uint32_t kReadFault = 30;       // ERROR_READ_FAULT
constexpr std::uint32_t kNotSupported = 50;    // ERROR_NOT_SUPPORTED
constexpr std::uint32_t kFileDeviceDisk = 7;   // FILE_DEVICE_DISK

bool Exists(const std::filesystem::path& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec);
}

bool ReadOnly(const std::filesystem::path& path) {
  std::error_code ec;
  const auto perms = std::filesystem::status(path, ec).permissions();
  return !ec && (perms & std::filesystem::perms::owner_write) == std::filesystem::perms::none;
}

}  // namespace

class SimulatedDrive::Handle final : public DiskHandle {
 public:
  explicit Handle(SimulatedDrive& drive) : d_(drive) {}
  bool Read(void* buffer, std::uint32_t size, std::uint32_t& got) override {
    const bool ok = d_.ReadAt(position_, buffer, size, got);
    position_ += got;
    return ok;
  }
  bool Write(const void* buffer, std::uint32_t size, std::uint32_t& written) override {
    const bool ok = d_.WriteAt(position_, buffer, size, written);
    position_ += written;
    return ok;
  }
  bool Seek(std::uint64_t offset) override {
    if (offset > d_.capacity_) return d_.Fail(131);  // ERROR_NEGATIVE_SEEK's kind: out of range
    position_ = offset;
    return true;
  }
  bool ScsiPassThrough(ScsiRequest& request) override {
    // A diskette drive on its own controller knows no SCSI pass-through.
    if (d_.kind_ == DriveKind::Floppy) return d_.Fail(kNotSupported);
    return detail::AnswerDiskCommand(request, d_.errors_, d_.MediumPresent(), d_.capacity_, 512);
  }
  bool QueryStorageProperty(void* buffer, std::uint32_t size) override {
    if (d_.descriptor.empty()) return d_.Fail(kNotSupported);
    std::memset(buffer, 0, size);
    std::memcpy(buffer, d_.descriptor.data(), std::min<std::size_t>(size, d_.descriptor.size()));
    return true;
  }
  bool DeviceNumber(std::uint32_t& deviceType, std::uint32_t& number) override {
    deviceType = kFileDeviceDisk;
    number = d_.deviceNumber;
    return true;
  }
  bool LockVolume() override { return d_.SetLocked(true); }
  bool UnlockVolume() override { return d_.SetLocked(false); }
  bool DismountVolume() override { return d_.MediumPresent() || d_.Fail(kNotReady); }
  bool UpdateProperties() override { return true; }
  bool MediaTypes(std::vector<std::uint32_t>& types) override {
    if (d_.kind_ == DriveKind::Floppy) {
      types = {kMediaF3_1Pt44_512, kMediaF3_720_512};
    } else {
      types = {kMediaRemovable};
    }
    return true;
  }

 private:
  SimulatedDrive& d_;
  std::uint64_t position_ = 0;
};

SimulatedDrive::SimulatedDrive(DriveKind kind, std::filesystem::path image,
                               std::uint64_t capacity, SystemErrors& errors)
    : kind_(kind),
      image_(std::move(image)),
      capacity_(kind == DriveKind::Floppy ? kDisketteBytes : capacity),
      errors_(errors) {}

std::unique_ptr<DiskHandle> SimulatedDrive::Open() { return std::make_unique<Handle>(*this); }

bool SimulatedDrive::MediumPresent() const {
  switch (kind_) {
    case DriveKind::Usb:
      return true;
    case DriveKind::CardSlot:
      return false;
    case DriveKind::Floppy:
      return Exists(image_);
  }
  return false;
}

bool SimulatedDrive::Locked() const {
  std::lock_guard lock(mutex_);
  return locked_;
}

int SimulatedDrive::WriteCalls() const {
  std::lock_guard lock(mutex_);
  return writeCalls_;
}

bool SimulatedDrive::Fail(std::uint32_t error) const {
  errors_.SetLast(error);
  return false;
}

bool SimulatedDrive::SetLocked(bool locked) {
  std::lock_guard lock(mutex_);
  // An empty drive has no volume to lock.
  if (locked && !MediumPresent()) return Fail(kNotReady);
  locked_ = locked;
  return true;
}

bool SimulatedDrive::ReadAt(std::uint64_t offset, void* buffer, std::uint32_t size,
                            std::uint32_t& got) {
  std::lock_guard lock(mutex_);
  got = 0;
  if (!MediumPresent()) return Fail(kNotReady);
  const std::uint64_t available = offset < capacity_ ? capacity_ - offset : 0;
  const auto wanted = static_cast<std::uint32_t>(std::min<std::uint64_t>(size, available));
  std::memset(buffer, 0, wanted);  // never-written sectors read as zeros
  if (Exists(image_)) {
    std::ifstream in(image_, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    if (in) in.read(static_cast<char*>(buffer), wanted);  // a short file reads zeros after its end
    if (in.bad()) return Fail(kReadFault);
  }
  got = wanted;
  return true;
}

bool SimulatedDrive::WriteAt(std::uint64_t offset, const void* buffer, std::uint32_t size,
                             std::uint32_t& written) {
  if (writeDelayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(writeDelayMs));
  std::lock_guard lock(mutex_);
  written = 0;
  ++writeCalls_;
  if (writeCalls_ == failWriteCall) return Fail(failWriteError);
  if (!MediumPresent()) return Fail(kNotReady);
  if (Exists(image_) && ReadOnly(image_)) return Fail(kind_ == DriveKind::Floppy ? kWriteProtect : 5);
  // A disk takes nothing that would run past its last sector.
  if (offset > capacity_ || size > capacity_ - offset) return Fail(kSectorNotFound);
  if (writeCalls_ == dropWriteCall) {
    written = size;
    return true;
  }
  if (!Exists(image_)) std::ofstream(image_, std::ios::binary);  // a USB disk's file starts empty
  std::fstream out(image_, std::ios::binary | std::ios::in | std::ios::out);
  out.seekp(static_cast<std::streamoff>(offset));
  out.write(static_cast<const char*>(buffer), size);
  out.flush();
  if (!out) return Fail(kWriteFault);
  written = size;
  return true;
}

}  // namespace zolp::sim
