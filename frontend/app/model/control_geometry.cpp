#include "control_geometry.h"

#include <algorithm>
#include <cstdio>

namespace zolp {
namespace {

constexpr int kBitmapIndent = 5;   // bitmap from the left edge when a caption follows
constexpr int kFocusInset = 4;

std::uint32_t Channel(std::uint32_t colour, int shift) { return (colour >> shift) & 0xFF; }

}  // namespace

ImageButtonLayout LayOutImageButton(const Box& client, int bitmapWidth, int bitmapHeight,
                                    const ImageButtonOptions& options) {
  ImageButtonLayout layout;
  const int shift = options.pressed ? 1 : 0;
  int left = options.captionShown ? client.left + kBitmapIndent
                                  : client.left + (client.Width() - bitmapWidth) / 2;
  int top = client.top + (client.Height() - bitmapHeight) / 2;
  layout.bitmap = Box{left + shift, top + shift, left + shift + bitmapWidth,
                      top + shift + bitmapHeight};

  const int bitmapRight = left + bitmapWidth;
  if (options.captionShown) {
    int captionLeft = options.captionCentred ? bitmapRight : bitmapRight + kBitmapIndent;
    layout.caption = Box{captionLeft + shift, client.top + shift, client.right + shift,
                         client.bottom + shift};
  } else {
    layout.caption = Box{client.right, client.top, client.right, client.bottom};
  }
  layout.focus = Box{bitmapRight + kFocusInset, client.top + kFocusInset,
                     client.right - kFocusInset, client.bottom - kFocusInset};
  return layout;
}

Box GradientFace(const Box& client) {
  return Box{client.left + 1, client.top + 1, client.right - 2, client.bottom - 2};
}

Box GradientBand(const Box& face, int band) {
  const int h = face.Height();
  return Box{face.left, face.top + band * h / kGradientBands, face.right,
             face.top + (band + 1) * h / kGradientBands};
}

std::uint32_t GradientBandColour(std::uint32_t start, std::uint32_t end, int band) {
  std::uint32_t colour = 0;
  for (int shift : {0, 8, 16}) {
    int from = static_cast<int>(Channel(start, shift));
    int to = static_cast<int>(Channel(end, shift));
    int value = from + (to - from) * band / kGradientBands;
    colour |= static_cast<std::uint32_t>(value) << shift;
  }
  return colour;
}

int ClampPercent(int percent) { return std::clamp(percent, 0, 100); }

std::string PercentText(int percent) {
  char text[5];
  std::snprintf(text, sizeof text, "%d%%", ClampPercent(percent));
  return text;
}

}  // namespace zolp
