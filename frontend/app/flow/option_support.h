// What the option flows share: the package's files and version, the volume
// label, and the start of the two workers.
#pragma once

#include <cstddef>
#include <cstdint>
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
// Starts the image build worker on a job for the dialog's window and command
// line; when no thread starts, reports "Start vellix", forgets the job and
// answers false.
bool StartBuildJob(const Services& services, std::optional<BuildJob>& job, WindowRef owner,
                   const std::string& commandLine);
// What a failed copy (0x500) shows: the text as it stands for -1, else the
// step with the system's message for the code.
std::string CopyFailureMessage(const Services& services, std::intptr_t error, const char* step);

}  // namespace zolp
