// Linux drives: whole-disk block devices from /sys/block (the machine's disks,
// then attached loop devices), opened read-write with O_DIRECT where the device takes it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "partshell/error_codes.h"
#include "partshell/host_disks.h"
#include "partshell/posix_host.h"

namespace partshell {

namespace {

// Linux errno values mapped to the Windows numbers the shell reports.
std::uint32_t WindowsError(int error) {
  switch (error) {
    case ENOENT: return 2;
    case EACCES:
    case EPERM: return 5;
    case EBUSY: return 32;
    case ENOSPC: return 112;
    case EINVAL: return 87;
    case EROFS: return 19;
    case ENXIO:
    case ENOMEDIUM: return 21;
    default: return 1117;
  }
}

class PosixBlockDevice : public BlockDevice {
 public:
  static std::unique_ptr<PosixBlockDevice> Open(const std::string& path, std::uint32_t& system_error) {
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
      system_error = WindowsError(errno);
      return nullptr;
    }
    // A device goes around the page cache, so that what the shell writes is
    // on the disk when it says so; a disk image file is written normally.
    bool direct = false;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISBLK(st.st_mode)) {
      const int direct_fd = ::open(path.c_str(), O_RDWR | O_DIRECT | O_CLOEXEC);
      if (direct_fd >= 0) {
        ::close(fd);
        fd = direct_fd;
        direct = true;
      }
    }
    return std::unique_ptr<PosixBlockDevice>(new PosixBlockDevice(path, fd, direct));
  }
  ~PosixBlockDevice() override { ::close(fd_); }

  SectorIoResult ReadSector(std::uint32_t sector, std::uint8_t* buffer) override {
    return ReadSectors(sector, 1, buffer);
  }
  SectorIoResult WriteSector(std::uint32_t sector, const std::uint8_t* buffer) override {
    return WriteSectors(sector, 1, buffer);
  }
  SectorIoResult ReadSectors(std::uint32_t first, std::uint32_t count, std::uint8_t* buffer) override {
    return Transfer(first, count, SectorIoStatus::read_failed,
                    [buffer](int fd, std::size_t bytes, off_t at) { return ::pread(fd, buffer, bytes, at); });
  }
  SectorIoResult WriteSectors(std::uint32_t first, std::uint32_t count, const std::uint8_t* buffer) override {
    return Transfer(first, count, SectorIoStatus::write_failed,
                    [buffer](int fd, std::size_t bytes, off_t at) { return ::pwrite(fd, buffer, bytes, at); });
  }

 private:
  PosixBlockDevice(std::string path, int fd, bool direct) : path_(std::move(path)), fd_(fd), direct_(direct) {}

  // `count` sectors from `first` in one pread or pwrite (`io`). A read that returns
  // nothing at all is the end of the device; a device that refuses a direct transfer is
  // tried once more without it.
  template <typename Io>
  SectorIoResult Transfer(std::uint32_t first, std::uint32_t count, SectorIoStatus failure, Io io) {
    const std::size_t bytes = static_cast<std::size_t>(count) * kSectorSize;
    const off_t offset = static_cast<off_t>(first) * kSectorSize;
    for (;;) {
      const ssize_t done = io(fd_, bytes, offset);
      if (done == static_cast<ssize_t>(bytes)) return {};
      if (failure == SectorIoStatus::read_failed && done == 0) return {SectorIoStatus::read_no_data, 0};
      if (done < 0 && errno == EINVAL && DropDirect()) continue;
      return {failure, done < 0 ? WindowsError(errno) : 0};
    }
  }

  // Devices with 4K logical blocks refuse 512-byte direct transfers: fall
  // back to buffered I/O on them.
  bool DropDirect() {
    if (!direct_) return false;
    const int fd = ::open(path_.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return false;
    ::close(fd_);
    fd_ = fd;
    direct_ = false;
    return true;
  }

  std::string path_;
  int fd_;
  bool direct_;
};

// The drives in the order a Windows machine would number them: the disks of the
// machine's own hardware, then the disk images attached as loop devices (as an
// attached virtual disk comes after the physical ones), at most ten in all.
std::vector<std::string> WholeDiskDevices() {
  std::vector<std::string> hardware, attached;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/sys/block", ec)) {
    const std::string name = entry.path().filename().string();
    // Partitions are not listed here; optical drives are not disks; ram, zram and
    // device-mapper entries hold no disk. A loop device is a disk while an image is
    // attached to it.
    if (name.rfind("sr", 0) == 0) continue;
    if (std::filesystem::exists(entry.path() / "device", ec)) {
      hardware.push_back(name);
    } else if (name.rfind("loop", 0) == 0 && std::filesystem::exists(entry.path() / "loop" / "backing_file", ec)) {
      attached.push_back(name);
    }
  }
  std::sort(hardware.begin(), hardware.end());
  std::sort(attached.begin(), attached.end(), [](const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;  // loop2 before loop10
  });
  hardware.insert(hardware.end(), attached.begin(), attached.end());
  if (hardware.size() > 10) hardware.resize(10);
  return hardware;
}

class PosixDiskSystem : public DiskSystem {
 public:
  explicit PosixDiskSystem(HostDriveList drives) : drives_(std::move(drives)), paths_(drives_.paths) {}
  std::string DriveDescription(int n) const override { return DescribeHostDrive(drives_, n); }
  std::string DrivePath(int n) const override {
    return n >= 0 && static_cast<std::size_t>(n) < paths_.size() ? paths_[n] : std::string();
  }

  std::unique_ptr<BlockDevice> OpenDrive(int n, std::uint32_t& system_error) override {
    system_error = 0;
    if (n < 0 || static_cast<std::size_t>(n) >= paths_.size()) {
      system_error = 2;
      return nullptr;
    }
    return PosixBlockDevice::Open(paths_[n], system_error);
  }

  std::uint32_t DriveSizeMegabytes(int n) override {
    if (n < 0 || static_cast<std::size_t>(n) >= paths_.size()) return 0;
    struct stat st {};
    if (::stat(paths_[n].c_str(), &st) != 0) return 0;
    if (S_ISREG(st.st_mode)) return static_cast<std::uint32_t>(st.st_size / (1024 * 1024));
    const std::string name = std::filesystem::path(paths_[n]).filename().string();
    std::ifstream size_file("/sys/block/" + name + "/size");
    unsigned long long sectors = 0;
    if (!(size_file >> sectors)) return 0;
    return static_cast<std::uint32_t>(sectors / 2048);
  }

  // Linux does not mount a partition of an unknown type; nothing to lock.
  bool NeedsUtilityPartitionLock() const override { return false; }
  int OpenLockDismountUtilityPartition(int, int, EngineServices&) override { return 0; }
  void CloseUtilityPartition(EngineServices&) override {}
  void SleepMilliseconds(unsigned ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

 private:
  HostDriveList drives_;
  std::vector<std::string> paths_;
};

HostDriveList PosixHostDrives() {
  return ChooseHostDrives([] {
    std::vector<std::string> paths;
    for (const std::string& name : WholeDiskDevices()) paths.push_back("/dev/" + name);
    return paths;
  });
}

}  // namespace

std::unique_ptr<DiskSystem> CreateHostDiskSystem() { return std::make_unique<PosixDiskSystem>(PosixHostDrives()); }

std::vector<std::string> HostDiskPaths() { return PosixHostDrives().paths; }

std::string HostSystemMessage(std::uint32_t code) { return CommonSystemMessage(code); }

}  // namespace partshell
