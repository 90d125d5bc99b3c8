// ZOLPSIM.exe: a test build of the front end, never shipped. The dialogs and
// the Win32 host of ZOLP.exe; only the device catalog is simulated, read from
// the file that ZOLP_SIM_DEVICES names (docs/zolpsim.md), and the partition
// shell gets the simulated system disk as TORBEL_DISK. ZOLP_SIM_WRITE_DELAY_MS
// makes each write of a simulated drive take that long.
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "win/ZolpApp.h"
#include "zolp/sim/simulated_devices.h"

namespace {

std::unique_ptr<zolp::sim::SimulatedDevices> devices;
std::unique_ptr<zolp::ProcessLauncher> launcher;
int exitStatus = 0;

std::string ReadDescription(std::string& error) {
  char path[MAX_PATH] = {};
  const DWORD length = GetEnvironmentVariableA("ZOLP_SIM_DEVICES", path, sizeof path);
  if (length == 0 || length >= sizeof path) {
    error = "ZOLP_SIM_DEVICES names no device file.";
    return {};
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = std::string("Cannot read the device file ") + path + ".";
    return {};
  }
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool UseSimulatedDevices(zolp::Services& services) {
  std::string error;
  const std::string text = ReadDescription(error);
  std::vector<zolp::sim::DeviceLine> lines;
  if (error.empty() && !zolp::sim::ParseDeviceDescription(text, lines, error))
    error = "ZOLP_SIM_DEVICES, " + error;
  if (!error.empty()) {
    MessageBoxA(nullptr, error.c_str(), "ZOLPSIM", MB_OK | MB_ICONSTOP);
    exitStatus = 1;
    return false;
  }
  devices = std::make_unique<zolp::sim::SimulatedDevices>(lines, *services.errors);
  devices->SetClock(services.clock);
  char delay[16] = {};
  if (GetEnvironmentVariableA("ZOLP_SIM_WRITE_DELAY_MS", delay, sizeof delay) > 0)
    devices->SetWriteDelay(static_cast<std::uint32_t>(std::strtoul(delay, nullptr, 10)));
  services.devices = devices.get();
  launcher = zolp::sim::WithSystemDisk(*services.processes, devices->systemDisk());
  services.processes = launcher.get();
  return true;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  zolp::win::CZolpApp app(&UseSimulatedDevices);
  app.InitInstance();
  return exitStatus;
}
