// Adds the generated files to the sample package in the build tree:
//   --boot <dir>      placeholder boot records (MBR.BIN, BOOTSECT.BIN) and a
//                     placeholder second stage (ORVOBOOT.SYS) until real boot code replaces them
//   --programs <dir>  the diagnostic program files, of assorted sizes
// Contents are fixed, so every build makes the same package.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) {
    std::fprintf(stderr, "cannot create %s\n", path.c_str());
    return false;
  }
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

// A sector that halts the machine: enough for a valid boot record.
std::vector<std::uint8_t> HaltSector(bool withBpbJump) {
  std::vector<std::uint8_t> s(512, 0);
  std::size_t code = 0;
  if (withBpbJump) {
    s[0] = 0xEB;  // jmp short over the BIOS parameter block
    s[1] = 0x3C;
    s[2] = 0x90;
    code = 0x3E;
  }
  const std::uint8_t halt[] = {0xFA, 0xF4, 0xEB, 0xFD};  // cli; hlt; jmp $-1
  std::memcpy(&s[code], halt, sizeof halt);
  s[510] = 0x55;
  s[511] = 0xAA;
  return s;
}

// A program-like file: "MZ", a text line, then a fixed pseudo-random body.
std::vector<std::uint8_t> ProgramFile(const char* title, std::size_t size, std::uint32_t seed) {
  std::vector<std::uint8_t> b(size, 0);
  std::uint32_t x = seed;
  for (std::size_t i = 0; i < size; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b[i] = static_cast<std::uint8_t>(x);
  }
  const std::string head = std::string("MZ ") + title + " (sample diagnostic program)\r\n";
  for (std::size_t i = 0; i < head.size() && i < size; ++i) b[i] = static_cast<std::uint8_t>(head[i]);
  return b;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_sample_files --boot|--programs <package dir>\n");
    return 2;
  }
  const std::string mode = argv[1];
  const std::string dir = argv[2];
  bool ok = true;
  if (mode == "--boot") {
    ok = ok && WriteFile(dir + "/MBR.BIN", HaltSector(false));
    ok = ok && WriteFile(dir + "/BOOTSECT.BIN", HaltSector(true));
    ok = ok && WriteFile(dir + "/ORVOBOOT.SYS", ProgramFile("ORVOBOOT second stage", 1536, 7));
  } else if (mode == "--programs") {
    ok = ok && WriteFile(dir + "/DIAGS/DIAGMAIN.EXE", ProgramFile("DIAGMAIN", 153600, 1));
    ok = ok && WriteFile(dir + "/DIAGS/MEMTEST.EXE", ProgramFile("MEMTEST", 61440 + 77, 2));
    ok = ok && WriteFile(dir + "/DIAGS/HddTest.exe", ProgramFile("HddTest", 90112 + 5, 3));
    ok = ok && WriteFile(dir + "/DIAGS/Video Test Suite/VIDTEST.EXE",
                         ProgramFile("VIDTEST", 45000, 4));
    ok = ok && WriteFile(dir + "/TOOLS/flashutil.com", ProgramFile("flashutil", 2048, 5));
    ok = ok && WriteFile(dir + "/TOOLS/BIOS-A05.ROM", ProgramFile("BIOS image", 262144, 6));
  } else {
    std::fprintf(stderr, "unknown mode %s\n", mode.c_str());
    return 2;
  }
  return ok ? 0 : 1;
}
