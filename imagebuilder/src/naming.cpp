#include "imagebuilder/naming.h"

#include <algorithm>
#include <cstring>

namespace imagebuilder {
namespace {

char FoldAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Characters an 8.3 name may hold besides letters and digits.
bool IsShortSpecial(char c) { return std::strchr("!#$%&'()-@^_`{}~", c) != nullptr && c != 0; }

bool IsShortChar(char c) {
  const auto u = static_cast<unsigned char>(c);
  if (u >= 0x80 || u < 0x21) return false;
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
         IsShortSpecial(c);
}

// One character of a generated alias: upper case, or '_' when 8.3 has no room for it.
char AliasChar(char c) {
  const char f = FoldAscii(c);
  return IsShortChar(f) ? f : '_';
}

void PadInto(ShortName& out, std::size_t at, std::string_view part, std::size_t width) {
  for (std::size_t i = 0; i < width; ++i) {
    out[at + i] = i < part.size() ? static_cast<std::uint8_t>(part[i]) : ' ';
  }
}

}  // namespace

bool IsValidShortName(std::string_view name) {
  const std::size_t dot = name.find('.');
  const std::string_view base = name.substr(0, dot);
  const std::string_view ext =
      dot == std::string_view::npos ? std::string_view{} : name.substr(dot + 1);
  if (base.empty() || base.size() > 8 || ext.size() > 3) return false;
  if (dot != std::string_view::npos && ext.empty()) return false;
  for (char c : base) {
    if (!IsShortChar(c)) return false;
  }
  for (char c : ext) {
    if (!IsShortChar(c)) return false;
  }
  return true;
}

std::string UpperAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = FoldAscii(c);
  return out;
}

bool ListingLess(std::string_view a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(FoldAscii(a[i]));
    const auto y = static_cast<unsigned char>(FoldAscii(b[i]));
    if (x != y) return x < y;
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;  // names that differ only in case: a fixed order all the same
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

std::string MakeShortAlias(std::string_view name, const std::set<std::string>& taken) {
  std::string_view rest = name;
  while (!rest.empty() && (rest.front() == '.' || rest.front() == ' ')) rest.remove_prefix(1);
  const std::size_t dot = rest.rfind('.');
  std::string base;
  std::string ext;
  const std::string_view basePart = dot == std::string_view::npos ? rest : rest.substr(0, dot);
  for (char c : basePart) {
    if (c != '.' && c != ' ') base.push_back(AliasChar(c));
  }
  if (dot != std::string_view::npos) {
    for (char c : rest.substr(dot + 1)) {
      if (c != ' ' && ext.size() < 3) ext.push_back(AliasChar(c));
    }
  }
  if (base.empty()) base = "_";
  for (unsigned n = 1; n < 10000000; ++n) {
    const std::string tail = "~" + std::to_string(n);
    std::string candidate = base.substr(0, 8 - tail.size()) + tail;
    if (!ext.empty()) candidate += "." + ext;
    if (taken.count(candidate) == 0) return candidate;
  }
  return "_~0";  // a directory never holds ten million colliding names
}

void PrepareListing(std::vector<HostEntry>& entries) {
  std::sort(entries.begin(), entries.end(),
            [](const HostEntry& a, const HostEntry& b) { return ListingLess(a.name, b.name); });
  std::set<std::string> taken;
  std::vector<bool> needsAlias(entries.size(), false);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    HostEntry& e = entries[i];
    if (!e.shortAlias.empty()) {
      taken.insert(UpperAscii(e.shortAlias));
    } else if (IsValidShortName(e.name) && taken.insert(UpperAscii(e.name)).second) {
      // keeps its own name
    } else {
      needsAlias[i] = true;
    }
  }
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (!needsAlias[i]) continue;
    entries[i].shortAlias = MakeShortAlias(entries[i].name, taken);
    taken.insert(entries[i].shortAlias);
  }
}

std::size_t ForbiddenNameCharacter(std::string_view name) {
  for (std::size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    if (static_cast<unsigned char>(c) < 0x20 || std::strchr("\"*/:<>?\\|", c) != nullptr) {
      return i;
    }
  }
  return std::string_view::npos;
}

EntryNames NameEntry(const HostEntry& entry) {
  EntryNames names;
  const bool hasAlias = !entry.shortAlias.empty();
  const std::string shortText = UpperAscii(hasAlias ? entry.shortAlias : entry.name);
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
  PadInto(n, 0, UpperAscii(label), 11);
  return n;
}

std::uint8_t LongNameChecksum(const ShortName& name) {
  std::uint8_t sum = 0;
  for (std::uint8_t b : name) {
    sum = static_cast<std::uint8_t>(((sum & 1) << 7) + (sum >> 1) + b);
  }
  return sum;
}

std::u16string ToUtf16(std::string_view utf8) {
  std::u16string out;
  std::size_t i = 0;
  while (i < utf8.size()) {
    const auto b0 = static_cast<unsigned char>(utf8[i]);
    std::size_t len = 0;
    char32_t cp = 0;
    if (b0 < 0x80) {
      len = 1;
      cp = b0;
    } else if ((b0 & 0xE0) == 0xC0) {
      len = 2;
      cp = b0 & 0x1F;
    } else if ((b0 & 0xF0) == 0xE0) {
      len = 3;
      cp = b0 & 0x0F;
    } else if ((b0 & 0xF8) == 0xF0) {
      len = 4;
      cp = b0 & 0x07;
    }
    bool valid = len > 0 && i + len <= utf8.size();
    for (std::size_t k = 1; valid && k < len; ++k) {
      const auto b = static_cast<unsigned char>(utf8[i + k]);
      if ((b & 0xC0) != 0x80) valid = false;
      cp = (cp << 6) | (b & 0x3F);
    }
    if (valid && len > 1) {
      static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
      if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) valid = false;
    }
    if (!valid) {
      out.push_back(static_cast<char16_t>(b0));  // read as Latin-1
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += len;
  }
  return out;
}

std::uint32_t LongNameEntryCount(std::string_view longName) {
  if (longName.empty()) return 0;
  const std::size_t units = ToUtf16(longName).size();
  return static_cast<std::uint32_t>((units + 12) / 13);
}

}  // namespace imagebuilder
