#include "iso_test_support.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <sys/wait.h>

namespace isotest {

ScratchDir::ScratchDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "isotest-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

CommandResult RunTool(const std::string& command) {
  CommandResult result;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return result;
  std::array<char, 4096> chunk;
  std::size_t got = 0;
  while ((got = fread(chunk.data(), 1, chunk.size(), pipe)) > 0) result.output.append(chunk.data(), got);
  const int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void WriteText(const std::string& path, const std::string& text) {
  WriteBytes(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}

std::vector<std::uint8_t> ReadBytes(const std::string& path) {
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  return error ? std::vector<std::uint8_t>{} : ReadRange(path, 0, size);
}

std::vector<std::uint8_t> ReadRange(const std::string& path, std::uint64_t offset,
                                    std::uint64_t count) {
  std::ifstream in(path, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(offset));
  std::vector<std::uint8_t> bytes(count);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count));
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  return bytes;
}

namespace {

// mov al, mark; out 0xE9, al; mov al, 0x10; out 0xF4, al; hlt; jmp $-1
std::vector<std::uint8_t> ReportCode(char mark) {
  return {0xB0, static_cast<std::uint8_t>(mark), 0xE6, 0xE9, 0xB0, 0x10, 0xE6, 0xF4, 0xF4, 0xEB,
          0xFD};
}

std::vector<std::uint8_t> Sector(std::size_t codeAt, char mark) {
  std::vector<std::uint8_t> sector(512, 0);
  const std::vector<std::uint8_t> code = ReportCode(mark);
  std::copy(code.begin(), code.end(), sector.begin() + static_cast<std::ptrdiff_t>(codeAt));
  sector[510] = 0x55;
  sector[511] = 0xAA;
  return sector;
}

}  // namespace

std::vector<std::uint8_t> BootSectorThatSays(char mark) {
  std::vector<std::uint8_t> sector = Sector(0x3E, mark);
  sector[0] = 0xEB;  // jmp short 0x3E, over the parameter block
  sector[1] = 0x3C;
  sector[2] = 0x90;
  return sector;
}

std::vector<std::uint8_t> MbrThatSays(char mark) { return Sector(0, mark); }

std::string BootCdInQemu(const std::string& iso, const ScratchDir& scratch) {
  const std::string console = scratch / "debugcon.txt";
  std::filesystem::remove(console);
  RunTool("timeout 30 qemu-system-i386 -accel tcg -m 32 -nodefaults -display none -no-reboot"
      " -drive if=none,id=d0,file=" + Quote(iso) + ",format=raw,readonly=on,media=cdrom"
      " -device ide-cd,drive=d0 -boot order=d,strict=on,reboot-timeout=0"
      " -debugcon file:" + Quote(console) + " -device isa-debug-exit,iobase=0xf4,iosize=0x04");
  const std::vector<std::uint8_t> said = ReadBytes(console);
  return std::string(said.begin(), said.end());
}

std::string ValueAfter(const std::string& text, const std::string& label) {
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    const std::size_t start = line.find_first_not_of(" \t");
    if (start != std::string::npos && line.compare(start, label.size(), label) == 0) {
      std::string value = line.substr(start + label.size());
      const std::size_t first = value.find_first_not_of(" \t");
      const std::size_t last = value.find_last_not_of(" \t\r");
      return first == std::string::npos ? "" : value.substr(first, last - first + 1);
    }
    at = end + 1;
  }
  return "";
}

}  // namespace isotest
