// The local file system on POSIX hosts.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "../stdio_local_file.h"
#include "partshell/host_services.h"

namespace partshell {
namespace {

constexpr std::uint8_t kReadOnly = 0x01;
constexpr std::uint8_t kDirectory = 0x10;
constexpr std::uint8_t kArchive = 0x20;

LocalStatus StatusOf(const struct stat& st) {
  LocalStatus status;
  status.kind = S_ISREG(st.st_mode) ? LocalKind::file : S_ISDIR(st.st_mode) ? LocalKind::directory : LocalKind::other;
  status.size = S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size) : 0;
  status.attributes = status.kind == LocalKind::directory ? kDirectory : kArchive;
  if ((st.st_mode & S_IWUSR) == 0) status.attributes |= kReadOnly;
  status.last_write = {static_cast<std::int64_t>(st.st_mtim.tv_sec), static_cast<std::uint32_t>(st.st_mtim.tv_nsec)};
  status.has_identity = true;
  status.device = static_cast<std::uint64_t>(st.st_dev);
  status.file_number = static_cast<std::uint64_t>(st.st_ino);
  return status;
}

class PosixLocalFiles : public LocalFiles {
 public:
  std::unique_ptr<LocalFile> Open(const std::string& path, LocalOpenMode mode, std::uint32_t& system_error) override {
    return StdioLocalFile::Open(path, mode, system_error);
  }

  LocalStatus Status(const std::string& path) override {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
      LocalStatus missing;
      missing.system_error = static_cast<std::uint32_t>(errno);
      return missing;
    }
    return StatusOf(st);
  }

  std::uint32_t Remove(const std::string& path) override {
    return ::unlink(path.c_str()) == 0 ? 0 : static_cast<std::uint32_t>(errno);
  }

  std::uint32_t SetLastWriteTime(const std::string& path, FileTime time) override {
    // The access time stays as it is.
    const struct timespec times[2] = {{0, UTIME_OMIT},
                                      {static_cast<time_t>(time.seconds), static_cast<long>(time.nanoseconds)}};
    return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0 ? 0 : static_cast<std::uint32_t>(errno);
  }

  bool ReadDirectory(const std::string& directory, std::vector<LocalEntry>& entries,
                     std::uint32_t& system_error) override {
    DIR* listing = ::opendir(directory.c_str());
    if (listing == nullptr) {
      system_error = static_cast<std::uint32_t>(errno);
      return false;
    }
    const std::string prefix = directory.empty() || directory.back() == '/' ? directory : directory + "/";
    for (;;) {
      errno = 0;
      const dirent* found = ::readdir(listing);
      if (found == nullptr) break;
      if (std::strcmp(found->d_name, ".") == 0 || std::strcmp(found->d_name, "..") == 0) continue;
      LocalEntry entry;
      entry.name = found->d_name;
      struct stat st {};
      // An entry that cannot be looked at (a dangling link) is listed as no directory.
      const LocalStatus status = ::stat((prefix + entry.name).c_str(), &st) == 0 ? StatusOf(st) : LocalStatus{};
      entry.kind = status.kind == LocalKind::missing ? LocalKind::other : status.kind;
      entry.attributes = status.attributes;
      entry.size = status.size;
      entry.last_write = status.last_write;
      entries.push_back(std::move(entry));
    }
    const int error = errno;
    ::closedir(listing);
    if (error != 0) {
      system_error = static_cast<std::uint32_t>(error);
      return false;
    }
    // The aliases are worked out over the whole directory at once.
    AssignShortNames(entries);
    return true;
  }

  std::string CurrentDirectory() override {
    std::vector<char> buffer(4096);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
      if (errno != ERANGE || buffer.size() > (1u << 20)) return {};
      buffer.resize(buffer.size() * 2);
    }
    return buffer.data();
  }

  // "\" separates as "/" does, so paths written for Windows work unchanged.
  std::string HostPath(const std::string& path) const override {
    std::string converted = path;
    for (char& c : converted) {
      if (c == '\\') c = '/';
    }
    return converted;
  }

  bool NamesIgnoreCase() const override { return false; }
};

}  // namespace

std::unique_ptr<LocalFiles> CreateHostLocalFiles() { return std::make_unique<PosixLocalFiles>(); }

}  // namespace partshell
