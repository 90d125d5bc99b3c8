// Mouse hover tracking over a label class: the first movement over the control
// asks the system for hover and leave reports; the hovering flag follows them.
#pragma once

#include <windows.h>

#include "FontStatic.h"

namespace zolp::win {

template <typename Label>
class CTrackControl : public Label {
 public:
  bool IsHovering() const { return hovering_; }

 protected:
  virtual void OnHover() = 0;
  virtual void OnLeave() = 0;

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    switch (message) {
      case WM_MOUSEMOVE:
        if (!tracking_) {
          TRACKMOUSEEVENT track{sizeof track, TME_HOVER | TME_LEAVE, this->Handle(), 1};
          tracking_ = TrackMouseEvent(&track) != FALSE;
        }
        break;
      case WM_MOUSEHOVER:
        hovering_ = true;
        OnHover();
        break;
      case WM_MOUSELEAVE:
        hovering_ = false;
        tracking_ = false;
        OnLeave();
        break;
      default:
        break;
    }
    return Label::WindowProc(message, wParam, lParam);
  }

 private:
  bool tracking_ = false;
  bool hovering_ = false;
};

class CHoverFontStatic : public CTrackControl<CFontStatic> {
 protected:
  void OnHover() override {}
  void OnLeave() override {}
};

}  // namespace zolp::win
