#include "USBDlg.h"

#include "AppServices.h"
#include "resource.h"

namespace zolp::win {

CUSBDlg::CUSBDlg() : COptionDlg(IDD_USB), flow_(AppServices(), *this) { SetFlow(flow_); }

}  // namespace zolp::win
