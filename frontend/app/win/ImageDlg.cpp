#include "ImageDlg.h"

#include "AppServices.h"
#include "resource.h"

namespace zolp::win {

CImageDlg::CImageDlg() : COptionDlg(IDD_IMAGE), flow_(AppServices(), *this) { SetFlow(flow_); }

bool CImageDlg::OnInit() {
  SendDlgItemMessageA(Handle(), IDC_IMAGE_PATH, EM_SETLIMITTEXT, kImagePathMax, 0);
  return COptionDlg::OnInit();
}

}  // namespace zolp::win
