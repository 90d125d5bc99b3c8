// The front end's services on Linux, for the command-line front end: files in
// the package directory, errors as the system codes the core names, page
// buffers, threads, and block devices opened for writing a whole stick.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "zolp/host.h"

namespace zolp::linux_host {

// The core's system error code for an errno value (ERROR_ACCESS_DENIED for
// EACCES, ...); codes the core does not name pass through above 0x20000000.
std::uint32_t SystemCodeOf(int errnoValue);

class Errors final : public SystemErrors {
 public:
  std::uint32_t Last() const override;
  void SetLast(std::uint32_t code) override;
  std::string MessageText(std::uint32_t code) const override;
  // Sets the last error from errno.
  static void FromErrno();
};

// Windows paths ("DIAGS\x.txt") are read with '/' for '\'.
class Files final : public FileSystem {
 public:
  std::unique_ptr<File> OpenRead(const std::string& path) override;
  std::unique_ptr<File> Create(const std::string& path) override;
  std::unique_ptr<File> OpenAppend(const std::string& path) override;
  bool Delete(const std::string& path) override;
  bool Exists(const std::string& path) override;
  bool MakeDirectory(const std::string& path) override;
  bool RemoveEmptyDirectory(const std::string& path) override;
  bool SystemDirectory(std::string& path) override;
  bool CurrentDirectory(std::string& path) override;
  bool TemporaryFileName(const std::string& directory, const std::string& prefix,
                         std::string& path) override;
};

class PageMemory final : public Memory {
 public:
  void* AllocatePages(std::size_t size) override;
  bool FreePages(void* pages) override;
};

class MonotonicClock final : public Clock {
 public:
  void Sleep(std::uint32_t milliseconds) override;
  std::uint64_t Milliseconds() override;
};

// Threads joined when the pool goes.
class Threads final : public Workers {
 public:
  ~Threads() override;
  bool StartThread(std::function<void()> work) override;
  void JoinAll();

 private:
  std::vector<std::thread> threads_;
};

// A whole block device, opened exclusively (O_EXCL: refused while mounted or
// held by another writer). Writes go through the page cache and are flushed;
// reads come from a second descriptor opened with O_DIRECT, so that what is
// read back is what the device holds, not what the cache kept.
class BlockDevice final : public DiskHandle {
 public:
  // Null with the error set when the node cannot be opened so.
  static std::unique_ptr<BlockDevice> Open(const std::string& node);
  ~BlockDevice() override;

  bool Read(void* buffer, std::uint32_t size, std::uint32_t& got) override;
  bool Write(const void* buffer, std::uint32_t size, std::uint32_t& written) override;
  bool Seek(std::uint64_t offset) override;
  bool Flush() override;
  // BLKRRPART: the kernel reads the new partition table.
  bool UpdateProperties() override;
  bool ScsiPassThrough(ScsiRequest&) override { return Unsupported(); }
  bool QueryStorageProperty(void*, std::uint32_t) override { return Unsupported(); }
  bool DeviceNumber(std::uint32_t&, std::uint32_t&) override { return Unsupported(); }
  bool LockVolume() override { return Unsupported(); }
  bool UnlockVolume() override { return Unsupported(); }
  bool DismountVolume() override { return Unsupported(); }
  bool MediaTypes(std::vector<std::uint32_t>&) override { return Unsupported(); }

  // The device's size in bytes (BLKGETSIZE64) and its dev numbers.
  bool Size(std::uint64_t& bytes) const;
  bool DevNumbers(unsigned& major, unsigned& minor) const;
  // Zeroes `length` bytes from `offset` and flushes.
  bool Clear(std::uint64_t offset, std::uint64_t length);

 private:
  BlockDevice(int writer, int reader) : writer_(writer), reader_(reader) {}
  static bool Unsupported();
  int writer_ = -1;
  int reader_ = -1;
  std::uint64_t position_ = 0;
};

// A tool's Linux program: beside the program at self, else found on PATH
// (answered as the bare name).
std::string FindTool(const std::string& self, const std::string& name);

// Runs the tools the core starts by their Windows names (".\\torbel.exe") as
// their Linux programs, the command line split as the Windows C runtime splits
// it, standard input from /dev/null. The child's environment is the request's
// with TORBEL_DISK added when it is set here. Each run is announced on
// `announce` (null: silent).
class ToolLauncher final : public ProcessLauncher {
 public:
  ToolLauncher(std::string self, std::FILE* announce) : self_(std::move(self)), announce_(announce) {}
  std::unique_ptr<ChildProcess> Start(const LaunchRequest& request) override;
  // The exit code of the last run that ended (torbel's codes as torbel gives them).
  std::uint32_t LastExitCode() const { return last_; }

 private:
  std::string self_;
  std::FILE* announce_;
  std::atomic<std::uint32_t> last_{0};
};

// The tools as the program's resources ("BIN" 149: torbel, 150: vellix), read
// from their programs (FindTool) the first time they are asked for.
class ToolResources final : public ResourceStore {
 public:
  explicit ToolResources(std::string self) : self_(std::move(self)) {}
  ResourceStep Fetch(std::string_view type, int id, const std::uint8_t*& data,
                     std::size_t& size) override;

 private:
  std::string self_;
  std::vector<std::uint8_t> tools_[2];
};

}  // namespace zolp::linux_host
