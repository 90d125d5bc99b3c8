#include "Control.h"

#include <commctrl.h>

namespace zolp::win {
namespace {

constexpr UINT_PTR kSubclassId = 0x5A4F;  // one subclass of ours per control
// The control's object is also kept as a window property, so that a reflected request finds
// it without GetWindowSubclass (absent from some comctl32 import libraries).
constexpr char kControlProperty[] = "ZolpControl";

}  // namespace

Control::~Control() { Detach(); }

bool Control::Attach(HWND dialog, int id) {
  Detach();
  HWND window = GetDlgItem(dialog, id);
  if (!window) return false;
  if (!SetWindowSubclass(window, &Control::SubclassProc, kSubclassId,
                         reinterpret_cast<DWORD_PTR>(this)))
    return false;
  SetPropA(window, kControlProperty, this);
  window_ = window;
  OnAttach();
  return true;
}

void Control::Detach() {
  if (!window_) return;
  RemoveWindowSubclass(window_, &Control::SubclassProc, kSubclassId);
  RemovePropA(window_, kControlProperty);
  window_ = nullptr;
}

bool Control::Reflect(HWND control, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  auto* self = control ? static_cast<Control*>(GetPropA(control, kControlProperty)) : nullptr;
  return self && self->OnReflected(message, wParam, lParam, result);
}

LRESULT Control::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  return Default(message, wParam, lParam);
}

LRESULT Control::Default(UINT message, WPARAM wParam, LPARAM lParam) {
  return DefSubclassProc(window_, message, wParam, lParam);
}

LRESULT CALLBACK Control::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR, DWORD_PTR data) {
  auto* self = reinterpret_cast<Control*>(data);
  if (message == WM_NCDESTROY) {
    // The window goes first: unbind so the object never touches a dead handle.
    LRESULT result = DefSubclassProc(window, message, wParam, lParam);
    self->Detach();
    return result;
  }
  try {
    return self->WindowProc(message, wParam, lParam);
  } catch (...) {
    // No exception may unwind through the system's frames.
    return DefSubclassProc(window, message, wParam, lParam);
  }
}

}  // namespace zolp::win
