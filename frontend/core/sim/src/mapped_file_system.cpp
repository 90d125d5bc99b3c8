#include "zolp/sim/mapped_file_system.h"

#include <cstdio>
#include <system_error>

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

std::filesystem::path MappedFileSystem::HostPath(const std::string& windowsPath) const {
  std::string p = windowsPath;
  for (char& c : p)
    if (c == '\\') c = '/';
  if (p.size() >= 2 && p[1] == ':') {
    std::string rest = p.substr(2);
    while (!rest.empty() && rest.front() == '/') rest.erase(0, 1);
    const char drive = static_cast<char>(p[0] & ~0x20);
    return root_ / std::string(1, drive) / rest;
  }
  while (p.rfind("./", 0) == 0) p.erase(0, 2);
  return root_ / "cwd" / p;
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
  std::error_code ec;
  if (!std::filesystem::remove(HostPath(path), ec)) {
    errors_.SetLast(ec ? 5 : 2);
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

bool MappedFileSystem::SystemDirectory(std::string& path) {
  if (failSystemDirectory) {
    errors_.SetLast(5);
    return false;
  }
  path = "C:\\WINDOWS\\system32";
  return true;
}

}  // namespace zolp::sim
