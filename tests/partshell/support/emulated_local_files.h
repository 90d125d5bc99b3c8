// A local file system held in memory, for the tests and the fuzz targets: files
// and directories below a current directory, paths as on POSIX ("\" separates as
// "/" does, letter case counts), and failures injected into any call, the way
// littlefs's emulated block device fails its reads and writes.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "partshell/local_files.h"

namespace partshell::testing {

enum class LocalCall { open, read, write, rewind, close, status, remove, set_time, read_directory };
inline constexpr std::size_t kLocalCallKinds = 9;

class EmulatedLocalFiles : public LocalFiles {
 public:
  // Empty but for the current directory, "/work".
  EmulatedLocalFiles();

  // ---- the files a test starts from and looks at afterwards ----
  void PutFile(const std::string& path, const std::string& content);
  // Every file, by its absolute path.
  std::vector<std::string> FilePaths() const;
  // Back to an empty current directory; the failures and counts stay.
  void Clear();

  // ---- failures ----
  // Asked before every call with its kind and absolute path: a non-zero answer
  // fails the call with that system error, and it changes nothing.
  std::function<std::uint32_t(LocalCall call, const std::string& path)> fault;
  // Fails the `nth` call of `kind` from now on (0 = the next one) with `error`;
  // with `from_then_on`, every later one as well.
  void FailCall(LocalCall kind, unsigned long nth, std::uint32_t error, bool from_then_on = false);
  // The time files written get.
  FileTime now{1700000000, 0};

  // ---- the port ----
  std::unique_ptr<LocalFile> Open(const std::string& path, LocalOpenMode mode, std::uint32_t& system_error) override;
  LocalStatus Status(const std::string& path) override;
  std::uint32_t Remove(const std::string& path) override;
  std::uint32_t SetLastWriteTime(const std::string& path, FileTime time) override;
  bool ReadDirectory(const std::string& directory, std::vector<LocalEntry>& entries,
                     std::uint32_t& system_error) override;
  std::string CurrentDirectory() override { return current_; }
  std::string HostPath(const std::string& path) const override;
  bool NamesIgnoreCase() const override { return false; }

  struct Node {
    std::string data;
    FileTime last_write;
  };
  // The absolute, normal form of a path: "/work/a/b".
  std::string Absolute(const std::string& path) const;
  // 0, or the system error the call fails with.
  std::uint32_t Check(LocalCall kind, const std::string& absolute);

 private:
  struct Rule {
    LocalCall kind;
    unsigned long at;
    std::uint32_t error;
    bool from_then_on;
  };
  bool ParentExists(const std::string& absolute) const;

  std::string current_ = "/work";
  std::set<std::string> directories_;
  std::map<std::string, std::shared_ptr<Node>> files_;
  std::vector<Rule> rules_;
  std::array<unsigned long, kLocalCallKinds> calls_{};
};

}  // namespace partshell::testing
