// The local file system on Windows: the find functions list a directory with
// each entry's 8.3 alias.
#include <windows.h>

#include "../stdio_local_file.h"
#include "partshell/host_services.h"

namespace partshell {
namespace {

// FILETIME counts 100 ns from 1601-01-01; 11,644,473,600 s lie between that and 1970.
constexpr std::int64_t kEpochDifference = 11644473600LL;
constexpr std::uint8_t kFatAttributes = 0x37;  // read-only, hidden, system, directory, archive

FileTime FromFileTime(const FILETIME& t) {
  const std::uint64_t ticks = (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  return {static_cast<std::int64_t>(ticks / 10000000u) - kEpochDifference,
          static_cast<std::uint32_t>(ticks % 10000000u) * 100u};
}

FILETIME ToFileTime(FileTime time) {
  const std::uint64_t ticks =
      static_cast<std::uint64_t>(time.seconds + kEpochDifference) * 10000000u + time.nanoseconds / 100u;
  FILETIME t;
  t.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
  t.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return t;
}

// The volume serial number and file index: the same for every name and link of one file.
void ReadIdentity(const std::string& path, LocalStatus& status) {
  HANDLE file = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileInformationByHandle(file, &info) != 0) {
    status.has_identity = true;
    status.device = info.dwVolumeSerialNumber;
    status.file_number = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  }
  CloseHandle(file);
}

LocalKind KindOf(DWORD attributes) {
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return LocalKind::directory;
  if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) return LocalKind::other;
  return LocalKind::file;
}

class Win32LocalFiles : public LocalFiles {
 public:
  std::unique_ptr<LocalFile> Open(const std::string& path, LocalOpenMode mode, std::uint32_t& system_error) override {
    return StdioLocalFile::Open(path, mode, system_error);
  }

  LocalStatus Status(const std::string& path) override {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) == 0) {
      LocalStatus missing;
      missing.system_error = GetLastError();
      return missing;
    }
    LocalStatus status;
    status.kind = KindOf(data.dwFileAttributes);
    if (status.kind == LocalKind::file) {
      status.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    }
    status.attributes = static_cast<std::uint8_t>(data.dwFileAttributes & kFatAttributes);
    status.last_write = FromFileTime(data.ftLastWriteTime);
    ReadIdentity(path, status);
    return status;
  }

  std::uint32_t Remove(const std::string& path) override {
    return DeleteFileA(path.c_str()) != 0 ? 0 : GetLastError();
  }

  std::uint32_t SetLastWriteTime(const std::string& path, FileTime time) override {
    HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return GetLastError();
    const FILETIME written = ToFileTime(time);
    const std::uint32_t error = SetFileTime(file, nullptr, nullptr, &written) != 0 ? 0 : GetLastError();
    CloseHandle(file);
    return error;
  }

  bool ReadDirectory(const std::string& directory, std::vector<LocalEntry>& entries,
                     std::uint32_t& system_error) override {
    std::string pattern = directory.empty() ? std::string(".") : directory;
    if (pattern.back() != '\\' && pattern.back() != '/' && pattern.back() != ':') pattern += '\\';
    pattern += '*';
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
      system_error = GetLastError();
      // An empty directory lists nothing; it is no failure.
      return system_error == ERROR_FILE_NOT_FOUND;
    }
    do {
      const std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      LocalEntry entry;
      entry.name = name;
      entry.short_name = found.cAlternateFileName;
      entry.kind = KindOf(found.dwFileAttributes);
      entry.attributes = static_cast<std::uint8_t>(found.dwFileAttributes & kFatAttributes);
      if (entry.kind == LocalKind::file) {
        entry.size = (static_cast<std::uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
      }
      entry.last_write = FromFileTime(found.ftLastWriteTime);
      entries.push_back(std::move(entry));
    } while (FindNextFileA(search, &found) != 0);
    const DWORD error = GetLastError();
    FindClose(search);
    if (error != ERROR_NO_MORE_FILES) {
      system_error = error;
      return false;
    }
    AssignShortNames(entries);
    return true;
  }

  std::string CurrentDirectory() override {
    const DWORD needed = GetCurrentDirectoryA(0, nullptr);
    if (needed == 0) return {};
    std::string directory(needed, '\0');
    const DWORD length = GetCurrentDirectoryA(needed, directory.data());
    if (length == 0 || length >= needed) return {};
    directory.resize(length);
    return directory;
  }

  std::string HostPath(const std::string& path) const override { return path; }
  bool NamesIgnoreCase() const override { return true; }
};

}  // namespace

std::unique_ptr<LocalFiles> CreateHostLocalFiles() { return std::make_unique<Win32LocalFiles>(); }

}  // namespace partshell
