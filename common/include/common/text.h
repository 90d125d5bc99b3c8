// Small text helpers: printf-style formatting into a std::string, ASCII letter
// case, and UTF-8 read as characters. Letter case is ASCII only everywhere in
// the kit: names on a FAT volume and the keys of DD.CFG fold A-Z and a-z and
// leave every other byte as it is.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

// printf-style checking of format strings: the GNU flavour, since the
// runtime's own on mingw is Microsoft's; clang knows it as plain printf.
#if defined(__clang__)
#define COMMON_PRINTF(text, first) __attribute__((format(printf, text, first)))
#else
#define COMMON_PRINTF(text, first) __attribute__((format(gnu_printf, text, first)))
#endif

namespace common {

// The formatted text, of any length; empty when formatting fails.
inline std::string FormatV(const char* format, std::va_list args) COMMON_PRINTF(1, 0);
inline std::string FormatV(const char* format, std::va_list args) {
  std::va_list measure;
  va_copy(measure, args);
  const int n = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  std::string text;
  if (n > 0) {
    text.resize(static_cast<std::size_t>(n) + 1);
    std::va_list write;
    va_copy(write, args);
    std::vsnprintf(text.data(), text.size(), format, write);
    va_end(write);
    text.resize(static_cast<std::size_t>(n));
  }
  return text;
}

inline std::string Format(const char* format, ...) COMMON_PRINTF(1, 2);
inline std::string Format(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::string text = FormatV(format, args);
  va_end(args);
  return text;
}

constexpr char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
constexpr char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

inline std::string UpperAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = UpperAscii(c);
  return out;
}
inline std::string LowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = LowerAscii(c);
  return out;
}

constexpr bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
  }
  return true;
}

constexpr bool StartsWithIgnoreCase(std::string_view text, std::string_view start) {
  return text.size() >= start.size() && EqualsIgnoreCase(text.substr(0, start.size()), start);
}

// The character that starts at text[at], and `at` moved past it. A byte that
// does not start a well-formed UTF-8 sequence (a stray continuation byte, an
// overlong form, a surrogate, a cut sequence) is one character of its own, read
// as Latin-1, so that any byte string reads as characters.
constexpr char32_t NextUtf8(std::string_view text, std::size_t& at) {
  const auto b0 = static_cast<unsigned char>(text[at]);
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
  bool valid = len > 0 && at + len <= text.size();
  for (std::size_t k = 1; valid && k < len; ++k) {
    const auto b = static_cast<unsigned char>(text[at + k]);
    if ((b & 0xC0) != 0x80) valid = false;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (valid && len > 1) {
    constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) valid = false;
  }
  if (!valid) {
    ++at;
    return b0;
  }
  at += len;
  return cp;
}

// UTF-16 code units of a UTF-8 text, read as NextUtf8 reads it.
inline std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  std::size_t i = 0;
  while (i < utf8.size()) {
    char32_t cp = NextUtf8(utf8, i);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

}  // namespace common
