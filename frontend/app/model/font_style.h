// The look of a font label: face, cell height, colour and the style flags the
// set-font call accepts.
#pragma once

#include <cstdint>
#include <string>

namespace zolp {

inline constexpr std::uint32_t kFontBold = 0x01;
inline constexpr std::uint32_t kFontItalic = 0x02;
inline constexpr std::uint32_t kFontUnderline = 0x04;
inline constexpr std::uint32_t kFontStrikeOut = 0x08;
inline constexpr std::uint32_t kFontAntialiased = 0x10;
inline constexpr std::uint32_t kFontCentred = 0x20;
inline constexpr std::uint32_t kFontRight = 0x80;

// A colour as the system's COLORREF packs it: red in the low byte.
constexpr std::uint32_t Rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  return r | (g << 8) | (static_cast<std::uint32_t>(b) << 16);
}

enum class Alignment { Left, Centre, Right };

struct FontLook {
  std::string face;
  int size = 8;
  std::uint32_t colour = 0;
  std::uint32_t flags = 0;
};

struct FontStyle {
  bool bold = false;
  bool italic = false;
  bool underline = false;
  bool strikeOut = false;
  bool antialiased = false;
  Alignment alignment = Alignment::Left;
};

// A set flag switches its setting on; a clear one leaves it as it was, except
// the alignment, which every call sets (centred, else right, else left).
FontStyle ApplyStyleFlags(FontStyle style, std::uint32_t flags);

}  // namespace zolp
