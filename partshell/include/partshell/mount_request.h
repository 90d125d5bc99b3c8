// What the switches ask of the mount: which partition, and how.
#pragma once

#include <cstdint>

namespace partshell {

struct MountRequest {
  int wanted_index = 0;          // entry 0..4, -1 when a type is asked for
  std::uint8_t wanted_type = 0;  // 0 when an index is asked for
  bool no_mbr_write = false;     // /NOWRITEMBR
  bool show_mbr_only = false;    // /MBR: show the MBR, mount nothing
  bool interactive = false;      // no command given: announce the device
};

}  // namespace partshell
