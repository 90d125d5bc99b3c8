#include "zolp/package_config.h"

#include <cctype>
#include <vector>

#include "common/text.h"
#include "text_lines.h"
#include "zolp/report.h"

namespace zolp {

using common::EqualsIgnoreCase;
using common::StartsWithIgnoreCase;
using detail::TrimBlanks;

namespace {

// A line split at its first '=' or ':' into the key token and what follows.
struct KeyLine {
  std::string_view token;  // trimmed; empty when the line has none
  std::string_view rest;   // after the separator; empty without one
};

KeyLine SplitKeyLine(std::string_view line) {
  line = detail::TrimLeadingBlanks(line);
  const std::size_t cut = line.find_first_of("=:");
  KeyLine result;
  result.token = detail::TrimTrailingBlanks(line.substr(0, cut));
  if (cut != std::string_view::npos) result.rest = line.substr(cut + 1);
  return result;
}

// The value ends at the next separator, as the key did; but the colon of a
// drive ("ImageName=C:\images\x.img") is part of a path, not a separator.
std::string_view ValueOf(std::string_view rest) {
  rest = detail::TrimLeadingBlanks(rest);
  const bool drivePath = rest.size() >= 3 && std::isalpha(static_cast<unsigned char>(rest[0])) &&
                         rest[1] == ':' && (rest[2] == '\\' || rest[2] == '/');
  return TrimBlanks(rest.substr(0, rest.find_first_of("=:", drivePath ? 2 : 0)));
}

bool KeyMatches(std::string_view token, std::string_view key, bool prefix) {
  return prefix ? StartsWithIgnoreCase(token, key) : EqualsIgnoreCase(token, key);
}

void AppendContinuation(const std::vector<std::string>& lines, std::size_t next,
                        std::string& value) {
  for (; next < lines.size(); ++next) {
    const std::string_view line = TrimBlanks(lines[next]);
    if (line.find(':') != std::string_view::npos) break;
    // A following section is not part of the value, and blank lines add nothing.
    if (!line.empty() && line.front() == '[') break;
    if (line.empty()) continue;
    value += ' ';
    value += line;
  }
}

void HandLinesToCallback(const std::vector<std::string>& lines, std::size_t next,
                         const PackageLineCallback& callback) {
  for (; next < lines.size(); ++next) {
    const KeyLine kl = SplitKeyLine(lines[next]);
    if (kl.token.empty()) continue;
    if (kl.token.front() == '[') return;
    if (kl.token.front() == ';') continue;
    if (callback(kl.token)) return;
  }
}

}  // namespace

bool ReadPackageValue(const Services& services, const std::string& path, const char* section,
                      std::string_view key, bool prefix, char* value, std::size_t valueSize,
                      const PackageLineCallback& callback, bool continuation) {
  if (value != nullptr && valueSize > 0) value[0] = '\0';

  std::vector<std::string> lines;
  if (!detail::ReadTextLines(*services.files, path, lines)) {
    ReportLastError(services, true, "Opening " + path, "File Open Failed");
    return false;
  }

  const std::string_view wantedSection = section ? section : "";
  const bool sectionGiven = !wantedSection.empty();
  bool inSection = !sectionGiven;
  bool found = false;

  for (std::size_t i = 0; i < lines.size(); ++i) {
    const KeyLine kl = SplitKeyLine(lines[i]);
    if (kl.token.empty()) continue;
    if (!inSection) {
      inSection = EqualsIgnoreCase(kl.token, wantedSection);
      continue;
    }
    if (sectionGiven && kl.token.front() == '[') break;
    if (!KeyMatches(kl.token, key, prefix)) continue;
    found = true;

    if (value != nullptr) {
      std::string text(ValueOf(kl.rest));
      if (text.empty()) continue;  // an empty value: a later line may have one
      if (continuation) AppendContinuation(lines, i + 1, text);
      detail::CopyTruncated(text, value, valueSize);
      break;
    }
    if (callback) HandLinesToCallback(lines, i + 1, callback);
    break;
  }
  return found;
}

bool FindPackageValue(const Services& services, const std::string& path, std::string_view key,
                      bool prefix, char* value, std::size_t valueSize,
                      const PackageLineCallback& callback, bool continuation) {
  return ReadPackageValue(services, path, nullptr, key, prefix, value, valueSize, callback,
                          continuation);
}

void ReadDiagVersion(const Services& services, const std::string& path, char* buffer,
                     std::size_t size) {
  detail::CopyTruncated("Unknown", buffer, size);
  std::vector<std::string> lines;
  if (!detail::ReadTextLines(*services.files, path, lines)) return;

  bool headerSeen = false;
  for (const std::string& raw : lines) {
    const std::string_view line = TrimBlanks(raw);
    if (!headerSeen) {
      if (line.empty() || line.front() == ';' || line.front() == '#') continue;
      if (!EqualsIgnoreCase(line, "[DiagVersion]")) return;
      headerSeen = true;
      continue;
    }
    if (!line.empty()) detail::CopyTruncated(line, buffer, size);
    return;
  }
}

}  // namespace zolp
