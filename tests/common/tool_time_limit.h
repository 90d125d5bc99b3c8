// The external tools the tests run (fsck.fat, mtools, sfdisk, isoinfo,
// xorriso, ...) get two minutes each: a corrupt image must fail a test, not
// hang it.
#pragma once

#include <string>

namespace testtools {

// `command` as one shell command line run under `timeout`.
inline std::string WithTimeLimit(const std::string& command) {
  std::string quoted = "'";
  for (char c : command) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return "timeout -k 5 120 sh -c " + quoted + "'";
}

}  // namespace testtools
