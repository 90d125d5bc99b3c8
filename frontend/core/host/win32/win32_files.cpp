#include <windows.h>

#include "zolp/win32_host.h"

namespace zolp::win32 {

namespace {

class Win32File final : public File {
 public:
  explicit Win32File(HANDLE h) : h_(h) {}
  ~Win32File() override { CloseHandle(h_); }
  bool Read(void* buffer, std::uint32_t size, std::uint32_t& got) override {
    DWORD n = 0;
    const BOOL ok = ReadFile(h_, buffer, size, &n, nullptr);
    got = n;
    return ok != FALSE;
  }
  bool Write(const void* buffer, std::uint32_t size) override {
    DWORD n = 0;
    if (!WriteFile(h_, buffer, size, &n, nullptr)) return false;
    if (n != size) {
      SetLastError(ERROR_WRITE_FAULT);
      return false;
    }
    return true;
  }
  bool Size(std::uint64_t& size) override {
    LARGE_INTEGER value;
    if (!GetFileSizeEx(h_, &value)) return false;
    size = static_cast<std::uint64_t>(value.QuadPart);
    return true;
  }

 private:
  HANDLE h_;
};

std::unique_ptr<File> Wrap(HANDLE h) {
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  return std::make_unique<Win32File>(h);
}

class Win32FileSystem final : public FileSystem {
 public:
  std::unique_ptr<File> OpenRead(const std::string& path) override {
    return Wrap(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
  }
  std::unique_ptr<File> Create(const std::string& path) override {
    return Wrap(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
  }
  std::unique_ptr<File> OpenAppend(const std::string& path) override {
    HANDLE h = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    return Wrap(h);
  }
  bool Delete(const std::string& path) override { return DeleteFileA(path.c_str()) != FALSE; }
  bool Exists(const std::string& path) override {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
  }
  bool MakeDirectory(const std::string& path) override {
    return CreateDirectoryA(path.c_str(), nullptr) != FALSE;
  }
  bool RemoveEmptyDirectory(const std::string& path) override {
    return RemoveDirectoryA(path.c_str()) != FALSE;
  }
  bool SystemDirectory(std::string& path) override {
    char buffer[MAX_PATH];
    const UINT n = GetSystemDirectoryA(buffer, sizeof buffer);
    if (n == 0 || n >= sizeof buffer) return false;
    path.assign(buffer, n);
    return true;
  }
  bool CurrentDirectory(std::string& path) override {
    char buffer[MAX_PATH];
    const DWORD n = GetCurrentDirectoryA(sizeof buffer, buffer);
    if (n == 0 || n >= sizeof buffer) {
      if (n != 0) SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return false;
    }
    path.assign(buffer, n);
    return true;
  }
  bool TemporaryFileName(const std::string& directory, const std::string& prefix,
                         std::string& path) override {
    char buffer[MAX_PATH];
    if (GetTempFileNameA(directory.c_str(), prefix.c_str(), 0, buffer) == 0) return false;
    path = buffer;
    return true;
  }
};

}  // namespace

std::unique_ptr<FileSystem> MakeFileSystem() { return std::make_unique<Win32FileSystem>(); }

}  // namespace zolp::win32
