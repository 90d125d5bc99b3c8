// A static label that draws its text in its own face, size, colour and style.
// Bound labels get the notify style, so a click reaches the dialog as a click
// command with the label's ID.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "Control.h"
#include "model/font_style.h"

namespace zolp::win {

class CFontStatic : public Control {
 public:
  // Stores the look; the label is redrawn with it on its next paint.
  void SetFont(const std::string& face, int size, COLORREF colour, DWORD flags);
  void SetFont(const FontLook& look) { SetFont(look.face, look.size, look.colour, look.flags); }
  void SetBackground(COLORREF colour);

 protected:
  void OnAttach() override;
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void Paint();

  std::string face_ = "MS Sans Serif";
  int size_ = 8;
  COLORREF colour_ = RGB(0, 0, 0);
  std::optional<COLORREF> background_;
  FontStyle style_;
  bool fontFailureShown_ = false;
};

}  // namespace zolp::win
