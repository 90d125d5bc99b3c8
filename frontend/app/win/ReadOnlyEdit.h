// A read-only text field drawn black on white instead of the system's grey.
#pragma once

#include <windows.h>

#include "Control.h"

namespace zolp::win {

class CReadOnlyEdit : public Control {
 public:
  CReadOnlyEdit() : white_(CreateSolidBrush(RGB(255, 255, 255))) {}
  ~CReadOnlyEdit() override { DeleteObject(white_); }

 protected:
  bool OnReflected(UINT message, WPARAM wParam, LPARAM, LRESULT& result) override {
    // Read-only edits ask for static colours; ordinary ones for edit colours.
    if (message != WM_CTLCOLORSTATIC && message != WM_CTLCOLOREDIT) return false;
    HDC dc = reinterpret_cast<HDC>(wParam);
    SetTextColor(dc, RGB(0, 0, 0));
    SetBkColor(dc, RGB(255, 255, 255));
    result = reinterpret_cast<LRESULT>(white_);
    return true;
  }

 private:
  HBRUSH white_;
};

}  // namespace zolp::win
