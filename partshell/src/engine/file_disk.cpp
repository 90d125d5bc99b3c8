#include "partshell/file_disk.h"

#include <cerrno>

namespace partshell {

namespace {
constexpr std::uint32_t kErrorFileNotFound = 2;  // the Windows numbers the shell reports
constexpr std::uint32_t kErrorReadFault = 30;
constexpr std::uint32_t kErrorWriteFault = 29;
constexpr std::uint32_t kErrorSeek = 25;
}  // namespace

std::unique_ptr<FileBlockDevice> FileBlockDevice::Open(const std::string& path) {
  auto device = std::unique_ptr<FileBlockDevice>(new FileBlockDevice());
  device->file_.open(path, std::ios::in | std::ios::out | std::ios::binary);
  if (!device->file_.is_open()) return nullptr;
  return device;
}

std::uint64_t FileBlockDevice::SizeInBytes() {
  file_.clear();
  file_.seekg(0, std::ios::end);
  const auto end = file_.tellg();
  return end < 0 ? 0 : static_cast<std::uint64_t>(end);
}

SectorIoResult FileBlockDevice::ReadSector(std::uint32_t sector, std::uint8_t* buffer) {
  file_.clear();
  if (!file_.seekg(static_cast<std::streamoff>(sector) * kSectorSize, std::ios::beg)) {
    return {SectorIoStatus::seek_failed, kErrorSeek};
  }
  file_.read(reinterpret_cast<char*>(buffer), kSectorSize);
  const auto got = file_.gcount();
  if (got == static_cast<std::streamsize>(kSectorSize)) return {};
  if (got == 0) return {SectorIoStatus::read_no_data, 0};
  return {SectorIoStatus::read_failed, kErrorReadFault};
}

SectorIoResult FileBlockDevice::WriteSector(std::uint32_t sector, const std::uint8_t* buffer) {
  file_.clear();
  // A disk does not grow: a write past its end fails like one on a device.
  if (static_cast<std::uint64_t>(sector) * kSectorSize + kSectorSize > SizeInBytes()) {
    return {SectorIoStatus::write_failed, kErrorWriteFault};
  }
  if (!file_.seekp(static_cast<std::streamoff>(sector) * kSectorSize, std::ios::beg)) {
    return {SectorIoStatus::seek_failed, kErrorSeek};
  }
  if (!file_.write(reinterpret_cast<const char*>(buffer), kSectorSize) || !file_.flush()) {
    return {SectorIoStatus::write_failed, kErrorWriteFault};
  }
  return {};
}

SectorIoResult FaultInjectingDevice::ReadSector(std::uint32_t sector, std::uint8_t* buffer) {
  ++reads_of[sector];
  if (failing_reads.count(sector) != 0) {
    if (good_reads_before_failing > 0) {
      --good_reads_before_failing;
      return inner_->ReadSector(sector, buffer);
    }
    ++failures_injected;
    return {SectorIoStatus::read_failed, system_error};
  }
  return inner_->ReadSector(sector, buffer);
}

SectorIoResult FaultInjectingDevice::WriteSector(std::uint32_t sector, const std::uint8_t* buffer) {
  bool fail = failing_writes.count(sector) != 0;
  if (writes_before_failure >= 0) {
    if (writes_before_failure == 0) {
      fail = true;
      if (fail_once) writes_before_failure = -1;
    } else {
      --writes_before_failure;
    }
  }
  if (fail) {
    ++failures_injected;
    return {SectorIoStatus::write_failed, system_error};
  }
  ++writes_done;
  return inner_->WriteSector(sector, buffer);
}

std::unique_ptr<BlockDevice> FileDiskSystem::OpenDrive(int n, std::uint32_t& system_error) {
  system_error = 0;
  if (n < 0 || static_cast<std::size_t>(n) >= paths_.size() || paths_[n].empty()) {
    system_error = kErrorFileNotFound;
    return nullptr;
  }
  std::unique_ptr<BlockDevice> device = FileBlockDevice::Open(paths_[n]);
  if (!device) {
    system_error = kErrorFileNotFound;
    return nullptr;
  }
  opened.push_back(n);
  if (wrap) device = wrap(n, std::move(device));
  return device;
}

std::uint32_t FileDiskSystem::DriveSizeMegabytes(int n) {
  if (n < 0 || static_cast<std::size_t>(n) >= paths_.size() || paths_[n].empty()) return 0;
  auto device = FileBlockDevice::Open(paths_[n]);
  return device ? static_cast<std::uint32_t>(device->SizeInBytes() / (1024 * 1024)) : 0;
}

}  // namespace partshell
