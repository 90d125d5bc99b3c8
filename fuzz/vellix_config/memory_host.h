// A host for vellix that lives in memory: a fixed package tree (boot records,
// a loader, a readme, a tree with long, mixed-case and colliding names, a deep
// branch, a directory link that loops and links that multiply a tree), the
// configuration file given by the caller, and a sparse image that keeps only
// the pages written with something other than zeros.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "imagebuilder/host.h"

namespace vfuzz {

class MemoryTree final : public imagebuilder::HostTree {
 public:
  // The package tree, with `config` as "dd.cfg" at its top.
  explicit MemoryTree(std::string config);

  imagebuilder::ListResult List(const std::string& directory,
                                std::vector<imagebuilder::HostEntry>& entries) override;
  std::unique_ptr<imagebuilder::HostFile> OpenRead(const std::string& path) override;
  bool Status(const std::string& path, imagebuilder::HostFileStatus& status) override;
  char Separator() const override { return '/'; }
  bool Identify(const std::string& directory, imagebuilder::DirectoryId& id) override;

 private:
  struct Item {
    std::string name;  // as listed
    bool directory = false;
    std::string data;
    std::int64_t time = 0x60000000;
    std::string link;  // a directory link: the path it leads to
    std::vector<std::size_t> children;
  };
  std::size_t Add(const std::string& path, bool directory, std::string data = {},
                  std::string link = {});
  // The item a path names, links followed; nullopt when there is none.
  std::optional<std::size_t> Find(const std::string& path, int depth = 0) const;
  std::vector<Item> items_;  // items_[0] is the top
};

class MemoryImage final : public imagebuilder::ImageFile {
 public:
  bool Create(const std::string& path) override;
  bool SetSize(std::uint64_t size) override;
  bool Size(std::uint64_t& size) override;
  bool Seek(std::uint64_t offset) override;
  bool Read(std::uint8_t* buffer, std::size_t size) override;
  bool Write(const std::uint8_t* buffer, std::size_t size) override;
  bool Close() override;
  void Discard() override;

  // An image was created and not discarded.
  bool exists() const { return exists_; }
  std::uint64_t size() const { return size_; }
  // Bytes at an offset (zeros where nothing was written).
  std::vector<std::uint8_t> Bytes(std::uint64_t offset, std::size_t count) const;

 private:
  static constexpr std::size_t kPage = 4096;
  static constexpr std::size_t kMaxPages = 64 * 1024;  // 256 MiB: a "disk full" beyond
  std::map<std::uint64_t, std::array<std::uint8_t, kPage>> pages_;
  bool exists_ = false;
  bool open_ = false;
  std::uint64_t size_ = 0;
  std::uint64_t at_ = 0;
};

class FixedClock final : public imagebuilder::Clock {
 public:
  std::optional<std::string> buildTime;  // BUILDSETTIME, when set
  std::int64_t NowUtc() override { return 0x66000000; }
  bool ToLocal(std::int64_t utc, imagebuilder::CalendarTime& local) override;
  std::optional<std::string> Environment(const char* name) override;
};

class SilentConsole final : public imagebuilder::Console {
 public:
  void Write(std::string_view) override {}
};

}  // namespace vfuzz
