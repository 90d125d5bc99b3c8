// The local file system, as the partition shell uses it beside the disk: the
// files copied to and from SYS:, the temporary files of APPENDFILE, LOG and
// TOUCH, batch files and the session log. The engine, the commands and the
// shell reach local files only through this port. The host layer implements
// it (POSIX, Win32); tests and fuzz targets use an emulated one that can fail
// any call.
//
// Paths are taken as the host takes them (LocalFiles::HostPath gives that
// form); failures report the system's error number (errno, GetLastError).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace partshell {

// A file's last-write time: seconds and nanoseconds since 1970-01-01 00:00 UTC.
struct FileTime {
  std::int64_t seconds = 0;
  std::uint32_t nanoseconds = 0;
  bool operator==(const FileTime&) const = default;
};

enum class LocalKind { missing, file, directory, other };

// What a path names, links followed. Attributes are the FAT bits: read-only
// 0x01, hidden 0x02, system 0x04, directory 0x10, archive 0x20.
struct LocalStatus {
  LocalKind kind = LocalKind::missing;
  std::uint64_t size = 0;
  std::uint8_t attributes = 0;
  FileTime last_write;
  std::uint32_t system_error = 0;  // why a missing path could not be looked at
  // Which file it is, where the host tells (device and file number): two paths
  // with the same identity name one file.
  bool has_identity = false;
  std::uint64_t device = 0;
  std::uint64_t file_number = 0;
};

// One entry of a local directory.
struct LocalEntry {
  std::string name;        // as the host keeps it
  std::string short_name;  // its 8.3 alias; empty when the host gives none
  LocalKind kind = LocalKind::file;
  std::uint8_t attributes = 0;
  std::uint64_t size = 0;
  FileTime last_write;
  bool IsDirectory() const { return kind == LocalKind::directory; }
};

// The _text modes carry line ends as the host's text files keep them
// (CR LF on Windows); the others move the bytes as they are.
enum class LocalOpenMode {
  read,  // an existing file
  read_text,
  write,  // created, or cut to nothing
  write_text,
  append,  // created, or written on at its end
  append_text,
  // write_text and append_text for a log: never through a symbolic link.
  write_log,
  append_log,
};

// The outcome of one read or write: the bytes moved, and whether it failed.
struct LocalIo {
  std::size_t bytes = 0;
  bool ok = true;
  std::uint32_t system_error = 0;
};

class LocalFile {
 public:
  virtual ~LocalFile() = default;
  // Up to `size` bytes; fewer only at the end of the file.
  virtual LocalIo Read(void* buffer, std::size_t size) = 0;
  virtual LocalIo Write(const void* data, std::size_t size) = 0;
  // Back to the first byte; 0 or the system error.
  virtual std::uint32_t Rewind() = 0;
  // Puts everything written into the file and closes it; 0 or the system error.
  // Destroying an open file closes it without a report.
  virtual std::uint32_t Close() = 0;
};

class LocalSearch;

class LocalFiles {
 public:
  virtual ~LocalFiles() = default;

  // Null, and the system error, when the file cannot be opened so.
  virtual std::unique_ptr<LocalFile> Open(const std::string& path, LocalOpenMode mode,
                                          std::uint32_t& system_error) = 0;
  virtual LocalStatus Status(const std::string& path) = 0;
  // Removes a file; 0 or the system error.
  virtual std::uint32_t Remove(const std::string& path) = 0;
  virtual std::uint32_t SetLastWriteTime(const std::string& path, FileTime time) = 0;
  // Every entry of a directory but "." and "..", in the host's order, each with
  // its alias. False, and the system error, when the directory cannot be listed.
  virtual bool ReadDirectory(const std::string& directory, std::vector<LocalEntry>& entries,
                             std::uint32_t& system_error) = 0;
  // "" when it cannot be read.
  virtual std::string CurrentDirectory() = 0;
  // A path the way this host takes it: where "/" separates, "\" does as well.
  virtual std::string HostPath(const std::string& path) const = 0;
  // True where two names that differ only in letter case name one file.
  virtual bool NamesIgnoreCase() const = 0;
  // A file the shell must never write, move or remove (a disk it may open).
  virtual bool IsProtected(const std::string& /*path*/) { return false; }

  // Whether two paths name one file: by identity where the host gives one,
  // else by their names.
  bool SameFile(const std::string& a, const std::string& b);

  // The entries that match a pattern, in name order (letter case ignored), as
  // the Windows find functions list them: "DIR\*.TXT", "*.*", or one plain
  // name, which may be the alias of a long name. A pattern matches a name or
  // its alias. `entry` gets the first; null when nothing matches.
  std::unique_ptr<LocalSearch> FindFirst(const std::string& pattern, LocalEntry& entry);
  // The next match; false after the last.
  bool FindNext(LocalSearch& search, LocalEntry& entry);
};

class LocalSearch {
 private:
  friend class LocalFiles;
  std::vector<LocalEntry> matches_;
  std::size_t next_ = 0;
};

// Local files with some of them out of reach: opening one of `protected_paths`
// to write, removing it or setting its time fails with EACCES, whatever name
// or link it is reached by. Everything else goes to `inner`.
class ProtectedLocalFiles : public LocalFiles {
 public:
  ProtectedLocalFiles(LocalFiles& inner, std::vector<std::string> protected_paths)
      : inner_(inner), protected_(std::move(protected_paths)) {}
  std::unique_ptr<LocalFile> Open(const std::string& path, LocalOpenMode mode, std::uint32_t& system_error) override;
  LocalStatus Status(const std::string& path) override { return inner_.Status(path); }
  std::uint32_t Remove(const std::string& path) override;
  std::uint32_t SetLastWriteTime(const std::string& path, FileTime time) override;
  bool ReadDirectory(const std::string& directory, std::vector<LocalEntry>& entries,
                     std::uint32_t& system_error) override {
    return inner_.ReadDirectory(directory, entries, system_error);
  }
  std::string CurrentDirectory() override { return inner_.CurrentDirectory(); }
  std::string HostPath(const std::string& path) const override { return inner_.HostPath(path); }
  bool NamesIgnoreCase() const override { return inner_.NamesIgnoreCase(); }
  bool IsProtected(const std::string& path) override;

 private:
  LocalFiles& inner_;
  std::vector<std::string> protected_;
};

// A simple pattern against one name the way the Windows find functions match
// it: '*' and '?', letter case ignored, "*.*" matches every name and
// "name.*" also a name without a dot.
bool LocalNameMatches(const std::string& pattern, const std::string& name);
// The same against an entry: its name or its alias.
bool LocalEntryMatches(const std::string& pattern, const LocalEntry& entry);

// Gives the entries of one directory, listed whole, their 8.3 aliases where
// the host gives none: the one place the alias rule applies. Entries that
// carry an alias keep it.
void AssignShortNames(std::vector<LocalEntry>& entries);

}  // namespace partshell
