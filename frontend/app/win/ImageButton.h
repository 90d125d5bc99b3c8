// The owner-drawn image button of the main dialog's options and the package
// logo: push-button frame (or none), optional vertical gradient, a bitmap drawn
// masked on its transparent colour (embossed when disabled), a caption that ends
// in an ellipsis when it doesn't fit, and a focus rectangle.
#pragma once

#include <windows.h>

#include "Control.h"

namespace zolp::win {

class CImageButton : public Control {
 public:
  static constexpr int kStyleNoFrame = 0;
  static constexpr int kStylePushButton = 1;
  static constexpr int kCaptionNone = 0;
  static constexpr int kCaptionCentred = 2;

  CImageButton();
  ~CImageButton() override;

  void SetBitmap(int resourceId, COLORREF transparent = RGB(255, 0, 255));
  void SetDrawingStyle(int style);
  void SetCaptionMode(int mode);
  void SetFocusRectangle(int on);
  void SetGradient(bool on);
  void SetIgnoreClicks(bool on);

 protected:
  void OnAttach() override;
  bool OnReflected(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void Draw(const DRAWITEMSTRUCT& item);
  void FillGradient(HDC dc, const RECT& face) const;
  void DrawBitmap(HDC dc, HBITMAP bitmap, const RECT& place, bool disabled) const;
  void DrawCaption(HDC dc, RECT area, bool disabled) const;

  int style_ = kStylePushButton;
  bool captionShown_ = true;
  bool captionCentred_ = true;
  int focusRectangle_ = 0;
  int bitmapId_ = 0;
  COLORREF transparent_ = RGB(255, 0, 255);
  bool gradient_ = false;
  bool ignoreClicks_ = false;
  COLORREF textColour_;
};

}  // namespace zolp::win
