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

constexpr std::uint32_t kInvalidFunction = 1;   // ERROR_INVALID_FUNCTION
constexpr std::uint32_t kAccessDenied = 5;      // ERROR_ACCESS_DENIED
constexpr std::uint32_t kNotReady = 21;         // ERROR_NOT_READY
constexpr std::uint32_t kWriteProtect = 19;     // ERROR_WRITE_PROTECT
constexpr std::uint32_t kSectorNotFound = 27;   // ERROR_SECTOR_NOT_FOUND
constexpr std::uint32_t kWriteFault = 29;       // ERROR_WRITE_FAULT
constexpr std::uint32_t kReadFault = 30;        // ERROR_READ_FAULT
constexpr std::uint32_t kSharingViolation = 32; // ERROR_SHARING_VIOLATION
constexpr std::uint32_t kNotSupported = 50;     // ERROR_NOT_SUPPORTED
constexpr std::uint32_t kInvalidParameter = 87; // ERROR_INVALID_PARAMETER
constexpr std::uint32_t kNotLocked = 158;       // ERROR_NOT_LOCKED
constexpr std::uint32_t kFileDeviceDisk = 7;    // FILE_DEVICE_DISK
constexpr std::uint64_t kSector = 512;

bool Exists(const std::filesystem::path& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec);
}

bool ReadOnly(const std::filesystem::path& path) {
  std::error_code ec;
  const auto perms = std::filesystem::status(path, ec).permissions();
  return !ec && (perms & std::filesystem::perms::owner_write) == std::filesystem::perms::none;
}

bool Overlap(std::uint64_t a, std::uint64_t aLength, std::uint64_t b, std::uint64_t bLength) {
  return a < b + bLength && b < a + aLength;
}

}  // namespace

// \\.\PhysicalDrive<n>: the whole drive.
class SimulatedDrive::DiskView final : public DiskHandle {
 public:
  explicit DiskView(SimulatedDrive& drive) : d_(drive) {}
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
  bool ScsiPassThrough(ScsiRequest& request) override { return d_.PassThrough(request); }
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
  // A disk handle takes the volume requests and does nothing with them: no
  // volume is locked or dismounted by them.
  bool LockVolume() override { return true; }
  bool UnlockVolume() override { return true; }
  bool DismountVolume() override { return true; }
  bool UpdateProperties() override {
    std::lock_guard lock(d_.mutex_);
    ++d_.layoutUpdates_;
    return true;
  }
  bool MediaTypes(std::vector<std::uint32_t>& types) override {
    types = {kMediaRemovable};
    return true;
  }
  bool Flush() override { return d_.Flush(); }
  bool AdapterAlignmentMask(std::uint32_t& mask) override {
    mask = d_.alignmentMask;
    return true;
  }

 private:
  SimulatedDrive& d_;
  std::uint64_t position_ = 0;
};

// \\.\X: or \\?\Volume{...}: one volume, offsets from its start.
class SimulatedDrive::VolumeView final : public DiskHandle {
 public:
  VolumeView(SimulatedDrive& drive, std::size_t n, bool counted)
      : d_(drive), n_(n), counted_(counted) {}
  ~VolumeView() override { d_.Closed(n_, this, counted_); }
  bool Read(void* buffer, std::uint32_t size, std::uint32_t& got) override {
    got = 0;
    const SimulatedVolume v = d_.Volume(n_);
    if (position_ > v.length) return d_.Fail(kSectorNotFound);
    const auto take = static_cast<std::uint32_t>(std::min<std::uint64_t>(size, v.length - position_));
    const bool ok = d_.ReadAt(v.offset + position_, buffer, take, got);
    position_ += got;
    return ok;
  }
  bool Write(const void* buffer, std::uint32_t size, std::uint32_t& written) override {
    written = 0;
    const SimulatedVolume v = d_.Volume(n_);
    if (position_ > v.length || size > v.length - position_) return d_.Fail(kSectorNotFound);
    const bool ok = d_.WriteAt(v.offset + position_, buffer, size, written);
    position_ += written;
    return ok;
  }
  bool Seek(std::uint64_t offset) override {
    if (offset > d_.Volume(n_).length) return d_.Fail(131);
    position_ = offset;
    return true;
  }
  bool ScsiPassThrough(ScsiRequest& request) override {
    // A diskette drive on its own controller knows no SCSI pass-through.
    if (d_.kind_ == DriveKind::Floppy) return d_.Fail(kNotSupported);
    return d_.PassThrough(request);
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
  bool LockVolume() override { return d_.Lock(n_, this, counted_); }
  bool UnlockVolume() override { return d_.Unlock(n_, this); }
  bool DismountVolume() override { return d_.Dismount(n_); }
  // A disk request: the volume's device has no partition table to read again.
  bool UpdateProperties() override { return d_.Fail(kInvalidFunction); }
  bool MediaTypes(std::vector<std::uint32_t>& types) override {
    if (d_.kind_ == DriveKind::Floppy) {
      types = {kMediaF3_1Pt44_512, kMediaF3_720_512};
    } else {
      types = {kMediaRemovable};
    }
    return true;
  }
  bool VolumeDiskExtents(std::vector<DiskExtent>& extents) override {
    extents.clear();
    // A diskette is no partition of a disk.
    if (d_.kind_ == DriveKind::Floppy) return d_.Fail(kInvalidFunction);
    const SimulatedVolume v = d_.Volume(n_);
    extents.push_back({d_.deviceNumber, v.offset, v.length});
    return true;
  }
  bool Flush() override { return d_.Flush(); }
  bool AdapterAlignmentMask(std::uint32_t& mask) override {
    mask = d_.alignmentMask;
    return d_.kind_ != DriveKind::Floppy || d_.Fail(kNotSupported);
  }

 private:
  SimulatedDrive& d_;
  std::size_t n_;
  bool counted_;
  std::uint64_t position_ = 0;
};

SimulatedDrive::SimulatedDrive(DriveKind kind, std::filesystem::path image,
                               std::uint64_t capacity, SystemErrors& errors)
    : kind_(kind),
      image_(std::move(image)),
      capacity_(kind == DriveKind::Floppy ? kDisketteBytes : capacity),
      errors_(errors) {
  if (kind_ == DriveKind::Floppy) volumes.push_back(SimulatedVolume{0, 0, kDisketteBytes});
}

SimulatedDrive::~SimulatedDrive() = default;

std::unique_ptr<DiskHandle> SimulatedDrive::Open() { return std::make_unique<DiskView>(*this); }

std::unique_ptr<DiskHandle> SimulatedDrive::OpenVolume(std::size_t n, DiskAccess access) {
  std::lock_guard lock(mutex_);
  if (n >= volumes.size()) {
    Fail(2);  // ERROR_FILE_NOT_FOUND
    return nullptr;
  }
  // A volume is opened for writing only with write sharing: its file system
  // has it open for writing itself.
  if (access == DiskAccess::ReadWriteShareRead) {
    Fail(kSharingViolation);
    return nullptr;
  }
  const bool counted = access != DiskAccess::None;
  if (counted) ++volumes[n].openHandles;
  return std::make_unique<VolumeView>(*this, n, counted);
}

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

// A blank diskette has no file system: Windows mounts it RAW and lets it be
// written. A stick's volumes are formatted.
bool SimulatedDrive::HasFileSystem() const {
  if (kind_ != DriveKind::Floppy) return true;
  std::error_code ec;
  return Exists(image_) && std::filesystem::file_size(image_, ec) > 0 && !ec;
}

bool SimulatedDrive::Locked() const {
  std::lock_guard lock(mutex_);
  return std::any_of(volumes.begin(), volumes.end(), [](const SimulatedVolume& v) { return v.locked; });
}

int SimulatedDrive::WriteCalls() const {
  std::lock_guard lock(mutex_);
  return writeCalls_;
}

int SimulatedDrive::LayoutUpdates() const {
  std::lock_guard lock(mutex_);
  return layoutUpdates_;
}

std::uint64_t SimulatedDrive::UnflushedBytes() const {
  std::lock_guard lock(mutex_);
  return cached_;
}

SimulatedVolume SimulatedDrive::Volume(std::size_t n) const {
  std::lock_guard lock(mutex_);
  return n < volumes.size() ? volumes[n] : SimulatedVolume{};
}

bool SimulatedDrive::Fail(std::uint32_t error) const {
  errors_.SetLast(error);
  return false;
}

bool SimulatedDrive::Lock(std::size_t n, const void* owner, bool counted) {
  std::lock_guard lock(mutex_);
  SimulatedVolume& v = volumes[n];
  // An empty drive has no volume to lock.
  if (!MediumPresent()) return Fail(kNotReady);
  if (v.inUse != 0) {
    if (v.inUse > 0) --v.inUse;
    return Fail(kAccessDenied);
  }
  // Any other handle open on the volume, or its lock held elsewhere, refuses it.
  if ((v.locked && v.lockOwner != owner) || v.openHandles > (counted ? 1 : 0))
    return Fail(kAccessDenied);
  v.locked = true;
  v.lockOwner = owner;
  v.cachedBootSector.clear();
  if (HasFileSystem() && !v.dismounted) {
    v.cachedBootSector.resize(kSector);
    std::uint32_t got = 0;
    if (!ReadAt(v.offset, v.cachedBootSector.data(), kSector, got)) v.cachedBootSector.clear();
  }
  return true;
}

// The lock goes: a file system still mounted writes back what it cached.
void SimulatedDrive::LetGo(SimulatedVolume& v) {
  if (!v.dismounted && !v.cachedBootSector.empty())
    Store(v.offset, v.cachedBootSector.data(), kSector);
  v.cachedBootSector.clear();
  v.locked = false;
  v.lockOwner = nullptr;
  v.dismounted = false;  // the next look at it mounts it again
}

bool SimulatedDrive::Unlock(std::size_t n, const void* owner) {
  std::lock_guard lock(mutex_);
  SimulatedVolume& v = volumes[n];
  if (!v.locked || v.lockOwner != owner) return Fail(kNotLocked);
  LetGo(v);
  return true;
}

bool SimulatedDrive::Dismount(std::size_t n) {
  std::lock_guard lock(mutex_);
  if (!MediumPresent()) return Fail(kNotReady);
  volumes[n].dismounted = true;
  return true;
}

void SimulatedDrive::Closed(std::size_t n, const void* handle, bool counted) {
  std::lock_guard lock(mutex_);
  SimulatedVolume& v = volumes[n];
  if (counted) --v.openHandles;
  if (v.locked && v.lockOwner == handle) LetGo(v);
}

// Into a mounted volume's sectors only while it is locked or dismounted.
bool SimulatedDrive::WriteAllowed(std::uint64_t offset, std::uint64_t size) const {
  if (!HasFileSystem()) return true;
  for (const SimulatedVolume& v : volumes)
    if (Overlap(offset, size, v.offset, v.length) && !v.locked && !v.dismounted) return false;
  return true;
}

// A volume left dismounted but not locked: the program that has it open
// looks again and mounts it.
void SimulatedDrive::AfterWrite() {
  for (SimulatedVolume& v : volumes)
    if (v.dismounted && !v.locked && v.inUse != 0) v.dismounted = false;
}

bool SimulatedDrive::ReadAt(std::uint64_t offset, void* buffer, std::uint32_t size,
                            std::uint32_t& got) {
  std::lock_guard lock(mutex_);
  got = 0;
  if (!MediumPresent()) return Fail(kNotReady);
  if (offset % kSector != 0 || size % kSector != 0) return Fail(kInvalidParameter);
  const std::uint64_t available = offset < capacity_ ? capacity_ - offset : 0;
  const auto wanted = static_cast<std::uint32_t>(std::min<std::uint64_t>(size, available));
  if (!ReadMedium(offset, buffer, wanted)) return Fail(kReadFault);
  // What the cache holds is what the drive answers with.
  for (const Pending& p : cache_) {
    const std::uint64_t from = std::max(offset, p.offset);
    const std::uint64_t to = std::min(offset + wanted, p.offset + p.bytes.size());
    if (from < to)
      std::memcpy(static_cast<std::uint8_t*>(buffer) + (from - offset), p.bytes.data() + (from - p.offset),
                  to - from);
  }
  got = wanted;
  return true;
}

bool SimulatedDrive::ReadMedium(std::uint64_t offset, void* buffer, std::uint32_t size) {
  std::memset(buffer, 0, size);  // never-written sectors read as zeros
  if (!Exists(image_)) return true;
  std::ifstream in(image_, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(offset));
  if (in) in.read(static_cast<char*>(buffer), size);  // a short file reads zeros after its end
  return !in.bad();
}

bool SimulatedDrive::WriteMedium(std::uint64_t offset, const void* buffer, std::uint32_t size) {
  if (!Exists(image_)) std::ofstream(image_, std::ios::binary);  // a USB disk's file starts empty
  std::fstream out(image_, std::ios::binary | std::ios::in | std::ios::out);
  out.seekp(static_cast<std::streamoff>(offset));
  out.write(static_cast<const char*>(buffer), size);
  out.flush();
  return static_cast<bool>(out);
}

bool SimulatedDrive::WriteAt(std::uint64_t offset, const void* buffer, std::uint32_t size,
                             std::uint32_t& written) {
  if (writeDelayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(writeDelayMs));
  if (writeBytesPerSecond > 0)
    std::this_thread::sleep_for(std::chrono::microseconds(std::uint64_t{size} * 1000000 / writeBytesPerSecond));
  std::lock_guard lock(mutex_);
  written = 0;
  ++writeCalls_;
  if (writeCalls_ == failWriteCall) return Fail(failWriteError);
  if (!MediumPresent()) return Fail(kNotReady);
  if (Exists(image_) && ReadOnly(image_)) return Fail(kind_ == DriveKind::Floppy ? kWriteProtect : 5);
  // A disk takes whole sectors, and nothing that would run past its last one.
  if (offset % kSector != 0 || size % kSector != 0) return Fail(kInvalidParameter);
  if (offset > capacity_ || size > capacity_ - offset) return Fail(kSectorNotFound);
  if (!WriteAllowed(offset, size)) return Fail(kAccessDenied);
  if (writeCalls_ != dropWriteCall && !Store(offset, buffer, size)) return Fail(kWriteFault);
  AfterWrite();
  written = size;
  return true;
}

// Into the cache, or onto the medium for a drive without one.
bool SimulatedDrive::Store(std::uint64_t offset, const void* buffer, std::uint32_t size) {
  if (cacheBytes == 0) return WriteMedium(offset, buffer, size);
  const auto* bytes = static_cast<const std::uint8_t*>(buffer);
  cache_.push_back({offset, std::vector<std::uint8_t>(bytes, bytes + size)});
  cached_ += size;
  // A full cache writes its oldest data to the medium.
  while (cached_ > cacheBytes && !cache_.empty()) {
    const Pending& p = cache_.front();
    if (!WriteMedium(p.offset, p.bytes.data(), static_cast<std::uint32_t>(p.bytes.size())))
      return false;
    cached_ -= p.bytes.size();
    cache_.pop_front();
  }
  return true;
}

bool SimulatedDrive::Flush() {
  std::lock_guard lock(mutex_);
  while (!cache_.empty()) {
    const Pending& p = cache_.front();
    if (!WriteMedium(p.offset, p.bytes.data(), static_cast<std::uint32_t>(p.bytes.size())))
      return Fail(kWriteFault);
    cached_ -= p.bytes.size();
    cache_.pop_front();
  }
  return true;
}

bool SimulatedDrive::PassThrough(ScsiRequest& request) {
  if (request.dataBuffer != nullptr &&
      (reinterpret_cast<std::uintptr_t>(request.dataBuffer) & alignmentMask) != 0)
    return Fail(kInvalidParameter);  // the adapter cannot reach the buffer where it lies
  return detail::AnswerDiskCommand(request, errors_, MediumPresent(), capacity_, 512);
}

}  // namespace zolp::sim
