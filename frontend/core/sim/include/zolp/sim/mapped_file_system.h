// The front end's Windows paths mapped into a host directory: "C:\UP\X" is
// <root>/C/UP/X and a relative path lives under <root>/cwd.
#pragma once

#include <filesystem>
#include <string>

#include "zolp/host.h"

namespace zolp::sim {

class MappedFileSystem final : public FileSystem {
 public:
  MappedFileSystem(std::filesystem::path root, SystemErrors& errors);

  std::filesystem::path HostPath(const std::string& windowsPath) const;

  std::unique_ptr<File> OpenRead(const std::string& path) override;
  std::unique_ptr<File> Create(const std::string& path) override;
  std::unique_ptr<File> OpenAppend(const std::string& path) override;
  bool Delete(const std::string& path) override;
  bool Exists(const std::string& path) override;
  bool MakeDirectory(const std::string& path) override;
  bool SystemDirectory(std::string& path) override;

  // Fault injection: the next n creates / deletes fail with a sharing violation.
  int failCreates = 0;
  int failDeletes = 0;
  bool failSystemDirectory = false;
  int createCalls = 0;
  int deleteCalls = 0;

 private:
  std::unique_ptr<File> OpenWith(const std::string& path, const char* mode);
  std::filesystem::path root_;
  SystemErrors& errors_;
};

}  // namespace zolp::sim
