#include "CDDlg.h"

#include "AppServices.h"
#include "BurnCD.h"
#include "flow/image_flow.h"
#include "resource.h"

namespace zolp::win {

CCDDlg::CCDDlg()
    : COptionDlg(IDD_CD),
      flow_(AppServices(), *this, [this](const std::string& path) { return RunBurn(path); }) {
  SetFlow(flow_);
}

bool CCDDlg::OnInit() {
  SendDlgItemMessageA(Handle(), IDC_CD_PATH, EM_SETLIMITTEXT, kImagePathMax, 0);
  return COptionDlg::OnInit();
}

// The burn dialog is modal over this one, which stays hidden while it runs.
bool CCDDlg::RunBurn(const std::string& imagePath) {
  CBurnCD burn(imagePath);
  return burn.DoModal(Handle()) == IDOK;
}

}  // namespace zolp::win
