#include "UpdateDlg.h"

#include "AppServices.h"
#include "resource.h"

namespace zolp::win {

CUpdateDlg::CUpdateDlg() : COptionDlg(IDD_UPDATE), flow_(AppServices(), *this) { SetFlow(flow_); }

INT_PTR CUpdateDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
  if (message == WM_QUERYENDSESSION) {
    // A log-off or shut-down in the middle of the update would leave the
    // partition half written: refused for as long as the dialog exists.
    handled = true;
    return Answer(FALSE);
  }
  return COptionDlg::OnMessage(message, wParam, lParam, handled);
}

}  // namespace zolp::win
