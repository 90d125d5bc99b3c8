#include "zolp/sim/file_disk.h"

#include <algorithm>
#include <cstring>

#include "sense_reply.h"

namespace zolp::sim {

FileDisk::FileDisk(std::filesystem::path path, std::uint64_t capacityBytes, SystemErrors& errors)
    : path_(std::move(path)), capacity_(capacityBytes), errors_(errors) {
  file_ = std::fopen(path_.string().c_str(), "w+b");
}

FileDisk::~FileDisk() {
  if (file_) std::fclose(file_);
}

bool FileDisk::Read(void* buffer, std::uint32_t size, std::uint32_t& got) {
  got = 0;
  if (position_ % sectorSize != 0 || size % sectorSize != 0) {
    errors_.SetLast(87);  // ERROR_INVALID_PARAMETER: a disk reads whole sectors
    return false;
  }
  if (++readCalls == failReadCall) {
    errors_.SetLast(failReadError);
    return false;
  }
  if (!file_ || std::fseek(file_, static_cast<long>(position_), SEEK_SET) != 0) {
    errors_.SetLast(30);
    return false;
  }
  const std::uint64_t available = position_ < capacity_ ? capacity_ - position_ : 0;
  const std::uint32_t wanted = static_cast<std::uint32_t>(std::min<std::uint64_t>(size, available));
  // Past the file's end (never-written sectors) the disk reads zeros.
  const std::size_t fromFile = std::fread(buffer, 1, wanted, file_);
  std::memset(static_cast<std::uint8_t*>(buffer) + fromFile, 0, wanted - fromFile);
  got = wanted;
  position_ += got;
  return true;
}

bool FileDisk::Write(const void* buffer, std::uint32_t size, std::uint32_t& written) {
  written = 0;
  ++writeCalls;
  if (writeCalls == failWriteCall) {
    errors_.SetLast(failWriteError);
    return false;
  }
  if (position_ % sectorSize != 0 || size % sectorSize != 0) {
    errors_.SetLast(87);  // ERROR_INVALID_PARAMETER: a disk writes whole sectors
    return false;
  }
  std::uint32_t take = size;
  if (writeCalls == shortWriteCall) take = size / 2;
  // A disk takes nothing that would run past its last sector.
  if (position_ + take > capacity_) {
    errors_.SetLast(27);  // ERROR_SECTOR_NOT_FOUND
    return false;
  }
  if (writeCalls == dropWriteCall) {
    written = take;
    position_ += take;
    return true;
  }
  if (!file_ || std::fseek(file_, static_cast<long>(position_), SEEK_SET) != 0 ||
      std::fwrite(buffer, 1, take, file_) != take || std::fflush(file_) != 0) {
    errors_.SetLast(29);
    return false;
  }
  written = take;
  position_ += take;
  return true;
}

bool FileDisk::Seek(std::uint64_t offset) {
  if (offset > capacity_) {
    errors_.SetLast(131);  // ERROR_NEGATIVE_SEEK's neighbour: out of range
    return false;
  }
  position_ = offset;
  return true;
}

bool FileDisk::ScsiPassThrough(ScsiRequest& request) {
  return detail::AnswerDiskCommand(request, errors_, mediumPresent, capacity_, sectorSize);
}

bool FileDisk::QueryStorageProperty(void* buffer, std::uint32_t size) {
  if (descriptor.empty()) {
    errors_.SetLast(50);
    return false;
  }
  std::memset(buffer, 0, size);
  std::memcpy(buffer, descriptor.data(), std::min<std::size_t>(size, descriptor.size()));
  return true;
}

bool FileDisk::DeviceNumber(std::uint32_t& deviceType, std::uint32_t& number) {
  deviceType = 7;  // FILE_DEVICE_DISK
  number = deviceNumber;
  return true;
}

bool FileDisk::LockVolume() { return locked = true; }
bool FileDisk::UnlockVolume() {
  locked = false;
  return true;
}
bool FileDisk::DismountVolume() { return dismounted = true; }
bool FileDisk::UpdateProperties() { return propertiesUpdated = true; }
bool FileDisk::Flush() {
  ++flushes;
  if (file_ && std::fflush(file_) == 0) return true;
  errors_.SetLast(29);  // ERROR_WRITE_FAULT
  return false;
}

bool FileDisk::MediaTypes(std::vector<std::uint32_t>& types) {
  types.assign(1, kMediaRemovable);
  return true;
}

}  // namespace zolp::sim
