#include "zolp/sim/mapped_file_system.h"

#include <cctype>
#include <cstdio>
#include <string_view>
#include <system_error>

#include "common/text.h"

namespace zolp::sim {

namespace {

class StdioFile final : public File {
 public:
  StdioFile(std::FILE* f, SystemErrors& errors) : f_(f), errors_(errors) {}
  ~StdioFile() override { std::fclose(f_); }
  bool Read(void* buffer, std::uint32_t size, std::uint32_t& got) override {
    got = static_cast<std::uint32_t>(std::fread(buffer, 1, size, f_));
    if (std::ferror(f_)) {
      errors_.SetLast(30);  // ERROR_READ_FAULT
      return false;
    }
    return true;
  }
  bool Write(const void* buffer, std::uint32_t size) override {
    if (std::fwrite(buffer, 1, size, f_) != size) {
      errors_.SetLast(29);  // ERROR_WRITE_FAULT
      return false;
    }
    return std::fflush(f_) == 0;
  }
  bool Size(std::uint64_t& size) override {
    const long here = std::ftell(f_);
    if (here < 0 || std::fseek(f_, 0, SEEK_END) != 0) return false;
    const long end = std::ftell(f_);
    std::fseek(f_, here, SEEK_SET);
    size = static_cast<std::uint64_t>(end);
    return true;
  }

 private:
  std::FILE* f_;
  SystemErrors& errors_;
};

}  // namespace

MappedFileSystem::MappedFileSystem(std::filesystem::path root, SystemErrors& errors)
    : root_(std::move(root)), errors_(errors) {
  std::filesystem::create_directories(root_ / "cwd");
}

namespace {

// base/part, with part's letter case taken from an existing entry when the
// exact name is missing.
std::filesystem::path Child(const std::filesystem::path& base, const std::string& part) {
  std::error_code ec;
  std::filesystem::path exact = base / part;
  if (part == "." || part == ".." || std::filesystem::exists(exact, ec)) return exact;
  for (const auto& entry : std::filesystem::directory_iterator(base, ec)) {
    if (common::EqualsIgnoreCase(entry.path().filename().string(), part)) return entry.path();
  }
  return exact;
}

}  // namespace

std::filesystem::path MappedFileSystem::HostPath(const std::string& windowsPath) const {
  std::string p = windowsPath;
  for (char& c : p)
    if (c == '\\') c = '/';
  std::filesystem::path base = root_ / "cwd";
  std::string rest = p;
  if (p.size() >= 2 && p[1] == ':') {
    const std::string current = std::string(kCurrentDirectory).substr(2);  // "\PACKAGE"
    rest = p.substr(2);
    std::string under = rest;
    for (char& c : under)
      if (c == '/') c = '\\';
    const bool onCurrentDrive = std::toupper(static_cast<unsigned char>(p[0])) == kCurrentDirectory[0];
    if (onCurrentDrive && under.size() >= current.size() &&
        common::EqualsIgnoreCase(under.substr(0, current.size()), current) &&
        (under.size() == current.size() || under[current.size()] == '\\')) {
      rest = rest.substr(current.size());  // inside the current directory
    } else {
      base = root_ / std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(p[0]))));
    }
  } else if (!p.empty() && p[0] == '/') {
    base = root_ / std::string(1, kCurrentDirectory[0]);  // the root of the current drive
  }
  std::filesystem::path host = base;
  std::size_t start = 0;
  while (start <= rest.size()) {
    std::size_t end = rest.find('/', start);
    if (end == std::string::npos) end = rest.size();
    const std::string part = rest.substr(start, end - start);
    if (!part.empty() && part != ".") host = Child(host, part);
    start = end + 1;
  }
  return host;
}

std::unique_ptr<File> MappedFileSystem::OpenWith(const std::string& path, const char* mode) {
  std::FILE* f = std::fopen(HostPath(path).string().c_str(), mode);
  if (f == nullptr) {
    errors_.SetLast(std::filesystem::exists(HostPath(path).parent_path()) ? 2 : 3);
    return nullptr;
  }
  return std::make_unique<StdioFile>(f, errors_);
}

std::unique_ptr<File> MappedFileSystem::OpenRead(const std::string& path) {
  if (std::filesystem::is_directory(HostPath(path))) {
    errors_.SetLast(5);
    return nullptr;
  }
  return OpenWith(path, "rb");
}

std::unique_ptr<File> MappedFileSystem::Create(const std::string& path) {
  ++createCalls;
  if (failCreates > 0) {
    --failCreates;
    errors_.SetLast(32);
    return nullptr;
  }
  return OpenWith(path, "wb");
}

std::unique_ptr<File> MappedFileSystem::OpenAppend(const std::string& path) {
  return OpenWith(path, "ab");
}

bool MappedFileSystem::Delete(const std::string& path) {
  ++deleteCalls;
  if (failDeletes > 0) {
    --failDeletes;
    errors_.SetLast(32);
    return false;
  }
  const auto host = HostPath(path);
  std::error_code ec;
  const auto status = std::filesystem::status(host, ec);
  if (!std::filesystem::exists(status)) {
    errors_.SetLast(std::filesystem::exists(host.parent_path(), ec) ? 2 : 3);
    return false;
  }
  // DeleteFile removes neither directories nor read-only files.
  if (std::filesystem::is_directory(status) ||
      (status.permissions() & std::filesystem::perms::owner_write) == std::filesystem::perms::none) {
    errors_.SetLast(5);
    return false;
  }
  if (!std::filesystem::remove(host, ec)) {
    errors_.SetLast(5);
    return false;
  }
  return true;
}

bool MappedFileSystem::Exists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(HostPath(path), ec);
}

bool MappedFileSystem::MakeDirectory(const std::string& path) {
  const auto host = HostPath(path);
  std::error_code ec;
  if (std::filesystem::exists(host, ec)) {
    errors_.SetLast(183);  // ERROR_ALREADY_EXISTS
    return false;
  }
  if (!std::filesystem::create_directory(host, ec)) {
    errors_.SetLast(3);
    return false;
  }
  return true;
}

bool MappedFileSystem::RemoveEmptyDirectory(const std::string& path) {
  const auto host = HostPath(path);
  std::error_code ec;
  if (!std::filesystem::is_directory(host, ec)) {
    errors_.SetLast(std::filesystem::exists(host, ec) ? 267 : 2);  // ERROR_DIRECTORY
    return false;
  }
  if (!std::filesystem::is_empty(host, ec) || !std::filesystem::remove(host, ec)) {
    errors_.SetLast(145);  // ERROR_DIR_NOT_EMPTY
    return false;
  }
  return true;
}

bool MappedFileSystem::CurrentDirectory(std::string& path) {
  path = kCurrentDirectory;
  return true;
}

bool MappedFileSystem::TemporaryFileName(const std::string& directory, const std::string& prefix,
                                         std::string& path) {
  std::error_code ec;
  if (failTemporaryNames || !std::filesystem::is_directory(HostPath(directory), ec)) {
    errors_.SetLast(failTemporaryNames ? 5 : 267);  // ERROR_DIRECTORY
    return false;
  }
  // As GetTempFileName: up to three letters of the prefix, a hexadecimal number
  // not in use yet, ".tmp"; the file is created empty.
  for (int tries = 0; tries < 0x10000; ++tries) {
    const unsigned number = nextTemporary_++ & 0xFFFF;
    if (number == 0) continue;
    char name[16];
    std::snprintf(name, sizeof name, "%.3s%X.tmp", prefix.c_str(), number);
    std::string candidate = directory;
    if (!candidate.empty() && candidate.back() != '\\') candidate += '\\';
    candidate += name;
    const auto host = HostPath(candidate);
    if (std::filesystem::exists(host, ec)) continue;
    std::FILE* f = std::fopen(host.string().c_str(), "wb");
    if (f == nullptr) {
      errors_.SetLast(5);
      return false;
    }
    std::fclose(f);
    path = candidate;
    return true;
  }
  errors_.SetLast(80);  // ERROR_FILE_EXISTS
  return false;
}

bool MappedFileSystem::SystemDirectory(std::string& path) {
  if (failSystemDirectory) {
    errors_.SetLast(5);
    return false;
  }
  path = "C:\\WINDOWS\\system32";
  return true;
}

}  // namespace zolp::sim
