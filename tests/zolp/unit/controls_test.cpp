#include <gtest/gtest.h>

#include "model/control_geometry.h"
#include "model/font_style.h"

namespace zolp {
namespace {

TEST(FontStyleFlags, LaterCallKeepsBoldButResetsAlignment) {
  FontStyle style = ApplyStyleFlags({}, 0x21);
  EXPECT_TRUE(style.bold);
  EXPECT_EQ(style.alignment, Alignment::Centre);
  style = ApplyStyleFlags(style, 0x20);
  EXPECT_TRUE(style.bold);
  style = ApplyStyleFlags(style, 0x80);
  EXPECT_EQ(style.alignment, Alignment::Right);
  style = ApplyStyleFlags(style, 0xA0);  // centred wins over right
  EXPECT_EQ(style.alignment, Alignment::Centre);
  style = ApplyStyleFlags(style, 0x1E);
  EXPECT_TRUE(style.italic && style.underline && style.strikeOut && style.antialiased);
  EXPECT_EQ(style.alignment, Alignment::Left);
}

TEST(ImageButton, BitmapIndentedWithCaptionAndCentredWithout) {
  Box client{0, 0, 250, 49};
  ImageButtonLayout with = LayOutImageButton(client, 40, 40, {});
  EXPECT_EQ(with.bitmap, (Box{5, 4, 45, 44}));
  EXPECT_EQ(with.caption, (Box{45, 0, 250, 49}));
  EXPECT_EQ(with.focus, (Box{49, 4, 246, 45}));

  ImageButtonLayout logo = LayOutImageButton(Box{0, 0, 525, 127}, 500, 110,
                                             {.captionShown = false});
  EXPECT_EQ(logo.bitmap, (Box{12, 8, 512, 118}));
  EXPECT_EQ(logo.caption.Width(), 0);
}

TEST(ImageButton, PressedMovesBitmapAndCaptionByOnePixel) {
  Box client{0, 0, 250, 49};
  ImageButtonLayout up = LayOutImageButton(client, 40, 40, {});
  ImageButtonLayout down = LayOutImageButton(client, 40, 40, {.pressed = true});
  EXPECT_EQ(down.bitmap.left, up.bitmap.left + 1);
  EXPECT_EQ(down.bitmap.top, up.bitmap.top + 1);
  EXPECT_EQ(down.caption.left, up.caption.left + 1);
  EXPECT_EQ(down.focus, up.focus);
}

TEST(ImageButton, UncentredCaptionKeepsAGapAndNoBitmapStartsAtTheIndent) {
  ImageButtonLayout layout =
      LayOutImageButton(Box{0, 0, 200, 40}, 0, 0, {.captionCentred = false});
  EXPECT_EQ(layout.bitmap.Width(), 0);
  EXPECT_EQ(layout.caption.left, 10);
}

TEST(Gradient, BandsCoverTheFaceWithoutGapsAndEndNearTheEndColour) {
  Box face = GradientFace(Box{0, 0, 250, 49});
  EXPECT_EQ(face, (Box{1, 1, 248, 47}));
  int next = face.top;
  for (int band = 0; band < kGradientBands; ++band) {
    Box b = GradientBand(face, band);
    EXPECT_EQ(b.top, next) << band;
    EXPECT_GE(b.bottom, b.top);
    next = b.bottom;
  }
  EXPECT_EQ(next, face.bottom);
  EXPECT_EQ(GradientBandColour(kGradientTop, kGradientBottom, 0), kGradientTop);
  std::uint32_t last = GradientBandColour(kGradientTop, kGradientBottom, 254);
  EXPECT_EQ(last & 0xFF, 201u);  // 255 + (-55 * 254) / 255, truncated toward zero
  EXPECT_EQ((last >> 16) & 0xFF, 217u);
}

TEST(Percent, ClampedAndFormatted) {
  EXPECT_EQ(PercentText(130), "100%");
  EXPECT_EQ(PercentText(-5), "0%");
  EXPECT_EQ(PercentText(42), "42%");
  EXPECT_EQ(ClampPercent(-2147483647 - 1), 0);
}

}  // namespace
}  // namespace zolp
