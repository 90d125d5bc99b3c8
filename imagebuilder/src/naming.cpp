#include "imagebuilder/naming.h"

#include <algorithm>

#include "common/short_names.h"
#include "common/text.h"

namespace imagebuilder {
namespace {

void PadInto(ShortName& out, std::size_t at, std::string_view part, std::size_t width) {
  for (std::size_t i = 0; i < width; ++i) {
    out[at + i] = i < part.size() ? static_cast<std::uint8_t>(part[i]) : ' ';
  }
}

}  // namespace

void PrepareListing(std::vector<HostEntry>& entries) {
  std::sort(entries.begin(), entries.end(), [](const HostEntry& a, const HostEntry& b) {
    return common::ListingLess(a.name, b.name);
  });
  std::vector<std::string> names;
  std::vector<std::string> given;
  names.reserve(entries.size());
  given.reserve(entries.size());
  for (const HostEntry& e : entries) {
    names.push_back(e.name);
    given.push_back(e.shortAlias);
  }
  std::vector<std::string> aliases = common::AssignShortAliases(names, given);
  for (std::size_t i = 0; i < entries.size(); ++i) entries[i].shortAlias = std::move(aliases[i]);
}

std::size_t ForbiddenNameCharacter(std::string_view name) {
  for (std::size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    if (static_cast<unsigned char>(c) < 0x20 || common::kForbiddenNameChars.find(c) != std::string_view::npos) {
      return i;
    }
  }
  return std::string_view::npos;
}

EntryNames NameEntry(const HostEntry& entry) {
  EntryNames names;
  const bool hasAlias = !entry.shortAlias.empty();
  const std::string shortText = common::UpperAscii(hasAlias ? entry.shortAlias : entry.name);
  if (hasAlias || shortText != entry.name) names.longName = entry.name;
  if (ForbiddenNameCharacter(entry.name) != std::string_view::npos) {
    names.error = 35;
    return names;
  }
  if (!shortText.empty() && shortText.front() == ' ') {
    names.error = 35;
    return names;
  }
  if (shortText.size() >= 13) {
    names.error = 51;
    return names;
  }
  const std::size_t dot = shortText.find('.');
  if (dot == std::string::npos) {
    PadInto(names.shortName, 0, shortText, 11);
  } else {
    PadInto(names.shortName, 0, std::string_view(shortText).substr(0, dot), 8);
    PadInto(names.shortName, 8, std::string_view(shortText).substr(dot + 1), 3);
  }
  return names;
}

ShortName DotName(bool dotDot) {
  ShortName n{};
  PadInto(n, 0, dotDot ? ".." : ".", 11);
  return n;
}

ShortName LabelName(std::string_view label) {
  ShortName n{};
  PadInto(n, 0, common::UpperAscii(label), 11);
  return n;
}

std::uint32_t LongNameEntryCount(std::string_view longName) {
  if (longName.empty()) return 0;
  const std::size_t units = common::Utf8ToUtf16(longName).size();
  return static_cast<std::uint32_t>((units + common::kLongNameCharsPerSlot - 1) / common::kLongNameCharsPerSlot);
}

}  // namespace imagebuilder
