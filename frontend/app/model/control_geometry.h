// Geometry and colours of the owner-drawn controls, kept apart from the
// drawing calls: the image button's parts, the banded gradient and the
// progress percentage.
#pragma once

#include <cstdint>
#include <string>

namespace zolp {

struct Box {
  int left = 0, top = 0, right = 0, bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool operator==(const Box&) const = default;
};

struct ImageButtonLayout {
  Box bitmap;     // empty width when the button has no bitmap
  Box caption;    // where the caption is drawn (empty when not shown)
  Box focus;      // the dotted focus rectangle
};

struct ImageButtonOptions {
  bool captionShown = true;
  bool captionCentred = true;
  bool pressed = false;  // held down: bitmap and caption move one pixel right and down
};

// client: the button's client area; bitmapWidth/Height 0 when there is none.
ImageButtonLayout LayOutImageButton(const Box& client, int bitmapWidth, int bitmapHeight,
                                    const ImageButtonOptions& options);

// The face inside the push-button frame that the gradient fills.
Box GradientFace(const Box& client);

inline constexpr std::uint32_t kGradientTop = 0xFFFFFF;           // white
inline constexpr std::uint32_t kGradientBottom = 200 | (200 << 8) | (216u << 16);
inline constexpr int kGradientBands = 255;

// Band i of the fallback gradient: its rows and its colour (COLORREF packing).
Box GradientBand(const Box& face, int band);
std::uint32_t GradientBandColour(std::uint32_t start, std::uint32_t end, int band);

// The progress window's value (clamped to 0..100) and its "%d%%" text.
int ClampPercent(int percent);
std::string PercentText(int percent);

}  // namespace zolp
