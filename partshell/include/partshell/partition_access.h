// What the shell frame needs of the mounted partition. The program wires the
// volume engine in behind it; tests use a stand-in.
#pragma once

#include <cstdint>
#include <string>

#include "partshell/mount_request.h"

namespace partshell {

class PartitionAccess {
 public:
  virtual ~PartitionAccess() = default;
  // 0 when a partition is mounted, else the error code (also after /MBR).
  // A mount publishes itself in the local environment (MOUNTED_PARTITION and
  // the like).
  virtual int Mount(const MountRequest& request) = 0;
  virtual void Close() = 0;
  virtual bool Mounted() const = 0;
  virtual int PartitionIndex() const = 0;
  virtual std::uint8_t PartitionType() const = 0;
  // The current directory on SYS:, for example "\" or "\DIAGS".
  virtual std::string CurrentDirectory() const = 0;
  // True when at least one entry of SYS: matches the name or simple
  // wildcard pattern (the test of IF EXIST).
  virtual bool AnyEntryMatches(const std::string& pattern) = 0;
  // Why the last AnyEntryMatches could not tell (a damaged directory): 0 when it could.
  virtual int LookupError() const { return 0; }
  // The text of an error number: the internal name with " - {internal}", a
  // system message, or an empty text.
  virtual std::string ErrorText(int code) const = 0;
  // A condition met on the disk that must end the run at once, with its fixed
  // exit code (254, 762, 763); 0 while there is none.
  virtual int FatalCondition() const = 0;
};

}  // namespace partshell
