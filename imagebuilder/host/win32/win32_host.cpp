// Win32 host: the package tree through FindFirstFileA/FindNextFileA with
// each entry's 8.3 alias, files through CreateFileA, file times converted
// to local time by the system. Names cross into the core as UTF-8.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "imagebuilder/host.h"

namespace imagebuilder {
namespace {

constexpr std::int64_t kUnixEpochAsFileTime = 116444736000000000LL;  // 100 ns ticks

std::string Convert(const std::string& text, UINT from, UINT to) {
  if (text.empty()) return text;
  const int wideLen = MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()),
                                          nullptr, 0);
  if (wideLen <= 0) return text;
  std::wstring wide(static_cast<std::size_t>(wideLen), L'\0');
  MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()), wide.data(), wideLen);
  const int outLen = WideCharToMultiByte(to, 0, wide.data(), wideLen, nullptr, 0, nullptr, nullptr);
  if (outLen <= 0) return text;
  std::string out(static_cast<std::size_t>(outLen), '\0');
  WideCharToMultiByte(to, 0, wide.data(), wideLen, out.data(), outLen, nullptr, nullptr);
  return out;
}

std::string ToUtf8(const std::string& ansi) { return Convert(ansi, CP_ACP, CP_UTF8); }
std::string ToAnsi(const std::string& utf8) { return Convert(utf8, CP_UTF8, CP_ACP); }

std::int64_t UnixSeconds(const FILETIME& ft) {
  const std::int64_t ticks = (static_cast<std::int64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  return (ticks - kUnixEpochAsFileTime) / 10000000;
}

// The system's text for an error code, without the line end FormatMessage adds.
std::string SystemText(DWORD code) {
  char* text = nullptr;
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, code, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
  std::string result = n > 0 && text != nullptr ? std::string(text, n) : std::string();
  if (text != nullptr) LocalFree(text);
  while (!result.empty() && (result.back() == '\n' || result.back() == '\r' ||
                             result.back() == '.' || result.back() == ' ')) {
    result.pop_back();
  }
  if (result.empty()) result = "system error " + std::to_string(code);
  return result;
}

// Opens a file on a disk; a device or a pipe of that name is refused as it is.
// INVALID_HANDLE_VALUE and the reason in `why` when it cannot be had.
HANDLE OpenDiskFile(const std::string& ansi, DWORD access, DWORD share, DWORD disposition,
                    std::string& why) {
  const HANDLE h = CreateFileA(ansi.c_str(), access, share, nullptr, disposition,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    why = SystemText(GetLastError());
    return INVALID_HANDLE_VALUE;
  }
  if (GetFileType(h) != FILE_TYPE_DISK) {
    why = "not a regular file";
    CloseHandle(h);
    return INVALID_HANDLE_VALUE;
  }
  return h;
}

class Win32File final : public HostFile {
 public:
  explicit Win32File(HANDLE h) : h_(h) {}
  ~Win32File() override {
    if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
  }
  bool Length(std::uint64_t& length) override {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(h_, &size)) return false;
    length = static_cast<std::uint64_t>(size.QuadPart);
    return true;
  }
  bool Read(std::uint8_t* buffer, std::size_t size, std::size_t& got) override {
    DWORD n = 0;
    const DWORD want = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
    if (!ReadFile(h_, buffer, want, &n, nullptr)) return false;
    got = n;
    return true;
  }
  bool Close() override {
    const HANDLE h = h_;
    h_ = INVALID_HANDLE_VALUE;
    return CloseHandle(h) != 0;
  }

 private:
  HANDLE h_;
};

class Win32Tree final : public HostTree {
 public:
  ListResult List(const std::string& directory, std::vector<HostEntry>& entries) override {
    std::string pattern = ToAnsi(directory.empty() ? std::string(".") : directory);
    if (pattern.back() != '\\' && pattern.back() != '/' && pattern.back() != ':') pattern += '\\';
    pattern += '*';
    WIN32_FIND_DATAA fd;
    const HANDLE find = FindFirstFileA(pattern.c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE) {
      lastError_ = SystemText(GetLastError());
      return ListResult::kCannotStart;
    }
    ListResult result = ListResult::kOk;
    do {
      const std::string name = fd.cFileName;
      if (name == "." || name == "..") continue;
      const bool isDir = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      HostEntry e;
      e.name = ToUtf8(name);
      e.shortAlias = ToUtf8(fd.cAlternateFileName);
      e.isDirectory = isDir;
      e.size = isDir ? 0
                     : ((static_cast<std::uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow);
      e.lastWriteUtc = UnixSeconds(fd.ftLastWriteTime);
      e.attributes = static_cast<std::uint8_t>(fd.dwFileAttributes & 0x3F);
      entries.push_back(std::move(e));
    } while (FindNextFileA(find, &fd));
    if (GetLastError() != ERROR_NO_MORE_FILES) result = ListResult::kEndedWithError;
    FindClose(find);
    return result;
  }

  std::unique_ptr<HostFile> OpenRead(const std::string& path) override {
    const HANDLE h =
        OpenDiskFile(ToAnsi(path), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, lastError_);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<Win32File>(h);
  }

  bool Status(const std::string& path, HostFileStatus& status) override {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(ToAnsi(path).c_str(), GetFileExInfoStandard, &data)) return false;
    status.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    status.lastWriteUtc = UnixSeconds(data.ftLastWriteTime);
    status.isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return true;
  }

  char Separator() const override { return '\\'; }

  bool Identify(const std::string& directory, DirectoryId& id) override {
    // Directories open only with backup semantics; junctions are followed.
    const HANDLE h = CreateFileA(ToAnsi(directory).c_str(), 0,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    const bool ok = GetFileInformationByHandle(h, &info) != 0 &&
                    (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    CloseHandle(h);
    if (!ok) return false;
    id.volume = info.dwVolumeSerialNumber;
    id.node = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
  }

  bool IsSameFile(const std::string& a, const std::string& b) override {
    BY_HANDLE_FILE_INFORMATION ia;
    BY_HANDLE_FILE_INFORMATION ib;
    return FileInfo(a, ia) && FileInfo(b, ib) &&
           ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
           ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
  }

  std::string LastError() const override { return lastError_; }

 private:
  std::string lastError_;
  static bool FileInfo(const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
    const HANDLE h = CreateFileA(ToAnsi(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const bool ok = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    return ok;
  }
};

class Win32Image final : public ImageFile {
 public:
  ~Win32Image() override {
    if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
  }
  bool Create(const std::string& path) override {
    if (h_ != INVALID_HANDLE_VALUE) return false;
    // Opened first and truncated only once it is known to be a file on a disk:
    // a device or a pipe named as the image is refused as it is.
    const std::string ansi = ToAnsi(path);
    const HANDLE h =
        OpenDiskFile(ansi, GENERIC_READ | GENERIC_WRITE, 0, OPEN_ALWAYS, lastError_);
    if (h == INVALID_HANDLE_VALUE) return false;
    if (!SetEndOfFile(h)) {
      lastError_ = SystemText(GetLastError());
      CloseHandle(h);
      return false;
    }
    h_ = h;
    path_ = ansi;
    return true;
  }
  bool SetSize(std::uint64_t size) override {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(size);
    LARGE_INTEGER now;
    LARGE_INTEGER zero{};
    if (!SetFilePointerEx(h_, zero, &now, FILE_CURRENT)) return false;
    const bool ok = SetFilePointerEx(h_, at, nullptr, FILE_BEGIN) && SetEndOfFile(h_);
    SetFilePointerEx(h_, now, nullptr, FILE_BEGIN);
    return ok;
  }
  bool Size(std::uint64_t& size) override {
    LARGE_INTEGER s;
    if (!GetFileSizeEx(h_, &s)) return false;
    size = static_cast<std::uint64_t>(s.QuadPart);
    return true;
  }
  bool Seek(std::uint64_t offset) override {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(h_, at, nullptr, FILE_BEGIN) != 0;
  }
  bool Read(std::uint8_t* buffer, std::size_t size) override {
    while (size > 0) {
      DWORD n = 0;
      const DWORD want = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
      if (!ReadFile(h_, buffer, want, &n, nullptr) || n == 0) return false;
      buffer += n;
      size -= n;
    }
    return true;
  }
  bool Write(const std::uint8_t* buffer, std::size_t size) override {
    while (size > 0) {
      DWORD n = 0;
      const DWORD want = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
      if (!WriteFile(h_, buffer, want, &n, nullptr) || n == 0) return false;
      buffer += n;
      size -= n;
    }
    return true;
  }
  bool Close() override {
    if (h_ == INVALID_HANDLE_VALUE) return false;
    const HANDLE h = h_;
    h_ = INVALID_HANDLE_VALUE;
    return CloseHandle(h) != 0;
  }
  void Discard() override {
    if (h_ != INVALID_HANDLE_VALUE) Close();
    if (!path_.empty()) DeleteFileA(path_.c_str());
    path_.clear();
  }

  std::string LastError() const override { return lastError_; }

 private:
  HANDLE h_ = INVALID_HANDLE_VALUE;
  std::string path_;
  std::string lastError_;
};

class Win32Clock final : public Clock {
 public:
  std::int64_t NowUtc() override {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    return UnixSeconds(ft);
  }
  bool ToLocal(std::int64_t utc, CalendarTime& local) override {
    const std::int64_t ticks = utc * 10000000 + kUnixEpochAsFileTime;
    if (ticks < 0) return false;
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(ticks);
    ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    FILETIME lft;
    SYSTEMTIME st;
    if (!FileTimeToLocalFileTime(&ft, &lft) || !FileTimeToSystemTime(&lft, &st)) return false;
    local.year = st.wYear;
    local.month = st.wMonth;
    local.day = st.wDay;
    local.hour = st.wHour;
    local.minute = st.wMinute;
    local.second = st.wSecond;
    return true;
  }
  std::optional<std::string> Environment(const char* name) override {
    char buffer[256];
    const DWORD n = GetEnvironmentVariableA(name, buffer, sizeof buffer);
    if (n == 0 || n >= sizeof buffer) return std::nullopt;
    return std::string(buffer, n);
  }
};

}  // namespace

SystemHost MakeSystemHost() {
  SystemHost h;
  h.tree = std::make_unique<Win32Tree>();
  h.image = std::make_unique<Win32Image>();
  h.clock = std::make_unique<Win32Clock>();
  h.console = std::make_unique<StdoutConsole>();
  return h;
}

}  // namespace imagebuilder
