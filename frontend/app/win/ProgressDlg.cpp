#include "ProgressDlg.h"

#include <commctrl.h>
#include <uxtheme.h>

#include "AppServices.h"
#include "model/control_geometry.h"
#include "resource.h"
#include "zolp/report.h"

namespace zolp::win {

CProgressDlg::CProgressDlg() : Dialog(IDD_PROGRESS) {}

bool CProgressDlg::OnInit() {
  HWND animation = Item(IDC_PROGRESS_ANIMATION);
  SendMessageA(animation, ACM_OPENA, reinterpret_cast<WPARAM>(GetModuleHandleA(nullptr)),
               reinterpret_cast<LPARAM>(MAKEINTRESOURCEA(IDA_COPY)));
  SendMessageA(animation, ACM_PLAY, static_cast<WPARAM>(-1), MAKELONG(0, 0xFFFF));
  HWND bar = Item(IDC_PROGRESS_BAR);
  // A themed bar ignores its colour; this one keeps the plain look.
  SetWindowTheme(bar, L"", L"");
  SendMessageA(bar, PBM_SETBARCOLOR, 0, RGB(0, 0, 0x91));
  SendMessageA(bar, PBM_SETRANGE32, 0, 100);
  return true;
}

void CProgressDlg::SetPercentText(const std::string& text) {
  SetDlgItemTextA(Handle(), IDC_PROGRESS_PERCENT, text.c_str());
}

void CProgressDlg::SetPercentage(int percent) {
  SendMessageA(Item(IDC_PROGRESS_BAR), PBM_SETPOS, static_cast<WPARAM>(ClampPercent(percent)), 0);
  SetDlgItemTextA(Handle(), IDC_PROGRESS_PERCENT, PercentText(percent).c_str());
}

void CProgressDlg::SetTargetIcon(int iconResource) {
  HICON icon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(iconResource));
  if (!icon) {
    // The template's icon stays.
    ReportLastError(AppServices(), true, "LoadIcon", "Load target icon failed");
    return;
  }
  SendMessageA(Item(IDC_PROGRESS_TARGET), STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
}

void CProgressDlg::SetTitle(const std::string& title) { SetWindowTextA(Handle(), title.c_str()); }

}  // namespace zolp::win
