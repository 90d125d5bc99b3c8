// The simulated device catalog: the drives a test describes, in place of the
// computer's own. ZOLPSIM.exe builds it from the file named by ZOLP_SIM_DEVICES,
// native tests from the same text, one device per line:
//
//   usb <drive number> <image file> <size in bytes> [letter=<X> | volumes=<X|->,...]
//       [inuse=<n>|always] [vendor=<v>] [product=<p>] [revision=<r>]
//   cardslot <drive number> <product name>
//   floppy <letter> <image file> [inuse=<n>|always]
//   cdwriter <letter> <iso file> <media> [longwrite=<n>] [shared]
//   systemdisk <image file>
//
// '#' starts a comment; a field holding blanks is written in double quotes.
// docs/zolpsim.md describes each device.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "zolp/host.h"
#include "zolp/sim/simulated_drive.h"
#include "zolp/sim/simulated_mmc_drive.h"

namespace zolp::sim {

enum class DeviceKind { Usb, CardSlot, Floppy, CdWriter, SystemDisk };

// The disc a simulated CD writer holds.
enum class CdMedia { None, CdR, CdRw, CdRWritten, CdRwWritten, CdRom, Dvd };

struct DeviceLine {
  DeviceKind kind = DeviceKind::Usb;
  int line = 0;               // in the description, for messages
  unsigned driveNumber = 0;   // usb, cardslot: \\.\PhysicalDrive<n>
  char letter = 0;            // floppy, cdwriter; usb with letter=
  std::string file;           // image or iso file
  std::uint64_t size = 0;     // usb, in bytes
  std::string vendor, product, revision;  // usb; a card slot's product
  CdMedia media = CdMedia::None;
  // usb with volumes=: one partition each, its letter or 0 for none (letter=
  // alone is one volume over the whole stick, as Windows formats many).
  std::vector<char> volumes;
  int inUse = 0;          // usb, floppy: lock attempts another program refuses; -1 always
  int longWriteEvery = 0; // cdwriter: every n-th WRITE (10) finds the buffer full
  bool shared = false;    // cdwriter: another program polls the writer
};

// Parses a description; on a fault answers false with "line N: ..." in error.
bool ParseDeviceDescription(std::string_view text, std::vector<DeviceLine>& devices,
                            std::string& error);

class SimulatedDevices final : public DeviceCatalog {
 public:
  SimulatedDevices(const std::vector<DeviceLine>& devices, SystemErrors& errors);
  ~SimulatedDevices() override;

  std::uint32_t LogicalDrives() override;
  DriveType TypeOfDrive(char letter) override;
  bool DosDeviceNames(std::vector<std::string>& names) override;
  bool VolumeInformation(char letter, std::string& label, std::string& fileSystem) override;
  std::unique_ptr<DiskHandle> Open(const std::string& devicePath, DiskAccess access) override;
  std::string DisplayName(char letter) override;

  // A device arrives or leaves, as a user plugs it in or pulls it out (the
  // dialog hears of it through its device-change event).
  void Plug(const DeviceLine& device);
  void Unplug(char letter);
  // Every write of the USB disks, diskette drives and CD writers takes this long.
  void SetWriteDelay(std::uint32_t milliseconds);
  // Every write of the USB disks and diskette drives takes as long as this
  // many bytes a second allow, each drive on its own (0: no limit).
  void SetWriteRate(std::uint64_t bytesPerSecond);
  // The clock the writers' long operations (blanking, closing) run by.
  void SetClock(Clock* clock);

  bool VolumeNames(std::vector<std::string>& names) override;
  bool VolumePaths(const std::string& volumeName, std::vector<std::string>& paths) override;
  // QueryDosDeviceA with no name, as Windows 10 answers it: the names of the
  // system's own devices come first, more than 32 KiB of them.
  std::uint32_t QueryDosDevices(char* buffer, std::uint32_t size);
  int systemDeviceNames = 400;

  // For tests: the drive behind a letter or a drive number (null when none).
  SimulatedDrive* DriveAt(char letter);
  SimulatedDrive* PhysicalDrive(unsigned number);
  SimulatedMmcDrive* CdWriterAt(char letter);
  // The disk image the partition shell opens (TORBEL_DISK); empty when none.
  const std::string& systemDisk() const { return systemDisk_; }

 private:
  struct Letter {
    DriveType type = DriveType::Unknown;
    SimulatedDrive* drive = nullptr;
    SimulatedMmcDrive* writer = nullptr;
    std::string displayName;
    std::size_t volume = 0;  // of the drive
  };
  struct NamedVolume {
    std::string name;  // as FindFirstVolume gives it, with its last backslash
    SimulatedDrive* drive = nullptr;
    SimulatedMmcDrive* writer = nullptr;
    std::size_t volume = 0;
    char letter = 0;
  };
  std::unique_ptr<DiskHandle> OpenNamed(const std::string& upperPath, DiskAccess access);
  std::unique_ptr<DiskHandle> OpenWriter(SimulatedMmcDrive& writer, DiskAccess access);
  SystemErrors& errors_;
  std::vector<std::unique_ptr<SimulatedDrive>> drives_;
  std::vector<std::unique_ptr<SimulatedMmcDrive>> writers_;
  std::map<char, Letter> letters_;
  std::map<unsigned, SimulatedDrive*> physical_;
  std::vector<NamedVolume> volumes_;
  std::size_t nextVolume_ = 0;
  std::string systemDisk_;
  std::uint32_t writeDelayMs_ = 0;
  std::uint64_t writeRate_ = 0;
  Clock* clock_ = nullptr;
};

// Another disc goes into a simulated writer, as a user swaps discs while a
// prompt waits (CdMedia::None empties the drive).
void InsertDisc(SimulatedMmcDrive& writer, CdMedia media);

// The process launcher that hands the simulated system disk to every run of
// torbel.exe as TORBEL_DISK, on top of the environment the front end gives it.
std::unique_ptr<ProcessLauncher> WithSystemDisk(ProcessLauncher& launcher, std::string diskFile);

// The lower-case file name of the program a request starts ("vellix.exe").
std::string ProgramName(const LaunchRequest& request);

}  // namespace zolp::sim
