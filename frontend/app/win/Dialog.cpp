#include "Dialog.h"

#include "Control.h"

namespace zolp::win {

Dialog::~Dialog() {
  if (window_ && !modal_) DestroyWindow(window_);
}

INT_PTR Dialog::DoModal(HWND parent) {
  modal_ = true;
  return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId_), parent,
                         &Dialog::DialogProc, reinterpret_cast<LPARAM>(this));
}

bool Dialog::Create(HWND parent) {
  modal_ = false;
  HWND window = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId_),
                                   parent, &Dialog::DialogProc, reinterpret_cast<LPARAM>(this));
  if (!window) return false;
  ShowWindow(window, SW_SHOW);
  UpdateWindow(window);
  return true;
}

void Dialog::Destroy() {
  if (window_) DestroyWindow(window_);
}

void Dialog::End(INT_PTR result) {
  if (modal_) {
    EndDialog(window_, result);
  } else {
    DestroyWindow(window_);
  }
}

INT_PTR Dialog::Answer(LRESULT result) {
  SetWindowLongPtrA(window_, DWLP_MSGRESULT, result);
  return TRUE;
}

bool Dialog::OnCommand(int id, int code, HWND) {
  if (code != BN_CLICKED && code != 0) return false;
  if (id == IDOK) {
    OnOK();
    return true;
  }
  if (id == IDCANCEL) {
    OnCancel();
    return true;
  }
  return false;
}

INT_PTR Dialog::OnMessage(UINT, WPARAM, LPARAM, bool& handled) {
  handled = false;
  return FALSE;
}

INT_PTR CALLBACK Dialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Dialog* self = nullptr;
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<Dialog*>(lParam);
    SetWindowLongPtrA(window, DWLP_USER, lParam);
    self->window_ = window;
  } else {
    self = reinterpret_cast<Dialog*>(GetWindowLongPtrA(window, DWLP_USER));
  }
  if (!self) return FALSE;
  INT_PTR result = FALSE;
  // No exception may unwind through the system's frames.
  try {
    result = self->Route(message, wParam, lParam);
  } catch (...) {
    result = FALSE;
  }
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrA(window, DWLP_USER, 0);
    self->window_ = nullptr;
  }
  return result;
}

INT_PTR Dialog::Route(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      return OnInit() ? TRUE : FALSE;
    case WM_COMMAND:
      return OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam)) ? TRUE
                                                                                       : FALSE;
    case WM_DRAWITEM:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN: {
      // Controls of our own draw and colour themselves: hand the request back
      // to the control that asked.
      HWND control = message == WM_DRAWITEM
                         ? reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)->hwndItem
                         : reinterpret_cast<HWND>(lParam);
      LRESULT reflected = 0;
      if (Control::Reflect(control, message, wParam, lParam, reflected)) {
        if (message == WM_DRAWITEM) return TRUE;
        return static_cast<INT_PTR>(reflected);
      }
      break;
    }
    default:
      break;
  }
  bool handled = false;
  INT_PTR result = OnMessage(message, wParam, lParam, handled);
  return handled ? result : FALSE;
}

}  // namespace zolp::win
