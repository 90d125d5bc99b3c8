// A control created from a dialog template and bound to an object of ours:
// the window is subclassed, and requests the dialog receives on the control's
// behalf (owner drawing, colours) are reflected back to it.
#pragma once

#include <windows.h>

namespace zolp::win {

class Control {
 public:
  Control() = default;
  virtual ~Control();
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  // Binds the dialog's control of that ID; false when there is none.
  bool Attach(HWND dialog, int id);
  HWND Handle() const { return window_; }

  // Called by the dialog for WM_DRAWITEM and WM_CTLCOLOR*: answers true when
  // the control is ours and has handled the request.
  static bool Reflect(HWND control, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

 protected:
  virtual void OnAttach() {}
  // A reflected request: answer true when handled.
  virtual bool OnReflected(UINT, WPARAM, LPARAM, LRESULT&) { return false; }
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Default(UINT message, WPARAM wParam, LPARAM lParam);

  void Repaint() const {
    if (window_) InvalidateRect(window_, nullptr, TRUE);
  }

 private:
  static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR id, DWORD_PTR data);
  void Detach();

  HWND window_ = nullptr;
};

}  // namespace zolp::win
