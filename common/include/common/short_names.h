// Short (8.3) names: which names are valid as they stand, the checksum that
// ties long-name slots to their short entry, and the alias Windows gives a
// name that is not a valid 8.3 name, one name at a time or for a whole
// directory.
//
// The alias rule: the name upper-cased; leading dots dropped, and trailing
// dots and blanks (Windows keeps none); blanks dropped everywhere; the
// extension is what follows the last dot, cut to 3; the basis is what comes
// before it without its dots; each character a short name cannot hold
// becomes one '_' (a character, not a byte: "ü" is one). The basis is cut so
// that the numeric tail "~N" fits in 8, with N the first number whose alias
// is not taken: ~1..~9 on six characters of the basis, ~10..~99 on five, and
// so on. This is the tail scheme of the VFAT driver of Windows 95 and of the
// first four tails of Windows NT, which after ~4 switches to a hash of the
// long name that Microsoft leaves undocumented.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <numeric>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "common/fat_layout.h"
#include "common/text.h"

namespace common {

// Characters an 8.3 name may hold: letters (either case, stored upper),
// digits and ! # $ % & ' ( ) - @ ^ _ ` { } ~.
constexpr bool IsShortNameChar(char c) {
  const auto u = static_cast<unsigned char>(c);
  if (u >= 0x80 || u < 0x21) return false;
  if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
  return std::string_view("!#$%&'()-@^_`{}~").find(c) != std::string_view::npos;
}

// True when `name` is a valid 8.3 name as it stands (any letter case): a
// basis of 1..8 characters and, after one dot, an extension of 1..3. So ".",
// "..", "A..B", "A.B.C", "A." and ".A" are not.
constexpr bool IsValidShortName(std::string_view name) {
  const std::size_t dot = name.find('.');
  const std::string_view base = name.substr(0, dot);
  const std::string_view ext = dot == std::string_view::npos ? std::string_view{} : name.substr(dot + 1);
  if (base.empty() || base.size() > 8 || ext.size() > 3) return false;
  if (dot != std::string_view::npos && ext.empty()) return false;
  for (char c : base) {
    if (!IsShortNameChar(c)) return false;
  }
  for (char c : ext) {
    if (!IsShortNameChar(c)) return false;
  }
  return true;
}

// Characters Windows refuses in any name, besides the controls 0x00-0x1F.
inline constexpr std::string_view kForbiddenNameChars = "\"*/:<>?\\|";

// True when Windows takes `name` (UTF-8) as a long name: not empty, not "."
// or "..", no control character, none of " * / : < > ? \ |, and at most 255
// UTF-16 characters.
inline bool IsValidLongName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || kForbiddenNameChars.find(c) != std::string_view::npos) return false;
  }
  return Utf8ToUtf16(name).size() <= 255;
}

// The checksum of the 11 name bytes that a short name's long-name slots carry.
constexpr std::uint8_t ShortNameChecksum(const std::uint8_t* name11) {
  std::uint8_t sum = 0;
  for (std::size_t i = 0; i < kShortNameSize; ++i) {
    sum = static_cast<std::uint8_t>(((sum & 1) << 7) + (sum >> 1) + name11[i]);
  }
  return sum;
}

// "NAME.EXT" (or "NAME") of a directory entry, the blank padding removed.
inline std::string EntryDisplayName(const std::uint8_t* e) {
  std::string name(reinterpret_cast<const char*>(e + DIR_Name), 8);
  std::string ext(reinterpret_cast<const char*>(e + DIR_Ext), 3);
  while (!name.empty() && name.back() == ' ') name.pop_back();
  while (!ext.empty() && ext.back() == ' ') ext.pop_back();
  return ext.empty() ? name : name + "." + ext;
}

// The order in which a directory's names are listed and given their tails:
// ignoring letter case; names that differ in case only, upper case first.
constexpr bool ListingLess(std::string_view a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(UpperAscii(a[i]));
    const auto y = static_cast<unsigned char>(UpperAscii(b[i]));
    if (x != y) return x < y;
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

namespace alias_detail {

// The alias of a name before its tail: the basis, not yet cut, and the extension.
struct Basis {
  std::string base;
  std::string ext;
};

constexpr char AliasChar(char32_t c) {
  if (c >= 0x80) return '_';
  const char a = UpperAscii(static_cast<char>(c));
  return IsShortNameChar(a) ? a : '_';
}

inline Basis MakeBasis(std::string_view name) {
  std::size_t begin = 0;
  std::size_t end = name.size();
  while (begin < end && (name[begin] == '.' || name[begin] == ' ')) ++begin;
  while (end > begin && (name[end - 1] == '.' || name[end - 1] == ' ')) --end;
  const std::string_view rest = name.substr(begin, end - begin);
  const std::size_t dot = rest.rfind('.');
  Basis b;
  const std::string_view basePart = dot == std::string_view::npos ? rest : rest.substr(0, dot);
  for (std::size_t i = 0; i < basePart.size();) {
    const char32_t c = NextUtf8(basePart, i);
    if (c != '.' && c != ' ') b.base.push_back(AliasChar(c));
  }
  if (dot != std::string_view::npos) {
    const std::string_view extPart = rest.substr(dot + 1);
    for (std::size_t i = 0; i < extPart.size() && b.ext.size() < 3;) {
      const char32_t c = NextUtf8(extPart, i);
      if (c != ' ') b.ext.push_back(AliasChar(c));
    }
  }
  if (b.base.empty()) b.base = "_";
  return b;
}

// Tails run up to ~9999999, which leaves no room for the basis; a directory
// never holds that many names.
inline constexpr unsigned kLastTail = 9999999;

inline std::string WithTail(const Basis& b, unsigned n) {
  const std::string tail = "~" + std::to_string(n);
  std::string alias = b.base.substr(0, 8 - tail.size()) + tail;
  if (!b.ext.empty()) alias += "." + b.ext;
  return alias;
}

// The first alias from tail `n` on that is not taken; `n` is left at its tail.
inline std::string FirstFree(const Basis& b, const std::set<std::string>& taken, unsigned& n) {
  for (; n <= kLastTail; ++n) {
    std::string candidate = WithTail(b, n);
    if (taken.count(candidate) == 0) return candidate;
  }
  return "_~0";
}

}  // namespace alias_detail

// The alias Windows would give `longName` in a directory whose short names
// (upper case) are `taken`.
inline std::string ShortAlias(std::string_view longName, const std::set<std::string>& taken) {
  unsigned n = 1;
  return alias_detail::FirstFree(alias_detail::MakeBasis(longName), taken, n);
}

// The short names of one directory, the same whatever order its names come
// in: the names are taken in ListingLess order; an alias the host already
// gave a name (given[i], when not empty) is kept, and a valid 8.3 name keeps
// itself unless an earlier name has it; every other name gets ShortAlias
// against all of these and the aliases handed out before it. Element i of the
// answer is the alias of names[i], or empty where the name is its own short
// name.
inline std::vector<std::string> AssignShortAliases(const std::vector<std::string>& names,
                                                   const std::vector<std::string>& given = {}) {
  std::vector<std::size_t> order(names.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::sort(order.begin(), order.end(),
            [&names](std::size_t a, std::size_t b) { return ListingLess(names[a], names[b]); });
  std::set<std::string> taken;
  std::vector<std::string> aliases(names.size());
  std::vector<std::size_t> pending;
  for (std::size_t i : order) {
    if (i < given.size() && !given[i].empty()) {
      aliases[i] = given[i];
      taken.insert(UpperAscii(given[i]));
    } else if (!IsValidShortName(names[i]) || !taken.insert(UpperAscii(names[i])).second) {
      pending.push_back(i);
    }
  }
  // Names whose aliases share six characters of the basis and the extension
  // try the same aliases, so each such group goes on from the tail it reached:
  // a folder of many similar names costs no more than one pass.
  std::map<std::string, unsigned> nextTail;
  for (std::size_t i : pending) {
    const alias_detail::Basis b = alias_detail::MakeBasis(names[i]);
    unsigned& n = nextTail.try_emplace(b.base.substr(0, 6) + "." + b.ext, 1u).first->second;
    aliases[i] = alias_detail::FirstFree(b, taken, n);
    taken.insert(aliases[i]);
  }
  return aliases;
}

}  // namespace common
