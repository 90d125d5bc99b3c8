// torbel: the FAT16 partition shell. Wires the host layer into the frame.
#include <string>
#include <vector>

#include "partshell/fat16_engine.h"
#include "partshell/frame_services.h"
#include "partshell/host_disks.h"
#include "partshell/mounted_volume.h"
#include "partshell/startup.h"
#include "partshell/volume_partition.h"

#ifdef _WIN32
#include "partshell/win32_console.h"
#include "partshell/win32_host.h"
#else
#include "partshell/posix_console.h"
#include "partshell/posix_host.h"
#endif

int main(int argc, char** argv) {
  using namespace partshell;
  std::vector<std::string> words(argv + 1, argv + argc);

#ifdef _WIN32
  Win32Console console;
  Win32InstanceLock lock;
  Win32ControlEvents events;
  SetSystemMessageSource(HostSystemMessage);
#else
  PosixConsole console(0, 1);
  PosixInstanceLock lock(HostDiskPaths());
  PosixControlEvents events;
#endif

  std::unique_ptr<DiskSystem> disks = CreateHostDiskSystem();
  std::unique_ptr<LocalFiles> host_files = CreateHostLocalFiles();
  // No local file the shell writes is ever one of the disks it may open.
  std::vector<std::string> drives;
  for (int n = 0; n < 10; ++n) drives.push_back(disks->DrivePath(n));
  auto local_files = std::make_unique<ProtectedLocalFiles>(*host_files, std::move(drives));
  FrameEngineServices services;
  MountedVolume volume(*disks, services);
  Fat16Engine engine(volume, *local_files);
  VolumePartition partition(volume, engine);

  HostServices host{console, lock, events, partition, *local_files};
  host.volume = &volume;
  host.engine = &engine;
  host.processEnvironment = HostProcessEnvironment();
  host.operatingSystem = HostOperatingSystemName();
  return RunTorbel(words, host);
}
