// Finds over a pattern in the local file system, the way the Windows find
// functions answer them, on any host that can list a directory.
#include <algorithm>
#include <filesystem>

#include "common/short_names.h"
#include "common/text.h"
#include "partshell/local_files.h"

namespace partshell {

namespace {

bool Match(const char* p, const char* n) {
  for (; *p != '\0'; ++p) {
    if (*p == '*') {
      while (p[1] == '*') ++p;
      if (p[1] == '\0') return true;
      for (const char* rest = n; *rest != '\0'; ++rest) {
        if (Match(p + 1, rest)) return true;
      }
      return Match(p + 1, n + std::char_traits<char>::length(n));
    }
    if (*n == '\0') {
      // "name.*" and "*." also match a name without a dot.
      return (*p == '.' && (p[1] == '*' || p[1] == '\0') && (p[1] == '\0' || p[2] == '\0'));
    }
    if (*p != '?' && common::UpperAscii(*p) != common::UpperAscii(*n)) return false;
    ++n;
  }
  return *n == '\0';
}

}  // namespace

bool LocalNameMatches(const std::string& pattern, const std::string& name) {
  if (pattern == "*.*" || pattern == "*") return true;
  return Match(pattern.c_str(), name.c_str());
}

void AssignShortNames(std::vector<LocalEntry>& entries) {
  // The aliases the host gave stand; every other name that is not a valid 8.3
  // name gets the one Windows would give it in this directory.
  std::vector<std::string> names, given;
  names.reserve(entries.size());
  given.reserve(entries.size());
  for (const LocalEntry& entry : entries) {
    names.push_back(entry.name);
    given.push_back(entry.short_name);
  }
  const std::vector<std::string> aliases = common::AssignShortAliases(names, given);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].short_name.empty()) entries[i].short_name = aliases[i];
  }
}

bool LocalEntryMatches(const std::string& pattern, const LocalEntry& entry) {
  // A pattern matches a name or its alias, as the Windows find functions do.
  return LocalNameMatches(pattern, entry.name) ||
         (!entry.short_name.empty() && LocalNameMatches(pattern, entry.short_name));
}

std::unique_ptr<LocalSearch> LocalFiles::FindFirst(const std::string& pattern, LocalEntry& entry) {
  std::string normal = pattern;
  for (char& c : normal) {
    if (c == '/') c = '\\';
  }
  const auto sep = normal.find_last_of("\\:");
  const std::string directory = sep == std::string::npos ? "." : normal.substr(0, sep + 1);
  const std::string name_pattern = sep == std::string::npos ? normal : normal.substr(sep + 1);
  auto search = std::make_unique<LocalSearch>();
  if (name_pattern.find_first_of("*?") == std::string::npos) {
    const std::string path = HostPath(normal);
    const LocalStatus status = Status(path);
    const std::string leaf = std::filesystem::path(path).filename().string();
    std::vector<LocalEntry> listed;
    std::uint32_t error = 0;
    // A long name gets its alias, and an alias (a name with a "~") its long name, from
    // the listing of their directory; a plain 8.3 name is taken as it stands.
    const bool listing_needed = !common::IsValidShortName(leaf) || leaf.find('~') != std::string::npos;
    if (status.kind != LocalKind::missing && listing_needed && ReadDirectory(HostPath(directory), listed, error)) {
      for (LocalEntry& listed_entry : listed) {
        if (listed_entry.name == leaf ||
            (!listed_entry.short_name.empty() && common::EqualsIgnoreCase(listed_entry.short_name, leaf))) {
          search->matches_.push_back(std::move(listed_entry));
          break;
        }
      }
    }
    if (status.kind != LocalKind::missing && search->matches_.empty()) {
      LocalEntry only;
      // The host's own reading of the path's last component.
      only.name = std::filesystem::path(path).filename().string();
      only.kind = status.kind;
      only.attributes = status.attributes;
      only.size = status.size;
      only.last_write = status.last_write;
      search->matches_.push_back(std::move(only));
    }
  } else {
    std::vector<LocalEntry> listed;
    std::uint32_t error = 0;
    ReadDirectory(HostPath(directory), listed, error);
    for (LocalEntry& listed_entry : listed) {
      if (LocalEntryMatches(name_pattern, listed_entry)) search->matches_.push_back(std::move(listed_entry));
    }
    // In name order, as the Windows find functions list an NTFS directory,
    // whatever order the host's directory keeps.
    std::sort(search->matches_.begin(), search->matches_.end(),
              [](const LocalEntry& a, const LocalEntry& b) { return common::UpperAscii(a.name) < common::UpperAscii(b.name); });
  }
  if (!FindNext(*search, entry)) return nullptr;
  return search;
}

bool LocalFiles::FindNext(LocalSearch& search, LocalEntry& entry) {
  if (search.next_ >= search.matches_.size()) return false;
  entry = search.matches_[search.next_++];
  return true;
}

}  // namespace partshell
