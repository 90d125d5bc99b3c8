// What the builder needs from the machine it runs on: the package tree,
// input files, the image file, the clock and the console. The core only
// talks to these interfaces; host/posix and host/win32 implement them and
// tests substitute their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace imagebuilder {

// One name of a directory listing. "." and ".." are never reported.
struct HostEntry {
  std::string name;        // full name, UTF-8
  std::string shortAlias;  // the host's 8.3 alias; empty when it reports none
  std::uint8_t attributes = 0;      // FAT attribute bits (common::ATTR_*)
  bool isDirectory = false;
  std::uint64_t size = 0;            // bytes; 0 for directories
  std::int64_t lastWriteUtc = 0;     // seconds since 1970-01-01 UTC
};

enum class ListResult {
  kOk,
  kCannotStart,     // the directory cannot be opened
  kEndedWithError,  // the listing broke off part way
};

// Broken-down calendar time.
struct CalendarTime {
  int year = 1970;  // full year
  int month = 1;    // 1..12
  int day = 1;      // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// A file opened for reading.
class HostFile {
 public:
  virtual ~HostFile() = default;
  // Current length of the file; false when it cannot be had.
  virtual bool Length(std::uint64_t& length) = 0;
  // Reads up to `size` bytes; `got` receives the count (0 at the end). False on error.
  virtual bool Read(std::uint8_t* buffer, std::size_t size, std::size_t& got) = 0;
  virtual bool Close() = 0;
};

// Where a directory lives, whatever path reached it (links followed): two paths
// with the same identity are the same directory.
struct DirectoryId {
  std::uint64_t volume = 0;
  std::uint64_t node = 0;
  bool operator==(const DirectoryId&) const = default;
};

struct HostFileStatus {
  std::uint64_t size = 0;
  std::int64_t lastWriteUtc = 0;
  bool isDirectory = false;
};

// Paths are host paths, taken as they stand; the core joins them with
// JoinPath. A path from the configuration or the command line passes through
// Resolve first; names read from a listing never do.
class HostTree {
 public:
  virtual ~HostTree() = default;
  // The host path of a path as the configuration or the command line writes
  // it; this host's paths as they stand unless it says otherwise.
  virtual std::string Resolve(const std::string& path) { return path; }
  // Lists one directory (without "." and ".."), in any order.
  virtual ListResult List(const std::string& directory, std::vector<HostEntry>& entries) = 0;
  virtual std::unique_ptr<HostFile> OpenRead(const std::string& path) = 0;
  virtual bool Status(const std::string& path, HostFileStatus& status) = 0;
  // Separator between directory and name on this host.
  virtual char Separator() const = 0;
  // The identity of an existing directory; false when the host cannot tell,
  // which leaves a looping link to the depth limit of the walk.
  virtual bool Identify(const std::string& directory, DirectoryId& id) {
    (void)directory;
    (void)id;
    return false;
  }
  // True when both paths name the same existing file.
  virtual bool IsSameFile(const std::string& a, const std::string& b) {
    (void)a;
    (void)b;
    return false;
  }
  // The system's reason why the last List or OpenRead failed ("No such file
  // or directory"); empty when the host cannot tell.
  virtual std::string LastError() const { return {}; }
};

// The image file: one per run, read and written at arbitrary offsets.
class ImageFile {
 public:
  virtual ~ImageFile() = default;
  // Creates the file (or truncates an existing one) for reading and writing;
  // `path` is a host path. Anything that is not a regular file (a device, a
  // pipe) is refused untouched.
  virtual bool Create(const std::string& path) = 0;
  // Sets the file's length; new bytes read as zero.
  virtual bool SetSize(std::uint64_t size) = 0;
  // Asks the host to allocate the file's space for [offset, offset + length)
  // before it is written; the bytes still read as zero and the length is at
  // least offset + length afterwards. Only a hint: a host may do nothing, and
  // a refusal (no such call, no space) leaves the writes to report it.
  virtual void Reserve(std::uint64_t offset, std::uint64_t length) {
    (void)offset;
    (void)length;
  }
  virtual bool Size(std::uint64_t& size) = 0;
  virtual bool Seek(std::uint64_t offset) = 0;
  // Reads or writes exactly `size` bytes at the current offset and advances it.
  virtual bool Read(std::uint8_t* buffer, std::size_t size) = 0;
  virtual bool Write(const std::uint8_t* buffer, std::size_t size) = 0;
  virtual bool Close() = 0;
  // Closes and removes the file this run created: a build that failed part way
  // leaves nothing that could pass for a finished image.
  virtual void Discard() = 0;
  // The system's reason why Create failed; empty when the host cannot tell.
  virtual std::string LastError() const { return {}; }
};

class Clock {
 public:
  virtual ~Clock() = default;
  // Current time, seconds since 1970-01-01 UTC.
  virtual std::int64_t NowUtc() = 0;
  // Converts a UTC time to the host's local calendar time; false when it cannot.
  virtual bool ToLocal(std::int64_t utc, CalendarTime& local) = 0;
  // Value of an environment variable, if set.
  virtual std::optional<std::string> Environment(const char* name) = 0;
};

class Console {
 public:
  virtual ~Console() = default;
  virtual void Write(std::string_view text) = 0;
  // The error line of a failed run, apart from the build's own output.
  virtual void WriteError(std::string_view text) { (void)text; }
};

// The process's standard output and standard error: the same on every host.
class StdoutConsole final : public Console {
 public:
  void Write(std::string_view text) override;
  void WriteError(std::string_view text) override;
};

// The set of host services one run uses.
struct Host {
  HostTree& tree;
  ImageFile& image;
  Clock& clock;
  Console& console;
};

// Implemented once per platform (host/posix, host/win32).
struct SystemHost {
  std::unique_ptr<HostTree> tree;
  std::unique_ptr<ImageFile> image;
  std::unique_ptr<Clock> clock;
  std::unique_ptr<Console> console;
};
SystemHost MakeSystemHost();

}  // namespace imagebuilder
