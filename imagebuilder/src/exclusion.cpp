#include "imagebuilder/exclusion.h"

#include "common/text.h"

namespace imagebuilder {
namespace {

bool MatchesPattern(std::string_view pattern, std::string_view name) {
  if (WildcardMatch(pattern, name)) return true;
  // "NAME.*" also finds names without an extension, as directory searches do.
  if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*") {
    return WildcardMatch(pattern.substr(0, pattern.size() - 2), name);
  }
  return false;
}

}  // namespace

std::vector<ExclusionPattern> CompileExclusions(const std::vector<std::string>& values) {
  std::vector<ExclusionPattern> out;
  for (std::string v : values) {
    for (char& c : v) {
      if (c == '/') c = '\\';
    }
    while (!v.empty() && v.front() == '\\') v.erase(v.begin());
    while (!v.empty() && v.back() == '\\') v.pop_back();
    if (v.empty()) continue;
    ExclusionPattern p;
    const std::size_t slash = v.rfind('\\');
    std::string file = v;
    if (slash != std::string::npos) {
      p.directory = v.substr(0, slash + 1);
      file = v.substr(slash + 1);
    }
    const std::size_t dot = file.rfind('.');
    std::string name = dot == std::string::npos ? file : file.substr(0, dot);
    std::string ext = dot == std::string::npos ? std::string{} : file.substr(dot);
    p.pattern = name.substr(0, 8) + ext.substr(0, 4);
    p.fullPattern = file;
    out.push_back(std::move(p));
  }
  return out;
}

bool WildcardMatch(std::string_view pattern, std::string_view name) {
  std::size_t p = 0;
  std::size_t n = 0;
  std::size_t starP = std::string_view::npos;
  std::size_t starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || common::UpperAscii(pattern[p]) == common::UpperAscii(name[n]))) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool IsExcluded(const std::vector<ExclusionPattern>& patterns, std::string_view relativeDirectory,
                const HostEntry& entry) {
  for (const ExclusionPattern& p : patterns) {
    if (!common::EqualsIgnoreCase(p.directory, relativeDirectory)) continue;
    for (const std::string* pat : {&p.pattern, &p.fullPattern}) {
      if (MatchesPattern(*pat, entry.name)) return true;
      if (!entry.shortAlias.empty() && MatchesPattern(*pat, entry.shortAlias)) return true;
    }
  }
  return false;
}

}  // namespace imagebuilder
