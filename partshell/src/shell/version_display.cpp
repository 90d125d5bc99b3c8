#include <string>

#include "partshell/command_rows.h"
#include "partshell/shell.h"
#include "partshell/startup.h"

namespace partshell {
namespace {

constexpr const char* kVersion = "A07";
constexpr const char* kVersionDate = "10/27/2009";

std::string& OperatingSystemText() {
  static std::string text;
  return text;
}

}  // namespace

void SetOperatingSystemText(std::string text) { OperatingSystemText() = std::move(text); }

void PrintVersionDisplay() {
  ShellPrint("VERSION:   torbel, Version: %s, %s\n", kVersion, kVersionDate);
  ShellPrint("OS:        %s\n", OperatingSystemText().c_str());
  ShellPrint("Mode:      Diags\n");
#if defined(_WIN64)
  // Never shipped: the x86_64 test build for hosts that run no 32-bit code.
  ShellPrint("Target:    64-bit WIN64 Build\n");
#elif defined(_WIN32)
  ShellPrint("Target:    32-bit WIN32 Build\n");
#else
  ShellPrint("Target:    %d-bit Linux Build\n", static_cast<int>(sizeof(void*) * 8));
#endif
}

void PrintVersionWithKit() {
  PrintVersionDisplay();
  ShellPrint("Kit:       Diagnostic Distribution Package %s, which ships torbel %s\n", TORBEL_KIT_VERSION, kVersion);
}

static int CmdVersion(Shell& shell, std::string&, const TokenList&) {
  PrintVersionDisplay();
  return shell.ErrorLevel();
}

constexpr CommandRow kVerRow{
    "VER", 0, 0, CmdVersion, "VER", "Show Program version",
    "    Shows the program version and the operating system."};
constexpr CommandRow kVersionRow{
    "VERSION", 0, 0, CmdVersion, "VERSION", "Show Program version",
    "    Same as VER."};

}  // namespace partshell
