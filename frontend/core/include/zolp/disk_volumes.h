// What the system knows of a disk before the front end rewrites it: its DOS
// device names, the volumes it mounts from the disk (with a letter or not, one
// partition or several), and holding those volumes locked and dismounted while
// the disk is written under them. Since Windows Vista a write through a disk
// handle into the sectors of a mounted volume is refused unless that volume is
// locked or dismounted; a volume that is only dismounted can be mounted again
// by any program that looks at it, so each one is locked first.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "zolp/host.h"

namespace zolp {

// QueryDosDeviceA(nullptr, buffer, size): the names, each ended by a zero and
// the list by another; 0 on failure (ERROR_INSUFFICIENT_BUFFER when the list
// is longer than the buffer).
using DosDeviceQuery = std::function<std::uint32_t(char* buffer, std::uint32_t size)>;
// The whole list of names. The buffer starts at 32 KiB and is grown until the
// list fits: a system with many volumes and devices has more names than that.
bool ReadDosDeviceNames(SystemErrors& errors, const DosDeviceQuery& query,
                        std::vector<std::string>& names);

struct DiskVolume {
  std::string name;                // "\\?\Volume{...}\", or "\\.\E:" where volumes have no names
  std::vector<std::string> paths;  // where it is mounted: "E:\", ...
  char letter = 0;                 // the first drive letter; 0 when it has none
};

// Every volume with sectors on physical drive `diskNumber`, found by its disk
// extents (a partition without a letter, or the second of two, counts as
// much as the first).
std::vector<DiskVolume> FindDiskVolumes(const Services& services, unsigned diskNumber);
// Whether any volume of the drive has the given drive letter (the drive the
// program runs from must not be rewritten).
bool DiskHoldsDrive(const Services& services, unsigned diskNumber, char letter);

// A volume another program has open is retried this often, this far apart
// (a drive just plugged in is looked at by the shell and virus scanners).
inline constexpr int kVolumeLockTries = 20;
inline constexpr std::uint32_t kVolumeLockRetryMs = 500;

// The volumes held locked and dismounted for one write. Closing a handle lets
// its lock go, so the holder keeps them open until Release.
class HeldVolumes {
 public:
  enum class Outcome {
    Held,      // every volume is locked and dismounted (or there is none)
    NoMedium,  // the drive holds no medium (ERROR_NOT_READY): nothing is held
    Refused,   // a volume stayed in use or could not be locked: `refusal` says why
  };

  HeldVolumes() = default;
  HeldVolumes(const HeldVolumes&) = delete;
  HeldVolumes& operator=(const HeldVolumes&) = delete;
  ~HeldVolumes();

  // Every volume of physical drive `diskNumber`, each opened for reading and
  // writing with both shared (a volume takes no lock otherwise), locked and
  // dismounted. On a refusal nothing stays held; the text names the drive.
  Outcome HoldDisk(const Services& services, unsigned diskNumber, std::string& refusal);
  // The volume behind an open drive-letter handle (a diskette drive's
  // \\.\A:, which is then written through that same handle); `drive` names it
  // in the refusal ("A:").
  Outcome HoldVolume(const Services& services, DiskHandle& volume, const std::string& drive,
                     std::string& refusal);
  // Unlocks what is held (a failed unlock is told in verbose mode) and closes
  // the handles opened here.
  void Release(const Services& services);
  bool Empty() const { return locked_.empty(); }

 private:
  Outcome Lock(const Services& services, DiskHandle& volume, const std::string& drive,
               std::string& refusal);

  std::vector<std::unique_ptr<DiskHandle>> opened_;
  std::vector<DiskHandle*> locked_;
};

}  // namespace zolp
