// Extraction of the two tools from the program's resources and the runners
// that start them: the partition command runner (torbel), the image build
// worker (vellix) and the command-interpreter runner (cmd.exe /C).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "zolp/host.h"
#include "zolp/messages.h"

namespace zolp {

inline constexpr const char* kToolResourceType = "BIN";
inline constexpr int kTorbelResource = 149;
inline constexpr int kVellixResource = 150;
inline constexpr const char* kTorbelPath = ".\\torbel.exe";
inline constexpr const char* kVellixPath = ".\\vellix.exe";
inline constexpr const char* kUpTestRoot = "C:\\UP";
inline constexpr const char* kDebugLog = "zolp.log";
// The exit code handed out when a tool's own could not be had (it did not start,
// or the system lost it): never 0, and none a tool gives.
inline constexpr std::uint32_t kExitCodeUnknown = 0xFFFFFFFF;

bool ExtractTool(const Services& services, std::string_view type, int id,
                 const std::string& destination);
void DeleteToolFile(const Services& services, const std::string& path);

// 0; -1 when cmd.exe could not be started; the system error when the system
// directory could not be read or cmd's exit code was lost. exitCode (optional)
// receives cmd's exit code, kExitCodeUnknown whenever the answer is not 0.
std::int32_t RunCommandShell(const Services& services, std::string_view command,
                             std::uint32_t* exitCode = nullptr);

// Runs ".\torbel.exe /TDE <command>" (up to four runs while the exit code asked
// for is not 0), or emulates the command against C:\UP in test mode. Answers
// the run status: 0 when the shell ran and told its exit code, else a system
// error code (1 when C:\UP is missing or the emulated command is wrong); a shell
// that did not start, or whose exit code was lost, gives kExitCodeUnknown.
std::uint32_t RunPartitionShell(const Services& services, std::string_view command,
                                std::uint32_t* exitCode = nullptr);

// The image build worker: extracts and runs vellix with the job's command
// line, shows the failure text, posts 0x502 and answers the exit code.
std::int32_t ImageBuildThread(const Services& services, const BuildJob& job);
void ShowImageBuildError(const Services& services, std::int32_t exitCode);
// The text for a vellix exit code; null for a code without text.
const char* ImageBuildErrorText(std::int32_t exitCode);

}  // namespace zolp
