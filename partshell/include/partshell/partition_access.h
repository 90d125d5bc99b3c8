// What the shell frame needs of the mounted partition. The program wires the
// volume engine in behind it; tests use a stand-in.
#pragma once

#include <cstdint>
#include <string>

namespace partshell {

// The partition the switches ask for.
struct MountRequest {
  int wantedIndex = 0;           // -1 when a type is asked for
  std::uint8_t wantedType = 0;   // 0 when an index is asked for
  bool noWriteMbr = false;       // /NOWRITEMBR
  bool showMbrOnly = false;      // /MBR: show the table, mount nothing
  bool interactive = false;      // no command on the command line
};

class PartitionAccess {
 public:
  virtual ~PartitionAccess() = default;
  // 0 when a partition is mounted, else the error code (also after /MBR).
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
  // The text of an error number: the internal name with " - {internal}", a
  // system message, or an empty text.
  virtual std::string ErrorText(int code) const = 0;
};

}  // namespace partshell
