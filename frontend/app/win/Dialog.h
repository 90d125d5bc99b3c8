// The base of every dialog of the program: one static dialog procedure keeps
// `this` with the window (stored on WM_INITDIALOG) and routes messages to
// virtual handlers. Modal and modeless use both go through it.
#pragma once

#include <windows.h>

namespace zolp::win {

class Dialog {
 public:
  explicit Dialog(int templateId) : templateId_(templateId) {}
  virtual ~Dialog();
  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;

  INT_PTR DoModal(HWND parent = nullptr);
  // Modeless: creates and shows the window; Destroy() ends it.
  bool Create(HWND parent = nullptr);
  void Destroy();

  HWND Handle() const { return window_; }
  HWND Item(int id) const { return GetDlgItem(window_, id); }
  int TemplateId() const { return templateId_; }

 protected:
  // Answers false when it has set the focus itself.
  virtual bool OnInit() { return true; }
  // Answers true when it handled the command.
  virtual bool OnCommand(int id, int code, HWND control);
  virtual void OnOK() { End(IDOK); }
  virtual void OnCancel() { End(IDCANCEL); }
  // Every other message; set handled and answer the dialog procedure's value.
  virtual INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);

  void End(INT_PTR result);
  // SetWindowLongPtr(DWLP_MSGRESULT) and TRUE: for messages whose answer is
  // not the dialog procedure's return value.
  INT_PTR Answer(LRESULT result);

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR Route(UINT message, WPARAM wParam, LPARAM lParam);

  int templateId_;
  HWND window_ = nullptr;
  bool modal_ = false;
};

}  // namespace zolp::win
