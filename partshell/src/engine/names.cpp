// 8.3 names, wildcard patterns and the name checks of SYS: and local paths.
#include <string>

#include "partshell/error_codes.h"
#include "partshell/fat16_engine.h"

namespace partshell {

namespace {

std::string UpperPadded(std::string_view text, std::size_t width) {
  std::string out;
  for (std::size_t i = 0; i < text.size() && i < width; ++i) out += UpperAscii(text[i]);
  out.resize(width, ' ');
  return out;
}

std::string ExpandPart(std::string_view part, std::size_t width) {
  std::string out;
  bool star = false;
  for (std::size_t i = 0; i < width; ++i) {
    if (!star && i < part.size() && part[i] == '*') star = true;
    if (star) {
      out += '?';
    } else {
      out += i < part.size() ? UpperAscii(part[i]) : ' ';
    }
  }
  return out;
}

std::string_view LastComponent(std::string_view text) {
  const auto sep = text.find_last_of("\\/:");
  return sep == std::string_view::npos ? text : text.substr(sep + 1);
}

int CheckName(std::string_view input, bool allow_wildcards, std::size_t colon_position, bool allow_blanks,
              std::string& message) {
  std::string name(input);
  for (char& c : name) {
    if (c == '/') c = '\\';
  }
  bool colon_seen = false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (name[i] != ':') continue;
    if (colon_seen) {
      message = Format("Unexpected Extra ':': %s", name.c_str());
      return BAD_FILENAME_DRIVE_REFERENCE;
    }
    if (i != colon_position) {
      message = Format("Invalid Drive Reference: %s", name.c_str());
      return BAD_FILENAME_DRIVE_REFERENCE;
    }
    colon_seen = true;
  }
  static constexpr std::string_view kForbidden = "`!@#$%^&()+=|{}[]\";'<>/, ";
  for (const char c : name) {
    if (static_cast<unsigned char>(c) >= 0x80) {
      message = Format("Unexpected 8-bit Character Encountered: %s", name.c_str());
      return BAD_FILENAME_DRIVE_REFERENCE;
    }
    if ((kForbidden.find(c) != std::string_view::npos && !(allow_blanks && c == ' ')) ||
        (!allow_wildcards && (c == '*' || c == '?'))) {
      message = Format("Unexpected Character '%c' Encountered: %s", c, name.c_str());
      return BAD_FILENAME_DRIVE_REFERENCE;
    }
  }
  return 0;
}

}  // namespace

Name83 SplitName83(std::string_view text) {
  const std::string_view component = LastComponent(text);
  const std::string_view part = component.substr(0, 12);
  // The extension comes from the last component only, so that a dot in a
  // directory name never lends a file its extension.
  const auto part_dot = part.find_last_of('.');
  const auto dot = component.find_last_of('.');
  Name83 result;
  result.name = UpperPadded(part_dot == std::string_view::npos ? part : part.substr(0, part_dot), 8);
  result.ext = UpperPadded(dot == std::string_view::npos ? std::string_view() : component.substr(dot + 1), 3);
  return result;
}

Name83 SplitNameAtFirstDot(std::string_view text) {
  const auto dot = text.find('.');
  Name83 result;
  result.name = UpperPadded(text.substr(0, dot), 8);
  result.ext = UpperPadded(dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1), 3);
  return result;
}

Name83 ExpandPattern(std::string_view pattern) {
  const auto dot = pattern.find('.');
  Name83 result;
  result.name = ExpandPart(pattern.substr(0, dot), 8);
  result.ext = ExpandPart(dot == std::string_view::npos ? std::string_view() : pattern.substr(dot + 1), 3);
  return result;
}

bool PatternMatches(const Name83& pattern, const std::uint8_t* entry) {
  for (std::size_t i = 0; i < 8; ++i) {
    if (pattern.name[i] != '?' && static_cast<std::uint8_t>(pattern.name[i]) != entry[DIR_Name + i]) return false;
  }
  for (std::size_t i = 0; i < 3; ++i) {
    if (pattern.ext[i] != '?' && static_cast<std::uint8_t>(pattern.ext[i]) != entry[DIR_Ext + i]) return false;
  }
  return true;
}

int CheckShortName(std::string_view path, std::string& message) {
  const std::string_view name = LastComponent(path);
  const auto dot = name.find('.');
  bool valid = !name.empty() && dot != 0 && (dot == std::string_view::npos || name.find('.', dot + 1) == std::string_view::npos);
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F || std::string_view("\"*+,/:;<=>?[\\]|").find(c) != std::string_view::npos) valid = false;
  }
  if (valid) return 0;
  message = Format("Invalid 8.3 Name: %s", std::string(name).c_str());
  return BAD_FILENAME_DRIVE_REFERENCE;
}

int CheckSysFileName(std::string_view name, bool allow_wildcards, std::string& message) {
  return CheckName(name, allow_wildcards, 3, false, message);
}

int CheckLocalFileName(std::string_view name, bool allow_wildcards, std::string& message) {
  // A local name may hold blanks: the program's words keep them (a quoted name).
  return CheckName(name, allow_wildcards, 1, true, message);
}

}  // namespace partshell
