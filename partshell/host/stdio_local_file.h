// A local file through the C library's streams, for both hosts: the error
// numbers the shell reports for local files are the C library's (errno).
#pragma once

#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "partshell/local_files.h"

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace partshell {

class StdioLocalFile : public LocalFile {
 public:
  // Null and errno when the file cannot be opened so.
  static std::unique_ptr<LocalFile> Open(const std::string& path, LocalOpenMode mode, std::uint32_t& system_error) {
    static constexpr const char* kModes[] = {"rb", "r", "wb", "w", "ab", "a", "w", "a"};
    errno = 0;
    std::FILE* file = nullptr;
#ifndef _WIN32
    if (mode == LocalOpenMode::write_log || mode == LocalOpenMode::append_log) {
      // A log that is a symbolic link is not written through it.
      const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | (mode == LocalOpenMode::write_log ? O_TRUNC : O_APPEND);
      const int fd = ::open(path.c_str(), flags, 0666);
      if (fd >= 0 && (file = ::fdopen(fd, kModes[static_cast<int>(mode)])) == nullptr) ::close(fd);
    } else
#endif
      file = std::fopen(path.c_str(), kModes[static_cast<int>(mode)]);
    if (file == nullptr) {
      system_error = static_cast<std::uint32_t>(errno);
      return nullptr;
    }
    auto opened = std::unique_ptr<StdioLocalFile>(new StdioLocalFile(file));
    if (mode == LocalOpenMode::read) {
      // Files copied onto SYS: are read a cluster at a time: large reads from
      // the system keep that cheap (the buffer outlives the stream's use of it).
      opened->buffer_.resize(1 << 16);
      std::setvbuf(file, opened->buffer_.data(), _IOFBF, opened->buffer_.size());
    }
    return opened;
  }

  ~StdioLocalFile() override {
    if (file_ != nullptr) std::fclose(file_);
  }

  LocalIo Read(void* buffer, std::size_t size) override {
    errno = 0;
    LocalIo io;
    io.bytes = std::fread(buffer, 1, size, file_);
    if (io.bytes != size && std::ferror(file_) != 0) {
      io.ok = false;
      io.system_error = static_cast<std::uint32_t>(errno);
    }
    return io;
  }

  LocalIo Write(const void* data, std::size_t size) override {
    errno = 0;
    LocalIo io;
    io.bytes = std::fwrite(data, 1, size, file_);
    if (io.bytes != size) {
      io.ok = false;
      io.system_error = static_cast<std::uint32_t>(errno);
    }
    return io;
  }

  std::uint32_t Rewind() override {
    errno = 0;
    return std::fseek(file_, 0, SEEK_SET) == 0 ? 0 : static_cast<std::uint32_t>(errno);
  }

  std::uint32_t Close() override {
    if (file_ == nullptr) return 0;
    bool failed = false;
    std::uint32_t error = 0;
    errno = 0;
    if (std::fflush(file_) != 0) {
      failed = true;
      error = static_cast<std::uint32_t>(errno);
    }
    errno = 0;
    if (std::fclose(file_) != 0 && !failed) {
      failed = true;
      error = static_cast<std::uint32_t>(errno);
    }
    file_ = nullptr;
    // A failure that left errno at 0 is still a failure.
    return failed && error == 0 ? EIO : error;
  }

 private:
  explicit StdioLocalFile(std::FILE* file) : file_(file) {}

  std::FILE* file_;
  std::vector<char> buffer_;
};

}  // namespace partshell
