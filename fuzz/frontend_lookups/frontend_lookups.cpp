// The front end's line lookups on a package file made from the input: the keys
// and section markers it reads from DD.CFG, the version line of Version.txt,
// the version of OrvoDiag.ini, and the [UP_DELETE] and [UP_COPY] sections walked
// line by line into the partition commands they stand for.
//
// Input: one byte of options (bit 0: verbose; bits 1-7: the size of a short
// value buffer, 1 to 128 bytes), then the text every one of those files holds.
// Value buffers are heap blocks of their exact size, so a write past one is
// caught; every value must come back terminated within its buffer.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "flow/update_flow.h"
#include "zolp/package_config.h"
#include "zolp/report.h"
#include "zolp/sim/test_host.h"

namespace {

void Require(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "frontend_lookups: %s\n", what);
    __builtin_trap();
  }
}

// Every package file the front end reads holds the input's text; other names
// do not exist.
class InputFiles final : public zolp::FileSystem {
 public:
  InputFiles(zolp::SystemErrors& errors, const std::string& text) : errors_(errors), text_(text) {}
  std::unique_ptr<zolp::File> OpenRead(const std::string& path) override {
    for (const char* name : {"DD.CFG", "dd.cfg", "Version.txt", "DIAGS\\OrvoDiag.ini",
                             "UP\\oldver.ini"}) {
      if (path == name) return std::make_unique<TextFile>(text_);
    }
    errors_.SetLast(2);
    return nullptr;
  }
  std::unique_ptr<zolp::File> Create(const std::string&) override { return Refuse(); }
  std::unique_ptr<zolp::File> OpenAppend(const std::string&) override { return Refuse(); }
  bool Delete(const std::string&) override { return Refuse() != nullptr; }
  bool Exists(const std::string&) override { return false; }
  bool MakeDirectory(const std::string&) override { return Refuse() != nullptr; }
  bool SystemDirectory(std::string&) override { return Refuse() != nullptr; }
  bool CurrentDirectory(std::string&) override { return Refuse() != nullptr; }
  bool TemporaryFileName(const std::string&, const std::string&, std::string&) override {
    return Refuse() != nullptr;
  }

 private:
  class TextFile final : public zolp::File {
   public:
    explicit TextFile(const std::string& text) : text_(text) {}
    bool Read(void* buffer, std::uint32_t size, std::uint32_t& got) override {
      got = static_cast<std::uint32_t>(std::min<std::size_t>(size, text_.size() - at_));
      std::memcpy(buffer, text_.data() + at_, got);
      at_ += got;
      return true;
    }
    bool Write(const void*, std::uint32_t) override { return false; }
    bool Size(std::uint64_t& size) override {
      size = text_.size();
      return true;
    }

   private:
    const std::string& text_;
    std::size_t at_ = 0;
  };
  std::unique_ptr<zolp::File> Refuse() {
    errors_.SetLast(5);
    return nullptr;
  }
  zolp::SystemErrors& errors_;
  const std::string& text_;
};

// A value buffer of exactly `size` bytes.
struct Value {
  explicit Value(std::size_t size) : bytes(new char[size]), size(size) {
    std::memset(bytes.get(), 'x', size);
  }
  void RequireTerminated() const {
    Require(std::memchr(bytes.get(), '\0', size) != nullptr, "value not terminated in its buffer");
  }
  std::unique_ptr<char[]> bytes;
  std::size_t size;
};

void LookUp(const zolp::Services& s, const char* file, const char* section, const char* key,
            bool prefix, std::size_t size, bool continuation = false) {
  Value v(size);
  zolp::ReadPackageValue(s, file, section, key, prefix, v.bytes.get(), v.size, {}, continuation);
  v.RequireTerminated();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || size > 64 * 1024) return 0;
  static zolp::sim::TestHost host;
  host.ClearRecords();
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  InputFiles files(host, text);
  zolp::RunOptions options;
  options.verbose = (data[0] & 1) != 0;
  const zolp::Services s = host.Wire(&files, options);
  const std::size_t shortSize = 1 + (data[0] >> 1);

  // The lookups the dialogs make, with the buffer sizes they use and a short one.
  for (const std::size_t n : {std::size_t{128}, shortSize}) {
    LookUp(s, "DD.CFG", nullptr, "Package", false, n);
    LookUp(s, "Version.txt", nullptr, "OEM Ver", true, n);
    LookUp(s, "Version.txt", nullptr, "OEM Ver", true, n, true);
    for (const char* section : {"[CD]", "[HDD]", "[DISKETTE]", "[Disk1]"}) {
      LookUp(s, "dd.cfg", section, "ImageName", false, n);
      LookUp(s, "dd.cfg", section, "ImageName", false, n, true);
    }
    Value version(n);
    zolp::ReadDiagVersion(s, "DIAGS\\OrvoDiag.ini", version.bytes.get(), version.size);
    version.RequireTerminated();
  }
  LookUp(s, "Version.txt", nullptr, "OEM Ver", true, 40);
  LookUp(s, "dd.cfg", "[CD]", "ImageName", false, 260);
  for (const char* marker : {"[Disk1]", "[DISKETTE]", "[UP_COPY]", "[UP_DELETE]", "[CD]", "[HDD]",
                             "[FLASH]"}) {
    zolp::FindPackageValue(s, "DD.CFG", marker, false, nullptr, 0);
  }
  // A missing file is not found, and reported in verbose mode only.
  Require(!zolp::FindPackageValue(s, "missing.cfg", "[CD]", false, nullptr, 0), "missing file found");

  // The update's walk over its two sections.
  int lines = 0;
  zolp::FindPackageValue(s, "DD.CFG", "[UP_DELETE]", false, nullptr, 0,
                         [&](std::string_view token) {
                           Require(!token.empty() && token.front() != '[' && token.front() != ';',
                                   "a section line handed over that is none");
                           // The update option's own conversion of the line.
                           static const char* const kPrefixes[] = {"\\", "\\DIAGS\\",
                                                                   "\\ORVOUP\\DIAGS\\"};
                           std::string command;
                           if (zolp::DeleteCommandFor(token, kPrefixes[data[0] % 3], command)) {
                             Require(command.rfind("DEL ", 0) == 0, "delete command");
                           }
                           return ++lines > 4096;
                         });
  const std::size_t stopAfter = data[0] % 5;
  std::size_t copies = 0;
  zolp::FindPackageValue(s, "DD.CFG", "[UP_COPY]", false, nullptr, 0,
                         [&](std::string_view token) {
                           const std::string command = zolp::Format(
                               "COPYHD2SYS %.*s", static_cast<int>(token.size()), token.data());
                           // (A NUL inside the line ends the command there.)
                           Require(command.rfind("COPYHD2SYS ", 0) == 0 &&
                                       command.size() <= token.size() + 11,
                                   "copy command");
                           Require(copies <= stopAfter, "the walk went on after it was stopped");
                           return ++copies > stopAfter;
                         });
  return 0;
}
