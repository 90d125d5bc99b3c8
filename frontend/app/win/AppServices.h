// The front end's services and run options, wired once at start-up and read
// by every dialog afterwards.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "flow/option_support.h"
#include "zolp/host.h"

namespace zolp::win {

void SetAppServices(const Services& services);
const Services& AppServices();

// A value from a whole-file lookup, cut to maxLength characters.
std::optional<std::string> PackageValue(const char* file, std::string_view key, bool prefix,
                                        std::size_t maxLength);
// Whether DD.CFG has a line whose key is this text (a section header, say).
bool PackageHasLine(std::string_view key);
// The "OEM Ver" value of Version.txt: the package version.
std::optional<std::string> PackageVersion();

}  // namespace zolp::win
