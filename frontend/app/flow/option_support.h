// What the option flows share: the package's files and version, the volume
// label, and the start of the two workers.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "model/main_dialog_model.h"
#include "zolp/host.h"
#include "zolp/messages.h"

namespace zolp {

inline constexpr const char* kPackageFile = "DD.CFG";
// The configuration's name on the tools' command lines and in the section
// lookups ("dd.cfg"); the package directory finds it whatever its case.
inline constexpr const char* kConfigName = "dd.cfg";
inline constexpr const char* kVersionFile = "Version.txt";
inline constexpr const char* kReadmeFile = "readme.txt";

// The "OEM Ver" value of Version.txt: the package version.
std::optional<std::string> ReadPackageVersion(const Services& services);
// The volume label the options hand to vellix: the package version, or "Unknown".
std::string VolumeLabel(const Services& services);

// The workers on threads of their own. false (system error set) when no
// thread could be started; the job then stays with the caller.
bool StartImageBuild(const Services& services, const BuildJob& job);
bool StartImageCopy(const Services& services, const CopyJob& job);

}  // namespace zolp
