// A disk that is a file: what the copy worker and the USB flow write to in
// tests. It has a fixed capacity, takes whole sectors only (as a raw disk
// does), answers TEST UNIT READY and READ CAPACITY through pass-through like a
// USB disk, and can be told to fail.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "zolp/host.h"

namespace zolp::sim {

// A STORAGE_DEVICE_DESCRIPTOR with its strings after the fixed part.
std::vector<std::uint8_t> BuildStorageDescriptor(std::uint8_t deviceType, bool removable,
                                                 std::uint32_t busType, const std::string& vendor,
                                                 const std::string& product,
                                                 const std::string& revision);

class FileDisk final : public DiskHandle {
 public:
  FileDisk(std::filesystem::path path, std::uint64_t capacityBytes, SystemErrors& errors);
  ~FileDisk() override;
  FileDisk(const FileDisk&) = delete;
  FileDisk& operator=(const FileDisk&) = delete;

  bool Read(void* buffer, std::uint32_t size, std::uint32_t& got) override;
  bool Write(const void* buffer, std::uint32_t size, std::uint32_t& written) override;
  bool Seek(std::uint64_t offset) override;
  bool ScsiPassThrough(ScsiRequest& request) override;
  bool QueryStorageProperty(void* buffer, std::uint32_t size) override;
  bool DeviceNumber(std::uint32_t& deviceType, std::uint32_t& number) override;
  bool LockVolume() override;
  bool UnlockVolume() override;
  bool DismountVolume() override;
  bool UpdateProperties() override;
  bool MediaTypes(std::vector<std::uint32_t>& types) override;
  bool Flush() override;

  const std::filesystem::path& path() const { return path_; }

  std::uint32_t sectorSize = 512;
  std::uint32_t deviceNumber = 1;
  std::vector<std::uint8_t> descriptor;  // empty: the storage query fails
  bool mediumPresent = true;
  // Fault injection: write call n (1-based) fails with error, or is cut short.
  int failWriteCall = 0;
  std::uint32_t failWriteError = 1117;  // ERROR_IO_DEVICE
  int shortWriteCall = 0;
  int writeCalls = 0;
  // Write call n reports success but writes nothing; read call n fails with readError.
  int dropWriteCall = 0;
  int failReadCall = 0;
  std::uint32_t failReadError = 23;  // ERROR_CRC
  int readCalls = 0;
  bool locked = false, dismounted = false, propertiesUpdated = false;
  int flushes = 0;

 private:
  std::filesystem::path path_;
  std::uint64_t capacity_;
  SystemErrors& errors_;
  std::FILE* file_ = nullptr;
  std::uint64_t position_ = 0;
};

}  // namespace zolp::sim
