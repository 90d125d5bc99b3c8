// Line lookups in DD.CFG, Version.txt and the diagnostics version file.
// A key ends at '=', ':' or the line end; values have no inline comments.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "zolp/host.h"

namespace zolp {

// Handed each line's first token after a match; answers true to stop.
using PackageLineCallback = std::function<bool(std::string_view token)>;

// section: a header such as "[HDD]", or null/empty for the whole file.
// value: null for a presence test (or with a callback). continuation: lines
// without ':' after the value are appended to it, each after one blank.
bool ReadPackageValue(const Services& services, const std::string& path, const char* section,
                      std::string_view key, bool prefix, char* value, std::size_t valueSize,
                      const PackageLineCallback& callback = {}, bool continuation = false);

bool FindPackageValue(const Services& services, const std::string& path, std::string_view key,
                      bool prefix, char* value, std::size_t valueSize,
                      const PackageLineCallback& callback = {}, bool continuation = false);

// The line after "[DiagVersion]", or "Unknown".
void ReadDiagVersion(const Services& services, const std::string& path, char* buffer,
                     std::size_t size);

}  // namespace zolp
