// The front end's Windows paths mapped into a host directory: "C:\UP\X" is
// <root>/C/UP/X; the current directory, "C:\PACKAGE", is <root>/cwd, where
// relative paths live. As on Windows, names match whatever their letter case,
// and read-only files and directories are not deleted.
#pragma once

#include <filesystem>
#include <string>

#include "zolp/host.h"

namespace zolp::sim {

class MappedFileSystem final : public FileSystem {
 public:
  MappedFileSystem(std::filesystem::path root, SystemErrors& errors);

  std::filesystem::path HostPath(const std::string& windowsPath) const;
  // The current directory's Windows name and its host directory.
  static constexpr const char* kCurrentDirectory = "C:\\PACKAGE";
  std::filesystem::path CurrentHostDirectory() const { return root_ / "cwd"; }

  std::unique_ptr<File> OpenRead(const std::string& path) override;
  std::unique_ptr<File> Create(const std::string& path) override;
  std::unique_ptr<File> OpenAppend(const std::string& path) override;
  bool Delete(const std::string& path) override;
  bool Exists(const std::string& path) override;
  bool MakeDirectory(const std::string& path) override;
  bool RemoveEmptyDirectory(const std::string& path) override;
  bool SystemDirectory(std::string& path) override;
  bool CurrentDirectory(std::string& path) override;
  bool TemporaryFileName(const std::string& directory, const std::string& prefix,
                         std::string& path) override;

  // Fault injection: the next n creates / deletes fail with a sharing violation.
  int failCreates = 0;
  int failDeletes = 0;
  bool failSystemDirectory = false;
  bool failTemporaryNames = false;
  int createCalls = 0;
  int deleteCalls = 0;

 private:
  std::unique_ptr<File> OpenWith(const std::string& path, const char* mode);
  std::filesystem::path root_;
  SystemErrors& errors_;
  unsigned nextTemporary_ = 0x1A2B;
};

}  // namespace zolp::sim
