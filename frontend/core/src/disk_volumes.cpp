#include "zolp/disk_volumes.h"

#include <cctype>

#include "zolp/report.h"
#include "zolp/system_errors.h"

namespace zolp {

namespace {

constexpr std::uint32_t kFirstDosDeviceBuffer = 0x8000;
constexpr std::uint32_t kLargestDosDeviceBuffer = 64u << 20;

// The drive-letter root of a mount path ("E:\"); 0 for a folder mount point.
char LetterOfPath(const std::string& path) {
  if (path.size() != 3 || path[1] != ':' || path[2] != '\\' ||
      !std::isalpha(static_cast<unsigned char>(path[0])))
    return 0;
  return static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
}

// "\\?\Volume{...}\" opens as "\\?\Volume{...}": with the backslash it would
// be the root directory of the volume's file system.
std::string DevicePathOf(const std::string& volumeName) {
  if (!volumeName.empty() && volumeName.back() == '\\')
    return volumeName.substr(0, volumeName.size() - 1);
  return volumeName;
}

// Whether the volume opened as `path` has sectors on the drive, by its disk
// extents. A volume that reports none (a diskette, a CD) is on no disk.
bool OnDisk(const Services& services, const std::string& path, unsigned diskNumber) {
  std::unique_ptr<DiskHandle> volume = services.devices->Open(path, DiskAccess::None);
  std::vector<DiskExtent> extents;
  if (!volume || !volume->VolumeDiskExtents(extents)) return false;
  for (const DiskExtent& extent : extents)
    if (extent.diskNumber == diskNumber && extent.length > 0) return true;
  return false;
}

// A lock refused because some other program has the volume open.
bool InUse(std::uint32_t error) {
  return error == syserr::kAccessDenied || error == syserr::kSharingViolation ||
         error == syserr::kLockViolation;
}

// "Drive E: is in use ...": `drive` as it stands in the middle of a sentence.
std::string InUseText(std::string drive) {
  if (!drive.empty()) drive[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(drive[0])));
  return drive +
         " is in use by another program. Close every program and window that uses it, then "
         "try again.";
}

}  // namespace

bool ReadDosDeviceNames(SystemErrors& errors, const DosDeviceQuery& query,
                        std::vector<std::string>& names) {
  names.clear();
  for (std::uint32_t size = kFirstDosDeviceBuffer; size <= kLargestDosDeviceBuffer; size *= 2) {
    std::vector<char> buffer(size, '\0');
    errors.SetLast(0);
    const std::uint32_t stored = query(buffer.data(), size);
    if (stored == 0) {
      const std::uint32_t error = errors.Last();
      // Older systems fill the buffer and say ERROR_MORE_DATA; newer ones refuse
      // it. Either way the whole list is wanted: a bigger buffer.
      if (error == syserr::kInsufficientBuffer || error == syserr::kMoreData) continue;
      return false;
    }
    for (std::uint32_t at = 0; at < stored && at < size && buffer[at] != '\0';) {
      std::string name(&buffer[at]);
      at += static_cast<std::uint32_t>(name.size()) + 1;
      names.push_back(std::move(name));
    }
    return true;
  }
  errors.SetLast(syserr::kInsufficientBuffer);
  return false;
}

std::vector<DiskVolume> FindDiskVolumes(const Services& services, unsigned diskNumber) {
  std::vector<DiskVolume> found;
  std::vector<std::string> names;
  if (services.devices->VolumeNames(names)) {
    for (const std::string& name : names) {
      if (!OnDisk(services, DevicePathOf(name), diskNumber)) continue;
      DiskVolume volume{name, {}, 0};
      services.devices->VolumePaths(name, volume.paths);
      for (const std::string& path : volume.paths)
        if (!volume.letter) volume.letter = LetterOfPath(path);
      found.push_back(std::move(volume));
    }
    return found;
  }
  // No volume list: the volumes that have letters.
  const std::uint32_t mask = services.devices->LogicalDrives();
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    if (!(mask & (1u << (letter - 'A')))) continue;
    const std::string path = Format("\\\\.\\%c:", letter);
    if (OnDisk(services, path, diskNumber))
      found.push_back(DiskVolume{path, {Format("%c:\\", letter)}, letter});
  }
  return found;
}

bool DiskHoldsDrive(const Services& services, unsigned diskNumber, char letter) {
  const char wanted = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
  if (wanted == 0) return false;
  for (const DiskVolume& volume : FindDiskVolumes(services, diskNumber))
    for (const std::string& path : volume.paths)
      if (LetterOfPath(path) == wanted) return true;
  return false;
}

HeldVolumes::~HeldVolumes() = default;

HeldVolumes::Outcome HeldVolumes::HoldDisk(const Services& services, unsigned diskNumber,
                                           std::string& refusal) {
  for (const DiskVolume& volume : FindDiskVolumes(services, diskNumber)) {
    const std::string drive = volume.letter ? Format("drive %c:", volume.letter)
                                            : Format("a volume of disk %u", diskNumber);
    const std::string path = DevicePathOf(volume.name);
    std::unique_ptr<DiskHandle> handle;
    // The open meets the same holders as the lock: it is retried as long.
    for (int attempt = 0; attempt < kVolumeLockTries && !handle; ++attempt) {
      if (attempt > 0) services.clock->Sleep(kVolumeLockRetryMs);
      handle = services.devices->Open(path, DiskAccess::ReadWrite);
      if (!handle && !InUse(services.errors->Last())) break;
    }
    if (!handle) {
      const std::uint32_t error = services.errors->Last();
      Release(services);
      refusal = InUse(error) ? InUseText(drive)
                             : FormatSystemError(services, error, "Opening " + drive);
      return Outcome::Refused;
    }
    const Outcome outcome = Lock(services, *handle, drive, refusal);
    if (outcome != Outcome::Held) {
      Release(services);
      if (outcome == Outcome::NoMedium)
        refusal = FormatSystemError(services, syserr::kNotReady, "Locking " + drive);
      return Outcome::Refused;
    }
    opened_.push_back(std::move(handle));
  }
  return Outcome::Held;
}

HeldVolumes::Outcome HeldVolumes::HoldVolume(const Services& services, DiskHandle& volume,
                                             const std::string& drive, std::string& refusal) {
  return Lock(services, volume, "drive " + drive, refusal);
}

HeldVolumes::Outcome HeldVolumes::Lock(const Services& services, DiskHandle& volume,
                                       const std::string& drive, std::string& refusal) {
  std::uint32_t error = 0;
  for (int attempt = 0; attempt < kVolumeLockTries; ++attempt) {
    if (attempt > 0) services.clock->Sleep(kVolumeLockRetryMs);
    services.errors->SetLast(0);
    if (volume.LockVolume()) {
      locked_.push_back(&volume);
      // Locked, nobody else can mount it again; dismounted, its file system
      // forgets what it cached of the old contents.
      if (!volume.DismountVolume())
        ReportLastError(services, true, "Dismount", "Dismount volume failed");
      return Outcome::Held;
    }
    error = services.errors->Last();
    if (error == syserr::kNotReady) return Outcome::NoMedium;
    if (!InUse(error)) break;
  }
  refusal = InUse(error) ? InUseText(drive)
                         : FormatSystemError(services, error != 0 ? error : syserr::kAccessDenied,
                                             "Locking " + drive);
  return Outcome::Refused;
}

void HeldVolumes::Release(const Services& services) {
  for (DiskHandle* volume : locked_)
    if (!volume->UnlockVolume())
      ReportLastError(services, true, "DeviceIoControl", "Unlock volume failed");
  locked_.clear();
  opened_.clear();
}

}  // namespace zolp
