// What the option flows share: the start of the two workers (the package's
// files, version and volume label are the core's, zolp/vellix_command.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "model/main_dialog_model.h"
#include "zolp/host.h"
#include "zolp/messages.h"
#include "zolp/vellix_command.h"

namespace zolp {

static_assert(kPackageVersionMax == kPackageVersionLength);

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
