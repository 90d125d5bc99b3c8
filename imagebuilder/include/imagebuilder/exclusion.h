// ExcludeFile patterns: a directory part relative to FileRoot and a name
// pattern with '*' and '?' wildcards.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "imagebuilder/host.h"

namespace imagebuilder {

struct ExclusionPattern {
  std::string directory;  // "" at FileRoot, "SUB\" or "SUB\DEEP\" below it
  std::string pattern;    // name cut to 8 and extension (dot included) to 4
  std::string fullPattern;  // the name part as given
};

// Splits every ExcludeFile value; '/' is read as '\'.
std::vector<ExclusionPattern> CompileExclusions(const std::vector<std::string>& values);

// Case-insensitive match with '*' (any run) and '?' (one character).
bool WildcardMatch(std::string_view pattern, std::string_view name);

// True when the entry of the directory `relativeDirectory` is to be left out.
bool IsExcluded(const std::vector<ExclusionPattern>& patterns, std::string_view relativeDirectory,
                const HostEntry& entry);

}  // namespace imagebuilder
