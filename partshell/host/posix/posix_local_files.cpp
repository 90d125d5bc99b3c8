// The local file system on POSIX hosts.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "../stdio_local_file.h"
#include "common/short_names.h"
#include "common/text.h"
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

// The entries of one directory with what stat says of each; false and errno
// when it cannot be listed.
bool ListDirectory(const std::string& directory, std::vector<LocalEntry>& entries, int& error) {
  DIR* listing = ::opendir(directory.c_str());
  if (listing == nullptr) {
    error = errno;
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
  error = errno;
  ::closedir(listing);
  if (error != 0) return false;
  // The aliases are worked out over the whole directory at once.
  AssignShortNames(entries);
  return true;
}

// The path with each component that does not exist but is the 8.3 alias of a
// long name in its directory replaced by that name, so that an alias reaches
// its file as it does on Windows. A path that exists is left as it is.
std::string ResolveAliases(const std::string& path) {
  struct stat st {};
  if (path.empty() || ::lstat(path.c_str(), &st) == 0) return path;
  std::string resolved = path[0] == '/' ? "/" : "";
  std::size_t pos = resolved.size();
  while (pos < path.size()) {
    const std::size_t slash = path.find('/', pos);
    const std::size_t end = slash == std::string::npos ? path.size() : slash;
    const std::string part = path.substr(pos, end - pos);
    pos = end + 1;
    if (part.empty()) continue;
    std::string candidate = resolved + part;
    if (common::IsValidShortName(part) && ::lstat(candidate.c_str(), &st) != 0) {
      std::vector<LocalEntry> entries;
      int error = 0;
      if (ListDirectory(resolved.empty() ? "." : resolved, entries, error)) {
        for (const LocalEntry& entry : entries) {
          if (!entry.short_name.empty() && common::EqualsIgnoreCase(entry.short_name, part)) {
            candidate = resolved + entry.name;
            break;
          }
        }
      }
    }
    resolved = candidate;
    if (slash != std::string::npos) resolved += '/';
  }
  return resolved;
}

class PosixLocalFiles : public LocalFiles {
 public:
  std::unique_ptr<LocalFile> Open(const std::string& path, LocalOpenMode mode, std::uint32_t& system_error) override {
    return StdioLocalFile::Open(ResolveAliases(path), mode, system_error);
  }

  LocalStatus Status(const std::string& given) override {
    const std::string path = ResolveAliases(given);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
      LocalStatus missing;
      missing.system_error = static_cast<std::uint32_t>(errno);
      return missing;
    }
    return StatusOf(st);
  }

  std::uint32_t Remove(const std::string& path) override {
    return ::unlink(ResolveAliases(path).c_str()) == 0 ? 0 : static_cast<std::uint32_t>(errno);
  }

  std::uint32_t SetLastWriteTime(const std::string& path, FileTime time) override {
    // The access time stays as it is.
    const struct timespec times[2] = {{0, UTIME_OMIT},
                                      {static_cast<time_t>(time.seconds), static_cast<long>(time.nanoseconds)}};
    return ::utimensat(AT_FDCWD, ResolveAliases(path).c_str(), times, 0) == 0 ? 0 : static_cast<std::uint32_t>(errno);
  }

  bool ReadDirectory(const std::string& directory, std::vector<LocalEntry>& entries,
                     std::uint32_t& system_error) override {
    int error = 0;
    if (ListDirectory(ResolveAliases(directory), entries, error)) return true;
    system_error = static_cast<std::uint32_t>(error);
    return false;
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
