#include "iso_test_support.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <sys/wait.h>
#include "../common/tool_time_limit.h"

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
  FILE* pipe = popen((testtools::WithTimeLimit(command) + " 2>&1").c_str(), "r");
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

namespace {

// With hard-disk emulation the BIOS makes up the emulated drive's geometry
// from the partition entry; reading the boot sector by CHS with that geometry
// only works when the partition layout agrees with it.
constexpr const char* kChainLoadingMbr = R"(
; Loads the first sector of partition 1 by CHS, with the geometry the BIOS
; reports for the boot drive, and runs it. Writes 'M' on the debug console,
; or 'F' when a BIOS call fails or the sector lacks its signature.
bits 16
org 0x0600
start:
  cli
  xor ax, ax
  mov ds, ax
  mov es, ax
  mov ss, ax
  mov sp, 0x7C00
  sti
  mov si, 0x7C00
  mov di, 0x0600
  mov cx, 256
  cld
  rep movsw
  jmp 0:relocated
relocated:
  mov [drive], dl
  mov al, 'M'
  out 0xE9, al
  mov ah, 8
  int 0x13
  jc fail
  and cx, 0x3F
  mov [spt], cx
  movzx ax, dh
  inc ax
  mov [heads], ax
  mov ax, [0x0600 + 0x1C6]
  mov dx, [0x0600 + 0x1C8]
  div word [spt]          ; ax = track, dx = sector - 1
  inc dx
  mov cl, dl              ; sector
  xor dx, dx
  div word [heads]        ; ax = cylinder, dx = head
  mov dh, dl
  mov ch, al
  shl ah, 6
  or cl, ah
  mov dl, [drive]
  mov bx, 0x7C00
  mov ax, 0x0201
  int 0x13
  jc fail
  cmp word [0x7DFE], 0xAA55
  jne fail
  mov dl, [drive]
  jmp 0:0x7C00
fail:
  mov al, 'F'
  out 0xE9, al
  mov al, 0x11
  out 0xF4, al
  hlt
drive: db 0
spt: dw 0
heads: dw 0
times 510 - ($ - $$) db 0
dw 0xAA55
)";

}  // namespace

std::string AssembleChainLoadingMbr(const std::string& path, const ScratchDir& scratch) {
  const std::string source = scratch / "chain_mbr.asm";
  WriteText(source, kChainLoadingMbr);
  const CommandResult nasm = RunTool("nasm -f bin -o " + Quote(path) + " " + Quote(source));
  if (nasm.status != 0) {
    return "nasm failed (status " + std::to_string(nasm.status) + "; scripts/install-deps.sh installs it): " +
           nasm.output;
  }
  const std::size_t size = ReadBytes(path).size();
  return size == 512 ? "" : "nasm made " + std::to_string(size) + " bytes, not one sector";
}

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
