// zolpcli.exe: the console front end on the Win32 host of ZOLP.exe. The tools
// are its resources "BIN" 149 and 150, or the programs beside it. With
// ZOLP_SIM_DEVICES set the device catalog is the simulated one that file
// describes (docs/zolpsim.md), as ZOLPSIM.exe's is.
#include <windows.h>

#include <io.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "catalog.h"
#include "zolp/mmc.h"
#include "zolp/sim/simulated_devices.h"
#include "zolp/tool_runner.h"
#include "zolp/win32_host.h"

namespace {

constexpr const char* kUsage =
    "Usage: zolpcli COMMAND [OPTIONS]   (run in the package directory)\n"
    "  list                               the USB flash drives that qualify, one per line\n"
    "  usb DRIVE... | --all [--noverify] [--yes]\n"
    "                                     writes the FLASH image to each drive at once\n"
    "                                     (DRIVE: 1, PhysicalDrive1), one image per drive\n"
    "                                     size, and reads each back\n"
    "  image FILE [--diskette]            the HDD (or DISKETTE) section's image\n"
    "  iso FILE                           the CD section's ISO\n"
    "  burn LETTER                        burns the CD section's ISO in the writer LETTER:\n"
    "  update [--test | --debug] [--yes]  updates the utility partition through torbel\n"
    "                                     (--yes: unattended)\n"
    "  --help | --version\n"
    "A drive is a removable USB disk; the drive zolpcli or the package runs from is never\n"
    "written. Without --yes, usb lists what it will erase and asks; it refuses when\n"
    "standard input is not a terminal.\n"
    "Exit codes: 0 done; 1 a drive or a build failed; 2 bad command line; 3 nothing\n"
    "written (refused, not confirmed, no drive); image and iso end with vellix's code,\n"
    "update with torbel's.\n";

// The embedded tools, else the programs beside zolpcli.exe read into memory.
class ToolStore final : public zolp::ResourceStore {
 public:
  ToolStore(std::unique_ptr<zolp::ResourceStore> embedded, std::string directory)
      : embedded_(std::move(embedded)), directory_(std::move(directory)) {}
  zolp::ResourceStep Fetch(std::string_view type, int id, const std::uint8_t*& data,
                           std::size_t& size) override {
    const zolp::ResourceStep step = embedded_->Fetch(type, id, data, size);
    if (step == zolp::ResourceStep::Ok || type != zolp::kToolResourceType) return step;
    const char* name = id == zolp::kTorbelResource   ? "torbel.exe"
                       : id == zolp::kVellixResource ? "vellix.exe"
                                                     : nullptr;
    if (!name) return step;
    auto [it, added] = files_.try_emplace(id);
    if (added) {
      std::ifstream in(directory_ + name, std::ios::binary);
      if (in) it->second.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    if (it->second.empty()) return step;
    data = reinterpret_cast<const std::uint8_t*>(it->second.data());
    size = it->second.size();
    return zolp::ResourceStep::Ok;
  }

 private:
  std::unique_ptr<zolp::ResourceStore> embedded_;
  std::string directory_;
  std::map<int, std::string> files_;
};

// Escape sequences redraw the progress lines in place on a console that takes them.
bool ConsoleTakesEscapes() {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (!GetConsoleMode(out, &mode)) return false;
  return SetConsoleMode(out, mode | 0x0004 /* ENABLE_VIRTUAL_TERMINAL_PROCESSING */) != 0;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace zolp;
  cli::Console console;
  console.inTerminal = _isatty(_fileno(stdin)) != 0;
  console.outTerminal = _isatty(_fileno(stdout)) != 0 && ConsoleTakesEscapes();
  char self[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
  console.self.assign(self, length < sizeof self ? length : 0);
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  if (arguments.empty()) {
    std::fprintf(console.err, "zolpcli: no command\n%s", kUsage);
    return cli::kExitUsage;
  }
  const std::string& command = arguments[0];
  std::vector<std::string> rest(arguments.begin() + 1, arguments.end());
  if (command == "--help" || command == "-h" || command == "/?") {
    std::fputs(kUsage, console.out);
    return cli::kExitDone;
  }
  if (command == "--version") {
    std::fprintf(console.out, "zolpcli %s\n", ZOLP_VERSION);
    return cli::kExitDone;
  }

  win32::Win32Host host;
  RunOptions options;
  if (console.self.size() > 1 && console.self[1] == ':')
    options.programDrive = static_cast<char>(std::toupper(static_cast<unsigned char>(console.self[0])));
  Services services = host.Wire(options);
  const std::string directory = console.self.substr(0, console.self.find_last_of("\\/") + 1);
  ToolStore tools(win32::MakeResourceStore(), directory);
  services.resources = &tools;
  std::unique_ptr<DeviceCatalog> simulated;
  std::unique_ptr<ProcessLauncher> launcher;
  if (std::getenv("ZOLP_SIM_DEVICES")) {
    simulated = cli::SimulatedCatalog(services, console.err);
    if (!simulated) return cli::kExitUsage;
    services.devices = simulated.get();
    launcher = sim::WithSystemDisk(*services.processes,
                                   static_cast<sim::SimulatedDevices&>(*simulated).systemDisk());
    services.processes = launcher.get();
  }

  if (command == "list") {
    if (!rest.empty()) return std::fprintf(console.err, "zolpcli: list takes no arguments\n"), cli::kExitUsage;
    return cli::CatalogList(services, console);
  }
  if (command == "usb") return cli::CatalogUsb(services, console, rest);
  if (command == "image") return cli::CatalogImage(services, console, rest, false);
  if (command == "iso") return cli::CatalogImage(services, console, rest, true);
  if (command == "update") return cli::CatalogUpdate(services, console, rest);
  if (command == "burn") return cli::CatalogBurn(services, console, rest);
  std::fprintf(console.err, "zolpcli: unknown command %s\n%s", command.c_str(), kUsage);
  return cli::kExitUsage;
}
