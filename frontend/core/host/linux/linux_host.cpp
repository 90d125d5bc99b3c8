#include "zolp/linux_host.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "common/text.h"
#include "zolp/command_line.h"
#include "zolp/system_errors.h"
#include "zolp/tool_runner.h"

extern char** environ;

namespace zolp::linux_host {

namespace {

thread_local std::uint32_t lastError = 0;
constexpr std::uint32_t kErrnoBase = 0x20000000;  // the customer bit: no system code is there
constexpr std::uint32_t kDiskFull = 112;           // ERROR_DISK_FULL
constexpr std::uint32_t kBusy = 170;               // ERROR_BUSY

std::string Native(const std::string& path) {
  std::string native = path;
  for (char& c : native)
    if (c == '\\') c = '/';
  return native;
}

class PosixFile final : public File {
 public:
  explicit PosixFile(int fd) : fd_(fd) {}
  ~PosixFile() override { ::close(fd_); }
  bool Read(void* buffer, std::uint32_t size, std::uint32_t& got) override {
    got = 0;
    while (got < size) {
      const ssize_t n = ::read(fd_, static_cast<char*>(buffer) + got, size - got);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return Errors::FromErrno(), false;
      if (n == 0) break;
      got += static_cast<std::uint32_t>(n);
    }
    return true;
  }
  bool Write(const void* buffer, std::uint32_t size) override {
    for (std::uint32_t done = 0; done < size;) {
      const ssize_t n = ::write(fd_, static_cast<const char*>(buffer) + done, size - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return Errors::FromErrno(), false;
      done += static_cast<std::uint32_t>(n);
    }
    return true;
  }
  bool Size(std::uint64_t& size) override {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return Errors::FromErrno(), false;
    size = static_cast<std::uint64_t>(st.st_size);
    return true;
  }

 private:
  int fd_;
};

std::unique_ptr<File> OpenWith(const std::string& path, int flags) {
  const int fd = ::open(Native(path).c_str(), flags | O_CLOEXEC, 0644);
  if (fd < 0) return Errors::FromErrno(), nullptr;
  return std::make_unique<PosixFile>(fd);
}

}  // namespace

std::uint32_t SystemCodeOf(int e) {
  switch (e) {
    case 0: return syserr::kSuccess;
    case ENOENT: return syserr::kFileNotFound;
    case ENOTDIR: return syserr::kPathNotFound;
    case EACCES: case EPERM: case EROFS: return syserr::kAccessDenied;
    case ENOMEM: return syserr::kNotEnoughMemory;
    case EBUSY: return kBusy;
    case EEXIST: return syserr::kAlreadyExists;
    case EINVAL: return syserr::kInvalidParameter;
    case EIO: return syserr::kIoDevice;
    case ENOSPC: return kDiskFull;
    case ENXIO: case ENODEV: case ENOMEDIUM: return syserr::kNotReady;
    case EOPNOTSUPP: case ENOTTY: return syserr::kNotSupported;
    default: return kErrnoBase + static_cast<std::uint32_t>(e);
  }
}

std::uint32_t Errors::Last() const { return lastError; }
void Errors::SetLast(std::uint32_t code) { lastError = code; }
void Errors::FromErrno() { lastError = SystemCodeOf(errno); }

std::string Errors::MessageText(std::uint32_t code) const {
  static const std::map<std::uint32_t, const char*> texts = {
      {syserr::kFileNotFound, "The system cannot find the file specified."},
      {syserr::kPathNotFound, "The system cannot find the path specified."},
      {syserr::kAccessDenied, "Access is denied."},
      {syserr::kNotEnoughMemory, "Not enough memory resources are available to process this command."},
      {syserr::kNotReady, "The device is not ready."},
      {syserr::kSectorNotFound, "The drive cannot find the sector requested."},
      {syserr::kWriteFault, "The system cannot write to the specified device."},
      {syserr::kReadFault, "The system cannot read from the specified device."},
      {syserr::kHandleEof, "Reached the end of the file."},
      {syserr::kNotSupported, "The request is not supported."},
      {syserr::kInvalidParameter, "The parameter is incorrect."},
      {syserr::kAlreadyExists, "Cannot create a file when that file already exists."},
      {syserr::kIoDevice, "The request could not be performed because of an I/O device error."},
      {kDiskFull, "There is not enough space on the disk."},
      {kBusy, "The requested resource is in use."},
  };
  if (const auto it = texts.find(code); it != texts.end()) return it->second;
  if (code > kErrnoBase) {
    char buffer[128];
    return ::strerror_r(static_cast<int>(code - kErrnoBase), buffer, sizeof buffer);
  }
  return {};
}

std::unique_ptr<File> Files::OpenRead(const std::string& path) { return OpenWith(path, O_RDONLY); }
std::unique_ptr<File> Files::Create(const std::string& path) {
  return OpenWith(path, O_WRONLY | O_CREAT | O_TRUNC);
}
std::unique_ptr<File> Files::OpenAppend(const std::string& path) {
  return OpenWith(path, O_WRONLY | O_CREAT | O_APPEND);
}
bool Files::Delete(const std::string& path) {
  return ::unlink(Native(path).c_str()) == 0 || (Errors::FromErrno(), false);
}
bool Files::Exists(const std::string& path) {
  struct stat st {};
  return ::stat(Native(path).c_str(), &st) == 0 || (Errors::FromErrno(), false);
}
bool Files::MakeDirectory(const std::string& path) {
  return ::mkdir(Native(path).c_str(), 0755) == 0 || (Errors::FromErrno(), false);
}
bool Files::RemoveEmptyDirectory(const std::string& path) {
  return ::rmdir(Native(path).c_str()) == 0 || (Errors::FromErrno(), false);
}
bool Files::SystemDirectory(std::string& path) {
  path = "/usr/bin";
  return true;
}
bool Files::CurrentDirectory(std::string& path) {
  char buffer[4096];
  if (!::getcwd(buffer, sizeof buffer)) return Errors::FromErrno(), false;
  path = buffer;
  return true;
}
bool Files::TemporaryFileName(const std::string& directory, const std::string& prefix,
                              std::string& path) {
  std::string name = Native(directory) + "/" + prefix + "XXXXXX.tmp";
  const int fd = ::mkstemps(name.data(), 4);
  if (fd < 0) return Errors::FromErrno(), false;
  ::close(fd);
  path = name;
  return true;
}

void* PageMemory::AllocatePages(std::size_t size) {
  void* pages = nullptr;
  const int status = ::posix_memalign(&pages, 4096, size);
  if (status != 0) {
    lastError = SystemCodeOf(status);
    return nullptr;
  }
  std::memset(pages, 0, size);
  return pages;
}
bool PageMemory::FreePages(void* pages) {
  std::free(pages);
  return true;
}

void MonotonicClock::Sleep(std::uint32_t milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
std::uint64_t MonotonicClock::Milliseconds() {
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
}

Threads::~Threads() { JoinAll(); }
bool Threads::StartThread(std::function<void()> work) {
  try {
    threads_.emplace_back(std::move(work));
  } catch (const std::system_error& e) {
    lastError = SystemCodeOf(e.code().value());
    return false;
  }
  return true;
}
void Threads::JoinAll() {
  for (std::thread& thread : threads_)
    if (thread.joinable()) thread.join();
  threads_.clear();
}

std::unique_ptr<BlockDevice> BlockDevice::Open(const std::string& node) {
  const int writer = ::open(node.c_str(), O_RDWR | O_EXCL | O_CLOEXEC);
  if (writer < 0) return Errors::FromErrno(), nullptr;
  const int reader = ::open(node.c_str(), O_RDONLY | O_DIRECT | O_CLOEXEC);
  if (reader < 0) {
    Errors::FromErrno();
    ::close(writer);
    return nullptr;
  }
  return std::unique_ptr<BlockDevice>(new BlockDevice(writer, reader));
}

BlockDevice::~BlockDevice() {
  ::close(reader_);
  ::close(writer_);
}

bool BlockDevice::Unsupported() {
  lastError = syserr::kNotSupported;
  return false;
}

bool BlockDevice::Read(void* buffer, std::uint32_t size, std::uint32_t& got) {
  got = 0;
  while (got < size) {
    const ssize_t n = ::pread(reader_, static_cast<char*>(buffer) + got, size - got,
                              static_cast<off_t>(position_));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Errors::FromErrno(), false;
    if (n == 0) break;
    got += static_cast<std::uint32_t>(n);
    position_ += static_cast<std::uint64_t>(n);
  }
  return true;
}

bool BlockDevice::Write(const void* buffer, std::uint32_t size, std::uint32_t& written) {
  written = 0;
  while (written < size) {
    const ssize_t n = ::pwrite(writer_, static_cast<const char*>(buffer) + written,
                               size - written, static_cast<off_t>(position_));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return Errors::FromErrno(), false;
    }
    written += static_cast<std::uint32_t>(n);
    position_ += static_cast<std::uint64_t>(n);
  }
  return true;
}

bool BlockDevice::Seek(std::uint64_t offset) {
  position_ = offset;
  return true;
}

bool BlockDevice::Flush() {
  // fsync reaches the device; an error the page cache held back surfaces here.
  return ::fsync(writer_) == 0 || (Errors::FromErrno(), false);
}

bool BlockDevice::UpdateProperties() {
  return ::ioctl(writer_, BLKRRPART) == 0 || (Errors::FromErrno(), false);
}

bool BlockDevice::Size(std::uint64_t& bytes) const {
  return ::ioctl(writer_, BLKGETSIZE64, &bytes) == 0 || (Errors::FromErrno(), false);
}

bool BlockDevice::DevNumbers(unsigned& major, unsigned& minor) const {
  struct stat st {};
  if (::fstat(writer_, &st) != 0) return Errors::FromErrno(), false;
  if (!S_ISBLK(st.st_mode)) return Unsupported();
  major = ::major(st.st_rdev);
  minor = ::minor(st.st_rdev);
  return true;
}

bool BlockDevice::Clear(std::uint64_t offset, std::uint64_t length) {
  static const std::vector<char> zeros(1 << 16, 0);
  for (std::uint64_t done = 0; done < length;) {
    const auto piece = static_cast<std::uint32_t>(std::min<std::uint64_t>(zeros.size(), length - done));
    std::uint32_t written = 0;
    if (!Seek(offset + done) || !Write(zeros.data(), piece, written)) return false;
    done += piece;
  }
  return Flush();
}

namespace {

class Child final : public ChildProcess {
 public:
  Child(pid_t pid, std::atomic<std::uint32_t>& last) : pid_(pid), last_(last) {}
  ~Child() override { Wait(); }
  void Wait() override {
    if (waited_) return;
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    waited_ = true;
    code_ = WIFEXITED(status) ? TorbelExitCode(static_cast<std::uint32_t>(WEXITSTATUS(status)))
                              : kExitCodeUnknown;
    last_ = code_;
  }
  bool ExitCode(std::uint32_t& code) override {
    Wait();
    code = code_;
    return true;
  }

 private:
  pid_t pid_;
  std::atomic<std::uint32_t>& last_;
  bool waited_ = false;
  std::uint32_t code_ = 0;
};

// "torbel" of ".\\torbel.exe" or "torbel.exe /TDE ...".
std::string ToolName(const LaunchRequest& request, const std::vector<std::string>& args) {
  std::string name = !request.application.empty() ? request.application : args.empty() ? "" : args[0];
  name = name.substr(name.find_last_of("\\/") + 1);
  name = common::LowerAscii(name);
  if (name.size() > 4 && name.compare(name.size() - 4, 4, ".exe") == 0) name.resize(name.size() - 4);
  return name;
}

}  // namespace

std::string FindTool(const std::string& self, const std::string& name) {
  std::error_code ec;
  const std::filesystem::path beside = std::filesystem::path(self).parent_path() / name;
  if (!self.empty() && std::filesystem::exists(beside, ec)) return beside.string();
  return name;
}

std::unique_ptr<ChildProcess> ToolLauncher::Start(const LaunchRequest& request) {
  std::vector<std::string> args = SplitCommandLine(request.commandLine);
  const std::string name = ToolName(request, args);
  if (name != "torbel" && name != "vellix") {
    lastError = syserr::kFileNotFound;  // no command interpreter here
    return nullptr;
  }
  if (args.empty()) args.push_back(name);
  args[0] = FindTool(self_, name);
  std::vector<std::string> environment = request.environment;
  if (const char* disk = std::getenv("TORBEL_DISK")) environment.push_back(std::string("TORBEL_DISK=") + disk);
  if (announce_) {
    std::string line = name;
    for (std::size_t i = 1; i < args.size(); ++i) line += " " + args[i];
    std::fprintf(announce_, "%s\n", line.c_str());
    std::fflush(announce_);
  }
  std::vector<char*> argv, envp;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (std::string& e : environment) envp.push_back(e.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  pid_t pid = 0;
  const int status = args[0].find('/') != std::string::npos
                         ? posix_spawn(&pid, args[0].c_str(), &actions, nullptr, argv.data(), envp.data())
                         : posix_spawnp(&pid, args[0].c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (status != 0) {
    lastError = SystemCodeOf(status);
    return nullptr;
  }
  return std::make_unique<Child>(pid, last_);
}

ResourceStep ToolResources::Fetch(std::string_view type, int id, const std::uint8_t*& data,
                                  std::size_t& size) {
  if (type != kToolResourceType) return lastError = syserr::kResourceTypeNotFound, ResourceStep::Find;
  if (id != kTorbelResource && id != kVellixResource)
    return lastError = syserr::kResourceNameNotFound, ResourceStep::Find;
  std::vector<std::uint8_t>& bytes = tools_[id == kVellixResource];
  if (bytes.empty()) {
    std::string program = FindTool(self_, id == kVellixResource ? "vellix" : "torbel");
    if (program.find('/') == std::string::npos) {
      // On PATH: the first directory that holds it.
      const char* path = std::getenv("PATH");
      std::string dirs = path ? path : "";
      for (std::size_t at = 0; at <= dirs.size();) {
        const std::size_t end = std::min(dirs.find(':', at), dirs.size());
        const std::string candidate = dirs.substr(at, end - at) + "/" + program;
        if (end > at && ::access(candidate.c_str(), X_OK) == 0) {
          program = candidate;
          break;
        }
        at = end + 1;
      }
    }
    std::ifstream in(program, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (bytes.empty()) return lastError = syserr::kResourceDataNotFound, ResourceStep::Load;
  }
  data = bytes.data();
  size = bytes.size();
  return ResourceStep::Ok;
}

}  // namespace zolp::linux_host
