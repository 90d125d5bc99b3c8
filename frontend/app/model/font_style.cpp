#include "font_style.h"

namespace zolp {

FontStyle ApplyStyleFlags(FontStyle style, std::uint32_t flags) {
  if (flags & kFontBold) style.bold = true;
  if (flags & kFontItalic) style.italic = true;
  if (flags & kFontUnderline) style.underline = true;
  if (flags & kFontStrikeOut) style.strikeOut = true;
  if (flags & kFontAntialiased) style.antialiased = true;
  if (flags & kFontCentred) {
    style.alignment = Alignment::Centre;
  } else if (flags & kFontRight) {
    style.alignment = Alignment::Right;
  } else {
    style.alignment = Alignment::Left;
  }
  return style;
}

}  // namespace zolp
