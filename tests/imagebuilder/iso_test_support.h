// Helpers for the ISO tests: scratch directories, running the independent
// checking tools, and small boot programs whose output proves which sector
// a BIOS started.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace isotest {

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

struct CommandResult {
  int status = -1;  // exit status, -1 when the command did not end normally
  std::string output;  // standard output and standard error together
};
CommandResult RunTool(const std::string& command);
// Quotes one argument for /bin/sh.
std::string Quote(const std::string& text);

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);
void WriteText(const std::string& path, const std::string& text);
std::vector<std::uint8_t> ReadBytes(const std::string& path);
// `count` bytes of the file from `offset` (fewer at its end).
std::vector<std::uint8_t> ReadRange(const std::string& path, std::uint64_t offset,
                                    std::uint64_t count);

// 512-byte sectors ending in 0x55 0xAA whose code writes `mark` to the
// debug console port 0xE9 and ends qemu through port 0xF4 with status 33.
// The boot sector jumps over a BIOS parameter block; the MBR starts at 0.
std::vector<std::uint8_t> BootSectorThatSays(char mark);
std::vector<std::uint8_t> MbrThatSays(char mark);

// Assembles, with nasm, an MBR that writes 'M', loads partition 1's first
// sector by CHS with the geometry the BIOS reports for the boot drive and
// runs it ('F' when that fails). Answers "" when it did, else what went wrong
// (nasm's own words).
std::string AssembleChainLoadingMbr(const std::string& path, const ScratchDir& scratch);

// Boots `iso` from an emulated CD drive; returns what the boot code wrote to
// the debug console, or "" when nothing booted.
std::string BootCdInQemu(const std::string& iso, const ScratchDir& scratch);

// The value of the first line of `text` that starts with `label`, trimmed.
std::string ValueAfter(const std::string& text, const std::string& label);

}  // namespace isotest
